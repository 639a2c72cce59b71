// Text helpers shared by every subsystem.
#include "util/Text.h"

#include <algorithm>
#include <vector>

#include <windows.h>

#include "util/ComPtr.h"

namespace orlenta {

namespace {

std::wstring CaseMapped(std::wstring wide, bool upper) {
    if (!wide.empty()) {
        (upper ? CharUpperBuffW : CharLowerBuffW)(wide.data(), static_cast<DWORD>(wide.size()));
    }
    return wide;
}

std::optional<std::string> WideToCodePage(std::wstring_view text, UINT codePage) {
    if (text.empty()) {
        return std::string();
    }
    const int size = static_cast<int>(text.size());
    if (codePage == CP_UTF8 || (codePage == CP_ACP && GetACP() == CP_UTF8)) {
        const int needed =
            WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), size, nullptr, 0, nullptr, nullptr);
        if (needed <= 0) {
            return std::nullopt;
        }
        std::string result(static_cast<size_t>(needed), '\0');
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), size, result.data(), needed, nullptr, nullptr);
        return result;
    }
    // No best fit and the used-default flag: a character the code page lacks is refused, never
    // replaced by a look-alike that names another file.
    BOOL usedDefault = FALSE;
    const int needed =
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), size, nullptr, 0, nullptr, &usedDefault);
    if (needed <= 0 || usedDefault) {
        return std::nullopt;
    }
    std::string result(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), size, result.data(), needed, nullptr,
                        &usedDefault);
    return result;
}

std::wstring CodePageToWide(std::string_view text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring result(static_cast<size_t>(std::max(needed, 0)), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, result.data(), needed);
    return result;
}

}  // namespace

std::string ToUpperText(std::string_view text) { return WideToUtf8(CaseMapped(Utf8ToWide(text), true)); }

std::string ToLowerText(std::string_view text) { return WideToUtf8(CaseMapped(Utf8ToWide(text), false)); }

// Invalid sequences become U+FFFD (MultiByteToWideChar without MB_ERR_INVALID_CHARS).
std::wstring Utf8ToWide(std::string_view text) { return CodePageToWide(text, CP_UTF8); }

std::string WideToUtf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    // A lone surrogate (a window title can hold one) becomes U+FFFD rather than failing the text.
    const int size = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(std::max(needed, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, result.data(), needed, nullptr, nullptr);
    return result;
}

std::wstring AnsiToWide(std::string_view text) { return CodePageToWide(text, CP_ACP); }

std::string AnsiToUtf8(std::string_view text) { return WideToUtf8(AnsiToWide(text)); }

std::optional<std::string> WideToAnsiExactly(std::wstring_view text) { return WideToCodePage(text, CP_ACP); }

std::optional<std::string> Utf8ToAnsiExactly(std::string_view text) { return WideToAnsiExactly(Utf8ToWide(text)); }

std::string WideToAnsi(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(std::max(needed, 0)), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), size, result.data(), needed, nullptr, nullptr);
    return result;
}

std::wstring ExpandEnvironment(const std::wstring& text) {
    DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    while (size != 0) {
        std::wstring buffer(size, L'\0');
        const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), buffer.data(), size);
        if (needed == 0) {
            break;
        }
        if (needed <= size) {
            buffer.resize(std::min<std::size_t>(needed - 1, buffer.find(L'\0')));
            return buffer;
        }
        size = needed;  // the environment grew between the two calls
    }
    return text;
}

std::string ExpandEnvironmentAnsi(const std::string& ansiText) {
    DWORD size = ExpandEnvironmentStringsA(ansiText.c_str(), nullptr, 0);
    while (size != 0) {
        std::string buffer(size, '\0');
        const DWORD needed = ExpandEnvironmentStringsA(ansiText.c_str(), buffer.data(), size);
        if (needed == 0) {
            break;
        }
        if (needed <= size) {
            buffer.resize(std::min<std::size_t>(needed - 1, buffer.find('\0')));
            return buffer;
        }
        size = needed;
    }
    return ansiText;
}

std::string ToLowerAnsiText(std::string_view ansiText) {
    std::string result(ansiText);
    if (!result.empty()) {
        CharLowerBuffA(result.data(), static_cast<DWORD>(result.size()));
    }
    return result;
}

UniqueBstr::UniqueBstr(const std::string& utf8) {
    const std::wstring wide = Utf8ToWide(utf8);
    b_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

UniqueBstr::UniqueBstr(const std::wstring& wide) { b_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())); }

}  // namespace orlenta
