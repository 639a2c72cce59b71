// What a night says against the history: new failures, fixes, long failures, slower passes.
// Pure functions of the rows; no windows.h.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "history/HistoryRows.h"

namespace orlenta {

// A pass is slower when it takes at least this much longer than its AVE's median, both ways.
inline constexpr double kSlowerFactor = 1.25;
inline constexpr double kSlowerSeconds = 10.0;
// The median is of an AVE's last passes that ran to their end; the strip shows its last runs.
inline constexpr std::size_t kMedianPasses = 10;
inline constexpr std::size_t kStripRuns = 30;

// The median of the figures; nothing for none.
std::optional<double> MedianSeconds(std::vector<double> seconds);
bool IsSlower(double seconds, double median) noexcept;

// One AVE of tonight against its own history.
struct AveStanding {
    const HistoryPass* Tonight = nullptr;
    const HistoryPass* Last = nullptr;           // its pass before tonight, if it ran before
    const HistoryRun* LastPassedRun = nullptr;   // the run of its last pass that passed before tonight
    const HistoryRun* FailingSince = nullptr;    // failing tonight: the run its failures began in
    std::int64_t FailingRuns = 0;                // failing tonight: its failing runs in a row, tonight's too
    std::optional<double> Median;                // of its last ten earlier passes that ran to their end
    std::vector<const HistoryPass*> Strip;       // its last runs, oldest first, tonight's last
};

struct NightFindings {
    std::int64_t Passed = 0;
    std::int64_t Failed = 0;   // exited with a code other than 0
    std::int64_t Errors = 0;   // timed out, stopped, could not start
    std::int64_t Skipped = 0;  // planned and not run
    std::vector<AveStanding> Aves;  // in tonight's order
    // Indexes into Aves.
    std::vector<std::size_t> NewFailures;   // failing tonight, passed last time (or never ran before)
    std::vector<std::size_t> Fixed;         // passed tonight, failed last time
    std::vector<std::size_t> StillFailing;  // failing tonight and last time
    std::vector<std::size_t> Slower;
    std::vector<std::size_t> Hung;          // timed out or stopped, or left processes running
    double LongestSeconds = 0;              // of tonight's passes and the strips, for the charts' scale
};

// The rows must outlive the findings, which point into them.
NightFindings FindingsOf(const NightRows& rows);

// The run a pass belongs to among the rows; null when the rows do not hold it.
const HistoryRun* RunOf(const NightRows& rows, std::int64_t runId);

}  // namespace orlenta
