// Dealing a night's AVEs to shards by their durations, longest first; no windows.h.
#include "run/AveDeal.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <numeric>
#include <queue>
#include <utility>

namespace orlenta {

namespace {

struct Weighed {
    std::int32_t Ave;
    double Seconds;
};

// A NaN would break the sort's ordering below, and a negative time would make a used shard look
// emptier than an empty one.
bool IsDuration(double seconds) { return std::isfinite(seconds) && seconds >= 0; }

// Tonight's AVEs, each once, heaviest first and in number order among equals: the order of the deal.
// Everything after depends only on this order, never on the order the AVEs were given in.
std::vector<Weighed> DealOrder(std::span<const std::int32_t> tonight, const AveDurations& known) {
    std::vector<std::int32_t> aves(tonight.begin(), tonight.end());
    std::sort(aves.begin(), aves.end());
    aves.erase(std::unique(aves.begin(), aves.end()), aves.end());

    constexpr double kUnknown = -1;
    std::vector<Weighed> order;
    order.reserve(aves.size());
    std::vector<double> knownTonight;
    for (const std::int32_t ave : aves) {
        const auto found = known.find(ave);
        const bool isKnown = found != known.end() && IsDuration(found->second);
        order.push_back({ave, isKnown ? found->second : kUnknown});
        if (isKnown) {
            knownTonight.push_back(found->second);
        }
    }
    // Only tonight's times: a timings file of a wider night must not make tonight's new AVEs weigh
    // what AVEs that do not run tonight took.
    std::sort(knownTonight.begin(), knownTonight.end());
    const std::size_t count = knownTonight.size();
    const double median = count == 0       ? 1.0
                          : count % 2 == 1 ? knownTonight[count / 2]
                                           : std::midpoint(knownTonight[count / 2 - 1], knownTonight[count / 2]);
    for (Weighed& weighed : order) {
        if (weighed.Seconds == kUnknown) {
            weighed.Seconds = median;
        }
    }
    std::sort(order.begin(), order.end(), [](const Weighed& a, const Weighed& b) {
        return a.Seconds != b.Seconds ? a.Seconds > b.Seconds : a.Ave < b.Ave;
    });
    return order;
}

// The shard of each AVE of the deal order. Only shards that have an AVE are held, so a deal into
// 2147483647 shards costs what a deal into as many shards as AVEs does.
std::vector<std::int64_t> Deal(const std::vector<Weighed>& order, std::int64_t n) {
    using Load = std::pair<double, std::int64_t>;  // total so far, shard number
    std::priority_queue<Load, std::vector<Load>, std::greater<Load>> used;
    std::int64_t unused = 1;  // the lowest shard without an AVE; every later one is empty too
    std::vector<std::int64_t> shards;
    shards.reserve(order.size());
    for (const Weighed& weighed : order) {
        // An empty shard stands at 0 and loses only to a used shard at 0 with a lower number: with
        // weights of 0 the used shard of equal total keeps taking them.
        const Load empty{0.0, unused};
        Load least = empty;
        if (!used.empty() && (unused > n || used.top() < empty)) {
            least = used.top();
            used.pop();
        } else {
            ++unused;
        }
        least.first += weighed.Seconds;
        used.push(least);
        shards.push_back(least.second);
    }
    return shards;
}

}  // namespace

NightDeal DealNight(std::span<const std::int32_t> tonight, const AveDurations& known, std::int64_t n) {
    NightDeal deal;
    if (n < 1) {
        return deal;
    }
    const std::vector<Weighed> order = DealOrder(tonight, known);
    const std::vector<std::int64_t> shards = Deal(order, n);
    // Shard numbers are handed out from 1 upwards, so the highest one given is the count of used shards.
    deal.Shards.resize(static_cast<std::size_t>(shards.empty() ? 0 : *std::max_element(shards.begin(), shards.end())));
    // Totals are added in the deal order, as the deal added them, so every machine gets the same sums.
    for (std::size_t i = 0; i < order.size(); ++i) {
        DealtShard& shard = deal.Shards[static_cast<std::size_t>(shards[i] - 1)];
        shard.Aves.push_back(order[i].Ave);
        shard.Total += order[i].Seconds;
        deal.NightTotal += order[i].Seconds;
    }
    for (DealtShard& shard : deal.Shards) {
        std::sort(shard.Aves.begin(), shard.Aves.end());
        deal.SlowestTotal = std::max(deal.SlowestTotal, shard.Total);
    }
    deal.LongestAve = order.empty() ? 0 : order.front().Seconds;
    return deal;
}

ShardPlan PlanShard(std::span<const std::int32_t> tonight, const AveDurations& known, std::int64_t k,
                    std::int64_t n) {
    ShardPlan plan;
    if (k < 1 || n < 1 || k > n) {
        return plan;
    }
    const std::vector<Weighed> order = DealOrder(tonight, known);
    const std::vector<std::int64_t> shards = Deal(order, n);
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (shards[i] == k) {
            plan.Shard.Aves.push_back(order[i].Ave);
            plan.Shard.Total += order[i].Seconds;
        }
        plan.NightTotal += order[i].Seconds;
    }
    std::sort(plan.Shard.Aves.begin(), plan.Shard.Aves.end());
    return plan;
}

}  // namespace orlenta
