// The run history in SQLite: its schema, the rows a run adds, the rows its report reads.
#include "history/RunHistory.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <limits>
#include <set>

#include <sqlite3.h>

#include <windows.h>
#include <objbase.h>
#include <wincrypt.h>

#include "history/NightFindings.h"
#include "util/AppPaths.h"
#include "util/Handles.h"
#include "util/LongPath.h"
#include "util/Text.h"

namespace orlenta {

namespace {

// The uid of a run written before runs had uids, from the values it has in its history: the same in
// that history once it is brought up to version 2 and in a merge that reads it as it is.
#define ORLENTA_V1_UID "'v1:' || machine || ':' || started || ':' || id"

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
)",
// Version 2: nights (the runs a merge of shards adds form one; a run alone is a night of its own),
// each run's uid across histories, its retries, each pass's attempt, and the pictures inside. The
// rows of version 1 keep their values: each run becomes a night of its own, with the same number.
R"(
CREATE TABLE nights (
  id INTEGER PRIMARY KEY,
  formed TEXT NOT NULL,
  formed_by TEXT NOT NULL CHECK (formed_by IN ('run', 'merge'))
);
INSERT INTO nights (id, formed, formed_by) SELECT id, started, 'run' FROM runs;
ALTER TABLE runs ADD COLUMN night_id INTEGER REFERENCES nights(id);
ALTER TABLE runs ADD COLUMN uid TEXT;
ALTER TABLE runs ADD COLUMN retries INTEGER;
UPDATE runs SET night_id = id, uid = )" ORLENTA_V1_UID R"(;
CREATE UNIQUE INDEX runs_by_uid ON runs(uid);
CREATE INDEX runs_by_night ON runs(night_id, id);
ALTER TABLE passes ADD COLUMN attempt INTEGER NOT NULL DEFAULT 1;
CREATE INDEX passes_by_run ON passes(run_id, ordinal);
ALTER TABLE pass_windows ADD COLUMN picture_png BLOB;
)"};
static_assert(static_cast<std::int64_t>(std::size(kSteps)) == kHistorySchemaVersion);

constexpr const char* kRunColumns =
    "id, started, ended, seconds, machine, user, ave_folder, installation_folder, testing_folder, analysis_types, "
    "aves, shard, time_limit_minutes, planned, exit_code, night_id, uid, retries";
constexpr const char* kPassColumns =
    "id, run_id, ordinal, ave, archive, started, seconds, outcome, exit_code, reason, attempt";

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
    pass.Attempt = ColumnInteger(row, 10).value_or(1);
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
    run.NightId = ColumnInteger(row, 15).value_or(0);
    run.Uid = ColumnText(row, 16);
    run.Retries = ColumnInteger(row, 17);
    return run;
}

// The message of a file that is no Orlenta history, or of a newer one, numbered SQLITE_NOTADB;
// nothing when its header values are ours and of a version this program knows.
std::optional<AppError> VersionRefusal(const std::wstring& path, std::int64_t id, std::int64_t version) {
    if (id != kHistoryApplicationId || version < 1) {
        return HistoryError(WideToUtf8(path) + " is not an Orlenta history.");
    }
    if (version > kHistorySchemaVersion) {
        return HistoryError(WideToUtf8(path) + " has the schema of a newer Orlenta (version " +
                            std::to_string(version) + "), which this one cannot read.");
    }
    return std::nullopt;
}

// An SQLite URI that opens the file only to read it, never rolling a stray journal back into it:
// every byte but letters, digits and ".-_:" escaped, so backslashes, "?", "#" and "%" stay the path's.
std::string ReadOnlyUri(const std::wstring& path) {
    std::string uri = "file:";
    for (const char c : WideToUtf8(path)) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
            byte == '.' || byte == '-' || byte == '_' || byte == ':') {
            uri += c;
        } else {
            constexpr char kHex[] = "0123456789ABCDEF";
            uri += {'%', kHex[byte >> 4], kHex[byte & 15]};
        }
    }
    return uri + "?mode=ro";
}

