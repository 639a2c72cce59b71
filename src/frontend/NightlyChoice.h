// The AVEs an unattended run takes besides its range: a list, a rerun file's, a shard, and the
// durations that deal the shards; read before the run writes anything.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "run/AveChoice.h"
#include "run/RunLog.h"
#include "run/RunSettings.h"

namespace orlenta {

// The AVEs the command line chose in place of the range, or from it: the list, or the AVEs that
// failed or did not run in the rerun file; then the shard of that, dealt by `timings` when given.
AveChoice ChosenAves(const NightlyOptions& nightly, const std::optional<std::vector<std::int32_t>>& rerun,
                     const std::optional<AveDurations>& timings);

// The seconds each AVE took by a timings file: an Orlenta history (the median of an AVE's last ten
// passes that ran to their end) or a JUnit file Orlenta wrote (its testcase's time), told apart by
// what the file holds, so its name and spelling count for nothing. Raises AppError saying why a
// file cannot be used.
AveDurations TimingsOf(const std::string& file);

// "Planned: shard 2/4 3 h 12 min (54 AVEs), the night's total / 4 3 h 11 min, dealt by ...": what
// the deal gave this machine against the even share, when the shards are dealt by durations.
void LogDurationPlan(const AveChoice& choice, const RunSettings& settings, RunLog& log);

// "3,6,10-1500", or every number when the list syntax cannot hold them.
std::string NumberList(const std::vector<std::int32_t>& numbers);

}  // namespace orlenta
