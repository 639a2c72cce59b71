// An operator that keeps a record of the run (the run log, the JUnit results) and passes everything
// on to the operator it wraps: the window, or nobody at all.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "run/AveChoice.h"
#include "run/JUnitReport.h"
#include "run/RunLog.h"
#include "run/ForwardingOperator.h"

namespace orlenta {

class ReportingOperator final : public ForwardingOperator {
public:
    // `log` may be null (no log); an empty `junitPath` writes no JUnit results. `choice` is the run's
    // choice of AVEs, so that a run that ends before its passes names the ones it was to take.
    ReportingOperator(RunOperator& inner, RunLog* log, std::wstring junitPath, AveChoice choice = {});

    void ShowMessage(const std::string& text) override;
    std::string InputBox(const std::string& prompt, const std::string& caption,
                         const std::string& defaultAnswer) override;
    void OpenDocument(const std::string& strOperation, const std::string& strFile, const std::string& strParameters,
                      const std::string& strDirectory, long lShowCmd) override;
    void RunStarted(const RunSettings& settings) override;
    void PassesPlanned(const AveSelection& selection) override;
    void PassStarted(const PassRecord& record) override;
    void PassEnded(const PassRecord& record) override;
    // Beside the log: "<log name>.screens"; none without a log.
    std::wstring PicturesFolder() override;

    // The run's last record: the JUnit file with the run's own testcase when `exitCode` is 2 (gone
    // when the run went through) and the AVEs not run as skipped, and the log's summary line. Returns the exit code the run ends with:
    // 2 when the JUnit file could not be made tonight's (the summary says so), else `exitCode`.
    int FinishRun(const RunResult& result, int exitCode);

private:
    void Log(const std::string& text) const;
    // "Pass AVE 7", or "Pass AVE 7 retry 1 of 2".
    std::string PassName(const PassRecord& record) const;
    // The JUnit file written whole: the passes so far and the tail as it stands.
    bool WriteJUnit(unsigned long patienceMs);
    // The passes newly final and the tail written in place of the old tail, or the file written
    // whole when that cannot be.
    void UpdateJUnit(const std::vector<PassRecord>& newlySettled);

    RunLog* log_;
    std::wstring junitPath_;
    std::vector<PassRecord> passes_;
    std::optional<JUnitReport> junit_;
    // What the JUnit file says beyond the passes: from the start, that the run did not finish and
    // that every AVE it is to take has not run.
    JUnitTail tail_;
    AveChoice choice_;
    bool planned_ = false;  // the passes were planned: tail_.Planned is the run's own selection
    std::int64_t retries_ = 0;      // "-RETRY=": how many more times a failed pass runs
    std::int64_t lastOrdinal_ = 0;  // the planned place of the last AVE that had its first pass
    // From each planned AVE on, the usual seconds of the AVEs still to run and how many of them no
    // record knows: the time left at each pass's start.
    std::vector<double> secondsFrom_;
    std::vector<std::int64_t> unknownFrom_;
    bool junitFailed_ = false;
    bool junitHeld_ = false;   // the last write had to wait for a holder: later passes do not wait again
    std::string lastJUnitError_;
    std::string lastWord_;     // the last message or unanswered prompt: what ended a run that ended early
};

// The AVEs the settings ask for, as the log and the history name them: "1 to 213", the list as given,
// or "that failed or did not run in "D:\Nightly.xml"" (a shard is said apart).
std::string AvesText(const RunSettings& settings);
// The analysis types checked, "Linear, Thermal", or "none".
std::string AnalysisTypesText(const RunSettings& settings);

// The run's exit code for whoever started it: 0 every AVE's last attempt ran and returned 0 (an AVE
// that passed on a retry is flaky, and passed); 1 the run went through but some AVE's last attempt
// returned non-zero, timed out or could not start; 2 the run reported a failed step, was stopped,
// ended before its passes, no pass could start at all, or a pass could not be ended.
int ExitCodeOf(const RunResult& result);

// Each AVE's last attempt, in the order the AVEs first ran.
std::vector<const PassRecord*> LastAttempts(const std::vector<PassRecord>& passes);

// Why a run ends with exit code 2 ("stopped", "ended before its passes", ...); empty otherwise.
std::string RunFailureReason(const RunResult& result);

}  // namespace orlenta
