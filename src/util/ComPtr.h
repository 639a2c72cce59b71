// Owners for COM objects and COM-allocated values: interface pointers, BSTR, VARIANT, task memory.
#pragma once

#include <string>
#include <utility>

#include <objbase.h>
#include <oleauto.h>

namespace orlenta {

template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ~ComPtr() { reset(); }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    void reset() noexcept {
        if (T* old = std::exchange(p_, nullptr)) {
            old->Release();
        }
    }
    T** put() noexcept {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

private:
    T* p_ = nullptr;
};

class UniqueBstr {
public:
    UniqueBstr() noexcept = default;
    explicit UniqueBstr(const std::string& utf8);
    explicit UniqueBstr(const std::wstring& wide);
    ~UniqueBstr() { SysFreeString(b_); }
    UniqueBstr(UniqueBstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) {
            SysFreeString(b_);
            b_ = std::exchange(other.b_, nullptr);
        }
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;

    BSTR get() const noexcept { return b_; }
    BSTR release() noexcept { return std::exchange(b_, nullptr); }
    BSTR* put() noexcept {
        SysFreeString(std::exchange(b_, nullptr));
        return &b_;
    }

private:
    BSTR b_ = nullptr;
};

class UniqueVariant {
public:
    UniqueVariant() noexcept { VariantInit(&v_); }
    ~UniqueVariant() { VariantClear(&v_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    VARIANT* get() noexcept { return &v_; }
    const VARIANT* get() const noexcept { return &v_; }

private:
    VARIANT v_;
};

// Memory handed out by the shell or COM and freed with CoTaskMemFree (item lists, for one).
template <typename T>
class CoTaskMem {
public:
    CoTaskMem() noexcept = default;
    ~CoTaskMem() { CoTaskMemFree(p_); }
    CoTaskMem(CoTaskMem&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    CoTaskMem& operator=(CoTaskMem&& other) noexcept {
        if (this != &other) {
            CoTaskMemFree(p_);
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    CoTaskMem(const CoTaskMem&) = delete;
    CoTaskMem& operator=(const CoTaskMem&) = delete;

    T* get() const noexcept { return p_; }
    T** put() noexcept {
        CoTaskMemFree(std::exchange(p_, nullptr));
        return &p_;
    }

private:
    T* p_ = nullptr;
};

}  // namespace orlenta
