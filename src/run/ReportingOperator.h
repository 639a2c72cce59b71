// An operator that keeps a record of the run (the run log, the JUnit results) and passes everything
// on to the operator it wraps: the window, or nobody at all.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "run/RunLog.h"
#include "run/RunOperator.h"

namespace orlenta {

class ReportingOperator final : public RunOperator {
public:
    // `log` may be null (no log); an empty `junitPath` writes no JUnit results.
    ReportingOperator(RunOperator& inner, RunLog* log, std::string junitPath);

    void ShowMessage(const std::string& text) override;
    std::string InputBox(const std::string& prompt, const std::string& caption,
                         const std::string& defaultAnswer) override;
    void SetStatusText(const std::string& text) override { inner_.SetStatusText(text); }
    void RefreshStatus() override { inner_.RefreshStatus(); }
    void SetProgressMinimum(long value) override { inner_.SetProgressMinimum(value); }
    void SetProgressMaximum(long value) override { inner_.SetProgressMaximum(value); }
    void SetProgressValue(long value) override { inner_.SetProgressValue(value); }
    void EnableControls(bool bEnabled) override { inner_.EnableControls(bEnabled); }
    void OpenDocument(const std::string& strOperation, const std::string& strFile, const std::string& strParameters,
                      const std::string& strDirectory, long lShowCmd) override;
    void RunStarted(const RunSettings& settings) override;
    void PassesPlanned(const AveSelection& selection) override { inner_.PassesPlanned(selection); }
    void PassStarted(const PassRecord& record) override;
    void PassEnded(const PassRecord& record) override;
    bool StopRequested() override { return inner_.StopRequested(); }

private:
    void Log(const std::string& text) const;
    void WriteJUnit();

    RunOperator& inner_;
    RunLog* log_;
    std::string junitPath_;
    std::optional<RunSettings> settings_;
    SYSTEMTIME started_{};
    std::vector<PassRecord> passes_;
    bool junitFailed_ = false;
};

// The run's exit code for whoever started it: 0 every pass ran and returned 0; 1 the run went
// through but a pass returned non-zero, timed out or could not start; 2 the run reported a failed
// step, was stopped, or ended before its passes.
int ExitCodeOf(const RunResult& result);

}  // namespace orlenta
