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
std::optional<std::string> TestingFolderDeletionRefusal(const std::string& testingFolder,
                                                        const std::string& aveFolder,
                                                        const std::string& installationFolder,
                                                        const std::string& applicationFolder);

// Why an entry stays, as the message names it: the system's text, or the walk's own reason.
std::string RemainReasonText(const RemainingEntry& entry);

// The identity comparison of PathForm.h for any path (a file or a folder, existing or not),
// resolved against the current directory; IsInsideFolder (PathForm.h) tells a place below a folder.
bool IsSamePlace(const std::string& a, const std::string& b);

// The one message for a testing folder that is still there after its reset: the folder, and the
// first entries left with the system's reason (at most five, then "and N more"). When nothing
// below it remains, the folder itself is named with `removeError`, the reason it stayed.
std::string TestingFolderNotClearedMessage(const std::string& testingFolder,
                                           const std::vector<RemainingEntry>& remaining, unsigned long removeError);

}  // namespace orlenta
