// The folders a run takes, and whether it may reset its testing folder.
#include "run/RunFolders.h"

#include <memory>

#include <windows.h>

#include "run/RunValues.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/LongPath.h"
#include "util/Text.h"
#include "util/modFileExists.h"

namespace orlenta {

std::string FolderValue::Text() const { return form.usable() ? WideToUtf8(Path()) : given; }

FolderValue MakeFolderValue(const std::string& text) {
    FolderValue value;
    value.given = AddTrailingBackslash(text);
    // An empty box names no folder, though its lone backslash would be the current drive's root.
    if (TrimSpaces(text).empty()) {
        return value;
    }
    value.form = FolderPathForm(value.given);
    // The script reads the folders from the input file in the system's code page: a folder that
    // code page cannot spell exactly would reach it as another folder, or none.
    if (value.form.usable() && !Utf8ToAnsiExactly(WideToUtf8(value.form.full))) {
        value.form.full.clear();
        value.form.refusal =
            "the system's code page cannot spell it, and the test script reads its folders in that code page: "
            "rename the folder, or give it by its short name";
    }
    return value;
}

bool FolderExistsAt(const std::wstring& path) {
    if (path.empty()) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(ExtendedLengthPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string MissingFolderMessage(const FolderValue& folder) {
    if (folder.form.refusal.empty()) {
        return folder.given + " folder does not exist.";
    }
    return folder.given + " cannot be used as a folder: " + folder.form.refusal + ".";
}

std::optional<std::string> ReasonToKeep(const std::string& testingGiven, const std::wstring& avePath,
                                        const AveSelection& selection, const ScriptShellFactory& createShell) {
    const std::string kept = " The testing folder " + AddTrailingBackslash(testingGiven) + " was not deleted.";
    const std::string command = ScriptCommand(ApplicationFolder());
    try {
        if (const std::unique_ptr<ScriptShell> shell = createShell()) {
            if (const auto why = shell->CannotStart(command)) {
                return "The test script " + command + " cannot be started, so no pass could run: " + *why + "." + kept;
            }
        }
    } catch (const AppError& error) {
        return "The scripting shell cannot be created, so no pass could run: " + error.Description() + "." + kept;
    }
    if (!FolderExistsAt(avePath)) {
        return "The AVE folder " + WideToUtf8(avePath) + " is gone, so no pass could run." + kept;
    }
    if (selection.Count() == 0) {
        return "No AVE is to run." + kept;
    }
    return std::nullopt;
}

}  // namespace orlenta
