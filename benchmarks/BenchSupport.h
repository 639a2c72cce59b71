// What the benchmark programs share: a fine clock, the median with its spread, and the row format
// that scripts/bench.sh turns into the table.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace orlenta::bench {

// Milliseconds since an arbitrary start, from the performance counter.
inline double NowMs() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / frequency;
}

struct Stats {
    double median = 0;
    double min = 0;
    double max = 0;
};

inline Stats Summarise(std::vector<double> samples) {
    Stats stats;
    if (samples.empty()) {
        return stats;
    }
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    stats.median = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    stats.min = samples.front();
    stats.max = samples.back();
    return stats;
}

// One table row for scripts/bench.sh: tab-separated, figures in the unit named.
inline void PrintRow(const std::string& what, const std::string& size, const std::string& unit, const Stats& ours,
                     const Stats& reference, const std::string& goal) {
    std::printf("ROW\t%s\t%s\t%s\t%.3f\t%.3f\t%.3f\t%.3f\t%.3f\t%.3f\t%s\n", what.c_str(), size.c_str(), unit.c_str(),
                ours.median, ours.min, ours.max, reference.median, reference.min, reference.max, goal.c_str());
    std::fflush(stdout);
}

}  // namespace orlenta::bench
