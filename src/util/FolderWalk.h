// Clearing a folder by handle: everything below the folder is reached relative to its parent's
// open handle, never by path text, so no link, mount point or replaced entry leads outside it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "util/ByHandle.h"

namespace orlenta {

// Why an entry is still there after a clearing walk.
enum class RemainReason {
    SystemError,     // the system refused: `error` holds its code
    DotName,         // a folder whose name begins with a full stop, kept on purpose
    HeldOpen,        // its deletion was accepted, but another program holds it open
    InUse,           // a folder another program holds without sharing its deletion (its current folder, say)
    Changed,         // it was replaced, or appeared, while the walk ran
    LinkKept,        // a link the system would only delete through its target, so it was left alone
    Unchecked,       // the system did not say what its handle reaches, so it may be such a link
    TooDeep,         // its path is longer than the system can delete by
    NotReached,      // the walk could not enter the folder above it
    LinkedReadOnly,  // a read-only file with other names: clearing its mark would change them too
};

// An entry that a clearing walk left in place, and why.
struct RemainingEntry {
    std::wstring path;    // full path, without the "\\?\" prefix
    unsigned long error;  // the system's error code for SystemError, else 0
    RemainReason reason = RemainReason::SystemError;
};

// Deletes everything below the open folder (`folderPath` is its full path, for naming), leaving the
// folder itself, and names what is still there afterwards, as listed again: a folder is named only
// when nothing below it is. Folders are entered without delete access (a folder another program
// holds is still emptied) and removed, once empty, through a handle of their own opened relative to
// their parent and checked to be the folder that was emptied. Nothing is renamed or moved, so a walk
// killed at any moment leaves a part of the original tree at its original paths.
std::vector<RemainingEntry> ClearFolderByHandle(HANDLE folder, const std::wstring& folderPath);

// The same for a folder given by its full path, opened here (the reparse point itself when it is
// one: a folder that is itself a link is not walked and is named with LinkKept); a missing folder or
// a file ends the walk without effect.
std::vector<RemainingEntry> ClearFolderByHandle(const std::wstring& fullFolderPath);

// Removes the emptied folder `entry` of the open folder `parent`, through a handle of its own with
// delete access, checked to reach the same file as the listing; `path` names it. Nothing when its
// removal was accepted, else the reason it stays.
std::optional<RemainingEntry> RemoveEmptiedFolder(HANDLE parent, const ListedEntry& entry, const std::wstring& path);

}  // namespace orlenta
