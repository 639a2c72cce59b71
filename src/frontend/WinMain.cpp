// Orlenta's entry point: start-up sequence, and an automatic run when the command line asks for one.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <exception>

#include "frontend/OperatorDialogs.h"
#include "frontend/StartUp.h"
#include "run/RunAutomation.h"
#include "util/AppError.h"

namespace {

// Until the main window exists the run talks to the operator through plain boxes and prompts.
class WindowlessOperator final : public orlenta::RunOperator {
public:
    void ShowMessage(const std::string& text) override { orlenta::ShowMessageBox(nullptr, text); }
    std::string InputBox(const std::string& prompt, const std::string& caption,
                         const std::string& defaultAnswer) override {
        return orlenta::ShowInputBox(nullptr, prompt, caption, defaultAnswer);
    }
    void SetStatusText(const std::string&) override {}
    void RefreshStatus() override {}
    void SetProgressMinimum(long) override {}
    void SetProgressMaximum(long) override {}
    void SetProgressValue(long) override {}
    void EnableControls(bool) override {}
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    InitCommonControls();
    try {
        orlenta::RunSettings settings;
        const std::string commandLine = orlenta::CommandLineWithoutProgramName(GetCommandLineA());
        if (orlenta::RunStartUpSequence(settings, commandLine)) {
            WindowlessOperator op;
            orlenta::RunAutomation(settings, op, orlenta::CreateWScriptShell);
        }
    } catch (const orlenta::AppError& error) {
        orlenta::ShowMessageBox(nullptr, error.Description());
    } catch (const std::exception& error) {
        orlenta::ShowMessageBox(nullptr, error.what());
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return 0;
}
