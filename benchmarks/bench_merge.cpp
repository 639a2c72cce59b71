// The night's merge on the CI server's agent: 4 shard histories of 213 AVEs (one run each, the AVEs
// dealt like cards) added to a site history that holds 365 nights of 4 shards, and the report of
// that night read back and written. Each is timed against the goal of 2 s, five runs, each on a
// fresh copy of the site history. Usage: bench_merge SCRATCH_FOLDER
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "BenchSupport.h"
#include "history/MorningReport.h"
#include "history/RunHistory.h"
#include "util/Text.h"
#include "util/WholeFile.h"

namespace {

using orlenta::bench::NowMs;

constexpr int kRuns = 5;
constexpr int kAves = 213;
constexpr int kShards = 4;
constexpr int kNights = 365;
constexpr double kGoalMs = 2000;

// A pass as a run writes it: AVE 17 fails now and then, the others pass.
orlenta::HistoryPass PassOf(int ordinal, int ave, int night) {
    orlenta::HistoryPass pass;
    pass.Ordinal = ordinal;
    pass.Ave = ave;
    pass.Archive = "D:\\AVES\\Ave" + std::to_string(ave) + "\\Ave" + std::to_string(ave) + ".ach";
    pass.Started = "2026-12-08T21:04:05";
    pass.Seconds = 40 + ave % 7 + night % 3;
    pass.Outcome = orlenta::PassOutcome::Exited;
    pass.ExitCode = ave == 17 && night % 5 == 0 ? 1 : 0;
    return pass;
}

void Check(int rc, sqlite3* db) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "SQLite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

// A year of merged nights, written in bulk: four runs a night, each its shard of the AVEs.
void FillYear(const std::wstring& path) {
    orlenta::RunHistory{path};  // the schema
    orlenta::SqliteDatabase db;
    Check(sqlite3_open_v2(orlenta::WideToUtf8(path).c_str(), db.put(), SQLITE_OPEN_READWRITE, nullptr), db.get());
    orlenta::SqliteStatement night = orlenta::Prepare(db.get(), "INSERT INTO nights (id, formed, formed_by) VALUES (?, '2026-01-01T06:00:00', 'merge')");
    orlenta::SqliteStatement run = orlenta::Prepare(
        db.get(), "INSERT INTO runs (id, night_id, uid, started, ended, seconds, machine, user, ave_folder, "
                  "installation_folder, testing_folder, analysis_types, aves, shard, planned, exit_code) VALUES (?, ?, "
                  "?, '2026-01-01T21:00:00', '2026-01-02T01:00:00', 14400, ?, 'qa', 'D:\\AVES', 'C:\\Kavro', "
                  "'D:\\Nightly', 'Linear', '1 to 213', ?, 54, 0)");
    orlenta::SqliteStatement pass = orlenta::Prepare(
        db.get(), "INSERT INTO passes (run_id, ordinal, ave, archive, started, seconds, outcome, exit_code, attempt) "
                  "VALUES (?, ?, ?, 'a', '2026-01-01T21:00:00', ?, 'exited', ?, 1)");
    Check(sqlite3_exec(db.get(), "BEGIN", nullptr, nullptr, nullptr), db.get());
    std::int64_t runId = 0;
    for (int n = 1; n <= kNights; ++n) {
        sqlite3_reset(night.get());
        sqlite3_bind_int64(night.get(), 1, n);
        Check(sqlite3_step(night.get()), db.get());
        for (int k = 1; k <= kShards; ++k) {
            const std::string uid = "bench-" + std::to_string(n) + "-" + std::to_string(k);
            const std::string machine = "KAVRO-WS0" + std::to_string(k);
            const std::string shard = std::to_string(k) + "/4";
            sqlite3_reset(run.get());
            sqlite3_bind_int64(run.get(), 1, ++runId);
            sqlite3_bind_int64(run.get(), 2, n);
            sqlite3_bind_text(run.get(), 3, uid.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(run.get(), 4, machine.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(run.get(), 5, shard.c_str(), -1, SQLITE_TRANSIENT);
            Check(sqlite3_step(run.get()), db.get());
            int ordinal = 0;
            for (int ave = k; ave <= kAves; ave += kShards) {
                const orlenta::HistoryPass row = PassOf(++ordinal, ave, n);
                sqlite3_reset(pass.get());
                sqlite3_bind_int64(pass.get(), 1, runId);
                sqlite3_bind_int64(pass.get(), 2, ordinal);
                sqlite3_bind_int64(pass.get(), 3, ave);
                sqlite3_bind_double(pass.get(), 4, row.Seconds);
                sqlite3_bind_int64(pass.get(), 5, *row.ExitCode);
                Check(sqlite3_step(pass.get()), db.get());
            }
        }
    }
    Check(sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr), db.get());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_merge SCRATCH_FOLDER\n");
        return 2;
    }
    const std::wstring folder = orlenta::AnsiToWide(argv[1]);
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring base = folder + L"\\site-base.db";
    const std::wstring site = folder + L"\\site.db";
    DeleteFileW(base.c_str());
    FillYear(base);
    // Tonight's shards, each a fresh history of one run, as the CI agents hand them over.
    std::vector<std::wstring> shards;
    for (int k = 1; k <= kShards; ++k) {
        shards.push_back(folder + L"\\shard" + std::to_wstring(k) + L".db");
        DeleteFileW(shards.back().c_str());
        orlenta::HistoryRun run;
        run.Started = "2026-12-08T21:00:00";
        run.Ended = "2026-12-09T01:00:00";
        run.Seconds = 14400;
        run.Machine = "KAVRO-WS0" + std::to_string(k);
        run.Aves = "1 to 213";
        run.Shard = std::to_string(k) + "/4";
        run.ExitCode = 0;
        std::vector<orlenta::HistoryPass> passes;
        for (int ave = k; ave <= kAves; ave += kShards) {
            passes.push_back(PassOf(static_cast<int>(passes.size()) + 1, ave, kNights + 1));
        }
        orlenta::RunHistory(shards.back()).AddWholeRun(run, passes);
    }
    std::vector<double> merges;
    std::vector<double> reports;
    size_t bytes = 0;
    for (int i = 0; i < kRuns; ++i) {
        if (!CopyFileW(base.c_str(), site.c_str(), FALSE)) {
            std::fprintf(stderr, "cannot copy the site history\n");
            return 1;
        }
        // As the unattended merge does it: each shard judged, the history opened, the night added.
        double start = NowMs();
        for (const std::wstring& shard : shards) {
            orlenta::CheckHistoryToRead(shard);
        }
        orlenta::RunHistory history(site);
        const orlenta::MergedNight merged = history.MergeShards(shards, "2026-12-09T06:00:00");
        merges.push_back(NowMs() - start);
        start = NowMs();
        const std::string html = orlenta::MorningReportHtml(history.ReadNight(merged.NightId));
        orlenta::ReplaceWholeFile(folder + L"\\night.html", html, 0);
        reports.push_back(NowMs() - start);
        bytes = html.size();
    }
    const orlenta::bench::Stats goal{kGoalMs, kGoalMs, kGoalMs};
    const std::string size = "4 x 213 AVEs into 365 nights";
    orlenta::bench::PrintRow("Merge of a night's 4 shard histories vs the 2 s goal", size, "ms",
                             orlenta::bench::Summarise(merges), goal, "<= 1");
    orlenta::bench::PrintRow("Report of the merged night vs the 2 s goal", size, "ms", orlenta::bench::Summarise(reports),
                             goal, "<= 1");
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(site.c_str(), GetFileExInfoStandard, &data);
    std::printf("Site history of %d nights: %.1f MB; the night's report: %zu bytes\n", kNights + 1,
                static_cast<double>(data.nFileSizeLow + (static_cast<unsigned long long>(data.nFileSizeHigh) << 32)) /
                    (1 << 20),
                bytes);
    return 0;
}
