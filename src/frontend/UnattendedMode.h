// Unattended runs ("-UNATTENDED"): no window and no box, a run log, and an exit code for the caller.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "frontend/UnattendedCommandLine.h"

namespace orlenta {

// The whole unattended program on the command line (without the program's name); returns its exit
// code: 0 every pass returned 0, 1 a pass failed, 2 the command line or the run failed.
int RunUnattended(std::string_view commandLine) noexcept;

// One entry in the Application event log under the source "Orlenta".
void ReportToEventLog(const std::string& text) noexcept;

}  // namespace orlenta
