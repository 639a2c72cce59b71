// One complete test run: check the settings, write the input file, run the script per AVE number.
#pragma once

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
// run and of each pass.
RunResult RunAutomation(const RunSettings& settings, RunOperator& op, const ScriptShellFactory& createShell);

}  // namespace orlenta
