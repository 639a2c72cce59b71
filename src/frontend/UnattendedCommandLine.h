// The unattended mode's reading of its command line: stricter than the window's, since nobody will
// see a prompt that shows a wrong folder, and a typo of the switch must never open a window.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orlenta {

// Why an unattended run refuses its command line (naming the offending token), or nothing.
std::optional<std::string> UnattendedCommandLineRefusal(std::string_view commandLine);

// True when a token of the command line names the unattended switch in any form ("/UNATTENDED",
// "-UNATTEND", "-UNATTENDED=no", the exact switch itself, a misspelling within two edits): such a
// line is judged by the strict rules, so that a typo never opens a window on a machine nobody watches.
bool MentionsUnattended(std::string_view commandLine);

}  // namespace orlenta
