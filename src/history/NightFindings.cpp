// What a night says against the history; pure functions of the rows.
#include "history/NightFindings.h"

#include <algorithm>
#include <compare>
#include <cstdio>
#include <map>
#include <set>
#include <unordered_map>

#include "run/AveChoice.h"

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

namespace {

// The usual duration of an AVE from its earlier passes, oldest first (see UsualSeconds); `passed`
// says whether the figure is of passes that passed.
std::optional<double> UsualOf(const std::vector<const HistoryPass*>& earlier, bool* passed = nullptr) {
    for (const bool onlyPassed : {true, false}) {
        std::vector<double> recent;
        for (auto pass = earlier.rbegin(); pass != earlier.rend() && recent.size() < kMedianPasses; ++pass) {
            if (onlyPassed ? (*pass)->Passed() : (*pass)->RanToItsEnd()) {
                recent.push_back((*pass)->Seconds);
            }
        }
        if (!recent.empty()) {
            if (passed != nullptr) {
                *passed = onlyPassed;
            }
            return MedianSeconds(std::move(recent));
        }
    }
    return std::nullopt;
}

// Tonight's runs are no earlier night, whatever a reader of the history gave.
bool IsTonights(const NightRows& rows, std::int64_t runId) {
    return runId != 0 &&
           std::any_of(rows.Runs.begin(), rows.Runs.end(), [&](const HistoryRun& run) { return run.Id == runId; });
}

// A night of the history: the runs that share a NightId, or a run that is a night of its own.
struct NightKey {
    std::int64_t NightId = 0;
    std::int64_t OwnRunId = 0;  // set only for a run that is a night of its own
    auto operator<=>(const NightKey&) const = default;
};

struct EarlierNight {
    std::int64_t Order = 0;             // its lowest run id: the history adds nights in this order
    const HistoryRun* First = nullptr;  // its earliest start, which names it
};

// The earlier runs by id, and the nights they make.
struct EarlierIndex {
    std::unordered_map<std::int64_t, const HistoryRun*> Runs;
    std::map<NightKey, EarlierNight> Nights;

    explicit EarlierIndex(const NightRows& rows) {
        for (const HistoryRun& run : rows.EarlierRuns) {
            if (IsTonights(rows, run.Id)) {
                continue;
            }
            Runs.emplace(run.Id, &run);
            const auto [night, added] = Nights.try_emplace(KeyOf(run.Id), EarlierNight{run.Id, &run});
            if (!added) {
                night->second.Order = std::min(night->second.Order, run.Id);
                if (run.Started < night->second.First->Started) {
                    night->second.First = &run;
                }
            }
        }
    }

    NightKey KeyOf(std::int64_t runId) const {
        const auto run = Runs.find(runId);
        return run != Runs.end() && run->second->NightId != 0 ? NightKey{run->second->NightId, 0} : NightKey{0, runId};
    }

