// The unattended mode's reading of its command line.
#include "frontend/UnattendedCommandLine.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "frontend/CommandLine.h"
#include "history/NightMerge.h"
#include "run/AveChoice.h"
#include "run/NumberText.h"
#include "run/RunValues.h"
#include "util/Text.h"

namespace orlenta {

namespace {

// A token that names the switch in some form: "-UNATTENDED", "/UNATTENDED", "UNATTEND", "-UNATTENDED=no",
// or misspells it: "-UNATENDED", "-UNATTNEDED", "-NATTENDED", an em dash before "UNATENDED".
bool NamesUnattended(const std::string& upperToken) {
    return upperToken.find("UNATTEND") != std::string::npos || IsNearlyUnattendedSwitch(upperToken);
}

// A merge of the shards' histories runs no pass and needs no folder: what it needs and what it refuses.
std::optional<std::string> MergeCommandLineRefusal(const std::vector<std::string_view>& given, const std::string& files) {
    const auto isGiven = [&](std::string_view name) { return std::find(given.begin(), given.end(), name) != given.end(); };
    if (MergeFileList(files).empty()) {
        return "no shard history in \"-MERGE=" + files + "\"";
    }
    if (!isGiven("-HISTORY=")) {
        return "-MERGE= adds the shards' histories to the history -HISTORY= names: give it";
    }
    for (const char* name : {"-AVES=", "-RERUN=", "-SHARD=", "-START=", "-STOP=", "-TIMINGS=", "-RETRY=", "-TIMEOUT=",
                             "-AUTOSTART", "-JUNIT="}) {
        if (isGiven(name)) {
            return std::string("-MERGE= runs no pass and writes no JUnit file: not with ") + name;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> UnattendedCommandLineRefusal(std::string_view commandLine) {
    if (std::count(commandLine.begin(), commandLine.end(), '"') % 2 != 0) {
        return "the quotes do not pair up";
    }
    const std::vector<std::string_view> names = CommandLineOptionNames();
    std::vector<std::string_view> seen;
    bool testingGiven = false;
    bool rangeGiven = false;
    bool listGiven = false;
    bool rerunGiven = false;
    bool timingsGiven = false;
    bool shardGiven = false;
    std::optional<std::string> merge;
    std::int64_t start = 1;
    std::int64_t stop = 213;
    std::string rest = TrimSpaces(commandLine);
    while (!rest.empty()) {
        const std::string token = NextToken(rest);
        const std::string upper = ToUpperText(token);
        // A name with a value starts the token; a switch is the whole token, nothing added.
        const auto name = std::find_if(names.begin(), names.end(), [&](std::string_view n) {
            return n.back() == '=' ? upper.rfind(n, 0) == 0 : upper == n;
        });
        if (name == names.end()) {
            return "unknown option \"" + token + "\"" +
                   (NamesUnattended(upper) ? "; did you mean -UNATTENDED?" : "");
        }
        if (std::find(seen.begin(), seen.end(), *name) != seen.end()) {
            return "the option " + std::string(*name) + " is given twice";
        }
        seen.push_back(*name);
        const std::string inside = upper.substr(name->size());
        if (std::any_of(names.begin(), names.end(), [&](std::string_view n) { return inside.find(n) != std::string::npos; })) {
            return "a second option inside \"" + token + "\"";
        }
        const std::string value = token.substr(name->size());
        if (*name == "-TESTING=" || *name == "-LOG=" || *name == "-JUNIT=" || *name == "-AVE=" || *name == "-KAVRO=" ||
            *name == "-RERUN=" || *name == "-HISTORY=" || *name == "-REPORT=" || *name == "-TIMINGS=" ||
            *name == "-MERGE=") {
            if (TrimSpaces(value).empty()) {
                return "no folder or file in \"" + token + "\"";
            }
            if (*name == "-MERGE=") {
                merge = value;
            }
            testingGiven = testingGiven || *name == "-TESTING=";
            rerunGiven = rerunGiven || *name == "-RERUN=";
            timingsGiven = timingsGiven || *name == "-TIMINGS=";
        } else if (*name == "-START=" || *name == "-STOP=") {
            const auto number = ReadWholeNumber(value, INT32_MIN, INT32_MAX, true);
            if (!number) {
                return "no whole 32-bit number in \"" + token + "\"";
            }
            (*name == "-START=" ? start : stop) = *number;
            rangeGiven = true;
        } else if (*name == "-AVES=") {
            const AveListReading list = ReadAveList(value);
            if (!list.Problem.empty()) {
                return list.Problem + " in \"" + token + "\"";
            }
            listGiven = true;
        } else if (*name == "-RETRY=" && !RetriesOf(value)) {
            return "no whole number of retries from 0 to " + std::to_string(kMostRetries) + " in \"" + token + "\"";
        } else if (*name == "-SHARD=" && !(shardGiven = ReadShard(value).has_value())) {
            return "no shard k/n with 1 <= k <= n in \"" + token + "\"";
        } else if (*name == "-TIMEOUT=" && !TimeLimitMinutes(value)) {
            return "no positive whole number of minutes in \"" + token + "\"";
        }
    }
    if (std::find(seen.begin(), seen.end(), std::string_view("-UNATTENDED")) == seen.end()) {
        return "the switch is not written exactly -UNATTENDED, so the run does not know it is unattended";
    }
    if (merge) {
        return MergeCommandLineRefusal(seen, *merge);
    }
    if (!testingGiven) {
        return "-TESTING= must be given: an unattended run deletes an existing testing folder";
    }
    if (rerunGiven && (listGiven || rangeGiven)) {
        return "-RERUN= takes its AVEs from the file: not with -AVES=, -START= or -STOP=";
    }
    if (listGiven && rangeGiven) {
        return "-AVES= takes the place of -START= and -STOP=: give one or the other";
    }
    if (start > stop) {
        return "the start number " + std::to_string(start) + " is above the stop number " + std::to_string(stop);
    }
    if (timingsGiven && !shardGiven) {
        return "-TIMINGS= deals the night's AVEs among its shards: give -SHARD=k/n with it";
    }
    // The deal spells the night's AVEs out, as a list does.
    if (timingsGiven && !listGiven && !rerunGiven && stop - start + 1 > kMostListedAves) {
        return "-TIMINGS= deals at most " + std::to_string(kMostListedAves) + " AVEs, and " + std::to_string(start) +
               " to " + std::to_string(stop) + " are more";
    }
    return std::nullopt;
}

bool MentionsUnattended(std::string_view commandLine) {
    std::string rest = TrimSpaces(commandLine);
    while (!rest.empty()) {
        if (NamesUnattended(ToUpperText(NextToken(rest)))) {
            return true;
        }
    }
    return false;
}

}  // namespace orlenta
