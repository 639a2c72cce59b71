// The run history: an SQLite database that every run adds its row and its passes' rows to, and the
// thin reading of the rows the morning report is made of.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/SqliteSupport.h"
#include "history/HistoryRows.h"

namespace orlenta {

// What the file says of itself in its header: SQLite's application id ("ORLH") and schema version.
inline constexpr std::int32_t kHistoryApplicationId = 0x4F524C48;
inline constexpr std::int64_t kHistorySchemaVersion = 1;

// True when the first bytes of a file are those of an Orlenta history (an SQLite database whose
// application id is ours).
bool IsOrlentaHistoryBytes(const std::string& beginning);

class RunHistory {
public:
    // Opens the history, or makes it with its schema when the file is new or empty. Raises
    // AppError when the file is no Orlenta history, has a newer schema, or cannot be opened. A file
    // that cannot be written opens for reading: then the writes raise.
    explicit RunHistory(const std::wstring& path);

    // Each write is one transaction; each raises the engine's error and leaves the history as it was.
    std::int64_t AddRun(const HistoryRun& run);
    void SetPlanned(std::int64_t runId, std::int64_t planned);
    void EndRun(const HistoryRun& run);
    std::int64_t AddPass(const HistoryPass& pass);

    // The durations of the AVE's last passes that ran to their end, newest first, at most `count`.
    std::vector<double> RecentSeconds(std::int32_t ave, std::size_t count);
    // Fills the rows' earlier runs and passes for tonight's AVEs (rows.Runs' first is tonight's run, or has id 0).
    void ReadEarlier(NightRows& rows);

private:
    SqliteDatabase db_;
    SqliteStatement insertPass_;
    SqliteStatement insertWindow_;
    SqliteStatement insertLeft_;
    SqliteStatement recent_;
};

}  // namespace orlenta
