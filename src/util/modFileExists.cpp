// Existence tests, folder clearing and path normalising.
#include "util/modFileExists.h"

#include <windows.h>

#include "util/Handles.h"
#include "util/LongPath.h"
#include "util/Text.h"

namespace orlenta {

namespace {

// Folders deeper than this below the confirmed folder are moved up before they are cleared.
constexpr size_t kFlattenDepth = 8;

FindHandle FindFirst(const std::string& pattern, WIN32_FIND_DATAA& data) {
    data = WIN32_FIND_DATAA{};
    return FindHandle(FindFirstFileA(pattern.c_str(), &data));
}

// One entry of a folder listing, as the clearing walk needs it.
struct FoundEntry {
    std::wstring name;
    DWORD attributes;
    DWORD reparseTag;
};

// Every entry of the folder but "." and "..", in the order the find functions deliver them;
// false when the folder cannot be listed.
bool ListFolder(const std::wstring& folder, std::vector<FoundEntry>& entries) {
    WIN32_FIND_DATAW data{};
    const FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find) {
        return false;
    }
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        const bool reparse = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entries.push_back({name, data.dwFileAttributes, reparse ? data.dwReserved0 : 0});
    } while (FindNextFileW(find.get(), &data));
    return true;
}

// A link is told by its reparse tag, not by the reparse attribute alone: junctions, mount points
// and symbolic links are name surrogates (bit 29), while folders of cloud-synchronised storage
// carry other tags and are ordinary folders to clear. Wine reports its Unix links to folders as
// 0x410 with no tag at all (0, never a real tag), so a missing tag counts as a link as well.
bool IsLink(const FoundEntry& entry) {
    if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return false;
    }
    return entry.reparseTag == 0 || (entry.reparseTag & 0x20000000u) != 0;
}

// Read-only entries inside the confirmed folder are cleared with it: a read-only file refuses
// deletion, and archives copied from a read-only source are read-only.
void ClearReadOnly(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return;
    }
    const DWORD cleared = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY |
                                                           FILE_ATTRIBUTE_REPARSE_POINT);
    SetFileAttributesW(path.c_str(), cleared == 0 ? FILE_ATTRIBUTE_NORMAL : cleared);
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
    std::vector<RemainingEntry> remaining;
    const std::string base = RemoveTrailingBackslash(folderPath);
    // An empty path names no folder, but "\*" would be the root of the current drive.
    if (base.empty()) {
        return remaining;
    }
    // "C:" must stay the root of C: (as "C:\*" would search it), not C:'s current directory.
    std::wstring top = FullPathW(AnsiToWide(base) + L"\\");
    if (top.empty()) {
        return remaining;
    }
    if (top.back() == L'\\') {
        top.pop_back();
    }
    // Under the extended-length prefix, paths may pass 260 characters and names such as "aux.txt"
    // or "nul.log" are the files themselves, not devices.
    top = ExtendedLengthPath(top);
    const auto keep = [&](const std::wstring& path, DWORD error) {
        remaining.push_back({WithoutExtendedPrefix(path), error});
    };

    // The walk keeps its own stack, so the depth of a tree never grows the thread's stack; each
    // folder is listed whole before anything in it is deleted, so no find handle stays open below it.
    struct Frame {
        std::wstring path;
        std::vector<FoundEntry> entries;
        size_t next = 0;
        size_t remainingBefore = 0;
    };
    std::vector<Frame> stack;
    unsigned long raisedFolders = 0;
    {
        std::vector<FoundEntry> entries;
        if (!ListFolder(top, entries)) {
            return remaining;
        }
        stack.push_back({top, std::move(entries), 0, 0});
    }
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.entries.size()) {
            const std::wstring path = frame.path;
            const size_t remainingBefore = frame.remainingBefore;
            stack.pop_back();
            // The confirmed folder itself stays; removing it is the caller's step. A folder that
            // keeps something already named is not named again.
            if (!stack.empty() && !RemoveDirectoryW(path.c_str()) && remaining.size() == remainingBefore) {
                keep(path, GetLastError());
            }
            continue;
        }
        const FoundEntry entry = frame.entries[frame.next++];
        const std::wstring child = frame.path + L"\\" + entry.name;
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            // Every file goes, whatever its attributes (FILE_ATTRIBUTE_NORMAL included): the caller
            // removes the folder right after this walk. Read-only files are deleted too.
            ClearReadOnly(child, entry.attributes);
            if (!DeleteFileW(child.c_str())) {
                keep(child, GetLastError());
            }
            continue;
        }
        // Folders whose name starts with a full stop are kept whole: they may be kept on purpose.
        if (entry.name[0] == L'.') {
            keep(child, 0);
            continue;
        }
        if (IsLink(entry)) {
            // A junction, folder symbolic link or mount point is never walked into: its contents
            // live outside this folder. On Windows RemoveDirectoryW removes only the link itself;
            // under Wine it acts on the link's target, which it can only remove when that is empty.
            ClearReadOnly(child, entry.attributes);
            if (!RemoveDirectoryW(child.c_str())) {
                keep(child, GetLastError());
            }
            continue;
        }
        ClearReadOnly(child, entry.attributes);
        // Every call on a path costs in proportion to its depth (under Wine steeply so: 800 levels
        // took 41 s, 2,000 over 400 s), so a folder deep down is first moved up to the top, inside
        // the confirmed folder, and cleared there. A folder that cannot move is cleared in place.
        std::wstring folder = child;
        if (stack.size() >= kFlattenDepth) {
            const std::wstring raised = top + L"\\orlenta-reset-" + std::to_wstring(++raisedFolders);
            if (MoveFileExW(child.c_str(), raised.c_str(), 0)) {
                folder = raised;
            }
        }
        std::vector<FoundEntry> entries;
        if (!ListFolder(folder, entries)) {
            // Unreadable: still try to remove it (it may be empty); its error names it if not.
            entries.clear();
        }
        const size_t remainingBefore = remaining.size();
        stack.push_back({folder, std::move(entries), 0, remainingBefore});
    }
    return remaining;
}

}  // namespace orlenta
