// Text helpers shared by every subsystem.
#include "util/Text.h"

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

UniqueBstr::UniqueBstr(const std::string& ansi) {
    const std::wstring wide = AnsiToWide(ansi);
    b_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

}  // namespace orlenta
