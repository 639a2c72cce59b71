// An operator that records the run in its history and writes the morning report at its end, and
// passes everything on to the operator it wraps.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "history/HistoryRows.h"
#include "history/RunHistory.h"
#include "run/RunLog.h"
#include "run/ForwardingOperator.h"
#include "run/RunOutputs.h"

namespace orlenta {

class HistoryOperator final : public ForwardingOperator {
public:
    // Empty paths keep no history or write no report. A history that cannot be opened or written
    // is said once in `log` (or, with no log, to the operator) and the run goes on without it.
    HistoryOperator(RunOperator& inner, RunLog* log, std::wstring historyPath, std::wstring reportPath);

    void RunStarted(const RunSettings& settings) override;
    void PassesPlanned(const AveSelection& selection) override;
    void PassEnded(const PassRecord& record) override;
    std::optional<double> UsualSeconds(std::int32_t aveNumber) override;

    // The run's end in the history, with the exit code it ends with; then the report.
    void FinishRun(int exitCode);

private:
    void Say(const std::string& text);
    // Brings the history up to date with what the run has done: its row, then every pass not yet in it.
    void Write();
    void WriteReport();

    RunLog* log_;
    std::wstring historyPath_;
    std::wstring reportPath_;
    std::optional<RunHistory> history_;
    HistoryRun night_;
    unsigned long long startTick_ = 0;
    std::vector<HistoryPass> tonight_;
    std::vector<std::vector<std::string>> pictures_;  // each pass's PNG paths, as the platform spells them
    std::deque<HistoryPass> unwritten_;
    bool complained_ = false;
};

// Where an unattended run keeps its history without "-HISTORY=": Orlenta-history.db beside its log.
std::wstring DefaultHistoryPath(const std::wstring& logPath);

// The history and the report as outputs that may be written only where nothing else would be lost.
std::vector<RunOutputFile> HistoryOutputFiles(const std::wstring& historyPath, const std::wstring& reportPath);

}  // namespace orlenta
