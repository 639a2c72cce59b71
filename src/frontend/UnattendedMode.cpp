// Unattended runs: the run reaches nobody but its log; a stop request is a close message to a hidden
// window (as taskkill sends it) or a console's Ctrl+C.
#include "frontend/UnattendedMode.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>

#include <windows.h>

#include "frontend/CodePageText.h"
#include "frontend/StartUp.h"
#include "run/ReportingOperator.h"
#include "run/RunAutomation.h"
#include "run/RunFolderLock.h"
#include "run/RunLog.h"
#include "run/RunValues.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Handles.h"
#include "util/PathForm.h"
#include "util/Text.h"

namespace orlenta {

namespace {

constexpr const char* kDefaultLogName = "Orlenta.log";
constexpr const char* kStopWindowClass = "OrlentaUnattended";
constexpr int kRefused = 2;

// A whole 32-bit number: an optional sign and digits, nothing else.
bool IsWhole32BitNumber(const std::string& text) {
    const size_t digits = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (text.size() == digits || text.size() - digits > 10 ||
        text.find_first_not_of("0123456789", digits) != std::string::npos) {
        return false;
    }
    const long long value = std::stoll(text);
    return value >= INT32_MIN && value <= INT32_MAX;
}

// The operator of a run that nobody watches: every prompt is answered as OK on its default would
// answer it, nothing is shown, and the record of it all is the reporting operator's.
class UnattendedOperator final : public RunOperator {
public:
    explicit UnattendedOperator(const std::atomic<bool>& stop) : stop_(stop) {}

