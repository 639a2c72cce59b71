// The passes of a run as JUnit XML, the format every CI server reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "run/AveSelection.h"
#include "run/PassRecord.h"
#include "run/RunSettings.h"

namespace orlenta {

// What the file says beyond the passes that are final: the run's own testcase and the AVEs it has
// not run (yet). From the run's start to its end the file says the run did not finish, so a file
// left by a run that was killed is red and names every AVE that never ran.
struct JUnitTail {
    // Ended passes whose testcases are not final yet (an AVE that is to be tried again): written in
    // the tail, before the run's testcase, until they are settled.
    std::vector<PassRecord> Pending;
    bool Ended = false;   // the run's end is known: the run's testcase says how it ended
    std::string Failure;  // once ended: why the run ends with exit code 2; empty when it went through
    std::string Message;  // the message that ended it, when there was one
    AveSelection Planned;           // the AVEs the run is to take, in order
    std::int64_t FirstNotRun = 0;   // index in Planned of the first one not run (yet)
};

// Not-run AVEs listed one by one; any beyond them share one testcase "AveX to AveY" that says how
// many they are and lists them in the syntax of -AVES= (when a rerun could take them), so a range
// of two thousand million numbers still makes a file a CI server can read.
inline constexpr std::int64_t kListedNotRun = 1000;

// The run's own testcase while the run goes on: what a file left by a killed run says.
inline constexpr const char* kRunDidNotFinish = "the run did not finish";

// What a suite's opening tag counts.
struct JUnitCounts {
    std::int64_t tests = 0;
    std::int64_t failures = 0;
    std::int64_t errors = 0;
    std::int64_t skipped = 0;
    double seconds = 0;

    void Add(const PassRecord& pass);
};

// One testsuite "Orlenta" (or "Orlenta shard k/n") with its counts, total time, timestamp and host
// name, the folders and the five flags as properties, one testcase per settled pass, then the tail;
// after the declaration a comment that names Orlenta and the file's format. Texts and file in UTF-8.
std::string JUnitXml(const RunSettings& settings, const SYSTEMTIME& started, const std::string& hostName,
                     const std::vector<PassRecord>& settled, const JUnitTail& tail);

// What the file says of itself: true when it begins as this program's JUnit files begin (the
// declaration, then the comment that names Orlenta, or the suite "Orlenta" at once, as earlier
// versions wrote it).
bool IsOrlentaJUnitText(const std::string& text);

// The JUnit file of one run, true at every moment: a settled prefix (the head and the passes that
// are final) and a live tail (JUnitTail) that each change rewrites in one write from where the tail
// starts, padded with trailing white space where it got shorter; then the suite's counts are
// rewritten in their place of fixed width. A program killed at any moment leaves a well-formed file
// (its counts at worst one write behind its testcases), and the 3,000th pass costs what the first
// did: the tail holds at most kListedNotRun + 1 not-run testcases. The file is open only while it
// is written, so readers may come and go.
class JUnitReport {
public:
    JUnitReport(std::wstring path, const RunSettings& settings, const SYSTEMTIME& started);

    // Writes the XML beside the file and then puts it in the file's place, so a reader (or a run
    // that dies) never finds half a file. A file another program holds open refuses that: the move
    // is tried again for `patienceMs`, then the file is rewritten in place. Raises AppError when
    // both fail.
    void WriteWhole(const std::vector<PassRecord>& settled, const JUnitTail& tail, unsigned long patienceMs);

    // `newlySettled` added to the settled prefix and the tail rewritten, as above. Raises AppError
    // when no whole write came before, the file is no longer as the last write left it, or a write
    // fails; the caller then writes it whole.
    void Update(const std::vector<PassRecord>& newlySettled, const JUnitTail& tail);

private:
    std::wstring path_;
    RunSettings settings_;
    SYSTEMTIME started_{};
    std::string hostName_;
    bool live_ = false;            // the file is as the last write left it, so far as this knows
    JUnitCounts settled_;          // of the settled passes
    std::uint64_t countsAt_ = 0;   // where the counts of the suite's opening tag begin
    std::uint64_t tailAt_ = 0;     // where the tail begins
    std::string tailStart_;        // its first bytes, as written
    std::uint64_t closingAt_ = 0;  // where "</testsuite>" begins
    std::uint64_t end_ = 0;        // the file's size, padding included
};

// A file of one suite that says nothing ran, written whole (see JUnitReport::WriteWhole).
void WriteEmptyJUnitReport(const std::wstring& path, const RunSettings& settings, unsigned long patienceMs);

}  // namespace orlenta
