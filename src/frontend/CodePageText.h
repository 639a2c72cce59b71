// Texts the system's ANSI code page cannot hold, where a contract needs that code page: the program
// refuses them instead of running on a path in which "?" stands for the characters it lost.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orlenta {

// True when every character has its own form in the ANSI code page (no default character, no
// best-fit look-alike such as "a" for "ä" in a code page without it).
bool FitsAnsiCodePage(std::wstring_view text);

// The message for a value that does not fit, naming it; nothing when it fits.
std::optional<std::string> UnspellableValueMessage(std::string_view valueName, std::wstring_view value);

// The program's own folder, when the ANSI code page cannot spell it: the script's path would then
// name a folder that does not exist for a script host that reads its command line in that code page.
std::optional<std::string> UnspellableProgramFolderMessage();

}  // namespace orlenta
