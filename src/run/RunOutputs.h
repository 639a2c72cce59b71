// Where a run may write its log and its JUnit results: never over something it did not write.
#pragma once

#include <optional>
#include <string>

#include "run/RunSettings.h"

namespace orlenta {

struct RunOutputPlaces {
    std::string ApplicationFolder;  // the program's folder; its Files folder holds the script
    std::string ProgramPath;        // the running executable
    std::string WorkingFolder;      // where InputData.txt lies
    std::string DefaultLog;         // the log written when -LOG= is not given; empty for none
};

// Makes the output files of the command line full paths once, like the folders, so that every check
// and every write meets one form whatever the spelling; returns why one cannot be used, or nothing.
std::optional<std::string> MakeOutputPathsFull(NightlyOptions& nightly);

// Why the "-LOG=" or "-JUNIT=" file of `settings` must not be written, or nothing. Refused: a place
// inside the testing, AVE or installation folder or the program's Files folder (the run deletes or
// reads them); the program itself; InputData.txt or the lock file; the other output; a folder, or a
// file in a folder that does not exist; an existing file this program did not write (a JUnit file
// whose suite is not Orlenta's, a log that does not begin as Orlenta's logs begin). Folders are
// compared by what they are, not how they are spelled.
std::optional<std::string> RunOutputRefusal(const RunSettings& settings, const RunOutputPlaces& places);

}  // namespace orlenta
