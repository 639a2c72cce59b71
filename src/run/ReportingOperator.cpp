// An operator that keeps a record of the run and passes everything on to the operator it wraps.
#include "run/ReportingOperator.h"

#include <algorithm>
#include <unordered_map>
#include <iterator>
#include <cstdio>

#include "run/JUnitReport.h"
#include "run/RunValues.h"
#include "util/AppError.h"
#include "util/LongPath.h"
#include "util/PathForm.h"
#include "util/Text.h"

namespace orlenta {

namespace {

constexpr int kLaunchLine = 580;  // a script that cannot start counts against its pass, not the run
// How long a write waits for a program that holds the JUnit file open: briefly after each pass, longer
// for the run's last word.
constexpr unsigned long kPassPatienceMs = 2000;
constexpr unsigned long kFinalPatienceMs = 5000;
constexpr unsigned long kStoppedPatienceMs = 1000;

// Passes were due and none of them started: the harness is broken (the script or its host is
// missing), which is no AVE's failure.
bool NoPassStarted(const RunResult& result) {
    return !result.Passes.empty() &&
           std::all_of(result.Passes.begin(), result.Passes.end(),
                       [](const PassRecord& pass) { return pass.Outcome == PassOutcome::CouldNotStart; });
}

// A pass whose processes outlasted the bounded wait after it was ended: they may still hold files.
const PassRecord* PassNotEnded(const RunResult& result) {
    const auto stuck = std::find_if(result.Passes.begin(), result.Passes.end(),
                                    [](const PassRecord& pass) { return pass.CouldNotBeEnded; });
    return stuck == result.Passes.end() ? nullptr : &*stuck;
}

// Estimated only for nights whose AVEs can be looked up one by one at the start.
constexpr std::int64_t kMostTimedAves = 100'000;

std::string Settings(const RunSettings& settings) {
    const std::string& limit = settings.Nightly.PassTimeLimit;
    const std::string& shard = settings.Nightly.Shard;
    return "Run starts: AVE folder \"" + settings.AVEFolder + "\", installation folder \"" +
           settings.InstallationFolder + "\", testing folder \"" + settings.TestingFolder + "\", AVE numbers " +
           AvesText(settings) + (shard.empty() ? "" : " (shard " + shard + ")") + ", types " +
           AnalysisTypesText(settings) + ", time limit " + (limit.empty() ? "none" : limit + " minutes");
}

}  // namespace

ReportingOperator::ReportingOperator(RunOperator& inner, RunLog* log, std::wstring junitPath, AveChoice choice)
    : ForwardingOperator(inner), log_(log), junitPath_(std::move(junitPath)), choice_(std::move(choice)) {}

void ReportingOperator::Log(const std::string& text) const {
    if (log_ != nullptr) {
        log_->Line(text);
    }
}

void ReportingOperator::ShowMessage(const std::string& text) {
    Log("Message: " + text);
    lastWord_ = text;
    inner_.ShowMessage(text);
}

std::string ReportingOperator::InputBox(const std::string& prompt, const std::string& caption,
                                        const std::string& defaultAnswer) {
    const std::string answer = inner_.InputBox(prompt, caption, defaultAnswer);
    Log("Prompt: " + prompt + " Answer: " + (answer.empty() ? "(none)" : "\"" + answer + "\""));
    if (answer.empty()) {
        lastWord_ = prompt;
    }
    return answer;
}

void ReportingOperator::OpenDocument(const std::string& strOperation, const std::string& strFile,
                                     const std::string& strParameters, const std::string& strDirectory,
                                     long lShowCmd) {
    // A run whose script never ran, or was stopped, has no page to name.
    const PathForm page = FullPathForm(strFile);
    const DWORD attributes =
        page.usable() ? GetFileAttributesW(ExtendedLengthPath(page.full).c_str()) : INVALID_FILE_ATTRIBUTES;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        Log("Results page: " + strFile);
    } else {
        Log("No results page: " + strFile + " does not exist");
    }
    inner_.OpenDocument(strOperation, strFile, strParameters, strDirectory, lShowCmd);
}

void ReportingOperator::RunStarted(const RunSettings& settings) {
    passes_.clear();
    planned_ = false;
    retries_ = RetriesOf(settings.Nightly.Retries).value_or(0);
    lastOrdinal_ = 0;
    tail_ = {};
    lastWord_.clear();
    // Until the passes are planned, the AVEs the run is to take are what its choice makes of its range.
    try {
        tail_.Planned = choice_.Take(ToInt32(settings.StartIndex), ToInt32(settings.StopIndex));
    } catch (const AppError&) {
        // Numbers the run cannot read name no AVE; the run's own testcase says what happened.
    }
    Log(Settings(settings));
    // From here on the file says the run has not finished and names every AVE not run yet, so a run
    // that is killed, even during the reset, leaves a file that says so.
    junit_.reset();
    if (!junitPath_.empty()) {
        SYSTEMTIME started{};
        GetLocalTime(&started);
        junit_.emplace(junitPath_, settings, started);
        WriteJUnit(kPassPatienceMs);
    }
    inner_.RunStarted(settings);
}

