// Existence tests, folder clearing and path normalising.
#include "util/modFileExists.h"

#include <windows.h>

#include "util/FolderWalk.h"
#include "util/Handles.h"
#include "util/PathForm.h"
#include "util/Text.h"

namespace orlenta {

namespace {

FindHandle FindFirst(const std::string& pattern, WIN32_FIND_DATAA& data) {
    data = WIN32_FIND_DATAA{};
    return FindHandle(FindFirstFileA(pattern.c_str(), &data));
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

void DeleteFolderContents(const std::string& folderPath) { ClearFolderContents(folderPath); }

std::vector<RemainingEntry> ClearFolderContents(const std::string& folderPath) {
    const std::string base = RemoveTrailingBackslash(folderPath);
    // An empty path names no folder, but "\*" would be the root of the current drive.
    if (base.empty()) {
        return {};
    }
    // "C:" must stay the root of C: (as "C:\*" would search it), not C:'s current directory.
    const PathForm form = FullPathForm(AnsiToUtf8(base + "\\"));
    if (!form.usable()) {
        return {};
    }
    return ClearFolderByHandle(form.full);
}

}  // namespace orlenta
