// The files the run makes at names it chooses or is given (the lock, the log): never written or
// deleted through a link or a second name, made new where nothing is.
#pragma once

#include <optional>
#include <string>

#include <windows.h>

#include "util/Handles.h"

namespace orlenta {

// Why the run must not write or delete the file at the full path `path`, open as `file` without
// following a link: it is a link, or it has more than one name (writing it would change it under
// its other names; deleting a name would delete another file's). Nothing for a plain file of one
// name. The reason reads after the path: "is a link: ...".
std::optional<std::string> NotOwnFileReason(const std::wstring& path, HANDLE file);

struct OwnFileOpening {
    FileHandle File;      // open with the access asked for; empty when it is not taken
    bool Made = false;    // made new here; otherwise the plain file of one name that was there
    DWORD Error = 0;      // the system's error when nothing could be opened (a sharing violation: another holds it)
    std::string Refusal;  // why what is there is not taken (as NotOwnFileReason says it)
};

// `path` opened for `access` sharing `share`. Made new when nothing is there, with `flags` (the
// lock's delete-on-close), and no link followed: a link that leads nowhere makes no file at its
// target, since "exists" from the making where opening finds nothing is refused. Otherwise the
// file that is there, opened without following a link, when it is a plain file of one name.
OwnFileOpening OpenOwnFile(const std::wstring& path, DWORD access, DWORD share, DWORD flags = FILE_ATTRIBUTE_NORMAL);

// The first bytes (up to 4,096) of an open file, read from its start; nothing when it cannot be read.
std::optional<std::string> BeginningOf(HANDLE file);

}  // namespace orlenta
