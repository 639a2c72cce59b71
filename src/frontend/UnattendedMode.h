// Unattended runs ("-UNATTENDED"): no window and no box, a run log, and an exit code for the caller.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orlenta {

// Why an unattended run refuses its command line (naming the offending token), or nothing. Stricter
// than the window's reading: nobody will see a prompt that shows a wrong folder.
std::optional<std::string> UnattendedCommandLineRefusal(std::string_view commandLine);

// The whole unattended program on the command line (without the program's name); returns its exit
// code: 0 every pass returned 0, 1 a pass failed, 2 the command line or the run failed.
int RunUnattended(std::string_view commandLine) noexcept;

// True when a token of the command line names the unattended switch in any form ("/UNATTENDED",
// "-UNATTEND", "-UNATTENDED=no", the exact switch itself): such a line is judged by the strict rules,
// so that a typo never opens a window on a machine nobody watches.
bool MentionsUnattended(std::string_view commandLine);

// One entry in the Application event log under the source "Orlenta".
void ReportToEventLog(const std::string& text) noexcept;

}  // namespace orlenta
