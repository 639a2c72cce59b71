// Full and extended-length forms of paths.
#include "util/LongPath.h"

#include <cwchar>

#include <windows.h>

namespace orlenta {

namespace {

constexpr wchar_t kExtendedPrefix[] = L"\\\\?\\";
constexpr wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

std::wstring FullPathW(const std::wstring& path) {
    if (path.empty()) {
        return {};
    }
    // The size asked for can change if another thread moves the current directory in between.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.assign(length, L'\0');
    }
}

std::wstring ExtendedLengthPath(const std::wstring& fullPath) {
    if (StartsWith(fullPath, kExtendedPrefix) || StartsWith(fullPath, L"\\\\.\\")) {
        return fullPath;
    }
    if (StartsWith(fullPath, L"\\\\")) {
        return kExtendedUncPrefix + fullPath.substr(2);
    }
    return kExtendedPrefix + fullPath;
}

std::wstring WithoutExtendedPrefix(const std::wstring& path) {
    if (StartsWith(path, kExtendedUncPrefix)) {
        return L"\\\\" + path.substr(wcslen(kExtendedUncPrefix));
    }
    if (StartsWith(path, kExtendedPrefix)) {
        return path.substr(wcslen(kExtendedPrefix));
    }
    return path;
}

}  // namespace orlenta
