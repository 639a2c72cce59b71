// An operator that records the run in its history and writes the morning report at its end, and
// passes everything on to the operator it wraps.
#pragma once

#include <cstdint>
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
    // is said once in `log` (or, with no log, to the operator); the run goes on, keeps its rows and
    // tries again at each pass and at its end. A run the history does not hold whole by then is
    // written to FallbackHistoryPath, and the log says so.
    HistoryOperator(RunOperator& inner, RunLog* log, std::wstring historyPath, std::wstring reportPath);

    void RunStarted(const RunSettings& settings) override;
    void PassesPlanned(const AveSelection& selection) override;
    void PassEnded(const PassRecord& record) override;
    std::optional<double> UsualSeconds(std::int32_t aveNumber) override;

    // The run's end in the history, with the exit code it ends with; then the report.
    void FinishRun(int exitCode);

private:
    void Say(const std::string& text);
    // Opens the history when it is not open, judging first what lies at its path; false when it
    // cannot be used now, or no more (another program's file, or not the file this run wrote to).
    bool Reach();
    // Brings the history up to date with what the run has done: its row, then every pass not yet in it.
    void Write();
    // Whether the file at the history's path is still the one this run's rows went to.
    bool StillTheFileWrittenTo();
    void WriteFallback();
    void WriteReport();

    RunLog* log_;
    std::wstring historyPath_;
    std::wstring reportPath_;
    std::optional<RunHistory> history_;
    bool stale_ = false;                     // a write failed: opened afresh before the next
    std::optional<FileIdentity> writtenTo_;  // the file that holds this run's row, once it does
    bool givenUp_ = false;                   // left alone (not ours) or lost (deleted, replaced)
    bool readable_ = true;                   // a read failed while planning: no more estimates
    bool sayOpened_ = false;                 // an open failed: say when it succeeds
    bool complainedOpen_ = false;
    bool complainedWrite_ = false;
    HistoryRun night_;
    bool plannedWritten_ = false;
    bool endWritten_ = false;
    unsigned long long startTick_ = 0;
    std::vector<HistoryPass> tonight_;
    std::size_t written_ = 0;                          // tonight_'s passes in the history
    std::vector<std::vector<std::string>> pictures_;  // each pass's PNG paths, as the platform spells them
};

// Where an unattended run keeps its history without "-HISTORY=": Orlenta-history.db beside its log.
std::wstring DefaultHistoryPath(const std::wstring& logPath);

// Where a run that its history cannot hold whole keeps its rows: an Orlenta history of its own
// beside the log, "<log>.history.db" (without a log, beside the history), which may hold several runs.
std::wstring FallbackHistoryPath(const std::wstring& logPath, const std::wstring& historyPath);

// The history and the report as outputs that may be written only where nothing else would be lost.
std::vector<RunOutputFile> HistoryOutputFiles(const std::wstring& historyPath, const std::wstring& reportPath);

}  // namespace orlenta
