// Replacing an old testing folder: the refusal by identity and the report of what remains.
#include "run/TestingFolderReset.h"

#include <array>
#include <vector>

#include <windows.h>

#include "util/AppError.h"
#include "util/Handles.h"
#include "util/LongPath.h"
#include "util/Text.h"
#include "util/modFileExists.h"

namespace orlenta {

namespace {

// Where a folder really is: its full path, and for an existing folder the path and identity of
// what an opened handle reaches (the target, when the path goes through a link).
struct ResolvedFolder {
    std::wstring full;       // lower case, ending in "\"
    std::wstring final;      // lower case, ending in "\"; the full path when the folder cannot be opened
    bool opened = false;
    DWORD volume = 0;
    ULONGLONG index = 0;
};

std::wstring Lowered(std::wstring text) {
    if (!text.empty()) {
        CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    }
    return text;
}

std::wstring WithBackslash(std::wstring path) {
    if (path.empty() || path.back() != L'\\') {
        path.push_back(L'\\');
    }
    return path;
}

FileHandle OpenFolder(const std::wstring& fullPath) {
    // Backup semantics open a folder; no access is asked beyond its attributes, and every share
    // mode is granted, so opening it disturbs nobody.
    return FileHandle(CreateFileW(ExtendedLengthPath(fullPath).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool ReadIdentity(const FileHandle& handle, DWORD& volume, ULONGLONG& index) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle.get(), &info)) {
        return false;
    }
    volume = info.dwVolumeSerialNumber;
    index = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

ResolvedFolder Resolve(const std::string& path) {
    ResolvedFolder folder;
    const std::wstring full = FullPathW(AnsiToWide(TrimSpaces(path)));
    folder.full = WithBackslash(Lowered(full.empty() ? AnsiToWide(path) : full));
    folder.final = folder.full;
    if (full.empty()) {
        return folder;
    }
    const FileHandle handle = OpenFolder(full);
    if (!handle || !ReadIdentity(handle, folder.volume, folder.index)) {
        return folder;
    }
    folder.opened = true;
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle.get(), final.data(), static_cast<DWORD>(final.size()), 0);
    if (length >= final.size()) {
        final.assign(length, L'\0');
        length = GetFinalPathNameByHandleW(handle.get(), final.data(), static_cast<DWORD>(final.size()), 0);
    }
    if (length != 0 && length < final.size()) {
        final.resize(length);
        folder.final = WithBackslash(Lowered(WithoutExtendedPrefix(final)));
    }
    return folder;
}

// "c:\" or "\\server\share\" (paths in the form Resolve gives them).
bool IsRootPath(const std::wstring& path) {
    if (path.size() <= 3 && path.size() >= 2 && path[1] == L':') {
        return true;
    }
    if (path == L"\\") {
        return true;
    }
    if (path.rfind(L"\\\\", 0) == 0) {
        const auto share = path.find(L'\\', 2);
        if (share == std::wstring::npos) {
            return true;
        }
        const auto next = path.find(L'\\', share + 1);
        return next == std::wstring::npos || next + 1 == path.size();
    }
    return false;
}

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0;
}

bool SameFolder(const ResolvedFolder& a, const ResolvedFolder& b) {
    if (a.opened && b.opened && a.volume == b.volume && a.index == b.index) {
        return true;
    }
    return a.full == b.full || a.final == b.final;
}

// True when `inner` lies below `outer`, by spelling or by the identity of one of inner's parents.
bool IsInside(const ResolvedFolder& inner, const ResolvedFolder& outer) {
    if (StartsWithFolder(inner.full, outer.full) || StartsWithFolder(inner.final, outer.final)) {
        return true;
    }
    if (!outer.opened) {
        return false;
    }
    std::vector<std::wstring> parents;
    for (const std::wstring* path : {&inner.full, &inner.final}) {
        std::wstring parent = *path;
        for (auto cut = parent.find_last_of(L'\\', parent.size() - 2); cut != std::wstring::npos && cut > 0;
             cut = parent.find_last_of(L'\\', cut - 1)) {
            parent.resize(cut + 1);
            parents.push_back(parent);
        }
    }
    for (const std::wstring& parent : parents) {
        const FileHandle handle = OpenFolder(parent);
        DWORD volume = 0;
        ULONGLONG index = 0;
        if (handle && ReadIdentity(handle, volume, index) && volume == outer.volume && index == outer.index) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<std::string> TestingFolderDeletionRefusal(const std::string& testingFolder,
                                                        const std::string& aveFolder,
                                                        const std::string& installationFolder,
                                                        const std::string& applicationFolder) {
    const std::string testingText = AddTrailingBackslash(testingFolder);
    const std::string prefix = "The testing folder " + testingText + " will not be deleted: ";
    const ResolvedFolder testing = Resolve(testingText);
    if (IsRootPath(testing.full) || IsRootPath(testing.final)) {
        return prefix + "it is the root of a drive.";
    }
    struct Needed {
        const char* what;
        std::string folder;
        bool refuseInside;  // a testing folder inside it would delete what the run needs
    };
    const std::array<Needed, 4> needed = {{
        {"the AVE folder", AddTrailingBackslash(aveFolder), true},
        {"the installation folder", AddTrailingBackslash(installationFolder), true},
        // Inside the program's folder but outside Files, a testing folder harms nothing.
        {"the program's own folder", AddTrailingBackslash(applicationFolder), false},
        {"the program's Files folder", AddTrailingBackslash(applicationFolder) + "Files\\", true},
    }};
    for (const Needed& entry : needed) {
        const ResolvedFolder folder = Resolve(entry.folder);
        if (SameFolder(testing, folder)) {
            return prefix + "it is " + entry.what + ".";
        }
        if (IsInside(folder, testing)) {
            return prefix + "it contains " + entry.what + " " + entry.folder + ".";
        }
        if (entry.refuseInside && IsInside(testing, folder)) {
            return prefix + "it lies inside " + entry.what + " " + entry.folder + ".";
        }
    }
    return std::nullopt;
}

bool IsSamePlace(const std::string& a, const std::string& b) { return SameFolder(Resolve(a), Resolve(b)); }

bool IsInsideFolder(const std::string& path, const std::string& folder) {
    return IsInside(Resolve(path), Resolve(AddTrailingBackslash(folder)));
}

std::string TestingFolderNotClearedMessage(const std::string& testingFolder,
                                           const std::vector<RemainingEntry>& remaining, unsigned long removeError) {
    constexpr size_t kShown = 5;
    const std::string folder = AddTrailingBackslash(testingFolder);
    std::string text = "The testing folder " + folder +
                       " could not be cleared, so the run ends before its first pass. Nothing else was deleted. "
                       "What remains:";
    const auto line = [&](const std::wstring& path, unsigned long error) {
        text += "\r\n" + WideToAnsi(path) + " - " +
                (error == 0 ? std::string("kept: its name begins with a full stop.") : SystemMessage(error));
    };
    if (remaining.empty()) {
        line(AnsiToWide(RemoveTrailingBackslash(folder)), removeError);
    }
    for (size_t i = 0; i < remaining.size() && i < kShown; ++i) {
        line(remaining[i].path, remaining[i].error);
    }
    if (remaining.size() > kShown) {
        text += "\r\nand " + std::to_string(remaining.size() - kShown) + " more.";
    }
    return text;
}

}  // namespace orlenta
