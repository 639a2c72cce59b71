// What a night says against the history; pure functions of the rows.
#include "history/NightFindings.h"

#include <algorithm>
#include <map>

namespace orlenta {

const char* OutcomeName(PassOutcome outcome) {
    switch (outcome) {
        case PassOutcome::Exited: return "exited";
        case PassOutcome::TimedOut: return "timed out";
        case PassOutcome::Stopped: return "stopped";
        case PassOutcome::CouldNotStart: break;
    }
    return "could not start";
}

std::optional<PassOutcome> OutcomeOfName(const std::string& name) {
    for (const PassOutcome outcome :
         {PassOutcome::Exited, PassOutcome::TimedOut, PassOutcome::Stopped, PassOutcome::CouldNotStart}) {
        if (name == OutcomeName(outcome)) {
            return outcome;
        }
    }
    return std::nullopt;
}

std::optional<double> MedianSeconds(std::vector<double> seconds) {
    if (seconds.empty()) {
        return std::nullopt;
    }
    const auto middle = seconds.begin() + static_cast<std::ptrdiff_t>(seconds.size() / 2);
    std::nth_element(seconds.begin(), middle, seconds.end());
    if (seconds.size() % 2 != 0) {
        return *middle;
    }
    return (*middle + *std::max_element(seconds.begin(), middle)) / 2;
}

bool IsSlower(double seconds, double median) noexcept {
    return seconds >= median * kSlowerFactor && seconds >= median + kSlowerSeconds;
}

const HistoryRun* RunOf(const NightRows& rows, std::int64_t runId) {
    if (runId == rows.Night.Id) {
        return &rows.Night;
    }
    const auto run = std::find_if(rows.EarlierRuns.begin(), rows.EarlierRuns.end(),
                                  [&](const HistoryRun& r) { return r.Id == runId; });
    return run == rows.EarlierRuns.end() ? nullptr : &*run;
}

namespace {

// An AVE's earlier passes, oldest first.
std::map<std::int32_t, std::vector<const HistoryPass*>> EarlierByAve(const NightRows& rows) {
    std::map<std::int32_t, std::vector<const HistoryPass*>> byAve;
    for (const HistoryPass& pass : rows.Earlier) {
        byAve[pass.Ave].push_back(&pass);
    }
    for (auto& [ave, passes] : byAve) {
        std::stable_sort(passes.begin(), passes.end(),
                         [](const HistoryPass* a, const HistoryPass* b) { return a->Id < b->Id; });
    }
    return byAve;
}

AveStanding StandingOf(const NightRows& rows, const HistoryPass& tonight, const std::vector<const HistoryPass*>& earlier) {
    AveStanding standing;
    standing.Tonight = &tonight;
    standing.Last = earlier.empty() ? nullptr : earlier.back();
    std::vector<double> recent;
    for (auto pass = earlier.rbegin(); pass != earlier.rend() && recent.size() < kMedianPasses; ++pass) {
        if ((*pass)->RanToItsEnd()) {
            recent.push_back((*pass)->Seconds);
        }
    }
    standing.Median = MedianSeconds(recent);
    const auto lastPassed = std::find_if(earlier.rbegin(), earlier.rend(), [](const HistoryPass* p) { return p->Passed(); });
    if (lastPassed != earlier.rend()) {
        standing.LastPassedRun = RunOf(rows, (*lastPassed)->RunId);
    }
    if (!tonight.Passed()) {
        // The failures in a row that end tonight, and the run of the first of them.
        const auto firstFailing = lastPassed.base();  // the pass after the last that passed
        standing.FailingRuns = 1 + static_cast<std::int64_t>(earlier.end() - firstFailing);
        standing.FailingSince = RunOf(rows, firstFailing == earlier.end() ? tonight.RunId : (*firstFailing)->RunId);
    }
    const size_t stripEarlier = std::min(earlier.size(), kStripRuns - 1);
    standing.Strip.assign(earlier.end() - static_cast<std::ptrdiff_t>(stripEarlier), earlier.end());
    standing.Strip.push_back(&tonight);
    return standing;
}

}  // namespace

NightFindings FindingsOf(const NightRows& rows) {
    NightFindings findings;
    const auto byAve = EarlierByAve(rows);
    const std::vector<const HistoryPass*> none;
    for (const HistoryPass& pass : rows.Tonight) {
        findings.Passed += pass.Passed() ? 1 : 0;
        findings.Failed += pass.RanToItsEnd() && !pass.Passed() ? 1 : 0;
        findings.Errors += pass.RanToItsEnd() ? 0 : 1;
        const auto earlier = byAve.find(pass.Ave);
        AveStanding standing = StandingOf(rows, pass, earlier == byAve.end() ? none : earlier->second);
        const size_t index = findings.Aves.size();
        const bool failedLastTime = standing.Last != nullptr && !standing.Last->Passed();
        if (!pass.Passed()) {
            (failedLastTime ? findings.StillFailing : findings.NewFailures).push_back(index);
        } else if (failedLastTime) {
            findings.Fixed.push_back(index);
        }
        if (pass.RanToItsEnd() && standing.Median && IsSlower(pass.Seconds, *standing.Median)) {
            findings.Slower.push_back(index);
        }
        if (pass.Outcome == PassOutcome::TimedOut || pass.Outcome == PassOutcome::Stopped || !pass.Windows.empty() ||
            !pass.LeftRunning.empty()) {
            findings.Hung.push_back(index);
        }
        for (const HistoryPass* shown : standing.Strip) {
            findings.LongestSeconds = std::max(findings.LongestSeconds, shown->Seconds);
        }
        findings.Aves.push_back(std::move(standing));
    }
    const std::int64_t ran = static_cast<std::int64_t>(rows.Tonight.size());
    findings.Skipped = std::max<std::int64_t>(0, rows.Night.Planned.value_or(ran) - ran);
    return findings;
}

}  // namespace orlenta
