// Existence tests, folder clearing and path normalising.
#include "util/modFileExists.h"

#include <windows.h>

#include "util/Handles.h"
#include "util/Text.h"

namespace orlenta {

namespace {

FindHandle FindFirst(const std::string& pattern, WIN32_FIND_DATAA& data) {
    data = WIN32_FIND_DATAA{};
    return FindHandle(FindFirstFileA(pattern.c_str(), &data));
}

std::string EntryName(const WIN32_FIND_DATAA& data) {
    return StripNulls(std::string_view(data.cFileName, sizeof data.cFileName));
}

}  // namespace

bool FileExists(const std::string& path) {
    WIN32_FIND_DATAA data;
    return FindFirst(path, data).valid();
}

bool FolderExists(const std::string& path) {
    WIN32_FIND_DATAA data;
    const FindHandle find = FindFirst(RemoveTrailingBackslash(path), data);
    return find.valid() && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void DeleteFolderContents(const std::string& folderPath) {
    const std::string base = RemoveTrailingBackslash(folderPath);
    // An empty path names no folder, but "\*.*" would be the root of the current drive.
    if (base.empty()) {
        return;
    }
    WIN32_FIND_DATAA data;
    const FindHandle find = FindFirst(base + "\\*.*", data);
    if (!find) {
        return;
    }
    do {
        const std::string child = base + "\\" + EntryName(data);
        const DWORD attributes = data.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            // "." and "..", and any folder whose name starts with a full stop, are kept whole.
            if (data.cFileName[0] == '.') {
                continue;
            }
            // A junction, folder symbolic link or mount point is never walked into: its contents
            // live outside this folder. On Windows RemoveDirectoryA removes only the link itself;
            // under Wine it acts on the link's target, which it can only remove when that is empty.
            if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
                DeleteFolderContents(child);
            }
            RemoveDirectoryA(child.c_str());
        } else {
            // Every file goes, whatever its attributes (FILE_ATTRIBUTE_NORMAL included): the caller
            // removes the folder right after this walk. A refused deletion is passed over.
            DeleteFileA(child.c_str());
        }
    } while (FindNextFileA(find.get(), &data));
}

}  // namespace orlenta
