// One complete test run: check the settings, write the input file, run the script per AVE number.
#pragma once

#include "run/AveChoice.h"
#include "run/RunOperator.h"
#include "run/RunSettings.h"
#include "run/ScriptShell.h"

namespace orlenta {

// The prompt for another installation folder when KavFrame.exe is not in the one given.
inline constexpr const char* kExecutablePrompt =
    "Could not find the KavFrame executable on the specified path, please verify the location of the "
    "folder which contains KavFrame.exe";

// Reports every failure itself through `op` and raises nothing. `createShell` makes the scripting
// shell at the step that needs it (CreateScriptLauncher in the program). Returns what became of the
// run and of each pass. The passes take the range from the start to the stop number, or what `choice`
// makes of it (a list in its place, a shard).
RunResult RunAutomation(const RunSettings& settings, RunOperator& op, const ScriptShellFactory& createShell,
                        const AveChoice& choice = {});

}  // namespace orlenta
