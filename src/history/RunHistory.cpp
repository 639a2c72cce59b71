// The run history in SQLite: its schema, the rows a run adds, the rows its report reads.
#include "history/RunHistory.h"

#include <algorithm>
#include <iterator>
#include <set>

#include <sqlite3.h>

#include <windows.h>

#include "history/NightFindings.h"
#include "util/AppPaths.h"
#include "util/Handles.h"
#include "util/LongPath.h"
#include "util/Text.h"

namespace orlenta {

namespace {

// The steps from each version to the next: kSteps[v] makes version v + 1 of version v (0: no
// history yet); a new version adds its step here, and every history opened is brought up to it.
// Version 1: times are local, ISO 8601 to the second; texts UTF-8; an AVE is its number (Ave007 is 7).
constexpr const char* kSteps[] = {R"(
CREATE TABLE runs (
  id INTEGER PRIMARY KEY,
  started TEXT NOT NULL,
  ended TEXT,
  seconds REAL,
  machine TEXT NOT NULL,
  user TEXT NOT NULL,
  ave_folder TEXT NOT NULL,
  installation_folder TEXT NOT NULL,
  testing_folder TEXT NOT NULL,
  analysis_types TEXT NOT NULL,
  aves TEXT NOT NULL,
  shard TEXT,
  time_limit_minutes INTEGER,
  planned INTEGER,
  exit_code INTEGER
);
CREATE TABLE passes (
  id INTEGER PRIMARY KEY,
  run_id INTEGER NOT NULL REFERENCES runs(id),
  ordinal INTEGER NOT NULL,
  ave INTEGER NOT NULL,
  archive TEXT NOT NULL,
  started TEXT NOT NULL,
  seconds REAL NOT NULL,
  outcome TEXT NOT NULL CHECK (outcome IN ('exited', 'timed out', 'stopped', 'could not start')),
  exit_code INTEGER,
  reason TEXT
);
CREATE INDEX passes_by_ave ON passes(ave, id);
CREATE TABLE pass_windows (
  pass_id INTEGER NOT NULL REFERENCES passes(id),
  position INTEGER NOT NULL,
  window TEXT NOT NULL,
  picture TEXT,
  PRIMARY KEY (pass_id, position)
);
CREATE TABLE pass_left_running (
  pass_id INTEGER NOT NULL REFERENCES passes(id),
  position INTEGER NOT NULL,
  process TEXT NOT NULL,
  PRIMARY KEY (pass_id, position)
);
)"};
static_assert(static_cast<std::int64_t>(std::size(kSteps)) == kHistorySchemaVersion);

constexpr const char* kPassColumns =
    "id, run_id, ordinal, ave, archive, started, seconds, outcome, exit_code, reason";

AppError HistoryError(const std::string& text) { return AppError(SQLITE_NOTADB, ProgramName(), text); }

std::int64_t PragmaNumber(sqlite3* db, const char* sql) {
    const SqliteStatement statement = Prepare(db, sql);
    return StepRow(statement.get()) ? ColumnInteger(statement.get(), 0).value_or(0) : 0;
}

// One transaction: all of `write` or nothing.
template <typename Write>
auto Transaction(sqlite3* db, Write write, const char* begin = "BEGIN IMMEDIATE") {
    Execute(db, begin);
    try {
        auto result = write();
        Execute(db, "COMMIT");
        return result;
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

// Ready for another use: its last values unbound and the statement at its start.
sqlite3_stmt* Fresh(const SqliteStatement& statement) {
    sqlite3_reset(statement.get());
    sqlite3_clear_bindings(statement.get());
    return statement.get();
}

HistoryPass PassOfRow(sqlite3_stmt* row) {
    HistoryPass pass;
    pass.Id = ColumnInteger(row, 0).value_or(0);
    pass.RunId = ColumnInteger(row, 1).value_or(0);
    pass.Ordinal = ColumnInteger(row, 2).value_or(0);
    pass.Ave = static_cast<std::int32_t>(ColumnInteger(row, 3).value_or(0));
    pass.Archive = ColumnText(row, 4);
    pass.Started = ColumnText(row, 5);
    pass.Seconds = ColumnReal(row, 6);
    pass.Outcome = OutcomeOfName(ColumnText(row, 7)).value_or(PassOutcome::CouldNotStart);
    pass.ExitCode = ColumnInteger(row, 8);
    pass.Reason = ColumnText(row, 9);
    return pass;
}

HistoryRun RunOfRow(sqlite3_stmt* row) {
    HistoryRun run;
    run.Id = ColumnInteger(row, 0).value_or(0);
    run.Started = ColumnText(row, 1);
    run.Ended = ColumnText(row, 2);
    run.Seconds = ColumnReal(row, 3);
    std::string* texts[] = {&run.Machine,       &run.User,          &run.AveFolder, &run.InstallationFolder,
                            &run.TestingFolder, &run.AnalysisTypes, &run.Aves,      &run.Shard};
    for (int i = 0; i < 8; ++i) {
        *texts[i] = ColumnText(row, 4 + i);
    }
    run.TimeLimitMinutes = ColumnInteger(row, 12);
    run.Planned = ColumnInteger(row, 13);
    run.ExitCode = ColumnInteger(row, 14);
    return run;
}

}  // namespace

bool IsOrlentaHistoryBytes(const std::string& beginning) {
    constexpr size_t kApplicationIdAt = 68;  // big-endian, in SQLite's 100-byte file header
    if (beginning.size() < 100 || beginning.compare(0, 16, std::string("SQLite format 3\0", 16)) != 0) {
        return false;
    }
    std::uint32_t id = 0;
    for (size_t i = 0; i < 4; ++i) {
        id = id << 8 | static_cast<unsigned char>(beginning[kApplicationIdAt + i]);
    }
    return id == static_cast<std::uint32_t>(kHistoryApplicationId);
}

HistoryFile JudgeHistoryFile(const std::wstring& path, std::string& reason) {
    const FileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = file ? ERROR_SUCCESS : GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
        return HistoryFile::New;
    }
    std::string beginning(100, '\0');
    DWORD read = 0;
    if (!file || !ReadFile(file.get(), beginning.data(), static_cast<DWORD>(beginning.size()), &read, nullptr)) {
        reason = SystemMessage(file ? GetLastError() : error);
        return HistoryFile::Unreadable;
    }
    beginning.resize(read);
    // Written through, a link would change the file it leads to, which is no history of this run's.
    if (LinkCountOf(file.get()) > 1 || IsLinkAt(path)) {
        reason = "it is a link to another file";
        return HistoryFile::Foreign;
    }
    if (beginning.empty()) {
        return HistoryFile::New;
    }
    if (IsOrlentaHistoryBytes(beginning)) {
        return HistoryFile::Ours;
    }
    reason = "it is no Orlenta history";
    return HistoryFile::Foreign;
}

RunHistory::RunHistory(const std::wstring& path) {
    if (sqlite3_open_v2(WideToUtf8(path).c_str(), db_.put(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        throw SqliteError(db_.get());
    }
    // Another program reading the history (the sqlite3 shell) holds it only for moments.
    sqlite3_busy_timeout(db_.get(), 2000);
    // The version the file is at, and whether it needs a step; raises when it is not to be touched.
    const auto version = [&] {
        const std::int64_t id = PragmaNumber(db_.get(), "PRAGMA application_id");
        const std::int64_t at = PragmaNumber(db_.get(), "PRAGMA user_version");
        if (id == 0 && at == 0 && PragmaNumber(db_.get(), "SELECT count(*) FROM sqlite_master") == 0) {
            return std::int64_t{0};
        }
        if (id != kHistoryApplicationId) {
            throw HistoryError(WideToUtf8(path) + " is not an Orlenta history.");
        }
        if (at > kHistorySchemaVersion) {
            throw HistoryError(WideToUtf8(path) + " has the schema of a newer Orlenta (version " + std::to_string(at) +
                               ").");
        }
        return at;
    };
    // Read as one snapshot: a run making the file meanwhile could show its tables without its id.
    if (Transaction(db_.get(), version, "BEGIN") < kHistorySchemaVersion) {
        // Two runs may make one new file at once: the one that waited for the lock finds the
        // schema made and leaves it.
        Transaction(
            db_.get(),
            [&] {
                const std::int64_t at = version();
                for (std::int64_t step = at; step < kHistorySchemaVersion; ++step) {
                    Execute(db_.get(), kSteps[step]);
                }
                if (at < kHistorySchemaVersion) {
                    Execute(db_.get(), ("PRAGMA application_id = " + std::to_string(kHistoryApplicationId) +
                                        "; PRAGMA user_version = " + std::to_string(kHistorySchemaVersion))
                                           .c_str());
                }
                return 0;
            },
            "BEGIN EXCLUSIVE");
    }
    insertPass_ = Prepare(db_.get(),
                          "INSERT INTO passes (run_id, ordinal, ave, archive, started, seconds, outcome, exit_code, "
                          "reason) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insertWindow_ =
        Prepare(db_.get(), "INSERT INTO pass_windows (pass_id, position, window, picture) VALUES (?, ?, ?, ?)");
    insertLeft_ = Prepare(db_.get(), "INSERT INTO pass_left_running (pass_id, position, process) VALUES (?, ?, ?)");
    // The last that passed and the last that ran to their end hold all the last that passed.
    recent_ = Prepare(db_.get(), std::string("SELECT ") + kPassColumns +
                                     " FROM passes WHERE id IN (SELECT id FROM passes WHERE ave = ?1 AND outcome = "
                                     "'exited' AND exit_code = 0 ORDER BY id DESC LIMIT ?2) OR id IN (SELECT id "
                                     "FROM passes WHERE ave = ?1 AND outcome = 'exited' ORDER BY id DESC LIMIT ?2) "
                                     "ORDER BY id");
}

std::optional<FileIdentity> RunHistory::Identity() {
    HANDLE file = INVALID_HANDLE_VALUE;
    if (sqlite3_file_control(db_.get(), "main", SQLITE_FCNTL_WIN32_GET_HANDLE, &file) != SQLITE_OK ||
        file == INVALID_HANDLE_VALUE || file == nullptr) {
        return std::nullopt;
    }
    return IdentityOf(file);
}

std::int64_t RunHistory::AddRun(const HistoryRun& run) { return InsertRun(run); }

std::int64_t RunHistory::InsertRun(const HistoryRun& run) {
    const SqliteStatement insert = Prepare(
        db_.get(),
        "INSERT INTO runs (started, machine, user, ave_folder, installation_folder, testing_folder, analysis_types, "
        "aves, shard, time_limit_minutes, planned) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    const std::string* texts[] = {&run.Started,       &run.Machine,       &run.User,          &run.AveFolder,
                                  &run.InstallationFolder, &run.TestingFolder, &run.AnalysisTypes, &run.Aves};
    for (int i = 0; i < 8; ++i) {
        BindText(insert.get(), i + 1, *texts[i]);
    }
    if (!run.Shard.empty()) {
        BindText(insert.get(), 9, run.Shard);
    }
    BindInteger(insert.get(), 10, run.TimeLimitMinutes);
    BindInteger(insert.get(), 11, run.Planned);
    StepRow(insert.get());
    return sqlite3_last_insert_rowid(db_.get());
}

void RunHistory::SetPlanned(std::int64_t runId, std::int64_t planned) {
    const SqliteStatement update = Prepare(db_.get(), "UPDATE runs SET planned = ? WHERE id = ?");
    BindInteger(update.get(), 1, planned);
    BindInteger(update.get(), 2, runId);
    StepRow(update.get());
}

void RunHistory::EndRun(const HistoryRun& run) {
    const SqliteStatement update =
        Prepare(db_.get(), "UPDATE runs SET ended = ?, seconds = ?, exit_code = ? WHERE id = ?");
    BindText(update.get(), 1, run.Ended);
    BindReal(update.get(), 2, run.Seconds);
    BindInteger(update.get(), 3, run.ExitCode);
    BindInteger(update.get(), 4, run.Id);
    StepRow(update.get());
}

std::int64_t RunHistory::AddPass(const HistoryPass& pass) {
    return Transaction(db_.get(), [&] { return InsertPass(pass); });
}

std::int64_t RunHistory::AddWholeRun(const HistoryRun& run, const std::vector<HistoryPass>& passes) {
    return Transaction(db_.get(), [&] {
        HistoryRun ended = run;
        ended.Id = InsertRun(run);
        EndRun(ended);
        for (HistoryPass pass : passes) {
            pass.RunId = ended.Id;
            InsertPass(pass);
        }
        return ended.Id;
    });
}

std::int64_t RunHistory::InsertPass(const HistoryPass& pass) {
    sqlite3_stmt* insert = Fresh(insertPass_);
    BindInteger(insert, 1, pass.RunId);
    BindInteger(insert, 2, pass.Ordinal);
    BindInteger(insert, 3, pass.Ave);
    BindText(insert, 4, pass.Archive);
    BindText(insert, 5, pass.Started);
    BindReal(insert, 6, pass.Seconds);
    BindText(insert, 7, OutcomeName(pass.Outcome));
    BindInteger(insert, 8, pass.ExitCode);
    if (!pass.Reason.empty()) {
        BindText(insert, 9, pass.Reason);
    }
    StepRow(insert);
    const std::int64_t id = sqlite3_last_insert_rowid(db_.get());
    for (size_t i = 0; i < pass.Windows.size(); ++i) {
        sqlite3_stmt* window = Fresh(insertWindow_);
        BindInteger(window, 1, id);
        BindInteger(window, 2, static_cast<std::int64_t>(i + 1));
        BindText(window, 3, pass.Windows[i].Text);
        if (!pass.Windows[i].Picture.empty()) {
            BindText(window, 4, pass.Windows[i].Picture);
        }
        StepRow(window);
    }
    for (size_t i = 0; i < pass.LeftRunning.size(); ++i) {
        sqlite3_stmt* left = Fresh(insertLeft_);
        BindInteger(left, 1, id);
        BindInteger(left, 2, static_cast<std::int64_t>(i + 1));
        BindText(left, 3, pass.LeftRunning[i]);
        StepRow(left);
    }
    return id;
}

std::vector<HistoryPass> RunHistory::RecentPasses(std::int32_t ave, std::size_t count) {
    sqlite3_stmt* recent = Fresh(recent_);
    BindInteger(recent, 1, ave);
    BindInteger(recent, 2, static_cast<std::int64_t>(count));
    std::vector<HistoryPass> passes;
    while (StepRow(recent)) {
        passes.push_back(PassOfRow(recent));
    }
    return passes;
}

void RunHistory::ReadEarlier(NightRows& rows) {
    const SqliteStatement runs = Prepare(
        db_.get(),
        "SELECT id, started, ended, seconds, machine, user, ave_folder, installation_folder, testing_folder, "
        "analysis_types, aves, shard, time_limit_minutes, planned, exit_code FROM runs WHERE id <> ? ORDER BY id");
    const std::int64_t tonightsRun = rows.Runs.empty() ? 0 : rows.Runs.front().Id;
    BindInteger(runs.get(), 1, tonightsRun);
    while (StepRow(runs.get())) {
        rows.EarlierRuns.push_back(RunOfRow(runs.get()));
    }
    // Per AVE, through its index: the last passes, and all since its last pass that passed (however
    // long ago), so a failure of many nights is counted from its start.
    const SqliteStatement passes = Prepare(
        db_.get(), std::string("SELECT ") + kPassColumns +
                       " FROM passes WHERE ave = ?1 AND run_id <> ?2 AND (id >= IFNULL((SELECT max(id) FROM passes "
                       "WHERE ave = ?1 AND run_id <> ?2 AND outcome = 'exited' AND exit_code = 0), 0) OR id IN "
                       "(SELECT id FROM passes WHERE ave = ?1 AND run_id <> ?2 ORDER BY id DESC LIMIT ?3)) ORDER BY id");
    std::set<std::int32_t> seen;
    for (const HistoryPass& tonight : rows.Tonight) {
        if (!seen.insert(tonight.Ave).second) {
            continue;
        }
        sqlite3_stmt* query = Fresh(passes);
        BindInteger(query, 1, tonight.Ave);
        BindInteger(query, 2, tonightsRun);
        BindInteger(query, 3, static_cast<std::int64_t>(std::max(kStripNights, kMedianPasses)));
        while (StepRow(query)) {
            rows.Earlier.push_back(PassOfRow(query));
        }
    }
}

}  // namespace orlenta
