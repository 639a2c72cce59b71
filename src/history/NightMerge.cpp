// The merge of a night's shard histories into the site's history, for an unattended command line.
#include "history/NightMerge.h"

#include <optional>

#include <windows.h>

#include "history/MorningReport.h"
#include "history/NightFindings.h"
#include "history/RunHistory.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Text.h"
#include "util/WholeFile.h"

namespace orlenta {

namespace {

constexpr int kNotMade = 2;
constexpr unsigned long kReportPatienceMs = 2000;

std::string Counted(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "Night 12: 4 runs on 4 machines, 213 AVEs: 210 passed, 2 failed, 1 erred, 0 skipped, 3 flaky; shard 3/4 did not report"
std::string NightLine(std::int64_t nightId, const NightRows& rows, const NightFindings& findings) {
    std::string line = "Night " + std::to_string(nightId) + ": " + Counted(rows.Runs.size(), "run", "runs") + " on " +
                       Counted(findings.Machines, "machine", "machines") + ", " +
                       Counted(findings.Aves.size(), "AVE", "AVEs") + ": " + std::to_string(findings.Passed) +
                       " passed, " + std::to_string(findings.Failed) + " failed, " + std::to_string(findings.Errors) +
                       " erred, " + std::to_string(findings.Skipped) + " skipped, " +
                       std::to_string(findings.Flaky.size()) + " flaky";
    for (const std::string& shard : findings.MissingShards) {
        line += "; shard " + shard + " did not report";
    }
    if (findings.MoreMissingShards > 0) {
        line += "; " + Counted(static_cast<std::size_t>(findings.MoreMissingShards), "more shard", "more shards") +
                " did not report";
    }
    for (const HistoryRun& run : rows.Runs) {
        if (!run.ExitCode) {
            line += "; the run of " + (run.Shard.empty() ? std::string() : "shard " + run.Shard + " on ") +
                    run.Machine + " never ended";
        }
    }
    return line;
}

std::string NowText() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return IsoLocalTime(now);
}

}  // namespace

int MergeShardNight(const std::vector<std::wstring>& shardFiles, const std::wstring& historyPath,
                    const std::wstring& reportPath, RunLog& log) {
    const std::string history = WideToUtf8(historyPath);
    log.Line("Merge starts: " + Counted(shardFiles.size(), "shard history", "shard histories") + " into the history " +
             history);
    MergedNight merged;
    std::optional<RunHistory> site;
    try {
        // Every shard is judged before the history is opened, which may bring it up to this version.
        for (const std::wstring& file : shardFiles) {
            const std::int64_t version = CheckHistoryToRead(file);
            log.Line("Shard history " + WideToUtf8(file) + ": an Orlenta history of version " + std::to_string(version));
        }
        std::string reason;
        switch (JudgeHistoryFile(historyPath, reason)) {
        case HistoryFile::Foreign:
        case HistoryFile::Unreadable:
            throw AppError(error_number::kInvalidArgument, ProgramName(), "the history " + history + " cannot be used: " + reason);
        case HistoryFile::New:
        case HistoryFile::Ours:
            break;
        }
        site.emplace(historyPath);
        merged = site->MergeShards(shardFiles, NowText());
    } catch (const AppError& error) {
        log.Line("The merge cannot be made: " + error.Description() + " The history " + history +
                 " is as it was; exit code 2");
        return kNotMade;
    }
    log.Line(merged.RunsAdded > 0 ? "Added " + Counted(static_cast<std::size_t>(merged.RunsAdded), "run", "runs") +
                                        " as night " + std::to_string(merged.NightId) +
                                        (merged.RunsHeld > 0 ? "; " + std::to_string(merged.RunsHeld) +
                                                                   " the history held already"
                                                             : std::string())
                                  : "Nothing to add: the history holds every run of these shard histories already, "
                                    "in night " + std::to_string(merged.NightId));
    NightRows rows;
    try {
        rows = site->ReadNight(merged.NightId);
    } catch (const AppError& error) {
        // The night is in the history; only its reading failed, so the stage may simply run again.
        log.Line("The night " + std::to_string(merged.NightId) + " cannot be read back from the history " + history +
                 ": " + error.Description() + " Exit code 2");
        return kNotMade;
    }
    const NightFindings findings = FindingsOf(rows);
    log.Line(NightLine(merged.NightId, rows, findings));
    if (!reportPath.empty()) {
        try {
            ReplaceWholeFile(reportPath, MorningReportHtml(rows), kReportPatienceMs);
            log.Line("Morning report: " + WideToUtf8(reportPath));
        } catch (const AppError& error) {
            log.Line("The morning report " + WideToUtf8(reportPath) + " cannot be written: " + error.Description());
        }
    }
    const int exitCode = NightExitCode(rows, findings);
    log.Line("Merge ends: exit code " + std::to_string(exitCode));
    return exitCode;
}

}  // namespace orlenta
