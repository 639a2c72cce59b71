// Clearing a folder by handle: everything below the folder is reached relative to its parent's
// open handle, never by path text, so no link, mount point or replaced entry leads outside it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "util/ByHandle.h"
#include "util/RemainingEntry.h"

namespace orlenta {

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
