// The merge of a night's shard histories into the site's history, for an unattended command line:
// what it logs, the night's report, and its exit code.
#pragma once

#include <string>
#include <vector>

#include "run/RunLog.h"

namespace orlenta {

// Adds the shards' histories (full paths) to the history as one night and writes that night's
// report when `reportPath` is not empty. Returns 0 when every AVE of the night passed and the night
// is whole, 1 when not, 2 when the merge could not be made (the history is then as it was). Each
// step and the reason of a failure go to the log; nothing is deleted.
int MergeShardNight(const std::vector<std::wstring>& shardFiles, const std::wstring& historyPath,
                    const std::wstring& reportPath, RunLog& log);

}  // namespace orlenta