// A history's version as `schema` (a name ATTACH gave it, or "main") says, after its structure was
// checked: raises what CheckHistoryToRead says of it.
std::int64_t CheckedVersion(sqlite3* db, const std::string& schema, const std::wstring& path) {
    const std::string name = WideToUtf8(path);
    try {
        const std::int64_t id = PragmaNumber(db, ("PRAGMA " + schema + ".application_id").c_str());
        const std::int64_t version = PragmaNumber(db, ("PRAGMA " + schema + ".user_version").c_str());
        if (auto refusal = VersionRefusal(path, id, version)) {
            throw *refusal;
        }
        const SqliteStatement check = Prepare(db, "PRAGMA " + schema + ".quick_check(1)");
        if (StepRow(check.get()) && ColumnText(check.get(), 0) != "ok") {
            throw HistoryError(name + " is damaged: " + ColumnText(check.get(), 0) + ".");
        }
        return version;
    } catch (const AppError& error) {
        if (error.Number() == SQLITE_NOTADB && error.Description().rfind(name, 0) == 0) {
            throw;
        }
        // The engine's own words for a file it cannot take: "database disk image is malformed" (a
        // file cut short, say), "file is not a database", a file that cannot be opened.
        const bool damaged = (error.Number() & 0xFF) == SQLITE_CORRUPT;
        throw HistoryError(name + (damaged ? " is damaged: " : " cannot be read as an Orlenta history: ") +
                           error.Description() + ".");
    }
}

// Raises unless the file's first bytes are an Orlenta history's: SQLite is not let near another
// program's file at all.
void CheckHistoryBytes(const std::wstring& path) {
    const FileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string beginning(100, '\0');
    DWORD read = 0;
    if (!file || !ReadFile(file.get(), beginning.data(), static_cast<DWORD>(beginning.size()), &read, nullptr)) {
        const DWORD error = GetLastError();
        throw AppError(static_cast<long>(error), ProgramName(),
                       WideToUtf8(path) + " cannot be read: " + SystemMessage(error));
    }
    beginning.resize(read);
    if (!IsOrlentaHistoryBytes(beginning)) {
        throw HistoryError(WideToUtf8(path) + " is not an Orlenta history.");
    }
}

// Opens a history to read it, as CheckHistoryToRead says.
SqliteDatabase OpenToRead(const std::wstring& path, std::int64_t& version) {
    const std::string name = WideToUtf8(path);
    CheckHistoryBytes(path);
    SqliteDatabase db;
    if (sqlite3_open_v2(ReadOnlyUri(path).c_str(), db.put(), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) !=
        SQLITE_OK) {
        throw HistoryError(name + " cannot be read as an Orlenta history: " + SqliteError(db.get()).Description() +
                           ".");
    }
    sqlite3_busy_timeout(db.get(), 2000);
    version = CheckedVersion(db.get(), "main", path);
    return db;
}

void BindBlob(sqlite3_stmt* statement, int position, const std::string& bytes) {
    if (sqlite3_bind_blob(statement, position, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT) !=
        SQLITE_OK) {
        throw SqliteError(sqlite3_db_handle(statement));
    }
}

std::string ColumnBytes(sqlite3_stmt* statement, int column) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
    return bytes == nullptr ? std::string()
                            : std::string(bytes, static_cast<size_t>(sqlite3_column_bytes(statement, column)));
}

}  // namespace

