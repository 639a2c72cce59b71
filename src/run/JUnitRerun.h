// JUnit files Orlenta wrote, read with the platform's XML parser (MSXML): their testcases as
// records, and the AVEs a rerun takes from them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "run/AveDeal.h"

namespace orlenta {

enum class JUnitVerdict {
    Passed,
    Failed,   // a failure: the script returned non-zero
    Erred,    // an error: the pass timed out, was stopped or could not start; or the run's own testcase
    Skipped,  // skipped in a run that went through
    NotRun,   // skipped because its run did not finish (the suite's run testcase is in error)
};

// One testcase of an Orlenta suite.
struct JUnitCaseRecord {
    std::string Suite;      // "Orlenta", "Orlenta shard 2/4"
    std::string ClassName;  // "AVE"; "Orlenta" for the run's own testcase
    std::string Name;       // "Ave007", "Ave1001 to Ave2000" (AVEs not run, folded), "run"
    std::optional<double> Seconds;  // its time, when it reads as a number
    JUnitVerdict Verdict = JUnitVerdict::Passed;
    std::string Message;    // of its failure, error or skipped
    std::string Output;     // its system-out: of a folded testcase, the AVEs it stands for ("1001-2000")
    bool RunFinished = true;  // false when its suite's run testcase is in error
};

// Every testcase of every testsuite named "Orlenta" or "Orlenta shard k/n" in the file, which may
// hold one such testsuite or a CI server's merge of several under "testsuites", in file order.
// Raises AppError saying why when the file cannot be read (the parser's line, column and reason)
// or holds no such suite. COM must be initialised on the thread.
std::vector<JUnitCaseRecord> ReadOrlentaJUnit(const std::wstring& junitPath);

// The AVEs a rerun takes from the file, in number order, each once: those whose testcases hold a
// failure or an error, and those not run because their run did not finish (the ones a folded
// testcase lists included). Raises AppError when the file cannot be read, is not Orlenta's, or
// names more AVEs than a rerun takes (kMostListedAves) or a folded testcase that lists none.
std::vector<std::int32_t> AvesToRerunOf(const std::wstring& junitPath);

// The seconds each AVE took by the file, for dealing shards (-TIMINGS=): its testcase's time, for
// the testcases of AVEs that ran (passed, failed or erred); the last one counts where an AVE has
// several. Raises AppError as ReadOrlentaJUnit does.
AveDurations JUnitTimingsOf(const std::wstring& junitPath);

}  // namespace orlenta