    void ShowMessage(const std::string&) override {}
    std::string InputBox(const std::string&, const std::string&, const std::string& defaultAnswer) override {
        return defaultAnswer;
    }
    void SetStatusText(const std::string&) override {}
    void RefreshStatus() override {}
    void SetProgressMinimum(long) override {}
    void SetProgressMaximum(long) override {}
    void SetProgressValue(long) override {}
    void EnableControls(bool) override {}
    void OpenDocument(const std::string&, const std::string&, const std::string&, const std::string&, long) override {}
    bool StopRequested() override { return stop_; }

private:
    const std::atomic<bool>& stop_;
};

std::atomic<bool> g_stopRequested{false};
std::atomic<HWND> g_stopWindow{nullptr};

// A close message, the way taskkill without /F asks a program to end, is a stop request.
LRESULT CALLBACK StopWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE || message == WM_QUERYENDSESSION) {
        g_stopRequested = true;
        return message == WM_QUERYENDSESSION ? TRUE : 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Ctrl+C or Ctrl+Break in the console comes on a thread of its own: it becomes a close message, so
// the run's thread sees it where it sees every other stop request.
BOOL WINAPI OnConsoleControl(DWORD) {
    if (const HWND window = g_stopWindow.load()) {
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    g_stopRequested = true;
    return TRUE;
}

// Never shown: it is there to receive close messages, which only top-level windows get.
struct StopWindowTraits {
    using value_type = HWND;
    static HWND empty() noexcept { return nullptr; }
    static void close(HWND window) noexcept { DestroyWindow(window); }
};

UniqueResource<StopWindowTraits> CreateStopWindow() {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = StopWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kStopWindowClass;
    RegisterClassA(&windowClass);
    return UniqueResource<StopWindowTraits>(CreateWindowExA(0, kStopWindowClass, "Orlenta", WS_OVERLAPPED, 0, 0, 0,
                                                            0, nullptr, nullptr, instance, nullptr));
}

// Where the log's lines are echoed: the caller's redirected output, or the console it was started
// from. Returns the handle (owned by `owned` when it was opened here) or null.
HANDLE ConsoleEcho(FileHandle& owned) {
    const bool attached = AttachConsole(ATTACH_PARENT_PROCESS) != FALSE;
    if (attached) {
        SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    }
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output != nullptr && output != INVALID_HANDLE_VALUE && GetFileType(output) != FILE_TYPE_UNKNOWN) {
        return output;
    }
    if (attached) {
        owned.reset(CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
        return owned ? owned.get() : nullptr;
    }
    return nullptr;
}

int CountFailedPasses(const RunResult& result) {
    return static_cast<int>(std::count_if(result.Passes.begin(), result.Passes.end(),
                                          [](const PassRecord& pass) { return !pass.Passed(); }));
}

}  // namespace

std::optional<std::string> UnattendedCommandLineRefusal(std::string_view commandLine) {
    if (std::count(commandLine.begin(), commandLine.end(), '"') % 2 != 0) {
        return "the quotes do not pair up";
    }
    const std::vector<std::string_view> names = CommandLineOptionNames();
    bool testingGiven = false;
    std::string start = "1";
    std::string stop = "213";
    std::string rest = TrimSpaces(commandLine);
    while (!rest.empty()) {
        const std::string token = NextToken(rest);
        const std::string upper = ToUpperText(token);
        const auto name = std::find_if(names.begin(), names.end(),
                                       [&](std::string_view n) { return upper.rfind(n, 0) == 0; });
        if (name == names.end()) {
            return "unknown option \"" + token + "\"";
        }
        const std::string inside = upper.substr(name->size());
        if (std::any_of(names.begin(), names.end(), [&](std::string_view n) { return inside.find(n) != std::string::npos; })) {
            return "a second option inside \"" + token + "\"";
        }
        const std::string value = token.substr(name->size());
        if (*name == "-TESTING=" || *name == "-LOG=" || *name == "-JUNIT=" || *name == "-AVE=" || *name == "-KAVRO=") {
            if (TrimSpaces(value).empty()) {
                return "no folder or file in \"" + token + "\"";
            }
            testingGiven = testingGiven || *name == "-TESTING=";
        } else if (*name == "-START=" || *name == "-STOP=") {
            if (!IsWhole32BitNumber(value)) {
                return "no whole 32-bit number in \"" + token + "\"";
            }
            (*name == "-START=" ? start : stop) = value;
        } else if (*name == "-TIMEOUT=" && !TimeLimitMinutes(value)) {
            return "no positive whole number of minutes in \"" + token + "\"";
        }
    }
    if (!testingGiven) {
        return "-TESTING= must be given: an unattended run deletes an existing testing folder";
    }
    if (std::stoll(start) > std::stoll(stop)) {
        return "the start number " + start + " is above the stop number " + stop;
    }
    return std::nullopt;
}

int RunUnattended(std::string_view commandLine) {
    RunSettings settings;
    RunStartUpSequence(settings, commandLine);
    FileHandle ownedEcho;
    const HANDLE echo = ConsoleEcho(ownedEcho);

    const std::string logPath = settings.Nightly.LogFile.empty() ? kDefaultLogName : settings.Nightly.LogFile;
    // The log and the JUnit file are made full once, like the folders, so a later change of the
    // current directory cannot move them.
    const PathForm logForm = FullPathForm(logPath);
    std::unique_ptr<RunLog> log;
    try {
        if (!logForm.usable()) {
            throw AppError(75, ProgramName(), logForm.refusal.empty() ? "Path/File access error" : logForm.refusal);
        }
        log = std::make_unique<RunLog>(logForm.full, echo);
    } catch (const AppError& error) {
        if (echo != nullptr) {
            const std::string line = "The run log " + logPath + " cannot be written: " + error.Description() + "\r\n";
            DWORD written = 0;
            WriteFile(echo, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        }
        return kRefused;
    }
    // A value the ANSI code page cannot spell would reach the run with "?" in it.
    auto refusal = UnspellableCommandLineMessage(GetCommandLineW());
    if (!refusal) {
        refusal = UnattendedCommandLineRefusal(commandLine);
    }
    if (!refusal && !settings.Nightly.JUnitFile.empty()) {
        const PathForm junit = FullPathForm(settings.Nightly.JUnitFile);
        if (junit.usable()) {
            settings.Nightly.JUnitFile = junit.full;
        } else {
            refusal = "the JUnit file " + settings.Nightly.JUnitFile + " cannot be used" +
                      (junit.refusal.empty() ? std::string() : ": " + junit.refusal);
        }
    }
    if (refusal) {
        log->Line("Command line refused: " + *refusal);
        log->Line("Run ends: nothing deleted, nothing run; exit code 2");
        return kRefused;
    }

    const auto stopWindow = CreateStopWindow();
    g_stopWindow = stopWindow.get();
    const std::string folder = CurrentFolder();
    const auto lock = RunFolderLock::Acquire(folder);
    if (!lock) {
        log->Line("Another run is using " + folder + ".");
        log->Line("Run ends: nothing deleted, nothing run; exit code 2");
        return kRefused;
    }

    UnattendedOperator nobody(g_stopRequested);
    ReportingOperator reporter(nobody, log.get(), settings.Nightly.JUnitFile);
    const RunResult result = RunAutomation(settings, reporter, CreateScriptLauncher);
    const int exitCode = ExitCodeOf(result);
    log->Line("Run ends: " + std::to_string(result.Passes.size()) + " passes, " +
              std::to_string(CountFailedPasses(result)) + " failed" + (result.Stopped ? ", stopped" : "") +
              "; exit code " + std::to_string(exitCode));
    g_stopWindow = nullptr;
    return exitCode;
}

}  // namespace orlenta
