// The history's cost per pass: RunHistory::AddPass (one transaction a pass, as a run writes them)
// into a history that already holds a year of nights, against one plain INSERT of the same row in a
// transaction of its own, the least a durable row costs. Five runs each, the two sides alternating.
// Also prints what a run's start and end cost against that history. Usage: bench_history SCRATCH_FOLDER
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "BenchSupport.h"
#include "history/MorningReport.h"
#include "history/RunHistory.h"
#include "util/Text.h"

namespace {

using orlenta::bench::NowMs;

constexpr int kRuns = 5;
constexpr int kPasses = 200;
constexpr int kAves = 213;
constexpr int kNights = 365;

orlenta::HistoryPass PassOf(std::int64_t run, int ordinal) {
    orlenta::HistoryPass pass;
    pass.RunId = run;
    pass.Ordinal = ordinal;
    pass.Ave = ordinal;
    pass.Archive = "D:\\AVES\\Ave" + std::to_string(ordinal) + "\\Ave" + std::to_string(ordinal) + ".ach";
    pass.Started = "2026-12-08T21:04:05";
    pass.Seconds = 42.5;
    pass.Outcome = orlenta::PassOutcome::Exited;
    pass.ExitCode = 0;
    return pass;
}

std::int64_t NewRun(orlenta::RunHistory& history) {
    orlenta::HistoryRun run;
    run.Started = "2026-12-08T21:04:05";
    run.Aves = "1 to 213";
    return history.AddRun(run);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_history SCRATCH_FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string path = folder + "\\history.db";
    DeleteFileA(path.c_str());
    orlenta::RunHistory history(orlenta::AnsiToWide(path));
    // A year of nights first, written in bulk: the cost that matters is that of a full history.
    {
        orlenta::SqliteDatabase db;
        sqlite3_open_v2(path.c_str(), db.put(), SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(db.get(), "BEGIN", nullptr, nullptr, nullptr);
        for (int night = 0; night < kNights; ++night) {
            // Each run a night of its own, as a run on one machine writes it.
            const std::string id = std::to_string(night + 1);
            const std::string run = "INSERT INTO nights (id, formed, formed_by) VALUES (" + id +
                                    ", '2026-01-01T21:00:00', 'run'); INSERT INTO runs (started, machine, user, "
                                    "ave_folder, installation_folder, testing_folder, analysis_types, aves, night_id, "
                                    "uid) VALUES ('2026-01-01T21:00:00', 'M', 'U', 'A', 'I', 'T', 'Linear', '1 to 213', " +
                                    id + ", 'bench-" + id + "')";
            sqlite3_exec(db.get(), run.c_str(), nullptr, nullptr, nullptr);
            for (int ave = 1; ave <= kAves; ++ave) {
                const std::string pass = "INSERT INTO passes (run_id, ordinal, ave, archive, started, seconds, outcome, "
                                         "exit_code) VALUES (" + std::to_string(night + 1) +
                                         ", " + std::to_string(ave) + ", " + std::to_string(ave) +
                                         ", 'a', '2026-01-01T21:00:00', 40, 'exited', 0)";
                sqlite3_exec(db.get(), pass.c_str(), nullptr, nullptr, nullptr);
            }
        }
        sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr);
    }
    orlenta::SqliteDatabase plain;
    sqlite3_open_v2(path.c_str(), plain.put(), SQLITE_OPEN_READWRITE, nullptr);
    orlenta::SqliteStatement insert;
    sqlite3_prepare_v2(plain.get(),
                       "INSERT INTO passes (run_id, ordinal, ave, archive, started, seconds, outcome, exit_code) "
                       "VALUES (?, ?, ?, ?, ?, ?, 'exited', 0)",
                       -1, insert.put(), nullptr);
    std::vector<double> ours;
    std::vector<double> reference;
    for (int run = 0; run < kRuns; ++run) {
        const std::int64_t id = NewRun(history);
        double start = NowMs();
        for (int n = 1; n <= kPasses; ++n) {
            history.AddPass(PassOf(id, n));
        }
        ours.push_back((NowMs() - start) / kPasses);
        start = NowMs();
        for (int n = 1; n <= kPasses; ++n) {
            const orlenta::HistoryPass pass = PassOf(id, n);
            sqlite3_exec(plain.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            sqlite3_reset(insert.get());
            sqlite3_bind_int64(insert.get(), 1, id);
            sqlite3_bind_int64(insert.get(), 2, n);
            sqlite3_bind_int64(insert.get(), 3, n);
            sqlite3_bind_text(insert.get(), 4, pass.Archive.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert.get(), 5, pass.Started.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(insert.get(), 6, pass.Seconds);
            sqlite3_step(insert.get());
            sqlite3_exec(plain.get(), "COMMIT", nullptr, nullptr, nullptr);
        }
        reference.push_back((NowMs() - start) / kPasses);
    }
    const std::string size = std::to_string(kNights) + " nights of " + std::to_string(kAves) + " AVEs held";
    orlenta::bench::PrintRow("History write per pass", size, "ms/pass", orlenta::bench::Summarise(ours),
                             orlenta::bench::Summarise(reference), "<= 1.2");
    // What a run's start asks of a full history: each AVE's median, one look-up an AVE.
    std::vector<double> lookups;
    for (int run = 0; run < kRuns; ++run) {
        const double start = NowMs();
        for (int ave = 1; ave <= kAves; ++ave) {
            history.RecentPasses(ave, 10);
        }
        lookups.push_back(NowMs() - start);
    }
    std::printf("Medians of %d AVEs at a run's start: %.1f ms (median of %d runs)\n", kAves,
                orlenta::bench::Summarise(lookups).median, kRuns);
    // The run's end: the earlier rows of tonight's AVEs read back, and the report made of them.
    orlenta::NightRows rows;
    rows.Runs.emplace_back().Id = NewRun(history);
    for (int ave = 1; ave <= kAves; ++ave) {
        rows.Tonight.push_back(PassOf(rows.Runs.front().Id, ave));
    }
    const double start = NowMs();
    history.ReadEarlier(rows);
    const std::string html = orlenta::MorningReportHtml(rows);
    std::printf("Report of %d AVEs against that history: %.0f ms to read and write, %zu bytes\n", kAves,
                NowMs() - start, html.size());
    return 0;
}
