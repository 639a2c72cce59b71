// How a run reaches the operator and the window that started it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "run/AveSelection.h"
#include "run/PassRecord.h"
#include "run/RunSettings.h"

namespace orlenta {

// The main window implements this; tests answer prompts and record what the run shows.
class RunOperator {
public:
    virtual ~RunOperator() = default;

    // A modal message box with the OK button only and the caption "KavroScript".
    virtual void ShowMessage(const std::string& text) = 0;
    // A modal input prompt; OK gives the field's text, Cancel gives empty text.
    virtual std::string InputBox(const std::string& prompt, const std::string& caption,
                                 const std::string& defaultAnswer) = 0;
    // The status line: set its caption, and repaint it at once.
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void RefreshStatus() = 0;
    // The progress bar; a value the control rejects is raised as an error.
    virtual void SetProgressMinimum(long value) = 0;
    virtual void SetProgressMaximum(long value) = 0;
    virtual void SetProgressValue(long value) = 0;
    // Every control of the window, in the window's order.
    virtual void EnableControls(bool bEnabled) = 0;
    // Asks the shell to apply a verb to a file; by default the real ShellExecuteA.
    virtual void OpenDocument(const std::string& strOperation, const std::string& strFile,
                              const std::string& strParameters, const std::string& strDirectory, long lShowCmd);

    // What happens to the run, for those who keep a record of it; nothing by default.
    virtual void RunStarted(const RunSettings&) {}
    // The AVEs the run is about to take, in order, once it has reached its passes.
    virtual void PassesPlanned(const AveSelection&) {}
    virtual void PassStarted(const PassRecord&) {}
    // What a pass of this AVE usually takes by the record of earlier runs (the median of its last
    // passes), for the time left that the log shows; nothing when no record knows the AVE.
    virtual std::optional<double> UsualSeconds(std::int32_t /*aveNumber*/) { return std::nullopt; }
    virtual void PassEnded(const PassRecord&) {}
    // True once the operator has asked the run to stop: the current pass ends, the rest are skipped.
    // Asked between passes and whenever a pass's wait has handled the thread's messages.
    virtual bool StopRequested() { return false; }
    // The folder where pictures of a hung pass's windows go; none by default.
    virtual std::wstring PicturesFolder() { return {}; }
};

// ShellExecuteA with the desktop window as owner; the result is not examined.
void OpenDocument(const std::string& strOperation, const std::string& strFile, const std::string& strParameters,
                  const std::string& strDirectory, long lShowCmd);

}  // namespace orlenta
