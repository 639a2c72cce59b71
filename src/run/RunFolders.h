// The folders a run takes, each made full once (the one path form), with the spelling it was given
// for the messages; and whether the run may reset its testing folder at all.
#pragma once

#include <optional>
#include <string>

#include "run/AveSelection.h"
#include "run/ScriptShell.h"
#include "util/PathForm.h"

namespace orlenta {

struct FolderValue {
    std::string given;  // after AddTrailingBackslash
    PathForm form;
    // The full form ending in "\"; empty when it cannot be made full, so that the existence test
    // fails on it as on any folder that does not exist.
    std::wstring Path() const { return FolderPathWithBackslash(form); }
    // The full form as text, for the input file and the messages; the given text when unusable.
    std::string Text() const;
};

// A folder as the settings give it. An empty text names no folder; a folder the system's code page
// cannot spell exactly is refused, since the script reads it from the input file in that code page.
FolderValue MakeFolderValue(const std::string& text);

bool FolderExistsAt(const std::wstring& path);

// The message for a folder that does not exist, or why the path cannot name a folder at all.
std::string MissingFolderMessage(const FolderValue& folder);

// Why the testing folder is not reset even though the operator confirmed it: the run could not use
// a new one (its script cannot start, its AVEs are gone), or it has no AVE to run. Nothing when it may be.
std::optional<std::string> ReasonToKeep(const std::string& testingGiven, const std::wstring& avePath,
                                        const AveSelection& selection, const ScriptShellFactory& createShell);

}  // namespace orlenta
