// Replacing an old testing folder: the refusal by identity, the reset through one handle, and the
// report of what remains.
#include "run/TestingFolderReset.h"

#include <algorithm>
#include <array>

#include <windows.h>

#include "util/AppError.h"
#include "util/FileIdentity.h"
#include "util/LongPath.h"
#include "util/PathForm.h"
#include "util/ProtectedFolders.h"
#include "util/Text.h"
#include "util/modFileExists.h"

namespace orlenta {

namespace {

std::wstring WithBackslash(const std::wstring& path) { return !path.empty() && path.back() == L'\\' ? path : path + L"\\"; }



bool Holds(const std::vector<FileIdentity>& identities, const FileIdentity& identity) {
    return std::find(identities.begin(), identities.end(), identity) != identities.end();
}

// The root of a volume mounted at the folder's own place ("D:\Mount"), which its reached path ends.
bool IsMountedVolumeRoot(const std::wstring& reached) {
    const std::wstring withSlash = WithBackslash(reached);
    std::wstring volume(withSlash.size() + MAX_PATH, L'\0');
    if (!GetVolumePathNameW(withSlash.c_str(), volume.data(), static_cast<DWORD>(volume.size()))) {
        return false;
    }
    volume.resize(wcslen(volume.c_str()));
    return CompareStringOrdinal(volume.c_str(), -1, withSlash.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

std::optional<std::string> TestingFolderDeletionRefusal(const std::string& given, const FolderChain& chain,
                                                        const NeededFolders& needed) {
    const std::string prefix = "The testing folder " + AddTrailingBackslash(given) + " will not be deleted: ";
    if (!chain.refusal.empty()) {
        return prefix + chain.refusal + ". Give the folder itself, or remove the link.";
    }
    if (!chain.handles.empty() && chain.components.empty()) {
        return prefix + "it is the root of a drive.";
    }
    if (!chain.Complete()) {
        return prefix + "it cannot be opened as the folder its path names.";
    }
    const auto identity = IdentityOf(chain.handles.back().get());
    if (!identity) {
        return prefix + "the system does not say which folder it is, so it cannot be told from the folders the run "
                        "needs.";
    }
    const std::wstring reached = chain.ReachedPath();
    if (IsMountedVolumeRoot(reached)) {
        return prefix + "it is the root of a volume mounted there: give a folder on that volume instead.";
    }
    // What lies above it, by the handles that reached it: nothing replaced since can change these.
    std::vector<FileIdentity> above;
    for (std::size_t i = chain.handles.size() - 1; i-- > 0;) {
        if (const auto parent = IdentityOf(chain.handles[i].get())) {
            above.push_back(*parent);
        } else {
            return prefix + "the system does not say which folders it lies in.";
        }
    }
    struct Needed {
        const char* what;
        std::wstring folder;
        bool refuseInside;  // a testing folder inside it would delete what the run needs
    };
    const std::array<Needed, 4> folders = {{
        {"the AVE folder", needed.Ave, true},
        {"the installation folder", needed.Installation, true},
        // Inside the program's folder but outside Files, a testing folder harms nothing.
        {"the program's own folder", needed.Application, false},
        {"the program's Files folder", needed.Application.empty() ? std::wstring() : WithBackslash(needed.Application) + L"Files", true},
    }};
    for (const Needed& entry : folders) {
        if (entry.folder.empty()) {
            continue;
        }
        const auto other = IdentityAt(entry.folder);
        if (!other) {
            if (GetFileAttributesW(ExtendedLengthPath(entry.folder).c_str()) != INVALID_FILE_ATTRIBUTES) {
                return prefix + "the system does not say which folder " + entry.what + " is, so the two cannot be told "
                                "apart.";
            }
            continue;  // it does not exist: nothing of it can be deleted
        }
        const std::string named = WideToUtf8(WithBackslash(entry.folder));
        if (*other == *identity) {
            return prefix + "it is " + entry.what + ".";
        }
        if (Holds(IdentitiesAbove(entry.folder), *identity)) {
            return prefix + "it contains " + entry.what + " " + named + ".";
        }
        if (entry.refuseInside && Holds(above, *other)) {
            return prefix + "it lies inside " + entry.what + " " + named + ".";
        }
    }
    const std::string clash = ProtectedFolderClash(*identity, above);
    if (!clash.empty()) {
        return prefix + clash;
    }
    return std::nullopt;
}

TestingFolderReset::TestingFolderReset(const std::string& given, const std::wstring& fullPath,
                                       const NeededFolders& needed)
    : given_(given), chain_(OpenFolderChain(fullPath)), refusal_(TestingFolderDeletionRefusal(given, chain_, needed)) {}

std::vector<RemainingEntry> TestingFolderReset::Clear() {
    if (refusal_ || !chain_.Complete()) {
        return {};
    }
    const std::wstring path = chain_.ReachedPath();
    std::vector<RemainingEntry> remaining = ClearFolderByHandle(chain_.handles.back().get(), path);
    // The folder goes when the last handle on it closes: the one the walk used closes first.
    chain_.handles.pop_back();
    if (remaining.empty()) {
        if (auto stays = RemoveEmptiedFolder(chain_.handles.back().get(), chain_.entries.back(), path)) {
            remaining.push_back(*stays);
        }
    }
    chain_.handles.clear();
    return remaining;
}

std::string RemainReasonText(const RemainingEntry& entry) {
    switch (entry.reason) {
    case RemainReason::DotName:
        return "kept: its name begins with a full stop.";
    case RemainReason::HeldOpen:
        return "still there after its deletion was accepted: another program holds it open.";
    case RemainReason::InUse:
        return "held by another program (a program or console that has it as its current folder, say), so it cannot "
               "be removed.";
    case RemainReason::Changed:
        return "changed during the reset.";
    case RemainReason::LinkKept:
        return "a link that this system would delete only through its target, so it was left alone.";
    case RemainReason::Unchecked:
        return "kept: the system did not say which file it is, so it may be a link to a file elsewhere.";
    case RemainReason::TooDeep:
        return "too deep: its path is longer than this system can delete by.";
    case RemainReason::NotReached:
        return "not reached: the folder it lies in could not be entered.";
    case RemainReason::LinkedReadOnly:
        return "kept: it is read-only and has other names (hard links) elsewhere, which clearing its read-only mark "
               "would change too.";
    case RemainReason::SystemError:
        break;
    }
    return SystemMessage(entry.error);
}

std::string TestingFolderNotClearedMessage(const std::string& testingFolder, const std::vector<RemainingEntry>& remaining) {
    constexpr size_t kShown = 5;
    const std::string folder = AddTrailingBackslash(testingFolder);
    std::string text = "The testing folder " + folder +
                       " could not be cleared, so the run ends before its first pass. Nothing else was deleted. "
                       "What remains:";
    for (size_t i = 0; i < remaining.size() && i < kShown; ++i) {
        text += "\r\n" + WideToUtf8(remaining[i].path) + " - " + RemainReasonText(remaining[i]);
    }
    if (remaining.size() > kShown) {
        text += "\r\nand " + std::to_string(remaining.size() - kShown) + " more.";
    }
    return text;
}

}  // namespace orlenta
