// What the run keeps of each pass and of itself, for the log, the JUnit results and the exit code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "run/PassOutcome.h"

namespace orlenta {

struct PassRecord {
    std::int32_t AveNumber = 0;
    std::int64_t Ordinal = 0;  // 1 for the run's first pass
    std::int64_t Attempt = 1;  // 1 for an AVE's first pass of the run, 2 for its first retry
    std::string ArchivePath;
    SYSTEMTIME Start{};  // local time
    double Seconds = 0;
    PassOutcome Outcome = PassOutcome::CouldNotStart;
    long ExitCode = 0;
    std::string Text;
    // What a pass that hung was showing when it was ended: one line per visible window of its
    // processes, and when pictures were taken, the picture of each (the full path of a PNG file, or
    // empty where that window's picture failed), so that the two pair up by index.
    std::vector<std::string> Windows;
    std::vector<std::string> Pictures;
    // Processes still in the pass's job after its script ended, which were ended with it:
    // "KavFrame.exe (4312)".
    std::vector<std::string> LeftRunning;
    // Something of the pass outlasted the run's bounded wait after it was ended.
    bool CouldNotBeEnded = false;

    // Exited with 0.
    bool Passed() const noexcept { return Outcome == PassOutcome::Exited && ExitCode == 0; }
};

// "exit code 3", "timed out", "stopped", "could not start: <reason>"; a pass that could not be ended
// says so: "timed out and could not be ended".
std::string OutcomeText(const PassRecord& record);

// "Pass AVE 7 left 2 processes running; ended: KavFrame.exe (4312), helper.exe (4388)".
std::string LeftRunningText(const PassRecord& record);

// The texts one after another with `separator` between them.
std::string JoinedWith(const std::vector<std::string>& texts, const std::string& separator);

struct RunResult {
    std::vector<PassRecord> Passes;  // in the order they ran
    bool ReachedPasses = false;      // line 500 was reached: the run did not end while preparing
    bool Stopped = false;            // a stop request skipped passes or ended one
    std::vector<int> FailedLines;    // lines of the failures that were reported, in order
};

}  // namespace orlenta
