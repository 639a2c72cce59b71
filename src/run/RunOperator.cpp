// Asking the shell to open the results page.
#include "run/RunOperator.h"

#include <windows.h>
#include <shellapi.h>

#include "util/Text.h"

namespace orlenta {

void RunOperator::OpenDocument(const std::string& strOperation, const std::string& strFile,
                               const std::string& strParameters, const std::string& strDirectory, long lShowCmd) {
    orlenta::OpenDocument(strOperation, strFile, strParameters, strDirectory, lShowCmd);
}

void OpenDocument(const std::string& strOperation, const std::string& strFile, const std::string& strParameters,
                  const std::string& strDirectory, long lShowCmd) {
    // The texts go to the shell in the system's code page; the run spells its folders in it.
    const auto ansi = [](const std::string& text) { return Utf8ToAnsiExactly(text).value_or(std::string()); };
    // Whether the shell found a program for the file is not the run's concern.
    ShellExecuteA(GetDesktopWindow(), ansi(strOperation).c_str(), ansi(strFile).c_str(), ansi(strParameters).c_str(),
                  ansi(strDirectory).c_str(), static_cast<int>(lShowCmd));
}

}  // namespace orlenta
