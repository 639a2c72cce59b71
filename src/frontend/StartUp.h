// Run settings defaults, the command line, and the start-up sequence that applies them.
#pragma once

#include <string>
#include <string_view>

#include "frontend/CommandLine.h"
#include "run/RunSettings.h"

namespace orlenta {

// Applies the options of the command line (without the program's name), matching option names
// in the platform's upper case; returns the autostart flag.
bool ParseCommandLine(std::string_view commandLine, RunSettings& settings);

// The settings every start begins from, for a program in `applicationFolder`.
RunSettings DefaultRunSettings(const std::string& applicationFolder, const std::string& installationFolder);

// Defaults, current drive and directory, then the command line. Returns true when the caller
// must start the run at once.
bool RunStartUpSequence(RunSettings& settings, std::string_view commandLine);

}  // namespace orlenta
