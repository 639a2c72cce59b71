// What a night says against the history: new failures, fixes, long failures, flaky AVEs, slower
// passes, missing shards. Pure functions of the rows; no windows.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history/HistoryRows.h"

namespace orlenta {

// A pass is slower when it takes at least this much longer than its AVE's median, both ways.
inline constexpr double kSlowerFactor = 1.25;
inline constexpr double kSlowerSeconds = 10.0;
// The median is of an AVE's last passes that passed; the strip shows its last nights.
inline constexpr std::size_t kMedianPasses = 10;
inline constexpr std::size_t kStripNights = 30;
// An AVE whose night outcome turned between passed and not passed this often in its last nights is flaky.
inline constexpr std::int64_t kFlakyFlips = 3;
// A night cut in more shards than this names only the first of those missing, and counts the rest.
inline constexpr std::size_t kMostNamedShards = 32;

// The median of the figures; nothing for none.
std::optional<double> MedianSeconds(std::vector<double> seconds);
bool IsSlower(double seconds, double median) noexcept;

// How long an AVE usually takes, from its earlier passes (every attempt, oldest first): the median
// of its last ten that passed, or, when none passed, of its last ten that ran to their end. A failure
// that ends at once says nothing of how long the AVE takes when it works.
std::optional<double> UsualSeconds(const std::vector<HistoryPass>& earlierOldestFirst);

// One AVE of tonight against its own history. A night is named by its first run (its earliest start).
struct AveStanding {
    const HistoryPass* Tonight = nullptr;          // its night outcome: tonight's last attempt
    std::vector<const HistoryPass*> Attempts;       // tonight's attempts, in the order they ran
    const HistoryPass* Timed = nullptr;            // tonight's last attempt that ran to its end, if any
    const HistoryPass* Last = nullptr;             // its outcome the last night it ran before tonight
    const HistoryRun* LastPassedNight = nullptr;   // its last night before tonight whose outcome passed
    const HistoryRun* LastFailedNight = nullptr;   // its last night whose outcome did not pass, tonight's too
    const HistoryRun* FailingSince = nullptr;      // failing tonight: the night its failures began
    std::int64_t FailingNights = 0;                // failing tonight: its failing nights in a row, tonight's too
    std::optional<double> Median;                  // UsualSeconds of its earlier passes
    std::vector<const HistoryPass*> Strip;         // its last nights' outcomes, oldest first, tonight's last
    std::int64_t Flips = 0;                        // turns between passed and not passed along the strip
    bool PassedOnRetry = false;                    // an earlier attempt tonight did not pass, the last did

    bool Flaky() const noexcept { return PassedOnRetry || Flips >= kFlakyFlips; }
};

struct NightFindings {
    // By each AVE's night outcome.
    std::int64_t Passed = 0;
    std::int64_t Failed = 0;   // exited with a code other than 0
    std::int64_t Errors = 0;   // timed out, stopped, could not start
    std::int64_t Skipped = 0;  // planned by the runs and not run
    std::vector<AveStanding> Aves;  // in the order of their first attempts tonight
    // Indexes into Aves.
    std::vector<std::size_t> NewFailures;   // failing tonight, passed last time (or never ran before)
    std::vector<std::size_t> Fixed;         // passed tonight at the first attempt, failed last time
    std::vector<std::size_t> StillFailing;  // failing tonight and last time
    std::vector<std::size_t> Flaky;         // passed only on a retry tonight, or often turned lately
    std::vector<std::size_t> Slower;
    std::vector<const HistoryPass*> Hung;   // each attempt that timed out or was stopped, or left processes running
    double LongestSeconds = 0;              // of tonight's passes and the strips, for the charts' scale

    // The night as a whole.
    const HistoryRun* FirstRun = nullptr;   // tonight's earliest start, which names the night
    double Seconds = 0;                     // from the earliest start to the latest end
    std::optional<std::int64_t> ExitCode;   // the largest of the runs'; none when a run never ended
    std::size_t Machines = 0;               // how many machines ran tonight's runs
    bool Retried = false;                   // some attempt tonight was a retry
    // The shards ("k/n") that no run of tonight's several brought, in order, at most kMostNamedShards;
    // then how many more are missing.
    std::vector<std::string> MissingShards;
    std::int64_t MoreMissingShards = 0;
};

// The rows must outlive the findings, which point into them.
NightFindings FindingsOf(const NightRows& rows);

// What a night ends with: 0 when every AVE of the night passed by its night outcome (flaky ones
// too) and the night is whole (every run ended, none with 2; no AVE planned and not run; no shard
// missing); otherwise 1.
int NightExitCode(const NightRows& rows, const NightFindings& findings);

// The run a pass belongs to among the rows (tonight's or earlier); null when the rows do not hold it.
const HistoryRun* RunOf(const NightRows& rows, std::int64_t runId);

}  // namespace orlenta
