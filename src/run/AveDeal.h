// The deal of a night's AVEs to shards by their expected durations; no windows.h, fuzzed natively.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

namespace orlenta {

// Seconds an AVE took, from a timings file. Only finite values of 0 or more count: any other is
// taken as unknown.
using AveDurations = std::unordered_map<std::int32_t, double>;

struct DealtShard {
    std::vector<std::int32_t> Aves;  // in number order, the order the shard runs them
    double Total = 0;                // planned seconds: the sum of its AVEs' weights
};

// What one machine needs of the deal: its own AVEs and the figures it logs.
struct ShardPlan {
    DealtShard Shard;
    double NightTotal = 0;  // planned seconds of all tonight's AVEs on all shards
};

// The whole deal, held without a place for every shard: the deal fills the lowest shard numbers
// first, so shards 1 to Shards.size() are these and every later shard is empty (total 0).
struct NightDeal {
    std::vector<DealtShard> Shards;
    double NightTotal = 0;
    double SlowestTotal = 0;  // the planned total of the slowest shard
    double LongestAve = 0;    // the largest weight of one AVE
};

// Longest first, each AVE to the shard with the least total so far; equal weights go in AVE number
// order, equal totals to the lower shard. An AVE without a known duration weighs the median of the
// known durations of tonight's AVEs (1 s when none is known). Every machine given the same AVEs
// and durations deals the same, whatever the order of `tonight`; an AVE given twice is dealt once.
// n is 1 to 2147483647; a deal into no shards (n < 1) is empty.
NightDeal DealNight(std::span<const std::int32_t> tonight, const AveDurations& known, std::int64_t n);

// Shard k of n (1 <= k <= n, else no AVE) of that deal.
ShardPlan PlanShard(std::span<const std::int32_t> tonight, const AveDurations& known, std::int64_t k,
                    std::int64_t n);

}  // namespace orlenta
