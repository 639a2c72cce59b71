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
int RunUnattended(std::string_view commandLine);

}  // namespace orlenta
