// Files reached by handle, never by path text: listing an open folder, looking one entry up in it,
// opening an entry relative to its folder's handle, and what an open handle is.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "util/Handles.h"

namespace orlenta {

// An entry as its folder lists it.
struct ListedEntry {
    std::wstring name;
    DWORD attributes = 0;
    DWORD tag = 0;  // the reparse tag, for entries that are reparse points
    LONGLONG id = 0;
};

// Every entry of an open folder but "." and ".."; false when it cannot be listed.
bool ListByHandle(HANDLE folder, std::vector<ListedEntry>& entries);

// The one entry of an open folder that `name` names (its long or short name, any letter case), as
// the folder lists it; nothing when there is none. `name` holds no wildcard.
std::optional<ListedEntry> LookUpEntry(HANDLE folder, const std::wstring& name);

// Opens an entry relative to its folder's handle, the reparse point itself rather than its target;
// every sharing mode. `options` are NtCreateFile's (FILE_DIRECTORY_FILE, FILE_NON_DIRECTORY_FILE).
// An empty handle on failure, with the system's error in `error`.
FileHandle OpenRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG options, DWORD& error);

// The file ID an open handle reaches (the listing's id on the same volume). One call: under Wine
// every call on a handle costs in proportion to its depth.
bool HandleId(HANDLE handle, LONGLONG& id);

// The attributes of what a handle reaches; 0 when they cannot be read.
DWORD HandleAttributes(HANDLE handle);

// The system's own name for what a handle reaches ("\Device\...\name", or under Wine
// "\??\C:\..."); empty when it cannot tell. One call: the DOS form of GetFinalPathNameByHandleW asks
// the mount manager, another process under Wine, for every file.
std::wstring ObjectName(HANDLE handle);

// Deletes through the handle (opened with DELETE); the deletion happens when the handle closes.
// With `keepAttributes` a read-only file is deleted only where the system can do so without
// clearing its read-only mark (a file with other names keeps its attributes on all of them).
// 0 or the system's error.
DWORD DeleteThroughHandle(HANDLE handle, DWORD listedAttributes, bool keepAttributes);

// Clears the read-only mark through the handle (opened with FILE_WRITE_ATTRIBUTES).
void ClearReadOnly(HANDLE handle);

// True when the path is longer than the system can delete by: under Wine, whose host paths end at
// 4,096 bytes, its host path; elsewhere the 32,767 characters of an extended-length path.
bool BeyondPathLimit(const std::wstring& fullPath);

}  // namespace orlenta
