// The run log: one line per event, the local time first, for runs that nobody watches.
#include "run/RunLog.h"

#include <cstdio>

#include "run/OwnFile.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/LongPath.h"
#include "util/Text.h"

namespace orlenta {

namespace {

void WriteAll(HANDLE target, const std::string& bytes) noexcept {
    DWORD written = 0;
    for (size_t done = 0; done < bytes.size(); done += written) {
        if (!WriteFile(target, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0) {
            return;
        }
    }
}

}  // namespace

void WriteEcho(HANDLE echo, const std::string& line) noexcept {
    if (echo == nullptr || echo == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD mode = 0;
    if (GetConsoleMode(echo, &mode)) {
        // A console shows its own code page, which is seldom UTF-8: wide output needs none.
        try {
            const std::wstring wide = Utf8ToWide(line);
            DWORD written = 0;
            WriteConsoleW(echo, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        } catch (...) {
        }
        return;
    }
    WriteAll(echo, line);
}

bool IsOrlentaLogText(const std::string& text) {
    constexpr const char* kShape = "0000-00-00T00:00:00 ";  // 0 stands for any digit
    for (size_t i = 0; kShape[i] != '\0'; ++i) {
        if (i >= text.size()) {
            return false;
        }
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == '0' ? !digit : text[i] != kShape[i]) {
            return false;
        }
    }
    // The first line names the format; logs of the version before it began with one of its first events.
    constexpr const char* kFirstEvents[] = {
        kRunLogMarker,   "Run starts: ",           "Nothing to rerun: ",    "To rerun from ",
        "No time limit: ", "Command line refused: ", "Another run is using ", "Unexpected failure: ",
        "Message: The time limit \""};
    const std::string_view event = std::string_view(text).substr(std::string_view(kShape).size());
    for (const char* first : kFirstEvents) {
        if (event.substr(0, std::string_view(first).size()) == first) {
            return true;
        }
    }
    return false;
}

std::string IsoLocalTime(const SYSTEMTIME& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
                  time.wMinute, time.wSecond);
    return text;
}

std::string OneLine(const std::string& text) {
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            line += " | ";
        } else {
            line += text[i];
        }
    }
    return line;
}

RunLog::RunLog(const std::wstring& path, HANDLE echo) : path_(path), echo_(echo) {
    // Readers (a tail on a CI agent) may follow the file while the run writes it.
    OwnFileOpening log = OpenOwnFile(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ);
    if (!log.Refusal.empty()) {
        throw AppError(error_number::kPermissionDenied, ProgramName(), "it " + log.Refusal);
    }
    if (!log.File) {
        throw AppError::FromWin32(log.Error, ProgramName());
    }
    if (!log.Made) {
        // Checked and replaced through one handle, so the file judged is the file written.
        const auto beginning = BeginningOf(log.File.get());
        if (!beginning) {
            throw AppError::FromLastError();
        }
        if (!beginning->empty() && !IsOrlentaLogText(*beginning)) {
            throw AppError(error_number::kPermissionDenied, ProgramName(), "it exists and is not one this program wrote.");
        }
        LARGE_INTEGER start{};
        if (!SetFilePointerEx(log.File.get(), start, nullptr, FILE_BEGIN) || !SetEndOfFile(log.File.get())) {
            throw AppError::FromLastError();
        }
    }
    file_ = std::move(log.File);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    WriteAll(file_.get(), IsoLocalTime(now) + " " + kRunLogMarker + "\r\n");
}

void RunLog::Line(const std::string& text) noexcept {
    try {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        const std::string line = IsoLocalTime(now) + " " + OneLine(text) + "\r\n";
        // Written through at once, so a run that dies leaves every line before it.
        WriteAll(file_.get(), line);
        WriteEcho(echo_, line);
    } catch (...) {
        // Out of memory for one line: the run goes on without it.
    }
}

}  // namespace orlenta
