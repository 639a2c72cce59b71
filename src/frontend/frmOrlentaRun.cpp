// frmOrlenta as the run's operator: starting a run, the stop question, the boxes and prompts, the
// status line, the progress bar and the controls' enabled state.
#include "frontend/frmOrlenta.h"

#include <commctrl.h>

#include "history/HistoryOperator.h"
#include "run/ReportingOperator.h"
#include "run/RunAutomation.h"
#include "run/RunFolderLock.h"
#include "run/RunOutputs.h"
#include "run/TestingFolderLock.h"
#include "util/AppPaths.h"
#include "util/AppError.h"
#include "util/Text.h"

namespace orlenta {

namespace {

constexpr long kInvalidPropertyValue = 380;

}  // namespace

void frmOrlenta::RunAutomation() {
    if (hwnd_ == nullptr) {
        return;
    }
    ++runDepth_;
    struct RunScope {
        int& depth;
        ~RunScope() { --depth; }
    } scope{runDepth_};
    stopRequested_ = false;
    // Two runs in one working folder would overwrite each other's input file.
    const std::wstring folder = CurrentFolder();
    std::string lockRefusal;
    const auto lock = RunFolderLock::Acquire(folder, lockRefusal);
    if (!lock) {
        ShowMessage(lockRefusal);
        return;
    }
    RunSettings settings = SettingsFromControls();
    const auto testingLock = TestingFolderLock::AcquireGiven(settings.TestingFolder, lockRefusal);
    if (!testingLock) {
        ShowMessage(lockRefusal);
        return;
    }
    settings.Nightly = settings_.Nightly;  // from the command line; the window has no controls for it
    // The window runs the range its fields show: a list, a rerun or a shard is for unattended runs.
    settings.Nightly.AveList.clear();
    settings.Nightly.RerunFile.clear();
    settings.Nightly.Shard.clear();
    // The operator watches the run and reruns what failed by hand.
    settings.Nightly.Retries.clear();
    // The folders may have changed in the window since start-up: the outputs are checked against them.
    RunOutputPaths outputs;
    auto refusal = MakeOutputPathsFull(settings.Nightly, outputs);
    if (!refusal) {
        refusal = RunOutputRefusal(settings, outputs, {ApplicationFolderPath(), ExecutablePath(), folder, L""},
                                   HistoryOutputFiles(outputs.History, outputs.Report));
    }
    if (refusal) {
        ShowMessage("Nothing was run: " + *refusal);
        return;
    }
    if (!outputs.Log.empty() && !log_) {
        try {
            log_ = std::make_unique<RunLog>(outputs.Log);
        } catch (const AppError& error) {
            ShowMessage("The run log " + WideToUtf8(outputs.Log) + " cannot be written: " + error.Description());
        }
    }
    if (log_ || !outputs.JUnit.empty() || !outputs.History.empty() || !outputs.Report.empty()) {
        HistoryOperator history(*this, log_.get(), outputs.History, outputs.Report);
        ReportingOperator reporter(history, log_.get(), outputs.JUnit);
        const RunResult result = orlenta::RunAutomation(settings, reporter, seams_.createShell);
        history.FinishRun(reporter.FinishRun(result, ExitCodeOf(result)));
    } else {
        orlenta::RunAutomation(settings, *this, seams_.createShell);
    }
}

void frmOrlenta::OnCloseDuringRun() {
    // Close messages may come again while the question is up, or after the answer was Yes.
    if (askingToStop_ || stopRequested_) {
        return;
    }
    askingToStop_ = true;
    struct Asking {
        bool& flag;
        ~Asking() { flag = false; }
    } asking{askingToStop_};
    if (seams_.askYesNo(hwnd_,
                        "A run is in progress. Stop it now? The current AVE's script and everything it started "
                        "will be ended.")) {
        stopRequested_ = true;
        closeRequested_ = true;
    }
}

void frmOrlenta::ShowMessage(const std::string& text) { seams_.showMessage(hwnd_, text); }

std::string frmOrlenta::InputBox(const std::string& prompt, const std::string& caption,
                                 const std::string& defaultAnswer) {
    return seams_.inputBox(hwnd_, prompt, caption, defaultAnswer);
}

void frmOrlenta::SetStatusText(const std::string& text) { SetWindowTextUtf8(Control("lblStatus"), text); }

void frmOrlenta::RefreshStatus() {
    RedrawWindow(Control("lblStatus"), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

namespace {

PBRANGE ProgressRange(HWND bar) {
    PBRANGE range{};
    SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    return range;
}

// The bar keeps minimum < maximum and its value between them; anything else is refused and leaves
// it unchanged, where the control itself would take it silently and show something else.
[[noreturn]] void RefuseProgressSetting() {
    throw AppError(kInvalidPropertyValue, "ProgressBar1", "Invalid property value");
}

}  // namespace

void frmOrlenta::SetProgressMinimum(long value) {
    HWND bar = Control("ProgressBar1");
    const PBRANGE range = ProgressRange(bar);
    if (value >= range.iHigh) {
        RefuseProgressSetting();
    }
    SendMessageW(bar, PBM_SETRANGE32, static_cast<WPARAM>(value), static_cast<LPARAM>(range.iHigh));
}

void frmOrlenta::SetProgressMaximum(long value) {
    HWND bar = Control("ProgressBar1");
    const PBRANGE range = ProgressRange(bar);
    if (value <= range.iLow) {
        RefuseProgressSetting();
    }
    SendMessageW(bar, PBM_SETRANGE32, static_cast<WPARAM>(range.iLow), static_cast<LPARAM>(value));
}

void frmOrlenta::SetProgressValue(long value) {
    HWND bar = Control("ProgressBar1");
    const PBRANGE range = ProgressRange(bar);
    if (value < range.iLow || value > range.iHigh) {
        RefuseProgressSetting();
    }
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

void frmOrlenta::EnableControls(bool bEnabled) {
    if (!bEnabled) {
        HWND focus = GetFocus();
        focusBeforeDisable_ = (focus != nullptr && IsChild(hwnd_, focus)) ? focus : nullptr;
    }
    for (const int row : order_) {
        HWND control = row < static_cast<int>(controls_.size()) ? controls_[static_cast<std::size_t>(row)] : nullptr;
        if (control == nullptr || !IsWindow(control)) {
            throw AppError::FromWin32(ERROR_INVALID_WINDOW_HANDLE, FormLayout()[static_cast<std::size_t>(row)].name);
        }
        EnableWindow(control, bEnabled ? TRUE : FALSE);
    }
    // A disabled control loses the focus; give it back so the keyboard works after a run.
    if (bEnabled && focusBeforeDisable_ != nullptr && GetFocus() == nullptr && GetActiveWindow() == hwnd_) {
        SetFocus(focusBeforeDisable_);
    }
    if (bEnabled) {
        focusBeforeDisable_ = nullptr;
    }
}

void frmOrlenta::OpenDocument(const std::string& strOperation, const std::string& strFile,
                              const std::string& strParameters, const std::string& strDirectory, long lShowCmd) {
    seams_.openDocument(strOperation, strFile, strParameters, strDirectory, lShowCmd);
}

}  // namespace orlenta
