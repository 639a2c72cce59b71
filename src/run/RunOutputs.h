// Where a run may write its log, its JUnit results and its other records: never over something it did not write.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "run/RunSettings.h"

namespace orlenta {

struct RunOutputPlaces {
    std::wstring ApplicationFolder;  // the program's folder; its Files folder holds the script
    std::wstring ProgramPath;        // the running executable
    std::wstring WorkingFolder;      // where InputData.txt lies
    std::wstring DefaultLog;         // the log written when -LOG= is not given; empty for none
};

// The output files of the command line (log, JUnit results, history, report) as full paths, made
// once like the folders, so that every check and every write meets one form whatever the spelling.
struct RunOutputPaths {
    std::wstring Log;
    std::wstring JUnit;
    std::wstring History;
    std::wstring Report;
};

// Makes the paths full; returns why one cannot be used, or nothing. An option not given stays empty.
std::optional<std::string> MakeOutputPathsFull(const NightlyOptions& nightly, RunOutputPaths& paths);

// A file the run writes besides the log and the JUnit results (the history, the report): its option,
// what it is called in a refusal, its full path, and how to tell one this program wrote from the
// first bytes of an existing file (an empty file counts as new).
struct RunOutputFile {
    const char* Option;  // "-HISTORY="
    const char* What;    // "history"
    std::wstring Path;
    bool (*IsOurs)(const std::string& beginning);
    // An existing file that cannot be read now (another program holds it) is not refused: its
    // writer judges it when it can first read it, and leaves it alone when it is not its own.
    bool JudgedWhenReadable = false;
};

// Why one of the run's output files (the log, "-JUNIT=", and `more`) must not be written, or
// nothing. Refused: a place inside the testing, AVE or installation folder or the program's Files
// folder (the run deletes or reads them), also when the existing file there leads into one; the
// program itself; InputData.txt or the lock file; another of the outputs; a folder, or a file in a
// folder that does not exist; a link (also one that leads nowhere, which under Wine shows nothing)
// or a file of more than one name; an existing file this program did not write (a JUnit file whose
// suite is not Orlenta's, a log without the log's first line, and what `more` says of its own).
// Folders are compared by what they are, not how they are spelled. A drive's or a share's root is
// a folder like any other.
std::optional<std::string> RunOutputRefusal(const RunSettings& settings, const RunOutputPaths& outputs,
                                            const RunOutputPlaces& places, const std::vector<RunOutputFile>& more = {});

}  // namespace orlenta
