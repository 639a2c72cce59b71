// The settings of one test run, as the operator typed them or the command line gave them.
#pragma once

#include <array>
#include <string>

namespace orlenta {

inline constexpr int kAnalysisTypeCount = 5;

// Captions of the five analysis types, by their fixed index.
inline constexpr std::array<const char*, kAnalysisTypeCount> kAnalysisTypeCaptions = {
    "Linear", "Nonlinear", "Thermal", "Fluid", "Electrostatic"};

// What only the command line sets, for runs that nobody watches; the window has no control for it.
struct NightlyOptions {
    // Minutes a pass may take, as "-TIMEOUT=" gave them; empty for no limit.
    std::string PassTimeLimit;
    bool Unattended = false;  // "-UNATTENDED": no window, no box, an exit code
    std::string LogFile;      // "-LOG=": the run log
    std::string JUnitFile;    // "-JUNIT=": the passes as JUnit results
    std::string AveList;      // "-AVES=": AVE numbers and ranges, "3,17,40-45", instead of the range
    std::string RerunFile;    // "-RERUN=": a JUnit file whose failed and erred AVEs run again
    std::string Shard;        // "-SHARD=": "k/n", this machine's share of the AVEs
    std::string Retries;      // "-RETRY=": how many more times a failed pass runs, 0 to 5
    std::string TimingsFile;  // "-TIMINGS=": a JUnit file or history whose durations deal the shards
    std::string HistoryFile;  // "-HISTORY=": the history database every run adds to
    std::string ReportFile;   // "-REPORT=": the morning report, one HTML page
    // "-MERGE=": the shards' histories, separated by semicolons, to add to the "-HISTORY=" as one night
    std::string MergeFiles;
};

// Texts (UTF-8) are kept exactly as given; the run makes the folders full paths and converts the
// numbers when it starts.
struct RunSettings {
    std::string AVEFolder;
    std::string InstallationFolder;
    std::string TestingFolder;
    std::string StartIndex;
    std::string StopIndex;
    std::array<bool, kAnalysisTypeCount> AVEFilter{true, true, true, true, true};
    NightlyOptions Nightly;
};

}  // namespace orlenta
