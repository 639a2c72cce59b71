// The run history: an SQLite database that every run adds its row and its passes' rows to, and the
// thin reading of the rows the morning report is made of.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "database/SqliteSupport.h"
#include "history/HistoryRows.h"
#include "util/FileIdentity.h"

namespace orlenta {

// What the file says of itself in its header: SQLite's application id ("ORLH") and schema version.
inline constexpr std::int32_t kHistoryApplicationId = 0x4F524C48;
inline constexpr std::int64_t kHistorySchemaVersion = 1;

// True when the first bytes of a file are those of an Orlenta history (an SQLite database whose
// application id is ours).
bool IsOrlentaHistoryBytes(const std::string& beginning);

// What lies at a history's path, judged by its first bytes before SQLite touches it (the engine
// would roll a stray journal back into any file it opens).
enum class HistoryFile {
    New,         // nothing there yet, or an empty file: nothing to lose
    Ours,        // an Orlenta history
    Foreign,     // another program's file: never to be written
    Unreadable,  // cannot be read now (another program holds it, its folder is missing): try later
};
HistoryFile JudgeHistoryFile(const std::wstring& path, std::string& reason);

class RunHistory {
public:
    // Opens the history, or makes it with its schema when the file is new or empty (safely when two
    // runs make one file at once), bringing an older schema up to this version. Raises AppError
    // when the file cannot be opened, and, numbered SQLITE_NOTADB, when it is no Orlenta history or
    // has a newer schema. A file that cannot be written opens for reading: then the writes raise.
    explicit RunHistory(const std::wstring& path);

    // The file the connection has open, whatever happens to its path later.
    std::optional<FileIdentity> Identity();

    // Each write is one transaction; each raises the engine's error and leaves the history as it was.
    std::int64_t AddRun(const HistoryRun& run);
    void SetPlanned(std::int64_t runId, std::int64_t planned);
    void EndRun(const HistoryRun& run);
    std::int64_t AddPass(const HistoryPass& pass);
    // A whole run, its end and its passes, in one transaction; returns the run's id.
    std::int64_t AddWholeRun(const HistoryRun& run, const std::vector<HistoryPass>& passes);

    // What UsualSeconds needs of an AVE, oldest first: its last `count` passes that passed and its
    // last `count` that ran to their end.
    std::vector<HistoryPass> RecentPasses(std::int32_t ave, std::size_t count);
    // Fills the rows' earlier runs and passes for tonight's AVEs (rows.Runs' first is tonight's run, or has id 0).
    void ReadEarlier(NightRows& rows);

private:
    std::int64_t InsertRun(const HistoryRun& run);
    std::int64_t InsertPass(const HistoryPass& pass);

    SqliteDatabase db_;
    SqliteStatement insertPass_;
    SqliteStatement insertWindow_;
    SqliteStatement insertLeft_;
    SqliteStatement recent_;
};

}  // namespace orlenta
