// Small move-only owners for platform handles, so that every path releases what it opened.
#pragma once

#include <utility>

#include <windows.h>

namespace orlenta {

// Owns one handle-like value; Traits give the empty value and the release call.
template <typename Traits>
class UniqueResource {
public:
    using value_type = typename Traits::value_type;

    UniqueResource() noexcept = default;
    explicit UniqueResource(value_type value) noexcept : value_(value) {}
    ~UniqueResource() { reset(); }

    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    value_type get() const noexcept { return value_; }
    bool valid() const noexcept { return value_ != Traits::empty(); }
    explicit operator bool() const noexcept { return valid(); }

    value_type release() noexcept { return std::exchange(value_, Traits::empty()); }
    void reset(value_type value = Traits::empty()) noexcept {
        const value_type old = std::exchange(value_, value);
        if (old != Traits::empty()) {
            Traits::close(old);
        }
    }
    // For out-parameters of platform calls: releases what is held first.
    value_type* put() noexcept {
        reset();
        return &value_;
    }

private:
    value_type value_ = Traits::empty();
};

struct FindHandleTraits {
    using value_type = HANDLE;
    static HANDLE empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { FindClose(h); }
};

struct FileHandleTraits {
    using value_type = HANDLE;
    static HANDLE empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { CloseHandle(h); }
};

struct KernelHandleTraits {
    using value_type = HANDLE;
    static HANDLE empty() noexcept { return nullptr; }
    static void close(HANDLE h) noexcept { CloseHandle(h); }
};

struct RegKeyTraits {
    using value_type = HKEY;
    static HKEY empty() noexcept { return nullptr; }
    static void close(HKEY h) noexcept { RegCloseKey(h); }
};

using FindHandle = UniqueResource<FindHandleTraits>;
using FileHandle = UniqueResource<FileHandleTraits>;
using KernelHandle = UniqueResource<KernelHandleTraits>;
using RegKey = UniqueResource<RegKeyTraits>;

}  // namespace orlenta
