// Which AVEs a night takes besides the range: a list ("-AVES="), the failures of an earlier run
// ("-RERUN="), a shard ("-SHARD="). Pure text handling without windows.h, fuzzed natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/AveDeal.h"
#include "run/AveSelection.h"

namespace orlenta {

// A list may not name more AVEs than this, counted with its repeats: "1-2000000000" would
// otherwise be spelled out in memory before the first pass.
inline constexpr std::int64_t kMostListedAves = 100'000;

struct AveListReading {
    std::vector<std::int32_t> Numbers;  // in the order given, each once
    std::string Problem;                // why the text is refused; empty when it is not
};

// "3,17,40-45": numbers (0 to 2147483647) and ascending ranges, separated by commas; spaces
// around an item are allowed. A number given again keeps the place of its first mention.
AveListReading ReadAveList(std::string_view text);

// The AVEs of `selection` from index `from` on, as ReadAveList reads them, with each ascending run
// of numbers as a range ("3,17,40-45"). Nothing when they are more than kMostListedAves or one is
// below 0, which that syntax cannot hold.
std::optional<std::string> AveListText(const AveSelection& selection, std::int64_t from = 0);

struct ShardPart {
    std::int64_t K = 1;
    std::int64_t N = 1;
};

// "k/n" with 1 <= k <= n (whole numbers up to 2147483647); nothing for any other text.
std::optional<ShardPart> ReadShard(std::string_view text);
std::string ShardText(const ShardPart& shard);

// "Ave" and the number with at least three digits: Ave007, Ave1234, Ave000, Ave-005.
std::string AveName(std::int32_t number);

// The AVE number a testcase name stands for ("Ave007" 7, "Ave1234" 1234, "Ave-005" -5), exactly
// as the run names AVEs; nothing for any other text.
std::optional<std::int32_t> AveNumberOfName(std::string_view name);

// The AVEs of a run: the range from the start to the stop number, unless a list replaces it; then
// the shard of that, when one is given.
struct AveChoice {
    std::optional<std::vector<std::int32_t>> List;
    std::optional<ShardPart> Shard;
    // With a shard: the shards dealt by these durations instead of like cards (-TIMINGS=).
    std::optional<AveDurations> Timings;

    // Nothing but the range: the run counts from start to stop as it always has.
    bool IsPlainRange() const noexcept { return !List && !Shard; }
    AveSelection Take(std::int32_t startNumber, std::int32_t stopNumber) const;
    // The shard's deal by durations, when there is one: its AVEs in number order and the totals.
    // The night's AVEs are spelled out for it: at most kMostListedAves.
    std::optional<ShardPlan> DurationPlan(std::int32_t startNumber, std::int32_t stopNumber) const;
};

}  // namespace orlenta
