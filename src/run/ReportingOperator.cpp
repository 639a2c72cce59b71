// An operator that keeps a record of the run and passes everything on to the operator it wraps.
#include "run/ReportingOperator.h"

#include <algorithm>
#include <cstdio>

#include "run/JUnitReport.h"
#include "util/AppError.h"

namespace orlenta {

namespace {

constexpr int kLaunchLine = 580;  // a script that cannot start counts against its pass, not the run

std::string Aves(const NightlyOptions& nightly, const std::string& start, const std::string& stop) {
    const std::string aves = !nightly.AveList.empty()   ? nightly.AveList
                             : !nightly.RerunFile.empty() ? "that failed in \"" + nightly.RerunFile + "\""
                                                          : start + " to " + stop;
    return nightly.Shard.empty() ? aves : aves + " (shard " + nightly.Shard + ")";
}

std::string Settings(const RunSettings& settings) {
    std::string types;
    for (size_t k = 0; k < settings.AVEFilter.size(); ++k) {
        if (settings.AVEFilter[k]) {
            types += (types.empty() ? "" : ", ") + std::string(kAnalysisTypeCaptions[k]);
        }
    }
    const std::string& limit = settings.Nightly.PassTimeLimit;
    return "Run starts: AVE folder \"" + settings.AVEFolder + "\", installation folder \"" +
           settings.InstallationFolder + "\", testing folder \"" + settings.TestingFolder + "\", AVE numbers " +
           Aves(settings.Nightly, settings.StartIndex, settings.StopIndex) + ", types " + (types.empty() ? "none" : types) +
           ", time limit " + (limit.empty() ? "none" : limit + " minutes");
}

}  // namespace

ReportingOperator::ReportingOperator(RunOperator& inner, RunLog* log, std::string junitPath)
    : inner_(inner), log_(log), junitPath_(std::move(junitPath)) {}

void ReportingOperator::Log(const std::string& text) const {
    if (log_ != nullptr) {
        log_->Line(text);
    }
}

void ReportingOperator::ShowMessage(const std::string& text) {
    Log("Message: " + text);
    inner_.ShowMessage(text);
}

std::string ReportingOperator::InputBox(const std::string& prompt, const std::string& caption,
                                        const std::string& defaultAnswer) {
    const std::string answer = inner_.InputBox(prompt, caption, defaultAnswer);
    Log("Prompt: " + prompt + " Answer: " + (answer.empty() ? "(none)" : "\"" + answer + "\""));
    return answer;
}

void ReportingOperator::OpenDocument(const std::string& strOperation, const std::string& strFile,
                                     const std::string& strParameters, const std::string& strDirectory,
                                     long lShowCmd) {
    Log("Results page: " + strFile);
    inner_.OpenDocument(strOperation, strFile, strParameters, strDirectory, lShowCmd);
}

void ReportingOperator::RunStarted(const RunSettings& settings) {
    settings_ = settings;
    GetLocalTime(&started_);
    passes_.clear();
    Log(Settings(settings));
    // A run that dies before its first pass still leaves a valid file.
    WriteJUnit();
    inner_.RunStarted(settings);
}

void ReportingOperator::PassStarted(const PassRecord& record) {
    Log("Pass AVE " + std::to_string(record.AveNumber) + " starts: " + record.ArchivePath);
    inner_.PassStarted(record);
}

void ReportingOperator::PassEnded(const PassRecord& record) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", record.Seconds);
    Log("Pass AVE " + std::to_string(record.AveNumber) + " ends: " + OutcomeText(record) + ", " + seconds);
    passes_.push_back(record);
    AppendJUnit(record);
    inner_.PassEnded(record);
}

void ReportingOperator::WriteJUnit() {
    if (junitPath_.empty() || !settings_) {
        return;
    }
    appender_.reset();
    try {
        WriteJUnitReport(junitPath_, *settings_, started_, passes_);
        // Later passes only add to it; a file that cannot be added to is written whole each time.
        try {
            appender_.emplace(junitPath_, passes_);
        } catch (const AppError&) {
        }
    } catch (const AppError& error) {
        // Said once; the run is not stopped for its report.
        if (!junitFailed_) {
            junitFailed_ = true;
            Log("JUnit results cannot be written to " + junitPath_ + ": " + error.Description());
        }
    }
}

void ReportingOperator::AppendJUnit(const PassRecord& record) {
    if (appender_) {
        try {
            appender_->Append(record);
            return;
        } catch (const AppError&) {
            // Written whole instead, as a run without the held file is.
        }
    }
    WriteJUnit();
}

int ExitCodeOf(const RunResult& result) {
    const bool failedStep = std::any_of(result.FailedLines.begin(), result.FailedLines.end(),
                                        [](int line) { return line != kLaunchLine; });
    if (!result.ReachedPasses || result.Stopped || failedStep) {
        return 2;
    }
    const bool failedPass =
        std::any_of(result.Passes.begin(), result.Passes.end(), [](const PassRecord& pass) { return !pass.Passed(); });
    return failedPass ? 1 : 0;
}

}  // namespace orlenta
