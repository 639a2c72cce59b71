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
    std::int64_t Ordinal = 0;  // the AVE's place among the run's planned AVEs, from 1, on every attempt
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

    // For an AVE's last attempt, the attempts before it, each as it ended; empty for one attempt.
    std::vector<PassRecord> EarlierAttempts;

    // Exited with 0.
    bool Passed() const noexcept { return Outcome == PassOutcome::Exited && ExitCode == 0; }
    // Passed, but only on a retry.
    bool Flaky() const noexcept { return Passed() && !EarlierAttempts.empty(); }
};

// Whether a pass is run again with `retries` more attempts allowed in all: its script ended with an
// exit code other than 0, or it could not start, and it has attempts left. A pass that timed out or
// was stopped is not (it would cost the limit again), nor one that could not be ended.
bool TriesAgain(const PassRecord& pass, std::int64_t retries) noexcept;

// "exit code 3 (attempt 1), exit code 0 (attempt 2)": every attempt of an AVE's last record.
std::string AttemptsText(const PassRecord& last);

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