    // A pass whose run the rows lack is a night of its own, without a name.
    EarlierNight NightOf(const NightKey& key) const {
        const auto night = Nights.find(key);
        return night != Nights.end() ? night->second : EarlierNight{key.OwnRunId, nullptr};
    }
};

// One AVE's earlier nights, oldest first: each night's name and outcome (its last attempt).
struct AveNight {
    EarlierNight Night;
    const HistoryPass* Outcome = nullptr;
};

std::vector<AveNight> NightsOf(const EarlierIndex& index, const std::vector<const HistoryPass*>& earlier) {
    std::map<NightKey, const HistoryPass*> last;
    for (const HistoryPass* pass : earlier) {
        const HistoryPass*& outcome = last[index.KeyOf(pass->RunId)];
        if (outcome == nullptr || pass->Attempt >= outcome->Attempt) {
            outcome = pass;  // the passes come oldest first, so a later one of the same attempt wins
        }
    }
    std::vector<AveNight> nights;
    for (const auto& [key, outcome] : last) {
        nights.push_back({index.NightOf(key), outcome});
    }
    std::stable_sort(nights.begin(), nights.end(),
                     [](const AveNight& a, const AveNight& b) { return a.Night.Order < b.Night.Order; });
    return nights;
}

// The standing of one AVE, and whether its timed attempt tonight is slower than it usually is.
bool Stand(AveStanding& standing, const EarlierIndex& index, const std::vector<const HistoryPass*>& earlier,
           const HistoryRun* tonightsNight) {
    const HistoryPass& tonight = *standing.Tonight;
    const std::vector<AveNight> nights = NightsOf(index, earlier);
    standing.Last = nights.empty() ? nullptr : nights.back().Outcome;
    const auto passedNight = [](const AveNight& night) { return night.Outcome->Passed(); };
    const auto lastPassed = std::find_if(nights.rbegin(), nights.rend(), passedNight);
    if (lastPassed != nights.rend()) {
        standing.LastPassedNight = lastPassed->Night.First;
    }
    const auto lastFailed = std::find_if_not(nights.rbegin(), nights.rend(), passedNight);
    standing.LastFailedNight =
        !tonight.Passed() ? tonightsNight : lastFailed != nights.rend() ? lastFailed->Night.First : nullptr;
    if (!tonight.Passed()) {
        // The failing nights in a row that end tonight, and the first of them.
        const auto firstFailing = lastPassed.base();  // the night after the last that passed
        standing.FailingNights = 1 + static_cast<std::int64_t>(nights.end() - firstFailing);
        standing.FailingSince = firstFailing == nights.end() ? tonightsNight : firstFailing->Night.First;
    }
    for (const HistoryPass* attempt : standing.Attempts) {
        standing.PassedOnRetry = standing.PassedOnRetry || (tonight.Passed() && !attempt->Passed());
        if (attempt->RanToItsEnd()) {
            standing.Timed = attempt;
        }
    }
    const size_t stripEarlier = std::min(nights.size(), kStripNights - 1);
    for (auto night = nights.end() - static_cast<std::ptrdiff_t>(stripEarlier); night != nights.end(); ++night) {
        standing.Strip.push_back(night->Outcome);
    }
    standing.Strip.push_back(&tonight);
    for (size_t i = 1; i < standing.Strip.size(); ++i) {
        standing.Flips += standing.Strip[i]->Passed() != standing.Strip[i - 1]->Passed() ? 1 : 0;
    }
    bool ofPassed = false;
    standing.Median = UsualOf(earlier, &ofPassed);
    // A pass that passed is measured against passes that passed: the first ever to pass, against
    // failures that ended early, would be "slower" by any factor.
    return standing.Timed != nullptr && standing.Median && (ofPassed || !standing.Timed->Passed()) &&
           IsSlower(standing.Timed->Seconds, *standing.Median);
}

// Tonight's run whose start is earliest; it names the night.
const HistoryRun* FirstOf(const std::vector<HistoryRun>& runs) {
    const HistoryRun* first = nullptr;
    for (const HistoryRun& run : runs) {
        if (first == nullptr || (!run.Started.empty() && (first->Started.empty() || run.Started < first->Started))) {
            first = &run;
        }
    }
    return first;
}

// Seconds since 1970-01-01 of a local "2026-12-08T21:04:05", for differences within one time zone.
std::optional<double> SecondsOfTime(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char t = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d", &year, &month, &day, &t, &hour, &minute, &second) != 7 ||
        month < 1 || month > 12 || day < 1 || day > 31) {
        return std::nullopt;
    }
    // Days from the civil date, after the well-known era arithmetic.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const double days = static_cast<double>(era) * 146097 + dayOfEra - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

// From the earliest start to the latest end; a run that never ended ends when its last figure says.
double NightSeconds(const std::vector<HistoryRun>& runs) {
    if (runs.size() == 1) {
        return runs.front().Seconds;
    }
    std::optional<double> start;
    std::optional<double> end;
    double longest = 0;
    for (const HistoryRun& run : runs) {
        longest = std::max(longest, run.Seconds);
        const auto started = SecondsOfTime(run.Started);
        if (!started) {
            continue;
        }
        const double ended = SecondsOfTime(run.Ended).value_or(*started + run.Seconds);
        start = std::min(start.value_or(*started), *started);
        end = std::max(end.value_or(ended), ended);
    }
    return start ? std::max(*end - *start, longest) : longest;
}

void FindMissingShards(const std::vector<HistoryRun>& runs, NightFindings& findings) {
    std::map<std::int64_t, std::set<std::int64_t>> reported;  // by n, the ks
    for (const HistoryRun& run : runs) {
        if (const auto shard = ReadShard(run.Shard)) {
            reported[shard->N].insert(shard->K);
        }
    }
    for (const auto& [n, ks] : reported) {
        std::int64_t missing = n - static_cast<std::int64_t>(ks.size());
        for (std::int64_t k = 1; k <= n && missing > 0 && findings.MissingShards.size() < kMostNamedShards; ++k) {
            if (ks.count(k) == 0) {
                findings.MissingShards.push_back(ShardText({k, n}));
                --missing;
            }
        }
        findings.MoreMissingShards += missing;
    }
}

void FindNight(const NightRows& rows, NightFindings& findings) {
    findings.FirstRun = FirstOf(rows.Runs);
    findings.Seconds = NightSeconds(rows.Runs);
    std::set<std::string> machines;
    std::int64_t planned = 0;
    for (const HistoryRun& run : rows.Runs) {
        if (!run.ExitCode) {
            findings.ExitCode.reset();  // a run that never ended: the night has no exit code
            break;
        }
        findings.ExitCode = std::max(findings.ExitCode.value_or(*run.ExitCode), *run.ExitCode);
    }
    for (const HistoryRun& run : rows.Runs) {
        machines.insert(run.Machine);
        std::set<std::int32_t> ran;
        for (const HistoryPass& pass : rows.Tonight) {
            if (rows.Runs.size() == 1 || pass.RunId == run.Id) {
                ran.insert(pass.Ave);
            }
        }
        planned += run.Planned.value_or(static_cast<std::int64_t>(ran.size()));
    }
    findings.Machines = machines.size();
    findings.Skipped = std::max<std::int64_t>(0, planned - static_cast<std::int64_t>(findings.Aves.size()));
    if (rows.Runs.size() > 1) {
        FindMissingShards(rows.Runs, findings);  // one run alone tells of its own shard
    }
}

}  // namespace

