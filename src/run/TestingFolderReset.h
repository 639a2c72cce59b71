// Replacing an old testing folder: the folder opened once, judged by the identity of that handle
// against the folders the run needs and the system's own, cleared through it, and what to tell
// when it could not be cleared.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "util/FolderChain.h"
#include "util/FolderWalk.h"

namespace orlenta {

// The folders the run needs, as full paths.
struct NeededFolders {
    std::wstring Ave;
    std::wstring Installation;
    std::wstring Application;  // the program's folder; its Files folder holds the script
};

// Why the testing folder, opened as `chain`, must not be deleted, or nothing when it may be: a
// link on its way (a component, or the folder itself), a drive's or share's root, the root of a
// mounted volume; the AVE, installation or program folder, or a folder holding one of them; a
// folder inside the AVE or installation folder; the program's "Files" folder or a folder inside it;
// a protected folder (ProtectedFolders.h). Every comparison is of identities (volume and file ID),
// never of texts; a folder whose identity cannot be read is refused. `given` names the folder as
// the operator gave it.
std::optional<std::string> TestingFolderDeletionRefusal(const std::string& given, const FolderChain& chain,
                                                        const NeededFolders& needed);

// The testing folder held open from the first look to the last deletion: opened from its root
// component by component (FolderChain.h), judged on that handle, and cleared and removed through it.
class TestingFolderReset {
public:
    TestingFolderReset(const std::string& given, const std::wstring& fullPath, const NeededFolders& needed);

    // The whole message for a folder that must not be deleted; nothing when it may be.
    const std::optional<std::string>& Refusal() const noexcept { return refusal_; }

    // Deletes everything below the folder, then the emptied folder itself through a handle of its
    // own opened relative to the folder above; what remains and why (empty when it is gone). Only
    // after Refusal() said nothing.
    std::vector<RemainingEntry> Clear();

private:
    std::string given_;
    FolderChain chain_;
    std::optional<std::string> refusal_;
};

// Why an entry stays, as the message names it: the system's text, or the walk's own reason.
std::string RemainReasonText(const RemainingEntry& entry);

// The one message for a testing folder that is still there after its reset: the folder, and the
// first entries left with their reasons (at most five, then "and N more").
std::string TestingFolderNotClearedMessage(const std::string& testingFolder, const std::vector<RemainingEntry>& remaining);

}  // namespace orlenta
