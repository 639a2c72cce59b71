// modBrowseForFolder: the shell's folder picker, returning the picked folder's file-system path.
#pragma once

#include <string>

#include <windows.h>

namespace orlenta {

// Shows the modal picker owned by `ownerWindow`, rooted at the special folder `rootFolder` (CSIDL;
// 0 or less, or a number the shell does not know, means the desktop), with the BIF_ flag word
// `flags` and the line "Browsing " + `caption` above the tree. Returns the folder's path, or empty
// text after a cancel or for an item outside the file system. The calling thread must have COM
// initialised in a single-threaded apartment.
std::string BrowseForFolder(HWND ownerWindow, long rootFolder, long flags, const std::string& caption);

}  // namespace orlenta
