// The run log: one line per event, the local time first, in UTF-8, for runs that nobody watches.
#pragma once

#include <string>

#include <windows.h>

#include "util/Handles.h"

namespace orlenta {

// The log's first line after the time: it names the program and the format, so that a log is told
// from other files by something no other program writes by chance.
inline constexpr const char* kRunLogMarker = "Orlenta run log, UTF-8, one event per line";

class RunLog {
public:
    // Creates the file, or replaces one of this program's logs (or an empty file) through the handle
    // it was judged by; raises AppError when it cannot, or when the name is a link, a file of several
    // names or another program's file. The first line is the marker. Lines also go to `echo` (a
    // console or a redirected output) when one is given; the log does not own it.
    explicit RunLog(const std::wstring& path, HANDLE echo = nullptr);

    // "2026-12-08T21:04:05 text"; a text of several lines stays on one, its parts joined by " | ".
    void Line(const std::string& text) noexcept;

    const std::wstring& Path() const noexcept { return path_; }

private:
    std::wstring path_;
    FileHandle file_;
    HANDLE echo_;
};

// One line (ending in CR LF) to a console or a redirected output: a console gets it in its own
// characters, anything else the UTF-8 bytes as they are.
void WriteEcho(HANDLE echo, const std::string& line) noexcept;

// True when the text begins as this program's logs begin: a local time, a space and the marker, or
// one of the first events of the logs written before the marker.
bool IsOrlentaLogText(const std::string& text);

// Local time as ISO 8601 to the second: 2026-12-08T21:04:05.
std::string IsoLocalTime(const SYSTEMTIME& time);

// The text on one line: each line break (CR LF, CR or LF) becomes " | ".
std::string OneLine(const std::string& text);

}  // namespace orlenta