std::optional<double> UsualSeconds(const std::vector<HistoryPass>& earlierOldestFirst) {
    std::vector<const HistoryPass*> earlier;
    earlier.reserve(earlierOldestFirst.size());
    for (const HistoryPass& pass : earlierOldestFirst) {
        earlier.push_back(&pass);
    }
    return UsualOf(earlier);
}

int NightExitCode(const NightRows& rows, const NightFindings& findings) {
    const bool runsWhole = std::all_of(rows.Runs.begin(), rows.Runs.end(),
                                       [](const HistoryRun& run) { return run.ExitCode && *run.ExitCode < 2; });
    return runsWhole && findings.Failed == 0 && findings.Errors == 0 && findings.Skipped == 0 &&
                   findings.MissingShards.empty() && findings.MoreMissingShards == 0
               ? 0
               : 1;
}

const HistoryRun* RunOf(const NightRows& rows, std::int64_t runId) {
    for (const std::vector<HistoryRun>* runs : {&rows.Runs, &rows.EarlierRuns}) {
        const auto run = std::find_if(runs->begin(), runs->end(), [&](const HistoryRun& r) { return r.Id == runId; });
        if (run != runs->end()) {
            return &*run;
        }
    }
    return nullptr;
}

NightFindings FindingsOf(const NightRows& rows) {
    NightFindings findings;
    // Tonight's attempts by AVE, in the order of each AVE's first; its last attempt is its outcome.
    std::unordered_map<std::int32_t, size_t> aveIndex;
    for (const HistoryPass& pass : rows.Tonight) {
        const auto [at, added] = aveIndex.try_emplace(pass.Ave, findings.Aves.size());
        if (added) {
            findings.Aves.emplace_back();
        }
        findings.Aves[at->second].Attempts.push_back(&pass);
        findings.Retried = findings.Retried || pass.Attempt > 1;
        if (pass.Outcome == PassOutcome::TimedOut || pass.Outcome == PassOutcome::Stopped || !pass.Windows.empty() ||
            !pass.LeftRunning.empty()) {
            findings.Hung.push_back(&pass);
        }
    }
    FindNight(rows, findings);
    std::unordered_map<std::int32_t, std::vector<const HistoryPass*>> earlierByAve;
    for (const HistoryPass& pass : rows.Earlier) {
        if (aveIndex.count(pass.Ave) != 0 && !IsTonights(rows, pass.RunId)) {
            earlierByAve[pass.Ave].push_back(&pass);
        }
    }
    const EarlierIndex index(rows);
    const std::vector<const HistoryPass*> none;
    for (size_t i = 0; i < findings.Aves.size(); ++i) {
        AveStanding& standing = findings.Aves[i];
        std::stable_sort(standing.Attempts.begin(), standing.Attempts.end(),
                         [](const HistoryPass* a, const HistoryPass* b) { return a->Attempt < b->Attempt; });
        standing.Tonight = standing.Attempts.back();
        auto earlier = earlierByAve.find(standing.Tonight->Ave);
        if (earlier != earlierByAve.end()) {
            std::stable_sort(earlier->second.begin(), earlier->second.end(),
                             [](const HistoryPass* a, const HistoryPass* b) { return a->Id < b->Id; });
        }
        const bool slower =
            Stand(standing, index, earlier == earlierByAve.end() ? none : earlier->second, findings.FirstRun);
        const HistoryPass& tonight = *standing.Tonight;
        findings.Passed += tonight.Passed() ? 1 : 0;
        findings.Failed += tonight.RanToItsEnd() && !tonight.Passed() ? 1 : 0;
        findings.Errors += tonight.RanToItsEnd() ? 0 : 1;
        const bool failedLastTime = standing.Last != nullptr && !standing.Last->Passed();
        if (!tonight.Passed()) {
            (failedLastTime ? findings.StillFailing : findings.NewFailures).push_back(i);
        } else if (failedLastTime && !standing.PassedOnRetry) {
            findings.Fixed.push_back(i);  // a pass only on a retry is no fix: it is flaky
        }
        if (standing.Flaky()) {
            findings.Flaky.push_back(i);
        }
        if (slower) {
            findings.Slower.push_back(i);
        }
        for (const HistoryPass* pass : standing.Attempts) {
            findings.LongestSeconds = std::max(findings.LongestSeconds, pass->Seconds);
        }
        for (const HistoryPass* shown : standing.Strip) {
            findings.LongestSeconds = std::max(findings.LongestSeconds, shown->Seconds);
        }
    }
    return findings;
}

}  // namespace orlenta
