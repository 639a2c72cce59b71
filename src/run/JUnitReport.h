// The passes of a run as JUnit XML, the format every CI server reads.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "run/PassRecord.h"
#include "run/RunSettings.h"

namespace orlenta {

// One testsuite "Orlenta" with its counts, total time, timestamp and host name, the folders and the
// five flags as properties, and one testcase per pass. UTF-8, whatever the ANSI code page is.
std::string JUnitXml(const RunSettings& settings, const SYSTEMTIME& started, const std::string& hostName,
                     const std::vector<PassRecord>& passes);

// Writes the XML beside the file and then puts it in the file's place, so a reader (or a run that
// dies) never finds half a file. Raises AppError when it cannot.
void WriteJUnitReport(const std::string& path, const RunSettings& settings, const SYSTEMTIME& started,
                      const std::vector<PassRecord>& passes);

}  // namespace orlenta
