// modBrowseForFolder: the shell's folder picker, returning the picked folder's file-system path.
#include "frontend/modBrowseForFolder.h"

#include <cstring>

#include <shlobj.h>

#include "util/ComPtr.h"

namespace orlenta {

std::string BrowseForFolder(HWND ownerWindow, long rootFolder, long flags, const std::string& caption) {
    // Declared before the chosen list so that it is released after it.
    CoTaskMem<ITEMIDLIST> root;
    if (rootFolder >= 1) {
        LPITEMIDLIST found = nullptr;
        // Only a successful lookup hands over a list; on failure the dialog starts at the desktop.
        if (SHGetSpecialFolderLocation(ownerWindow, static_cast<int>(rootFolder), &found) == S_OK) {
            *root.put() = found;
        }
    }

    char displayName[MAX_PATH] = {};
    const std::string title = "Browsing " + caption;
    BROWSEINFOA info{};
    info.hwndOwner = ownerWindow;
    info.pidlRoot = root.get();
    info.pszDisplayName = displayName;
    info.lpszTitle = title.c_str();
    info.ulFlags = static_cast<UINT>(flags);
    info.lpfn = nullptr;
    info.lParam = 0;
    info.iImage = 0;

    CoTaskMem<ITEMIDLIST> chosen;
    *chosen.put() = SHBrowseForFolderA(&info);

    char path[MAX_PATH] = {};
    std::string result;
    // A cancel gives no list at all; the shell is not asked for the path of nothing.
    if (chosen.get() != nullptr && SHGetPathFromIDListA(chosen.get(), path)) {
        result.assign(path, strnlen(path, MAX_PATH));
    }
    return result;
}

}  // namespace orlenta
