// The rows of a run history as the morning report reads them: plain values and UTF-8 texts, no
// windows.h, so the report is built and tested from rows alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "run/PassOutcome.h"

namespace orlenta {

struct HistoryRun {
    std::int64_t Id = 0;
    // The night it belongs to: the runs a merge of shards adds together share one. 0: not known (a
    // run that is a night of its own), or tonight's before it is written.
    std::int64_t NightId = 0;
    // Who the run is in every history that holds it, whatever its id there: made when its row is
    // first written ("v1:" and its first history's values for a run written before there were uids).
    std::string Uid;
    std::string Started;  // local time, "2026-12-08T21:04:05"
    std::string Ended;    // empty: the run never ended (it was killed)
    double Seconds = 0;
    std::string Machine;
    std::string User;
    std::string AveFolder;
    std::string InstallationFolder;
    std::string TestingFolder;
    std::string AnalysisTypes;  // "Linear, Thermal"
    std::string Aves;           // the AVEs asked for: "1 to 213", "3,17,40-45", ...
    std::string Shard;          // "2/4"; empty for a whole night
    std::optional<std::int64_t> TimeLimitMinutes;
    std::optional<std::int64_t> Planned;  // how many AVEs the run was to take
    std::optional<std::int64_t> ExitCode;
    std::optional<std::int64_t> Retries;  // "-RETRY=": how many more attempts a failed pass had; empty: none given
};

// One window a hung pass was showing, and its picture.
struct HungWindow {
    std::string Text;         // "KavFrame.exe: "Licence" | Static "No licence server" | Button "OK""
    std::string Picture;      // the PNG's full path; empty when none was taken
    // Its PNG bytes in Base64 (the platform's encoder makes it), when the report is to carry it.
    std::string PictureBase64;
    std::string PictureNote;  // why the picture is not carried, when it is not
    // Its PNG bytes as the history keeps them (at most kMostPictureBytes), so that a report made on
    // another machine shows it; empty when it was not taken, was too large or could not be read.
    std::string PictureData;
};

struct HistoryPass {
    std::int64_t Id = 0;
    std::int64_t RunId = 0;
    std::int64_t Ordinal = 0;  // 1 for its run's first pass
    std::int64_t Attempt = 1;  // 1 for the AVE's first that night; each retry one more
    std::int32_t Ave = 0;
    std::string Archive;
    std::string Started;
    double Seconds = 0;
    PassOutcome Outcome = PassOutcome::CouldNotStart;
    std::optional<std::int64_t> ExitCode;  // the script's, when it exited
    std::string Reason;                    // why it could not start, or that it could not be ended
    std::vector<HungWindow> Windows;
    std::vector<std::string> LeftRunning;  // "KavFrame.exe (4312)"

    bool Passed() const noexcept { return Outcome == PassOutcome::Exited && ExitCode == 0; }
    // Its exit code ran to the script's end: its duration is the AVE's own.
    bool RanToItsEnd() const noexcept { return Outcome == PassOutcome::Exited; }
};

// What one report is made of: tonight's runs, and what the history holds of tonight's AVEs before it.
struct NightRows {
    // Tonight's runs, in order: one on a single machine, one a shard when a merge made the night.
    std::vector<HistoryRun> Runs;
    // Every attempt of tonight's runs, in the order they ran (by run, then by ordinal).
    std::vector<HistoryPass> Tonight;
    // Runs of earlier nights, each with its NightId (runs with NightId 0 are a night each).
    std::vector<HistoryRun> EarlierRuns;
    // For each AVE of tonight, oldest first: its passes (every attempt) in its last 30 nights before
    // tonight, every pass since its last night that passed, that night included, and its last ten
    // passes that passed and that ran to their end, so its median is of ten whenever it can be.
    std::vector<HistoryPass> Earlier;
};

// The history's words for the outcomes: "exited", "timed out", "stopped", "could not start".
const char* OutcomeName(PassOutcome outcome);
std::optional<PassOutcome> OutcomeOfName(const std::string& name);

}  // namespace orlenta
