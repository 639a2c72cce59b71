// What a pass was showing: the visible windows of the processes in its job, their texts and pictures.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

namespace orlenta {

struct PassWindows {
    // One line per window: wscript.exe (412): "Kavro" - "The licence server cannot be found." [OK]
    std::vector<std::string> Lines;
    // With pictures asked for, one per line: the full path of its PNG (UTF-8), empty where it failed.
    std::vector<std::string> Pictures;
};

// Every visible top-level window of the job's processes, with the texts of its visible controls in
// reading order (static texts in quotes, buttons in brackets, edit boxes in angle brackets). With a non-empty
// `picturePrefix` ("D:\Nightly.log.screens\Ave007-") each window's picture is saved as the prefix
// followed by its number and ".png", its folder made when missing. Reads no text by a message that
// a hung window could hold up for long, and takes at most about `withinMs` in all: what it could not
// record by then is said on the lines ("... not recorded: the deadline passed"). The calling thread
// must have COM initialised for pictures.
PassWindows RecordPassWindows(HANDLE job, const std::wstring& picturePrefix, DWORD withinMs);

}  // namespace orlenta
