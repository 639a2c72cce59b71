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

// The files of "-MERGE=": the value cut at its semicolons (quotes were taken away with the token's),
// each trimmed of spaces; empty pieces (";;", a trailing ";") are no files.
std::vector<std::string> MergeFileList(std::string_view value);

// The option names in the order they are tested ("-AUTOSTART", "-AVE=", ...).
std::vector<std::string_view> CommandLineOptionNames();

// The platform's command line with the program's own name stripped as Windows delimits it.
std::string CommandLineWithoutProgramName(std::string_view fullCommandLine);

// The code points of a UTF-8 text; a byte that begins no valid sequence stands for itself
// (U+DC80 to U+DCFF), so no two texts read the same.
std::u32string CodePointsOf(std::string_view utf8);

// The Damerau-Levenshtein distance: how many characters dropped, added or changed, or pairs of
// neighbours swapped, turn one text into the other.
std::size_t SpellingDistance(std::u32string_view a, std::u32string_view b);

// True when an upper-cased token is the unattended switch within two such edits, whatever leads
// it: "-", "/", a dash (U+2010 to U+2015) or the minus sign U+2212; "=..." after the name aside.
bool IsNearlyUnattendedSwitch(std::string_view upperToken);

}  // namespace orlenta
