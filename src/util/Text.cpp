// Text helpers shared by every subsystem.
#include "util/Text.h"

#include <algorithm>

#include <windows.h>

#include "util/ComPtr.h"

namespace orlenta {

std::string ToUpperText(std::string_view text) {
    std::string result(text);
    if (!result.empty()) {
        CharUpperBuffA(result.data(), static_cast<DWORD>(result.size()));
    }
    return result;
}

std::string ToLowerText(std::string_view text) {
    std::string result(text);
    if (!result.empty()) {
        CharLowerBuffA(result.data(), static_cast<DWORD>(result.size()));
    }
    return result;
}

std::wstring AnsiToWide(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring result(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, result.data(), needed);
    return result;
}

std::string WideToAnsi(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), size, result.data(), needed, nullptr, nullptr);
    return result;
}

std::string ExpandEnvironment(const std::string& text) {
    DWORD size = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    while (size != 0) {
        std::string buffer(size, '\0');
        const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), buffer.data(), size);
        if (needed == 0) {
            break;
        }
        if (needed <= size) {
            buffer.resize(std::min<std::size_t>(needed - 1, buffer.find('\0')));
            return buffer;
        }
        size = needed;  // the environment grew between the two calls
    }
    return text;
}

std::string ToUtf8(std::string_view ansiText) {
    const std::wstring wide = AnsiToWide(ansiText);
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, result.data(), needed, nullptr, nullptr);
    return result;
}

UniqueBstr::UniqueBstr(const std::string& ansi) {
    const std::wstring wide = AnsiToWide(ansi);
    b_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

}  // namespace orlenta