std::optional<std::string> Base64Of(const std::string& bytes) {
    constexpr DWORD kFlags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    const auto* data = reinterpret_cast<const BYTE*>(bytes.data());
    DWORD size = 0;
    if (bytes.empty() || bytes.size() > kMostPictureBytes ||
        !CryptBinaryToStringA(data, static_cast<DWORD>(bytes.size()), kFlags, nullptr, &size)) {
        return std::nullopt;
    }
    std::string text(size, '\0');
    if (!CryptBinaryToStringA(data, static_cast<DWORD>(bytes.size()), kFlags, text.data(), &size)) {
        return std::nullopt;
    }
    text.resize(std::min<size_t>(size, text.size()));
    while (!text.empty() && (text.back() == '\0' || text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

std::string NewRunUid() {
    GUID guid{};
    if (FAILED(CoCreateGuid(&guid))) {
        throw AppError::FromLastError();
    }
    char text[40];
    std::snprintf(text, sizeof text, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

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
    // URIs only for the shards a merge attaches to read; a full path never begins with "file:".
    if (sqlite3_open_v2(WideToUtf8(path).c_str(), db_.put(),
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI, nullptr) != SQLITE_OK) {
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
        if (auto refusal = VersionRefusal(path, id, at)) {
            throw *refusal;
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
                          "reason, attempt) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insertWindow_ = Prepare(
        db_.get(), "INSERT INTO pass_windows (pass_id, position, window, picture, picture_png) VALUES (?, ?, ?, ?, ?)");
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

std::int64_t RunHistory::AddRun(const HistoryRun& run, std::int64_t* nightId) {
    return Transaction(db_.get(), [&] {
        const std::int64_t night = InsertNight(run.Started, "run");
        if (nightId != nullptr) {
            *nightId = night;
        }
        return InsertRun(run, night);
    });
}

std::int64_t RunHistory::InsertNight(const std::string& formed, const char* formedBy) {
    const SqliteStatement insert = Prepare(db_.get(), "INSERT INTO nights (formed, formed_by) VALUES (?, ?)");
    BindText(insert.get(), 1, formed);
    BindText(insert.get(), 2, formedBy);
    StepRow(insert.get());
    return sqlite3_last_insert_rowid(db_.get());
}

std::int64_t RunHistory::InsertRun(const HistoryRun& run, std::int64_t nightId) {
    const SqliteStatement insert = Prepare(
        db_.get(),
        "INSERT INTO runs (started, machine, user, ave_folder, installation_folder, testing_folder, analysis_types, "
        "aves, shard, time_limit_minutes, planned, night_id, uid, retries) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
        "?, ?, ?)");
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
    BindInteger(insert.get(), 12, nightId);
    BindText(insert.get(), 13, run.Uid.empty() ? NewRunUid() : run.Uid);
    BindInteger(insert.get(), 14, run.Retries);
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
        ended.Id = InsertRun(run, InsertNight(run.Started, "run"));
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
    BindInteger(insert, 10, pass.Attempt);
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
        if (!pass.Windows[i].PictureData.empty() && pass.Windows[i].PictureData.size() <= kMostPictureBytes) {
            BindBlob(window, 5, pass.Windows[i].PictureData);
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
    const std::int64_t tonight = rows.Runs.empty() || rows.Runs.front().NightId == 0
                                     ? std::numeric_limits<std::int64_t>::max()
                                     : rows.Runs.front().NightId;
    const SqliteStatement runs =
        Prepare(db_.get(), std::string("SELECT ") + kRunColumns + " FROM runs WHERE night_id < ? ORDER BY id");
    BindInteger(runs.get(), 1, tonight);
    while (StepRow(runs.get())) {
        rows.EarlierRuns.push_back(RunOfRow(runs.get()));
    }
    // Per AVE, through its index: its passes in its last nights, all since its last night that passed
    // (however long ago), so a failure of many nights is counted from its start, and its last that
    // passed and ran to their end, for its median. A night's outcome is its last attempt's.
    const SqliteStatement passes = Prepare(
        db_.get(),
        std::string("WITH p AS (SELECT p.id, p.attempt, p.outcome, p.exit_code, r.night_id AS night FROM passes p "
                    "JOIN runs r ON r.id = p.run_id WHERE p.ave = ?1 AND r.night_id < ?2), "
                    "outcomes AS (SELECT night, outcome = 'exited' AND exit_code = 0 AS passed, "
                    "max(attempt * 4294967296 + id) FROM p GROUP BY night), "
                    "since AS (SELECT min(ifnull((SELECT min(night) FROM (SELECT night FROM outcomes ORDER BY night "
                    "DESC LIMIT ?3)), 0), ifnull((SELECT max(night) FROM outcomes WHERE passed), 0)) AS night) "
                    "SELECT ") +
            kPassColumns +
            " FROM passes WHERE id IN (SELECT id FROM p WHERE night >= (SELECT night FROM since)) "
            "OR id IN (SELECT id FROM p WHERE outcome = 'exited' AND exit_code = 0 ORDER BY id DESC LIMIT ?4) "
            "OR id IN (SELECT id FROM p WHERE outcome = 'exited' ORDER BY id DESC LIMIT ?4) ORDER BY id");
    std::set<std::int32_t> seen;
    for (const HistoryPass& pass : rows.Tonight) {
        if (!seen.insert(pass.Ave).second) {
            continue;
        }
        sqlite3_stmt* query = Fresh(passes);
        BindInteger(query, 1, pass.Ave);
        BindInteger(query, 2, tonight);
        BindInteger(query, 3, static_cast<std::int64_t>(kStripNights));
        BindInteger(query, 4, static_cast<std::int64_t>(kMedianPasses));
        while (StepRow(query)) {
            rows.Earlier.push_back(PassOfRow(query));
        }
    }
}

NightRows RunHistory::ReadNight(std::int64_t nightId) {
    NightRows rows;
    // One snapshot: a run writing meanwhile adds a night of its own, never to this one.
    Transaction(
        db_.get(),
        [&] {
            const SqliteStatement runs =
                Prepare(db_.get(), std::string("SELECT ") + kRunColumns + " FROM runs WHERE night_id = ? ORDER BY id");
            BindInteger(runs.get(), 1, nightId);
            while (StepRow(runs.get())) {
                rows.Runs.push_back(RunOfRow(runs.get()));
            }
            if (rows.Runs.empty()) {
                return 0;
            }
            const SqliteStatement passes =
                Prepare(db_.get(), std::string("SELECT ") + kPassColumns +
                                       " FROM passes WHERE run_id IN (SELECT id FROM runs WHERE night_id = ?) ORDER "
                                       "BY run_id, ordinal, id");
            BindInteger(passes.get(), 1, nightId);
            while (StepRow(passes.get())) {
                rows.Tonight.push_back(PassOfRow(passes.get()));
            }
            const SqliteStatement windows = Prepare(
                db_.get(),
                "SELECT position, window, picture, length(picture_png) FROM pass_windows WHERE pass_id = ? ORDER BY "
                "position");
            const SqliteStatement picture =
                Prepare(db_.get(), "SELECT picture_png FROM pass_windows WHERE pass_id = ? AND position = ?");
            const SqliteStatement left =
                Prepare(db_.get(), "SELECT process FROM pass_left_running WHERE pass_id = ? ORDER BY position");
            unsigned long long carried = 0;
            for (HistoryPass& pass : rows.Tonight) {
                sqlite3_stmt* window = Fresh(windows);
                BindInteger(window, 1, pass.Id);
                while (StepRow(window)) {
                    HungWindow& shown = pass.Windows.emplace_back();
                    shown.Text = ColumnText(window, 1);
                    shown.Picture = ColumnText(window, 2);
                    const auto size = static_cast<unsigned long long>(ColumnInteger(window, 3).value_or(0));
                    if (size == 0) {
                        shown.PictureNote = shown.Picture.empty() ? "" : "not in the history";
                        continue;
                    }
                    if (size > std::min(kMostPictureBytes, kMostPicturesBytes - carried)) {
                        shown.PictureNote = "not in the report, which carries at most " +
                                            std::to_string(kMostPicturesBytes >> 20) + " MB of pictures, " +
                                            std::to_string(kMostPictureBytes >> 20) + " MB each";
                        continue;
                    }
                    sqlite3_stmt* bytes = Fresh(picture);
                    BindInteger(bytes, 1, pass.Id);
                    BindInteger(bytes, 2, ColumnInteger(window, 0));
                    if (StepRow(bytes)) {
                        if (auto text = Base64Of(ColumnBytes(bytes, 0))) {
                            carried += size;
                            shown.PictureBase64 = std::move(*text);
                        } else {
                            shown.PictureNote = "not in the report: it cannot be encoded";
                        }
                    }
                }
                sqlite3_stmt* process = Fresh(left);
                BindInteger(process, 1, pass.Id);
                while (StepRow(process)) {
                    pass.LeftRunning.push_back(ColumnText(process, 0));
                }
            }
            ReadEarlier(rows);
            return 0;
        },
        "BEGIN");
    return rows;
}

MergedNight RunHistory::MergeShards(const std::vector<std::wstring>& shardFiles, const std::string& formed) {
    sqlite3* db = db_.get();
    if (shardFiles.size() > kMostShardHistories) {
        throw HistoryError("A merge takes at most " + std::to_string(kMostShardHistories) + " shard histories, not " +
                           std::to_string(shardFiles.size()) + ".");
    }
    // Attached under names of their own, and detached again whatever happens.
    struct Attached {
        sqlite3* db;
        std::vector<std::string> names;
        ~Attached() {
            for (const std::string& name : names) {
                sqlite3_exec(db, ("DETACH " + name).c_str(), nullptr, nullptr, nullptr);
            }
        }
    } attached{db, {}};
    std::vector<std::int64_t> versions;
    const auto self = Identity();
    for (const std::wstring& file : shardFiles) {
        CheckHistoryBytes(file);
        if (self && IdentityAt(file) == self) {
            throw HistoryError(WideToUtf8(file) + " is the history the shards are added to.");
        }
        const std::string name = "shard" + std::to_string(attached.names.size() + 1);
        const SqliteStatement attach = Prepare(db, "ATTACH DATABASE ? AS " + name);
        BindText(attach.get(), 1, ReadOnlyUri(file));
        try {
            StepRow(attach.get());
        } catch (const AppError& error) {
            throw HistoryError(WideToUtf8(file) + " cannot be read as an Orlenta history: " + error.Description() + ".");
        }
        attached.names.push_back(name);
        versions.push_back(CheckedVersion(db, name, file));
    }
    MergedNight merged;
    Transaction(db, [&] {
        std::optional<std::int64_t> heldNight;
        const SqliteStatement held = Prepare(db, "SELECT night_id FROM main.runs WHERE uid = ?");
        for (size_t i = 0; i < attached.names.size(); ++i) {
            // A shard's history of version 1 is read as it is: no uid, retries, attempts or pictures.
            const bool v1 = versions[i] < 2;
            const std::string& s = attached.names[i];
            const SqliteStatement runs = Prepare(
                db, std::string("SELECT id, ") + (v1 ? ORLENTA_V1_UID : "ifnull(uid, " ORLENTA_V1_UID ")") + " FROM " +
                        s + ".runs ORDER BY id");
            const SqliteStatement addRun = Prepare(
                db, "INSERT INTO main.runs (night_id, uid, started, ended, seconds, machine, user, ave_folder, "
                    "installation_folder, testing_folder, analysis_types, aves, shard, time_limit_minutes, planned, "
                    "exit_code, retries) SELECT ?1, ?2, started, ended, seconds, machine, user, ave_folder, "
                    "installation_folder, testing_folder, analysis_types, aves, shard, time_limit_minutes, planned, "
                    "exit_code, " + std::string(v1 ? "NULL" : "retries") + " FROM " + s + ".runs WHERE id = ?3");
            const SqliteStatement passes = Prepare(db, "SELECT id FROM " + s + ".passes WHERE run_id = ? ORDER BY id");
            const SqliteStatement addPass = Prepare(
                db, "INSERT INTO main.passes (run_id, ordinal, ave, archive, started, seconds, outcome, exit_code, "
                    "reason, attempt) SELECT ?1, ordinal, ave, archive, started, seconds, outcome, exit_code, reason, " +
                        std::string(v1 ? "1" : "attempt") + " FROM " + s + ".passes WHERE id = ?2");
            const SqliteStatement addWindows = Prepare(
                db, "INSERT INTO main.pass_windows (pass_id, position, window, picture, picture_png) SELECT ?1, "
                    "position, window, picture, " + std::string(v1 ? "NULL" : "picture_png") + " FROM " + s +
                        ".pass_windows WHERE pass_id = ?2");
            const SqliteStatement addLeft = Prepare(
                db, "INSERT INTO main.pass_left_running (pass_id, position, process) SELECT ?1, position, process "
                    "FROM " + s + ".pass_left_running WHERE pass_id = ?2");
            while (StepRow(runs.get())) {
                const std::int64_t shardRun = ColumnInteger(runs.get(), 0).value_or(0);
                const std::string uid = ColumnText(runs.get(), 1);
                sqlite3_stmt* known = Fresh(held);
                BindText(known, 1, uid);
                if (StepRow(known)) {
                    ++merged.RunsHeld;
                    heldNight = std::max(heldNight.value_or(0), ColumnInteger(known, 0).value_or(0));
                    continue;
                }
                if (merged.NightId == 0) {
                    merged.NightId = InsertNight(formed, "merge");
                }
                sqlite3_stmt* run = Fresh(addRun);
                BindInteger(run, 1, merged.NightId);
                BindText(run, 2, uid);
                BindInteger(run, 3, shardRun);
                StepRow(run);
                const std::int64_t siteRun = sqlite3_last_insert_rowid(db);
                ++merged.RunsAdded;
                sqlite3_stmt* pass = Fresh(passes);
                BindInteger(pass, 1, shardRun);
                while (StepRow(pass)) {
                    const std::int64_t shardPass = ColumnInteger(pass, 0).value_or(0);
                    sqlite3_stmt* add = Fresh(addPass);
                    BindInteger(add, 1, siteRun);
                    BindInteger(add, 2, shardPass);
                    StepRow(add);
                    const std::int64_t sitePass = sqlite3_last_insert_rowid(db);
                    for (const SqliteStatement* rows : {&addWindows, &addLeft}) {
                        sqlite3_stmt* copy = Fresh(*rows);
                        BindInteger(copy, 1, sitePass);
                        BindInteger(copy, 2, shardPass);
                        StepRow(copy);
                    }
                }
            }
        }
        if (merged.NightId == 0) {
            if (!heldNight) {
                throw HistoryError("The shards' histories hold no run, so there is no night to add.");
            }
            merged.NightId = *heldNight;
        }
        return 0;
    });
    return merged;
}

std::int64_t CheckHistoryToRead(const std::wstring& path) {
    std::int64_t version = 0;
    OpenToRead(path, version);
    return version;
}

std::unordered_map<std::int32_t, double> HistoryTimings(const std::wstring& path) {
    std::int64_t version = 0;
    const SqliteDatabase db = OpenToRead(path, version);
    const SqliteStatement passes =
        Prepare(db.get(), "SELECT ave, seconds FROM (SELECT ave, seconds, row_number() OVER (PARTITION BY ave ORDER "
                          "BY id DESC) AS n FROM passes WHERE outcome = 'exited') WHERE n <= ? ORDER BY ave");
    BindInteger(passes.get(), 1, static_cast<std::int64_t>(kMedianPasses));
    std::unordered_map<std::int32_t, std::vector<double>> seconds;
    while (StepRow(passes.get())) {
        seconds[static_cast<std::int32_t>(ColumnInteger(passes.get(), 0).value_or(0))].push_back(
            ColumnReal(passes.get(), 1));
    }
    std::unordered_map<std::int32_t, double> timings;
    for (auto& [ave, figures] : seconds) {
        timings.emplace(ave, MedianSeconds(std::move(figures)).value_or(0));
    }
    return timings;
}

}  // namespace orlenta
