// Orlenta's entry point: COM for the user-interface thread, the main window, and its message loop.
#include <windows.h>
#include <objbase.h>

#include <exception>
#include <string>

#include "frontend/CodePageText.h"
#include "frontend/OperatorDialogs.h"
#include "frontend/StartUp.h"
#include "frontend/UnattendedMode.h"
#include "frontend/frmOrlenta.h"
#include "util/AppError.h"
#include "util/Text.h"

namespace {

// Owns the thread's apartment for the whole program; the folder picker needs it single-threaded.
class ComApartment {
public:
    ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (initialised_) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised_;
};

// The command line as the program was given it, every character kept, without the program's name.
std::string ProgramCommandLine() { return orlenta::CommandLineWithoutProgramName(orlenta::WideToUtf8(GetCommandLineW())); }

int RunProgram(int showCommand) {
    const std::string commandLine = ProgramCommandLine();
    orlenta::RunSettings options;
    orlenta::ParseCommandLine(commandLine, options);
    if (options.Nightly.Unattended || orlenta::MentionsUnattended(commandLine)) {
        return orlenta::RunUnattended(commandLine);
    }
    // The script is started by its path, which a script host may read in the system's code page.
    if (const auto problem = orlenta::UnspellableProgramFolderMessage()) {
        orlenta::ShowMessageBox(nullptr, *problem);
        return 1;
    }
    orlenta::frmOrlenta form;
    // An automatic run is complete when Load returns; only then is the window shown.
    form.Load(commandLine);
    if (form.hWnd() == nullptr) {
        return 0;
    }
    form.Show(showCommand);
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!form.TranslateDialogMessage(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

// An unexpected failure: a box for the operator at the window; nobody would dismiss one in an
// unattended run, so there it goes to the event log and the run ends with 2.
int ReportUnexpected(const std::string& text) {
    if (orlenta::MentionsUnattended(ProgramCommandLine())) {
        orlenta::ReportToEventLog("Unexpected failure: " + text);
        return 2;
    }
    orlenta::ShowMessageBox(nullptr, text);
    return 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
    ComApartment apartment;
    try {
        return RunProgram(showCommand);
    } catch (const orlenta::AppError& error) {
        return ReportUnexpected(error.Description());
    } catch (const std::exception& error) {
        return ReportUnexpected(error.what());
    } catch (...) {
        return ReportUnexpected("Unexpected failure");
    }
}
