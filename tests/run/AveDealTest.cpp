// The deal of AVEs to shards by durations: worked deals, each shard as one machine plans it, and a
// skewed night that the deal by number puts on one shard.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run/AveDeal.h"
#include "run/AveSelection.h"

namespace orlenta {
namespace {

constexpr std::int64_t kMostShards = 2147483647;
constexpr double kInfinite = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct DealCase {
    const char* name;
    std::vector<std::int32_t> tonight;
    AveDurations known;
    std::int64_t n;
    std::vector<std::vector<std::int32_t>> shards;  // shards 1, 2, ...; every later one is empty
    std::vector<double> totals;
    double nightTotal;
};

// Each shard's AVEs run in number order and together they are tonight's AVEs, each once.
void ExpectEveryAveOnce(const std::vector<std::int32_t>& tonight, const NightDeal& deal) {
    std::multiset<std::int32_t> dealt;
    for (const DealtShard& shard : deal.Shards) {
        EXPECT_TRUE(std::is_sorted(shard.Aves.begin(), shard.Aves.end()));
        dealt.insert(shard.Aves.begin(), shard.Aves.end());
    }
    EXPECT_EQ(dealt, std::multiset<std::int32_t>(tonight.begin(), tonight.end()));
}

TEST(AveDeal, DealsLongestFirstToTheLeastLoadedShard) {
    const std::vector<DealCase> cases = {
        // 3 (7 s), 5 (5 s), 4 (4 s), 2 (3 s), 1 (2 s): each to the lighter shard of the moment.
        {"longest first", {1, 2, 3, 4, 5}, {{1, 2}, {2, 3}, {3, 7}, {4, 4}, {5, 5}}, 2, {{2, 3}, {1, 4, 5}},
         {10, 11}, 21},
        {"equal weights go in AVE number order, whatever the order given", {7, 3}, {{3, 10}, {7, 10}}, 2,
         {{3}, {7}}, {10, 10}, 20},
        {"equal totals go to the lower shard", {1, 2, 3}, {{1, 5}, {2, 5}, {3, 4}}, 2, {{1, 3}, {2}}, {9, 5}, 14},
        // After 2, shard 2 stands at 0 like the empty shard 3, and the lower number takes 3 and 4.
        {"an empty shard loses to a lower used shard at 0", {1, 2, 3, 4}, {{1, 5}, {2, 0}, {3, 0}, {4, 0}}, 3,
         {{1}, {2, 3, 4}}, {5, 0}, 5},
        {"all weights 0", {2, 1}, {{1, 0}, {2, 0}}, 2, {{1, 2}}, {0}, 0},
        // 4 weighs 20, the median of 10, 20 and 30; AVE 99 does not run tonight and does not count.
        {"a missing AVE weighs the median of tonight's", {1, 2, 3, 4}, {{1, 10}, {2, 30}, {3, 20}, {99, 1000}}, 2,
         {{1, 2}, {3, 4}}, {40, 40}, 80},
        {"even count: the mean of the middle two", {1, 2, 3, 4, 5}, {{1, 10}, {2, 40}, {3, 20}, {4, 30}}, 1,
         {{1, 2, 3, 4, 5}}, {125}, 125},
        {"none of tonight's known: 1 s each", {1, 2, 3}, {{9, 50}}, 2, {{1, 3}, {2}}, {2, 1}, 3},
        {"a duration that is no time counts as unknown", {1, 2, 3, 4}, {{1, 4}, {2, -1}, {3, kInfinite}, {4, kNaN}},
         2, {{1, 3}, {2, 4}}, {8, 8}, 16},
        {"more shards than AVEs", {4, 2}, {{2, 1}, {4, 3}}, 5, {{4}, {2}}, {3, 1}, 4},
        {"the most shards", {10, 20, 30}, {{10, 1}, {20, 2}, {30, 3}}, kMostShards, {{30}, {20}, {10}}, {3, 2, 1}, 6},
        {"a repeated AVE is dealt once", {5, 6, 5}, {{5, 2}, {6, 1}}, 2, {{5}, {6}}, {2, 1}, 3},
        {"no AVE", {}, {{1, 5}}, 3, {}, {}, 0},
    };
    for (const DealCase& c : cases) {
        SCOPED_TRACE(c.name);
        const NightDeal deal = DealNight(c.tonight, c.known, c.n);
        ASSERT_EQ(deal.Shards.size(), c.shards.size());
        for (size_t i = 0; i < c.shards.size(); ++i) {
            EXPECT_EQ(deal.Shards[i].Aves, c.shards[i]) << "shard " << i + 1;
            EXPECT_EQ(deal.Shards[i].Total, c.totals[i]) << "shard " << i + 1;
        }
        EXPECT_EQ(deal.NightTotal, c.nightTotal);
        EXPECT_EQ(deal.SlowestTotal, c.totals.empty() ? 0 : *std::max_element(c.totals.begin(), c.totals.end()));
        std::vector<std::int32_t> distinct = c.tonight;
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        ExpectEveryAveOnce(distinct, deal);

        // Each machine plans its own shard alone, the empty ones and the last one included.
        for (const std::int64_t k : {std::int64_t{1}, std::int64_t{2}, std::int64_t{3}, c.n}) {
            if (k > c.n) {
                continue;
            }
            const ShardPlan plan = PlanShard(c.tonight, c.known, k, c.n);
            const bool dealt = k <= static_cast<std::int64_t>(c.shards.size());
            EXPECT_EQ(plan.Shard.Aves, dealt ? c.shards[k - 1] : std::vector<std::int32_t>()) << "shard " << k;
            EXPECT_EQ(plan.Shard.Total, dealt ? c.totals[k - 1] : 0) << "shard " << k;
            EXPECT_EQ(plan.NightTotal, c.nightTotal) << "shard " << k;
        }
        EXPECT_TRUE(PlanShard(c.tonight, c.known, c.n + 1, c.n).Shard.Aves.empty());
        EXPECT_TRUE(PlanShard(c.tonight, c.known, 0, c.n).Shard.Aves.empty());
    }
}

// Every fourth AVE is a large model: by number shard 1 would get them all; by duration the slowest
// shard stays within 5 % of the ideal.
TEST(AveDeal, KeepsAHeavyNightEvenWhereTheDealByNumberDoesNot) {
    constexpr std::int64_t kShards = 4;
    std::vector<std::int32_t> tonight;
    AveDurations known;
    for (std::int32_t ave = 1; ave <= 40; ++ave) {
        tonight.push_back(ave);
        known[ave] = ave % 4 == 1 ? 100 + ave : 10 + ave % 3;
    }
    const AveSelection byNumber = AveSelection::List(tonight).Shard(1, kShards);
    int heavyByNumber = 0;
    for (std::int64_t i = 0; i < byNumber.Count(); ++i) {
        heavyByNumber += known[byNumber.At(i)] > 100 ? 1 : 0;
    }
    EXPECT_EQ(heavyByNumber, 10);

    const NightDeal deal = DealNight(tonight, known, kShards);
    ExpectEveryAveOnce(tonight, deal);
    const double ideal = std::max(deal.NightTotal / kShards, deal.LongestAve);
    EXPECT_EQ(deal.LongestAve, 137);
    EXPECT_LE(deal.SlowestTotal, 1.05 * ideal);
}

}  // namespace
}  // namespace orlenta
