// Existence tests, folder clearing and path normalising on Windows paths ("\" separated).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "util/RemainingEntry.h"

namespace orlenta {

// True when anything matches the path, which may hold the wildcards "*" and "?".
bool FileExists(const std::string& path);
// True when the first entry matching the path (trimmed, one trailing "\" removed) is a folder.
bool FolderExists(const std::string& path);
// Deletes everything below the folder, depth first, passing over every failure.
void DeleteFolderContents(const std::string& folderPath);

// The walk of DeleteFolderContents (by handle: see FolderWalk.h), naming what is still there.
std::vector<RemainingEntry> ClearFolderContents(const std::string& folderPath);
// The text before its first NUL.
std::string StripNulls(std::string_view text);
// The trimmed path without one trailing "\".
std::string RemoveTrailingBackslash(std::string_view path);
// The trimmed path ending in "\"; an empty path gives "\".
std::string AddTrailingBackslash(std::string_view path);

}  // namespace orlenta
