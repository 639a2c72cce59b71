// Replacing an old testing folder: the refusal by identity and the report of what remains.
#include "run/TestingFolderReset.h"

#include <array>
#include <vector>

#include <windows.h>

#include "util/AppError.h"
#include "util/Handles.h"
#include "util/LongPath.h"
#include "util/PathForm.h"
#include "util/ProtectedFolders.h"
#include "util/Text.h"
#include "util/modFileExists.h"

namespace orlenta {

namespace {

std::wstring FolderWithBackslash(const std::wstring& path) {
    return !path.empty() && path.back() == L'\\' ? path : path + L"\\";
}

FileHandle OpenAttributes(const std::wstring& fullPath, DWORD flags) {
    return FileHandle(CreateFileW(ExtendedLengthPath(fullPath).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
}

// "C:\" for a drive root, the folder itself for the root of a mounted volume, else empty.
std::wstring VolumeRootAt(const std::wstring& full) {
    std::wstring withSlash = full.back() == L'\\' ? full : full + L"\\";
    std::wstring volume(withSlash.size() + MAX_PATH, L'\0');
    if (!GetVolumePathNameW(withSlash.c_str(), volume.data(), static_cast<DWORD>(volume.size()))) {
        return {};
    }
    volume.resize(wcslen(volume.c_str()));
    return CompareStringOrdinal(volume.c_str(), -1, withSlash.c_str(), -1, TRUE) == CSTR_EQUAL ? volume
                                                                                                : std::wstring();
}

// Whether the folder is itself a link (a name-surrogate reparse point, or under Wine a folder its
// parent's listing marks as a reparse point), and where it leads when that can be read.
bool IsLinkedFolder(const std::wstring& full, std::wstring& target) {
    bool link = false;
    if (const FileHandle own = OpenAttributes(full, FILE_FLAG_OPEN_REPARSE_POINT)) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (GetFileInformationByHandleEx(own.get(), FileAttributeTagInfo, &tag, sizeof tag) &&
            (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && (tag.ReparseTag & 0x20000000u) != 0) {
            link = true;
        }
    }
    WIN32_FIND_DATAW found{};
    if (const FindHandle listed{FindFirstFileW(ExtendedLengthPath(full).c_str(), &found)}) {
        const DWORD attributes = found.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
            (found.dwReserved0 == 0 || (found.dwReserved0 & 0x20000000u) != 0)) {
            link = true;
        }
    }
    if (link) {
        if (const FileHandle followed = OpenAttributes(full, 0)) {
            std::wstring final(32768, L'\0');
            DWORD length = GetFinalPathNameByHandleW(followed.get(), final.data(), static_cast<DWORD>(final.size()),
                                                     VOLUME_NAME_DOS);
            if (length == 0 || length >= final.size()) {
                length = GetFinalPathNameByHandleW(followed.get(), final.data(), static_cast<DWORD>(final.size()),
                                                   VOLUME_NAME_GUID);
            }
            if (length != 0 && length < final.size()) {
                final.resize(length);
                target = WithoutExtendedPrefix(final);
            }
        }
    }
    return link;
}

}  // namespace

std::optional<std::string> TestingFolderDeletionRefusal(const std::string& testingGiven,
                                                        const std::wstring& testingFolder,
                                                        const std::wstring& aveFolder,
                                                        const std::wstring& installationFolder,
                                                        const std::wstring& applicationFolder) {
    const std::string testingText = AddTrailingBackslash(testingGiven);
    const std::string prefix = "The testing folder " + testingText + " will not be deleted: ";
    std::wstring full = testingFolder;
    while (full.size() > 3 && full.back() == L'\\') {
        full.pop_back();
    }
    if (full.empty()) {
        return prefix + "it cannot be made a full path.";
    }
    if (IsRootPath(full)) {
        return prefix + "it is the root of a drive.";
    }
    const std::wstring volume = VolumeRootAt(full);
    if (!volume.empty()) {
        return prefix + (volume.size() <= 3 ? "it is the root of a drive."
                                            : "it is the root of a volume mounted there: give a folder on that "
                                              "volume instead.");
    }
    struct Needed {
        const char* what;
        std::wstring folder;
        bool refuseInside;  // a testing folder inside it would delete what the run needs
    };
    const std::array<Needed, 4> needed = {{
        {"the AVE folder", aveFolder, true},
        {"the installation folder", installationFolder, true},
        // Inside the program's folder but outside Files, a testing folder harms nothing.
        {"the program's own folder", applicationFolder, false},
        {"the program's Files folder", FolderWithBackslash(applicationFolder) + L"Files", true},
    }};
    for (const Needed& entry : needed) {
        if (entry.folder.empty()) {
            continue;
        }
        const std::string named = WideToUtf8(FolderWithBackslash(entry.folder));
        if (IsSameFolder(full, entry.folder)) {
            return prefix + "it is " + entry.what + ".";
        }
        if (IsInsideFolder(entry.folder, full)) {
            return prefix + "it contains " + entry.what + " " + named + ".";
        }
        if (entry.refuseInside && IsInsideFolder(full, entry.folder)) {
            return prefix + "it lies inside " + entry.what + " " + named + ".";
        }
    }
    std::wstring target;
    if (IsLinkedFolder(full, target)) {
        return prefix + "it is a link" + (target.empty() ? std::string(" whose target cannot be read")
                                                         : " to " + WideToUtf8(target)) +
               ". Give the folder itself, or remove the link.";
    }
    const std::string clash = ProtectedFolderClash(full);
    if (!clash.empty()) {
        return prefix + clash;
    }
    return std::nullopt;
}

std::string RemainReasonText(const RemainingEntry& entry) {
    switch (entry.reason) {
    case RemainReason::DotName:
        return "kept: its name begins with a full stop.";
    case RemainReason::HeldOpen:
        return "still there after its deletion was accepted: another program holds it open.";
    case RemainReason::Changed:
        return "changed during the reset.";
    case RemainReason::LinkKept:
        return "a link that this system would delete only through its target, so it was left alone.";
    case RemainReason::Unchecked:
        return "kept: the system did not say which file it is, so it may be a link to a file elsewhere.";
    case RemainReason::SystemError:
        break;
    }
    return SystemMessage(entry.error);
}

std::string TestingFolderNotClearedMessage(const std::string& testingFolder,
                                           const std::vector<RemainingEntry>& remaining, unsigned long removeError) {
    constexpr size_t kShown = 5;
    const std::string folder = AddTrailingBackslash(testingFolder);
    std::string text = "The testing folder " + folder +
                       " could not be cleared, so the run ends before its first pass. Nothing else was deleted. "
                       "What remains:";
    const auto line = [&](const RemainingEntry& entry) {
        text += "\r\n" + WideToUtf8(entry.path) + " - " + RemainReasonText(entry);
    };
    if (remaining.empty()) {
        line({Utf8ToWide(RemoveTrailingBackslash(folder)), removeError, RemainReason::SystemError});
    }
    for (size_t i = 0; i < remaining.size() && i < kShown; ++i) {
        line(remaining[i]);
    }
    if (remaining.size() > kShown) {
        text += "\r\nand " + std::to_string(remaining.size() - kShown) + " more.";
    }
    return text;
}

}  // namespace orlenta
