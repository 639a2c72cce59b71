// How even the planned shards are: the slowest of 4 shards of 213 AVEs against the ideal (the
// night's total over 4, or the longest AVE when that is more), dealt by durations and dealt by
// number like cards. The durations are drawn with a fixed seed: most AVEs log-normal around a minute
// and a half, and a family of large models numbered together with Pareto-tailed times. Prints the
// row for the main seed and, for the spread, the two ratios for 20 further seeds. Usage: bench_deal
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "BenchSupport.h"
#include "run/AveDeal.h"
#include "run/AveSelection.h"

namespace {

constexpr std::int64_t kShards = 4;
constexpr std::int32_t kAves = 213;
// The family of large models: AVEs 141 to 160.
constexpr std::int32_t kFamilyFirst = 141;
constexpr std::int32_t kFamilyLast = 160;
constexpr std::uint64_t kMainSeed = 20261209;

struct Night {
    std::vector<std::int32_t> aves;
    orlenta::AveDurations seconds;
};

// Drawn by hand from the generator's bits, which the standard fixes, rather than through the
// library's distributions, which it does not: every build draws the same night.
Night DrawNight(std::uint64_t seed) {
    std::mt19937_64 bits(seed);
    const auto uniform = [&bits] { return (static_cast<double>(bits() >> 11) + 0.5) / 9007199254740992.0; };
    constexpr double kPi = 3.14159265358979323846;
    Night night;
    for (std::int32_t ave = 1; ave <= kAves; ++ave) {
        night.aves.push_back(ave);
        double seconds = 0;
        if (ave >= kFamilyFirst && ave <= kFamilyLast) {
            seconds = 900 / std::pow(uniform(), 1 / 2.5);  // Pareto: at least 15 minutes, a long tail
        } else {
            const double normal = std::sqrt(-2 * std::log(uniform())) * std::cos(2 * kPi * uniform());
            seconds = 90 * std::exp(0.6 * normal);
        }
        night.seconds[ave] = std::round(seconds * 10) / 10;
    }
    return night;
}

struct Figures {
    double byDurations = 0;
    double byNumber = 0;
    double ideal = 0;
    double longest = 0;
};

Figures Measure(const Night& night) {
    const orlenta::NightDeal deal = orlenta::DealNight(night.aves, night.seconds, kShards);
    Figures figures;
    figures.byDurations = deal.SlowestTotal;
    figures.ideal = std::max(deal.NightTotal / kShards, deal.LongestAve);
    figures.longest = deal.LongestAve;
    const orlenta::AveSelection all = orlenta::AveSelection::List(night.aves);
    for (std::int64_t k = 1; k <= kShards; ++k) {
        const orlenta::AveSelection shard = all.Shard(k, kShards);
        double total = 0;
        for (std::int64_t i = 0; i < shard.Count(); ++i) {
            total += night.seconds.at(shard.At(i));
        }
        figures.byNumber = std::max(figures.byNumber, total);
    }
    return figures;
}

orlenta::bench::Stats Single(double value) { return {value, value, value}; }

}  // namespace

int main() {
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        const Figures figures = Measure(DrawNight(seed));
        std::printf("seed %2llu: slowest over ideal %.3f by durations, %.3f by number; ideal %.0f s%s\n",
                    static_cast<unsigned long long>(seed), figures.byDurations / figures.ideal,
                    figures.byNumber / figures.ideal, figures.ideal,
                    figures.longest == figures.ideal ? " (the longest AVE)" : "");
    }
    const Figures figures = Measure(DrawNight(kMainSeed));
    const char* size = "4 shards of 213 AVEs";
    orlenta::bench::PrintRow("Planned slowest shard vs the ideal, dealt by durations", size, "s",
                             Single(figures.byDurations), Single(figures.ideal), "<= 1.05");
    orlenta::bench::PrintRow("Planned slowest shard vs the ideal, dealt by number", size, "s",
                             Single(figures.byNumber), Single(figures.ideal), "(shown)");
    return 0;
}
