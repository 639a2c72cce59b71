// The run history: an SQLite database that every run adds its row and its passes' rows to, and the
// thin reading of the rows the morning report is made of.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "database/SqliteSupport.h"
#include "history/HistoryRows.h"
#include "util/FileIdentity.h"

namespace orlenta {

// What the file says of itself in its header: SQLite's application id ("ORLH") and schema version.
inline constexpr std::int32_t kHistoryApplicationId = 0x4F524C48;
inline constexpr std::int64_t kHistorySchemaVersion = 2;

// Pictures make the history and the page large: one larger than this is neither kept nor carried,
// and a page carries at most kMostPicturesBytes of them; beyond that it names them.
inline constexpr unsigned long long kMostPictureBytes = 4ULL << 20;
inline constexpr unsigned long long kMostPicturesBytes = 16ULL << 20;

// Bytes as Base64 on one line, by the platform's encoder; nothing when it fails or they are too many.
std::optional<std::string> Base64Of(const std::string& bytes);

// A new run's uid: a GUID, "8c1f0f0e-5d1b-4c3e-9a57-0b8f2d3c4e5f".
std::string NewRunUid();

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

// Opens a history only to read it, never changing it (a shard's, a timings file): raises AppError
// with the reason when the file cannot be read, is no Orlenta history, is damaged, or has a newer
// schema than this program knows. Returns its schema version.
std::int64_t CheckHistoryToRead(const std::wstring& path);

// How long each AVE takes, by a history read as CheckHistoryToRead reads it: the median of its last
// ten passes that ran to their end. An AVE without such a pass is not in the map.
std::unordered_map<std::int32_t, double> HistoryTimings(const std::wstring& path);

// A merge attaches every shard's history at once; the engine is built to attach this many.
inline constexpr std::size_t kMostShardHistories = 125;

// What a merge of shards' histories did.
struct MergedNight {
    std::int64_t NightId = 0;  // the night it made, or the one that already held the shards' runs
    std::int64_t RunsAdded = 0;
    std::int64_t RunsHeld = 0;  // runs of the shards' histories that the history held already
};

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
    // A run is added as a night of its own (its id in `nightId`); without a uid it is given one.
    std::int64_t AddRun(const HistoryRun& run, std::int64_t* nightId = nullptr);
    void SetPlanned(std::int64_t runId, std::int64_t planned);
    void EndRun(const HistoryRun& run);
    std::int64_t AddPass(const HistoryPass& pass);
    // A whole run, its end and its passes, in one transaction, a night of its own; returns the run's id.
    std::int64_t AddWholeRun(const HistoryRun& run, const std::vector<HistoryPass>& passes);

    // Adds the runs of the shards' histories (each checked by CheckHistoryToRead, read through
    // ATTACH and never written) that this history does not hold yet, by their uid, as one new night
    // formed at `formed`, all in one transaction. Raises AppError naming the file when one cannot be
    // used, or when they hold no run at all; the history is then as it was. When every run was held
    // already, the night is the latest that holds them.
    MergedNight MergeShards(const std::vector<std::wstring>& shardFiles, const std::string& formed);

    // What UsualSeconds needs of an AVE, oldest first: its last `count` passes that passed and its
    // last `count` that ran to their end.
    std::vector<HistoryPass> RecentPasses(std::int32_t ave, std::size_t count);
    // Fills the rows' earlier runs and passes for tonight's AVEs: those of the nights before the
    // night of rows.Runs' first (all nights when it has none: a run the history does not hold).
    void ReadEarlier(NightRows& rows);
    // A night's rows: its runs, their passes with what hung ones showed (pictures as Base64 within
    // the page's bounds), and what came before.
    NightRows ReadNight(std::int64_t nightId);

private:
    std::int64_t InsertNight(const std::string& formed, const char* formedBy);
    std::int64_t InsertRun(const HistoryRun& run, std::int64_t nightId);
    std::int64_t InsertPass(const HistoryPass& pass);

    SqliteDatabase db_;
    SqliteStatement insertPass_;
    SqliteStatement insertWindow_;
    SqliteStatement insertLeft_;
    SqliteStatement recent_;
};

}  // namespace orlenta
