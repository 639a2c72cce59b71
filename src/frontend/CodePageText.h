// Texts the system's ANSI code page cannot hold: the program refuses them instead of running on
// a path in which "?" stands for the characters it lost.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <windows.h>

namespace orlenta {

// True when every character has its own form in the ANSI code page (no default character, no
// best-fit look-alike such as "a" for "ä" in a code page without it).
bool FitsAnsiCodePage(std::wstring_view text);

// The message for a value that does not fit, naming it; nothing when it fits.
std::optional<std::string> UnspellableValueMessage(std::string_view valueName, std::wstring_view value);

// The first argument of the platform's wide command line (its program name left aside) that
// does not fit, as a message; nothing when all fit.
std::optional<std::string> UnspellableCommandLineMessage(std::wstring_view fullCommandLine);

// The program's own folder, when the ANSI code page cannot spell it: the script's path and the
// input file would then name a folder that does not exist.
std::optional<std::string> UnspellableProgramFolderMessage();

// The first of the named windows whose text does not fit, as a message; nothing when all fit.
std::optional<std::string> UnspellableWindowTextMessage(std::initializer_list<std::pair<const char*, HWND>> windows);

}  // namespace orlenta
