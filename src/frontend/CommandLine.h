// Cutting the raw command line into tokens and applying its options; no platform calls, so it
// compiles without windows.h and is fuzzed natively.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "run/RunSettings.h"

namespace orlenta {

// Upper-cases `size` bytes of UTF-8 in place, keeping every character at its place; the platform's
// case mapping in the program.
using UpperCaseInPlace = void (*)(char* text, std::size_t size);

// Takes the next token from `rest` (which keeps what follows, trimmed); quotes group and vanish.
std::string NextToken(std::string& rest);
// Applies the options of the command line (without the program's name), matching the option
// names in the token as `toUpper` upper-cases it; returns the autostart flag.
bool ParseCommandLine(std::string_view commandLine, RunSettings& settings, UpperCaseInPlace toUpper);

// The option names in the order they are tested ("-AUTOSTART", "-AVE=", ...).
std::vector<std::string_view> CommandLineOptionNames();

// The platform's command line with the program's own name stripped as Windows delimits it.
std::string CommandLineWithoutProgramName(std::string_view fullCommandLine);

}  // namespace orlenta