void ReportingOperator::PassesPlanned(const AveSelection& selection) {
    planned_ = true;
    tail_.Planned = selection;
    tail_.FirstNotRun = 0;
    UpdateJUnit({});
    inner_.PassesPlanned(selection);
    secondsFrom_.clear();
    unknownFrom_.clear();
    const std::int64_t count = selection.Count();
    if (count > kMostTimedAves) {
        return;
    }
    secondsFrom_.assign(static_cast<size_t>(count) + 1, 0.0);
    unknownFrom_.assign(static_cast<size_t>(count) + 1, 0);
    for (std::int64_t i = count - 1; i >= 0; --i) {
        const auto usual = inner_.UsualSeconds(selection.At(i));
        const auto at = static_cast<size_t>(i);
        secondsFrom_[at] = secondsFrom_[at + 1] + usual.value_or(0.0);
        unknownFrom_[at] = unknownFrom_[at + 1] + (usual ? 0 : 1);
    }
}

void ReportingOperator::PassStarted(const PassRecord& record) {
    // Where the night stands, "3 of 213", and what the AVEs from this one on usually take together.
    std::string progress;
    const std::int64_t count = tail_.Planned.Count();
    if (planned_ && record.Ordinal >= 1 && record.Ordinal <= count) {
        progress = " (" + std::to_string(record.Ordinal) + " of " + std::to_string(count);
        const auto from = static_cast<size_t>(record.Ordinal - 1);
        const std::int64_t left = count - record.Ordinal + 1;
        if (from < unknownFrom_.size() && unknownFrom_[from] < left) {
            progress += ", about " + DurationText(secondsFrom_[from]) + " left";
            if (unknownFrom_[from] > 0) {
                progress += ", and " + std::to_string(unknownFrom_[from]) + " AVEs not timed before";
            }
        }
        progress += ")";
    }
    Log(PassName(record) + " starts: " + record.ArchivePath + (record.Attempt > 1 ? "" : progress));
    inner_.PassStarted(record);
}

std::wstring ReportingOperator::PicturesFolder() {
    return log_ == nullptr || log_->Path().empty() ? std::wstring() : log_->Path() + L".screens";
}

std::string ReportingOperator::PassName(const PassRecord& record) const {
    const std::string pass = "Pass AVE " + std::to_string(record.AveNumber);
    return record.Attempt <= 1 ? pass
                               : pass + " retry " + std::to_string(record.Attempt - 1) + " of " + std::to_string(retries_);
}

