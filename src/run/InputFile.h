// The input file the external test script reads, "InputData.txt" in the run's working folder: its
// lines in the system's code page, written whole before each pass, and never written or deleted
// through a link or a second name a site planted at its name.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "util/clsTextFile.h"

namespace orlenta {

inline constexpr const char* kInputFileName = "InputData.txt";

// A line of the input file in the system's code page, which the script reads it in; raises AppError
// for a text the code page cannot spell exactly.
std::string InputFileLine(const std::string& text);

// Why the run must not touch what is at the input file's name: a link, or a file of more than one
// name. Nothing when nothing is there or it is a plain file of one name.
std::optional<std::string> InputFileRefusal();

// Deletes the input file through a handle on the file that was checked; raises AppError when it
// cannot, or when it is not the run's own (InputFileRefusal).
void DeleteInputFile();

// The input file whole: its header lines (ANSI), then the number of every pass so far, the current
// one last, in one write, so nothing a script did to the file reaches the next pass and a script
// never finds half of it. Raises AppError when the name now holds a link or a file of other names.
void WriteInputFile(clsTextFile& writer, const std::vector<std::string>& header, const std::string& numbers);

}  // namespace orlenta
