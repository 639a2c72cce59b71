// The one error type of the system: a number, a source and a description.
#pragma once

#include <stdexcept>
#include <string>

#include <windows.h>

namespace orlenta {

class AppError : public std::runtime_error {
public:
    AppError(long number, std::string source, std::string description);

    long Number() const noexcept { return number_; }
    const std::string& Source() const noexcept { return source_; }
    const std::string& Description() const noexcept { return description_; }

    // A Win32 error code (GetLastError, or a registry call's result) with the system's text.
    static AppError FromWin32(DWORD code, std::string source);
    // GetLastError() of the call that just failed, read before anything else can reset it;
    // the source is the running program's name.
    static AppError FromLastError();
    static AppError FromHresult(HRESULT hr, std::string source);

private:
    long number_;
    std::string source_;
    std::string description_;
};

// The system's readable text for a Win32 error code or an HRESULT, without the line end.
std::string SystemMessage(DWORD code);

// Numbers of the program's own conditions, as a Basic runtime would number them.
namespace error_number {
inline constexpr long kInvalidArgument = 5;
inline constexpr long kOverflow = 6;
inline constexpr long kTypeMismatch = 13;
inline constexpr long kBadFileNumber = 52;
inline constexpr long kInputPastEndOfFile = 62;
inline constexpr long kTooManyFiles = 67;
inline constexpr long kPermissionDenied = 70;
}  // namespace error_number

}  // namespace orlenta
