// The input names a shard count, one shard, and AVEs with their durations (some unknown, some not
// tonight's, some no time at all): the deal holds every AVE once, each shard in number order, the
// same on every call and for any order given; it keeps the longest-first bounds (4/3 of the best
// deal, found by search for small nights); and each shard's own plan is its part of the whole deal.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numeric>
#include <set>
#include <vector>

#include "FuzzCheck.h"
#include "run/AveDeal.h"

namespace {

constexpr std::int64_t kMostShards = 2147483647;

// Durations from one byte: unknown, small whole seconds (ties and zeros), fractions, huge ones, and
// values that are no time.
struct Duration {
    bool known;
    double seconds;
};

Duration DurationOf(std::uint8_t byte) {
    switch (byte) {
        case 0xFF: return {true, std::numeric_limits<double>::quiet_NaN()};
        case 0xFE: return {true, std::numeric_limits<double>::infinity()};
        case 0xFD: return {true, -1};
        default: break;
    }
    switch (byte >> 6) {
        case 0: return {false, 0};
        case 1: return {true, static_cast<double>(byte & 7)};
        case 2: return {true, (byte & 63) / 8.0};
        default: return {true, std::pow(10.0, (byte & 63) / 4.0)};
    }
}

// What each of tonight's AVEs weighs, worked out here on its own: its time, or else the median of
// tonight's known times (1 s when none is known).
std::vector<double> Weights(const std::set<std::int32_t>& tonight, const orlenta::AveDurations& known) {
    std::vector<double> times;
    for (const std::int32_t ave : tonight) {
        const auto found = known.find(ave);
        if (found != known.end() && std::isfinite(found->second) && found->second >= 0) {
            times.push_back(found->second);
        }
    }
    std::sort(times.begin(), times.end());
    const std::size_t count = times.size();
    const double median = count == 0 ? 1 : (times[(count - 1) / 2] + times[count / 2]) / 2;
    std::vector<double> weights;
    for (const std::int32_t ave : tonight) {
        const auto found = known.find(ave);
        const bool isKnown = found != known.end() && std::isfinite(found->second) && found->second >= 0;
        weights.push_back(isKnown ? found->second : median);
    }
    std::sort(weights.rbegin(), weights.rend());
    return weights;
}

// The slowest shard of the best deal of these weights (heaviest first) into n shards: a search that
// puts each weight on every used shard or on the first empty one, cut where it cannot do better.
void Search(const std::vector<double>& weights, std::size_t next, std::vector<double>& loads, std::size_t used,
            double slowest, double& best) {
    if (slowest >= best) {
        return;
    }
    if (next == weights.size()) {
        best = slowest;
        return;
    }
    for (std::size_t shard = 0; shard < std::min(used + 1, loads.size()); ++shard) {
        loads[shard] += weights[next];
        Search(weights, next + 1, loads, std::max(used, shard + 1), std::max(slowest, loads[shard]), best);
        loads[shard] -= weights[next];
    }
}

bool Same(const orlenta::NightDeal& a, const orlenta::NightDeal& b) {
    if (a.Shards.size() != b.Shards.size() || a.NightTotal != b.NightTotal || a.SlowestTotal != b.SlowestTotal ||
        a.LongestAve != b.LongestAve) {
        return false;
    }
    for (std::size_t i = 0; i < a.Shards.size(); ++i) {
        if (a.Shards[i].Aves != b.Shards[i].Aves || a.Shards[i].Total != b.Shards[i].Total) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // Mostly a few shards; sometimes the most there can be.
    const std::int64_t n = data[0] < 0xC0 ? 1 + data[0] % 24 : kMostShards - (data[0] - 0xC0);
    const std::int64_t k = n <= 256 ? 1 + data[1] % n : (data[1] < 0x80 ? 1 + data[1] : n - (data[1] - 0x80));

    // Three bytes an AVE: its number (the top bit: known, but not tonight's) and its duration.
    std::vector<std::int32_t> tonight;
    orlenta::AveDurations known;
    orlenta::AveDurations knownTonight;
    for (std::size_t at = 2; at + 3 <= size; at += 3) {
        const std::int32_t ave = ((data[at + 1] & 0x7F) << 8 | data[at]) - 0x2000;
        const bool isTonight = (data[at + 1] & 0x80) == 0;
        const Duration duration = DurationOf(data[at + 2]);
        if (isTonight) {
            tonight.push_back(ave);
        }
        if (duration.known) {
            known[ave] = duration.seconds;
        }
    }
    const std::set<std::int32_t> distinct(tonight.begin(), tonight.end());
    for (const auto& [ave, seconds] : known) {
        if (distinct.count(ave) != 0) {
            knownTonight[ave] = seconds;
        }
    }

    const orlenta::NightDeal deal = orlenta::DealNight(tonight, known, n);
    FUZZ_CHECK(Same(deal, orlenta::DealNight(tonight, known, n)));
    FUZZ_CHECK(Same(deal, orlenta::DealNight(std::vector<std::int32_t>(tonight.rbegin(), tonight.rend()), known, n)));
    FUZZ_CHECK(Same(deal, orlenta::DealNight(tonight, knownTonight, n)));

    FUZZ_CHECK(static_cast<std::int64_t>(deal.Shards.size()) <= std::min<std::int64_t>(n, distinct.size()));
    std::multiset<std::int32_t> dealt;
    double slowest = 0;
    for (const orlenta::DealtShard& shard : deal.Shards) {
        FUZZ_CHECK(!shard.Aves.empty());
        FUZZ_CHECK(std::is_sorted(shard.Aves.begin(), shard.Aves.end()));
        FUZZ_CHECK(shard.Total >= 0 && shard.Total <= deal.NightTotal);
        dealt.insert(shard.Aves.begin(), shard.Aves.end());
        slowest = std::max(slowest, shard.Total);
    }
    FUZZ_CHECK(dealt == std::multiset<std::int32_t>(distinct.begin(), distinct.end()));
    FUZZ_CHECK(deal.SlowestTotal == slowest);

    // The slack of the bounds below covers sums rounded in another order.
    const std::vector<double> weights = Weights(distinct, known);
    const double night = std::accumulate(weights.begin(), weights.end(), 0.0);
    FUZZ_CHECK(std::abs(deal.NightTotal - night) <= night * 1e-12);
    FUZZ_CHECK(deal.LongestAve == (weights.empty() ? 0 : weights.front()));
    // Against the even share alone, longest first can be up to 2n/(n+1) of it (five equal AVEs on
    // four shards: 2 against 1.25): the shard that ends slowest took its last AVE when every shard
    // held one at least as heavy.
    const double share = 2 * deal.NightTotal / (static_cast<double>(n) + 1);
    FUZZ_CHECK(deal.SlowestTotal <= std::max(deal.LongestAve, share) * (1 + 1e-12));
    if (static_cast<std::int64_t>(weights.size()) <= n) {
        FUZZ_CHECK(deal.SlowestTotal == deal.LongestAve);
    } else if (weights.size() <= 9) {
        std::vector<double> loads(static_cast<std::size_t>(n), 0.0);
        double best = deal.SlowestTotal * (1 + 1e-12);
        Search(weights, 0, loads, 0, 0, best);
        const double bound = (4.0 / 3 - 1.0 / (3 * static_cast<double>(n))) * best;
        FUZZ_CHECK(deal.SlowestTotal <= bound * (1 + 1e-12));
    }

    for (const std::int64_t shard : {k, std::int64_t{1}, n}) {
        const orlenta::ShardPlan plan = orlenta::PlanShard(tonight, known, shard, n);
        const bool hasAves = shard <= static_cast<std::int64_t>(deal.Shards.size());
        FUZZ_CHECK(plan.NightTotal == deal.NightTotal);
        FUZZ_CHECK(plan.Shard.Aves == (hasAves ? deal.Shards[shard - 1].Aves : std::vector<std::int32_t>()));
        FUZZ_CHECK(plan.Shard.Total == (hasAves ? deal.Shards[shard - 1].Total : 0));
    }
    return 0;
}
