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

// How a run ended, for its last write: why it failed (the run's own testcase) and the AVEs it did
// not run (skipped testcases). Empty while the run goes on.
struct RunEnding {
    std::string Failure;   // empty when the run went through; otherwise why it ends with exit code 2
    std::string Message;   // the message that ended it, when there was one
    AveSelection Planned;  // the AVEs the run was to take, in order
    std::int64_t FirstNotRun = 0;  // index in Planned of the first one it did not run
};

// Skipped AVEs listed one by one; any beyond them share one testcase that says how many they are,
// so a range of two thousand million numbers still makes a file a CI server can read.
inline constexpr std::int64_t kListedNotRun = 1000;

// One testsuite "Orlenta" with its counts, total time, timestamp and host name, the folders and the
// five flags as properties, one testcase per pass, then the ending's testcases; texts and file in UTF-8.
std::string JUnitXml(const RunSettings& settings, const SYSTEMTIME& started, const std::string& hostName,
                     const std::vector<PassRecord>& passes, const RunEnding& ending = {});

// Writes the XML beside the file and then puts it in the file's place, so a reader (or a run that
// dies) never finds half a file. A file another program holds open refuses that: the move is tried
// again for `patienceMs`, then the file is rewritten in place. Raises AppError when both fail.
void WriteJUnitReport(const std::wstring& path, const RunSettings& settings, const SYSTEMTIME& started,
                      const std::vector<PassRecord>& passes, const RunEnding& ending, unsigned long patienceMs);

// What the file says of itself: true when it is a JUnit file of this program (its suite is ours).
bool IsOrlentaJUnitText(const std::string& text);

// The JUnit file of a run in progress, added to so that the 3,000th pass costs what the first did: a
// pass's testcase and the closing tag are written over the old closing tag, then the suite's counts
// are rewritten in their place of fixed width. Each is a single write, so a program killed at any
// moment leaves a well-formed file with every pass that had ended (at worst the counts lag one pass
// behind its testcases). The file is open only while a pass is added, so readers may come and go.
class JUnitAppender {
public:
    // Takes over the file WriteJUnitReport has just written for `passes`; raises AppError when it
    // cannot read it or it does not end as that writer ends its files.
    JUnitAppender(std::wstring path, const std::vector<PassRecord>& passes);

    // Raises AppError when the file is no longer as this left it or a write fails; the file then
    // still holds every earlier pass.
    void Append(const PassRecord& pass);

private:
    std::wstring path_;
    std::uint64_t closingAt_ = 0;  // where "</testsuite>" begins
    std::uint64_t countsAt_ = 0;   // where the counts of the suite's opening tag begin
    std::int64_t tests_ = 0;
    std::int64_t failures_ = 0;
    std::int64_t errors_ = 0;
    double seconds_ = 0;
};

}  // namespace orlenta
