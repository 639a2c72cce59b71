// Run settings defaults, the command line, and the start-up sequence that applies them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "run/RunSettings.h"

namespace orlenta {

// Takes the next token from `rest` (which keeps what follows, trimmed); quotes group and vanish.
std::string NextToken(std::string& rest);
// Applies the options of the command line (without the program's name); returns the autostart flag.
bool ParseCommandLine(std::string_view commandLine, RunSettings& settings);

// The option names in the order they are tested ("-AUTOSTART", "-AVE=", ...).
std::vector<std::string_view> CommandLineOptionNames();

// The platform's command line with the program's own name stripped as Windows delimits it.
std::string CommandLineWithoutProgramName(std::string_view fullCommandLine);

// The settings every start begins from, for a program in `applicationFolder`.
RunSettings DefaultRunSettings(const std::string& applicationFolder, const std::string& installationFolder);

// Defaults, current drive and directory, then the command line. Returns true when the caller
// must start the run at once.
bool RunStartUpSequence(RunSettings& settings, std::string_view commandLine);

}  // namespace orlenta
