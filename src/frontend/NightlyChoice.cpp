// The AVEs an unattended run takes besides its range.
#include "frontend/NightlyChoice.h"

#include <windows.h>

#include "history/RunHistory.h"
#include "run/JUnitRerun.h"
#include "run/RunValues.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Handles.h"
#include "util/LongPath.h"
#include "util/PathForm.h"
#include "util/Text.h"

namespace orlenta {

// The AVEs the command line chose in place of the range, or from it: the list, or the AVEs that
// failed or did not run in the rerun file (read before anything was written); then the shard of that.
AveChoice ChosenAves(const NightlyOptions& nightly, const std::optional<std::vector<std::int32_t>>& rerun,
                     const std::optional<AveDurations>& timings) {
    AveChoice choice;
    choice.Timings = timings;
    if (!nightly.AveList.empty()) {
        choice.List = ReadAveList(nightly.AveList).Numbers;
    }
    if (rerun) {
        choice.List = *rerun;
    }
    if (!nightly.Shard.empty()) {
        choice.Shard = ReadShard(nightly.Shard);
    }
    return choice;
}

// The seconds each AVE took by a timings file: an Orlenta history (the median of an AVE's last ten
// passes that ran to their end) or a JUnit file Orlenta wrote (its testcase's time), told apart by
// what the file holds, so its name and spelling count for nothing.
AveDurations TimingsOf(const std::string& file) {
    const PathForm form = FullPathForm(file);
    if (!form.usable()) {
        throw AppError(error_number::kInvalidArgument, ProgramName(),
                       form.refusal.empty() ? "it cannot be made a full path" : form.refusal);
    }
    const FileHandle handle(CreateFileW(ExtendedLengthPath(form.full).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        throw AppError::FromLastError();
    }
    std::string beginning(100, '\0');
    DWORD read = 0;
    ReadFile(handle.get(), beginning.data(), static_cast<DWORD>(beginning.size()), &read, nullptr);
    beginning.resize(read);
    if (beginning.rfind("SQLite format 3", 0) == 0) {
        if (!IsOrlentaHistoryBytes(beginning)) {
            throw AppError(error_number::kInvalidArgument, ProgramName(), "it is no Orlenta history");
        }
        return HistoryTimings(form.full);
    }
    return JUnitTimingsOf(form.full);
}

// "Planned: shard 2/4 3 h 12 min, the night's total / 4 3 h 11 min": what the deal gave this
// machine against the even share, so the CI server's slowest stage can be told in the morning.
void LogDurationPlan(const AveChoice& choice, const RunSettings& settings, RunLog& log) {
    try {
        const auto plan = choice.DurationPlan(ToInt32(settings.StartIndex), ToInt32(settings.StopIndex));
        if (plan && choice.Shard) {
            log.Line("Planned: shard " + ShardText(*choice.Shard) + " " + DurationText(plan->Shard.Total) + " (" +
                     std::to_string(plan->Shard.Aves.size()) + " AVEs), the night's total / " +
                     std::to_string(choice.Shard->N) + " " + DurationText(plan->NightTotal / static_cast<double>(choice.Shard->N)) +
                     ", dealt by the durations in " + settings.Nightly.TimingsFile);
        }
    } catch (const AppError&) {
        // Numbers that do not read: the run says so at its own step.
    }
}

// "3,6,10-1500", or every number when the list syntax cannot hold them.
std::string NumberList(const std::vector<std::int32_t>& numbers) {
    if (auto compact = AveListText(AveSelection::List(numbers))) {
        return *compact;
    }
    std::string text;
    for (const std::int32_t n : numbers) {
        text += (text.empty() ? "" : ",") + std::to_string(n);
    }
    return text;
}

}  // namespace orlenta