void ReportingOperator::PassEnded(const PassRecord& record) {
    const std::string pass = PassName(record);
    for (const std::string& window : record.Windows) {
        Log(pass + " was showing: " + window);
    }
    std::vector<std::string> pictures;
    std::copy_if(record.Pictures.begin(), record.Pictures.end(), std::back_inserter(pictures),
                 [](const std::string& picture) { return !picture.empty(); });
    if (!pictures.empty()) {
        Log(pass + " pictures: " + JoinedWith(pictures, ", "));
    }
    if (!record.LeftRunning.empty()) {
        Log(LeftRunningText(record));
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", record.Seconds);
    // An AVE's testcase is final with its last attempt: until then it stays in the file's tail.
    PassRecord last = record;
    const auto earlier = std::find_if(tail_.Pending.begin(), tail_.Pending.end(),
                                      [&](const PassRecord& pending) { return pending.AveNumber == record.AveNumber; });
    if (earlier != tail_.Pending.end()) {
        last.EarlierAttempts = std::move(earlier->EarlierAttempts);
        earlier->EarlierAttempts.clear();
        last.EarlierAttempts.push_back(std::move(*earlier));
        tail_.Pending.erase(earlier);
    }
    Log(pass + " ends: " + OutcomeText(record) + ", " + seconds +
        (last.Flaky() ? " (flaky: " + AttemptsText(last) + ")" : ""));
    if (record.Attempt == 1) {
        lastOrdinal_ = record.Ordinal;
        tail_.FirstNotRun = record.Ordinal;
    }
    if (TriesAgain(record, retries_)) {
        tail_.Pending.push_back(std::move(last));
        UpdateJUnit({});
    } else if (last.Flaky()) {
        // The suite's flaky count stands among its properties, which only a whole write changes.
        passes_.push_back(std::move(last));
        WriteJUnit(junitHeld_ ? 0 : kPassPatienceMs);
    } else {
        passes_.push_back(last);
        UpdateJUnit({last});
    }
    inner_.PassEnded(record);
}

bool ReportingOperator::WriteJUnit(unsigned long patienceMs) {
    if (!junit_) {
        return true;
    }
    const ULONGLONG started = GetTickCount64();
    try {
        junit_->WriteWhole(passes_, tail_, patienceMs);
        junitHeld_ = GetTickCount64() - started >= patienceMs && patienceMs != 0;
        return true;
    } catch (const AppError& error) {
        junitHeld_ = true;
        // Said once while the passes go on; the last write says it again in the summary.
        if (!junitFailed_) {
            junitFailed_ = true;
            Log("JUnit results cannot be written to " + WideToUtf8(junitPath_) + ": " + error.Description());
        }
        lastJUnitError_ = error.Description();
        return false;
    }
}

void ReportingOperator::UpdateJUnit(const std::vector<PassRecord>& newlySettled) {
    if (!junit_) {
        return;
    }
    try {
        junit_->Update(newlySettled, tail_);
    } catch (const AppError&) {
        // Not as this run left it, held by another program, or never written: written whole.
        WriteJUnit(junitHeld_ ? 0 : kPassPatienceMs);
    }
}

int ReportingOperator::FinishRun(const RunResult& result, int exitCode) {
    // Retries a stop cut short leave their AVEs as their last attempt ended.
    for (PassRecord& pending : tail_.Pending) {
        passes_.push_back(std::move(pending));
    }
    tail_.Pending.clear();
    tail_.Ended = true;
    if (exitCode == 2) {
        tail_.Failure = RunFailureReason(result);
        tail_.Message = result.Stopped ? "A stop was requested." : lastWord_;
    }
    // The AVEs after the last pass that ran were to run and did not; a run that ended before its
    // passes did not run any of those its choice made of its range.
    tail_.FirstNotRun = planned_ ? lastOrdinal_ : 0;
    // A stopped run may have only the few seconds a console close or a shutdown allows.
    const bool written = WriteJUnit(result.Stopped ? kStoppedPatienceMs : kFinalPatienceMs);
    const int finalCode = written ? exitCode : 2;
    const std::vector<const PassRecord*> last = LastAttempts(result.Passes);
    const auto flaky = std::count_if(passes_.begin(), passes_.end(), [](const PassRecord& pass) { return pass.Flaky(); });
    Log("Run ends: " + std::to_string(result.Passes.size()) + " passes, " +
        std::to_string(std::count_if(last.begin(), last.end(), [](const PassRecord* pass) { return !pass->Passed(); })) +
        " failed" + (retries_ > 0 ? ", " + std::to_string(flaky) + " flaky" : "") + (result.Stopped ? ", stopped" : "") +
        (tail_.Failure.empty() || tail_.Failure == "stopped" ? "" : ", " + tail_.Failure) +
        (written ? "" : ", JUnit results not written to " + WideToUtf8(junitPath_) + ": " + lastJUnitError_) +
        "; exit code " +
        std::to_string(finalCode));
    return finalCode;
}

std::string AvesText(const RunSettings& settings) {
    const NightlyOptions& nightly = settings.Nightly;
    return !nightly.AveList.empty()     ? nightly.AveList
           : !nightly.RerunFile.empty() ? "that failed or did not run in \"" + nightly.RerunFile + "\""
                                        : settings.StartIndex + " to " + settings.StopIndex;
}

std::string AnalysisTypesText(const RunSettings& settings) {
    std::string types;
    for (size_t k = 0; k < settings.AVEFilter.size(); ++k) {
        if (settings.AVEFilter[k]) {
            types += (types.empty() ? "" : ", ") + std::string(kAnalysisTypeCaptions[k]);
        }
    }
    return types.empty() ? "none" : types;
}

std::string RunFailureReason(const RunResult& result) {
    if (!result.ReachedPasses) {
        return "ended before its passes";
    }
    if (const PassRecord* stuck = PassNotEnded(result)) {
        return "pass AVE " + std::to_string(stuck->AveNumber) + " could not be ended";
    }
    if (result.Stopped) {
        return "stopped";
    }
    const auto failed = std::find_if(result.FailedLines.begin(), result.FailedLines.end(),
                                     [](int line) { return line != kLaunchLine; });
    if (failed != result.FailedLines.end()) {
        return "a step failed at line " + std::to_string(*failed);
    }
    if (NoPassStarted(result)) {
        return "no pass could start";
    }
    return {};
}

int ExitCodeOf(const RunResult& result) {
    const bool failedStep = std::any_of(result.FailedLines.begin(), result.FailedLines.end(),
                                        [](int line) { return line != kLaunchLine; });
    if (!result.ReachedPasses || result.Stopped || failedStep || NoPassStarted(result) || PassNotEnded(result)) {
        return 2;
    }
    const std::vector<const PassRecord*> last = LastAttempts(result.Passes);
    const bool failedAve = std::any_of(last.begin(), last.end(), [](const PassRecord* pass) { return !pass->Passed(); });
    return failedAve ? 1 : 0;
}

std::vector<const PassRecord*> LastAttempts(const std::vector<PassRecord>& passes) {
    std::vector<const PassRecord*> last;
    std::unordered_map<std::int32_t, std::size_t> place;  // AVE -> its place in `last`
    place.reserve(passes.size());
    for (const PassRecord& pass : passes) {
        const auto [at, first] = place.try_emplace(pass.AveNumber, last.size());
        if (first) {
            last.push_back(&pass);
        } else if (last[at->second]->Attempt <= pass.Attempt) {
            last[at->second] = &pass;
        }
    }
    return last;
}

}  // namespace orlenta
