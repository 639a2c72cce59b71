// The job object that holds every process of a pass: its limits, what is in it, and its ending.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "util/Handles.h"

namespace orlenta {

// The exit code a process gets when the run ends it; anything else is the process's own.
inline constexpr UINT kEndedByRun = ERROR_CANCELLED;

// A job whose processes all end when it is closed; with `endCrashingProcesses` a process that meets
// an unhandled exception ends at once instead of waiting on the system's crash report box.
KernelHandle CreatePassJob(bool endCrashingProcesses);

// The ids of the processes in the job now.
std::vector<DWORD> JobProcessIds(HANDLE job);

// The file name of a process's program ("KavFrame.exe"), or "process" when it cannot be read.
std::string ProcessImageName(DWORD processId);

struct JobEnding {
    // The processes other than the script that were ended, as "KavFrame.exe (4312)"; one that
    // outlasted the wait is marked ", could not be ended".
    std::vector<std::string> Ended;
    // Every process of the job, the script included, had gone by the end of the wait.
    bool AllGone = true;
};

// Ends everything still in the job and waits for it, at most `waitMs`. A process that ends by itself
// within `graceMs` (a console host going with its last program, say) was not left running.
JobEnding EndJobProcesses(HANDLE job, DWORD scriptId, DWORD graceMs, DWORD waitMs);

}  // namespace orlenta
