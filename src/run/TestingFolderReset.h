// Replacing an old testing folder: whether it may be deleted (decided on the folders themselves,
// not their spelling), and what to tell when it could not be cleared.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "util/PathForm.h"
#include "util/modFileExists.h"

namespace orlenta {

// Why the testing folder must not be deleted, or nothing when it may be: a drive root; the AVE,
// installation or program folder, or a folder holding one of them; a folder inside the AVE or
// installation folder; the program's "Files" folder or a folder inside it; a folder that is itself
// a link, or the root of a mounted volume; a protected system folder or one that contains one
// (ProtectedFolders.h). Each path is made full (PathForm.h), and existing folders are compared by
// identity (volume and file index), which also sees through links.
// `testingGiven` is the folder as the operator gave it, for the message; the paths are full.
std::optional<std::string> TestingFolderDeletionRefusal(const std::string& testingGiven,
                                                        const std::wstring& testingFolder,
                                                        const std::wstring& aveFolder,
                                                        const std::wstring& installationFolder,
                                                        const std::wstring& applicationFolder);

// Why an entry stays, as the message names it: the system's text, or the walk's own reason.
std::string RemainReasonText(const RemainingEntry& entry);

// The one message for a testing folder that is still there after its reset: the folder, and the
// first entries left with the system's reason (at most five, then "and N more"). When nothing
// below it remains, the folder itself is named with `removeError`, the reason it stayed.
std::string TestingFolderNotClearedMessage(const std::string& testingFolder,
                                           const std::vector<RemainingEntry>& remaining, unsigned long removeError);

}  // namespace orlenta
