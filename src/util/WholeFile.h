// Files written whole, so a reader (or a run that dies) never finds half of one.
#pragma once

#include <string>

namespace orlenta {

// Writes the bytes beside the file and then puts them in the file's place. A file another program
// holds open refuses that: the move is tried again for `patienceMs`, then the file is rewritten in
// place. Raises AppError when both fail.
void ReplaceWholeFile(const std::wstring& path, const std::string& bytes, unsigned long patienceMs);

}  // namespace orlenta
