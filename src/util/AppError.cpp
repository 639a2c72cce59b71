// The one error type of the system.
#include "util/AppError.h"

#include <cstdio>

#include "util/AppPaths.h"
#include "util/Text.h"

namespace orlenta {

namespace {

std::string WhatText(long number, const std::string& source, const std::string& description) {
    return source + " error " + std::to_string(number) + ": " + description;
}

}  // namespace

AppError::AppError(long number, std::string source, std::string description)
    : std::runtime_error(WhatText(number, source, description)),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

std::string SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length != 0 && buffer != nullptr) {
        text = WideToUtf8(std::wstring_view(buffer, length));
    }
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        char fallback[40];
        std::snprintf(fallback, sizeof fallback, "System error 0x%08lX", static_cast<unsigned long>(code));
        text = fallback;
    }
    return text;
}

AppError AppError::FromWin32(DWORD code, std::string source) {
    return AppError(static_cast<long>(code), std::move(source), SystemMessage(code));
}

AppError AppError::FromLastError() {
    const DWORD code = GetLastError();
    return FromWin32(code, ProgramName());
}

AppError AppError::FromHresult(HRESULT hr, std::string source) {
    return AppError(static_cast<long>(hr), std::move(source), SystemMessage(static_cast<DWORD>(hr)));
}

}  // namespace orlenta
