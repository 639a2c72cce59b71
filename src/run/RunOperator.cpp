// Asking the shell to open the results page.
#include "run/RunOperator.h"

#include <windows.h>
#include <shellapi.h>

namespace orlenta {

void RunOperator::OpenDocument(const std::string& strOperation, const std::string& strFile,
                               const std::string& strParameters, const std::string& strDirectory, long lShowCmd) {
    orlenta::OpenDocument(strOperation, strFile, strParameters, strDirectory, lShowCmd);
}

void OpenDocument(const std::string& strOperation, const std::string& strFile, const std::string& strParameters,
                  const std::string& strDirectory, long lShowCmd) {
    // Whether the shell found a program for the file is not the run's concern.
    ShellExecuteA(GetDesktopWindow(), strOperation.c_str(), strFile.c_str(), strParameters.c_str(),
                  strDirectory.c_str(), static_cast<int>(lShowCmd));
}

}  // namespace orlenta
