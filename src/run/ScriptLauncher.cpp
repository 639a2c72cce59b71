// The program's own launcher for the external test script: the shell's file-type association, a job
// object that holds every process of the pass, and a wait that keeps the window's messages flowing
// and, once the pass is ended, has a bound.
#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <string_view>
#include <thread>

#include "run/PassJob.h"
#include "run/PassWindows.h"
#include "run/ScriptLauncherTestHook.h"
#include "run/ScriptShell.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Handles.h"
#include "util/Text.h"

namespace orlenta {

namespace {

// How long the processes of a pass the run ended may take to go: every wait after the end shares this
// bound, and what outlasts it could not be ended (a process stuck in I/O that cannot be cancelled).
constexpr DWORD kEndWaitMilliseconds = 30000;
// How long recording what a hung pass was showing may take, all its windows, texts and pictures.
constexpr DWORD kRecordWindowsMilliseconds = 5000;
// How long what is still in a pass's job after its script ended may take to go by itself.
constexpr DWORD kLeaveGraceMilliseconds = 1000;

struct PassProcessStandIn {
    HANDLE neverEnds = nullptr;
    DWORD endWaitMs = kEndWaitMilliseconds;
};

PassProcessStandIn& StandIn() {
    static PassProcessStandIn standIn;
    return standIn;
}

DWORD EndWaitMs() { return StandIn().neverEnds != nullptr ? StandIn().endWaitMs : kEndWaitMilliseconds; }

DWORD MillisecondsUntil(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1));
}

struct Target {
    std::wstring file;       // the document or program, without quotes
    std::wstring arguments;  // whatever followed it
};

std::wstring TrimmedWide(std::wstring_view text) {
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring_view::npos) {
        return {};
    }
    return std::wstring(text.substr(first, text.find_last_not_of(L' ') - first + 1));
}

// A quoted first item runs to its closing quote; an unquoted one to the first space.
Target SplitCommand(const std::string& command) {
    const std::wstring trimmed = TrimmedWide(Utf8ToWide(command));
    Target target;
    if (!trimmed.empty() && trimmed.front() == L'"') {
        const auto close = trimmed.find(L'"', 1);
        target.file = trimmed.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
        if (close != std::wstring::npos) {
            target.arguments = TrimmedWide(std::wstring_view(trimmed).substr(close + 1));
        }
    } else {
        const auto space = trimmed.find(L' ');
        target.file = trimmed.substr(0, space);
        if (space != std::wstring::npos) {
            target.arguments = TrimmedWide(std::wstring_view(trimmed).substr(space + 1));
        }
    }
    return target;
}

std::wstring Extension(const std::wstring& file) {
    const auto dot = file.find_last_of(L'.');
    const auto slash = file.find_last_of(L"\\/");
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) {
        return {};
    }
    std::wstring extension = file.substr(dot);
    CharLowerBuffW(extension.data(), static_cast<DWORD>(extension.size()));
    return extension;
}

// The association's command for the extension's default verb, as the shell would run it:
// "C:\windows\system32\wscript.exe" "%1" %* for a script, say.
std::wstring AssociatedCommand(const std::wstring& extension) {
    DWORD size = 0;
    HRESULT hr = AssocQueryStringW(ASSOCF_NOTRUNCATE, ASSOCSTR_COMMAND, extension.c_str(), nullptr, nullptr, &size);
    if (SUCCEEDED(hr) && size > 0) {
        std::wstring command(size, L'\0');
        hr = AssocQueryStringW(ASSOCF_NOTRUNCATE, ASSOCSTR_COMMAND, extension.c_str(), nullptr, command.data(), &size);
        if (SUCCEEDED(hr)) {
            command.resize(command.find(L'\0'));
            return command;
        }
    }
    // No program is registered for the file: the same answer the shell gives.
    throw AppError::FromWin32(ERROR_NO_ASSOCIATION, ProgramName());
}

// Fills the association's placeholders: %1 and %L the file, %* the arguments, %2 to %9 nothing.
std::wstring FillPlaceholders(const std::wstring& pattern, const Target& target) {
    std::wstring line;
    bool sawFile = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t next = i + 1 < pattern.size() ? pattern[i + 1] : L'\0';
        if (pattern[i] != L'%' || next == L'\0') {
            line += pattern[i];
        } else if (next == L'1' || next == L'L' || next == L'l') {
            line += target.file;
            sawFile = true;
            ++i;
        } else if (next == L'*') {
            line += target.arguments;
            ++i;
        } else if (next >= L'2' && next <= L'9') {
            ++i;
        } else {
            line += pattern[i];
        }
    }
    // An association without a placeholder still gets the file, as the shell would hand it over.
    if (!sawFile) {
        line += L" \"" + target.file + L"\"";
    }
    return line;
}

// The command line that runs `command` as the shell would open it.
std::wstring ResolveCommandLine(const std::string& command) {
    const Target target = SplitCommand(command);
    // The shell would refuse a missing file with an error of its own; here it is a failure to start.
    const DWORD attributes = target.file.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(target.file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        throw target.file.empty() ? AppError::FromWin32(ERROR_FILE_NOT_FOUND, ProgramName()) : AppError::FromLastError();
    }
    // A folder in the script's place is no script: the association would hand it on as one.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw AppError::FromWin32(ERROR_FILE_NOT_FOUND, ProgramName());
    }
    const std::wstring extension = Extension(target.file);
    if (extension == L".exe" || extension == L".com") {
        return L"\"" + target.file + L"\"" + (target.arguments.empty() ? L"" : L" " + target.arguments);
    }
    return FillPlaceholders(ExpandEnvironment(AssociatedCommand(extension)), target);
}

struct StartedPass {
    KernelHandle job;
    KernelHandle process;
    DWORD processId = 0;
    HANDLE waited = nullptr;  // what tells that the script has ended: its process, but for a test
};

// No box of the system's may hold a pass: a missing disk, a crash report or a file that cannot be
// opened is the failing call's error instead. Children inherit the error mode they are created with.
constexpr UINT kPassErrorMode = SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;

// Created suspended and put into the job before its first instruction, so no child it starts can
// be born outside the job.
StartedPass StartInJob(const std::wstring& commandLine, long windowStyle, bool endCrashingProcesses) {
    StartedPass pass{CreatePassJob(endCrashingProcesses), {}, 0};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(windowStyle);
    PROCESS_INFORMATION info{};
    std::wstring line = commandLine;
    const UINT errorMode = SetErrorMode(kPassErrorMode);
    const BOOL created = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                        nullptr, &startup, &info);
    const DWORD createError = GetLastError();
    SetErrorMode(errorMode);
    if (!created) {
        throw AppError::FromWin32(createError, ProgramName());
    }
    pass.process.reset(info.hProcess);
    pass.processId = info.dwProcessId;
    const KernelHandle thread(info.hThread);
    if (!AssignProcessToJobObject(pass.job.get(), info.hProcess)) {
        const AppError error = AppError::FromLastError();
        TerminateProcess(info.hProcess, 1);
        throw error;
    }
    if (ResumeThread(info.hThread) == static_cast<DWORD>(-1)) {
        const AppError error = AppError::FromLastError();
        TerminateJobObject(pass.job.get(), 1);
        throw error;
    }
    pass.waited = StandIn().neverEnds != nullptr ? StandIn().neverEnds : pass.process.get();
    return pass;
}

// Handles every waiting message; a quit request is kept for the caller's own loop.
void PumpMessages(bool& quit, WPARAM& quitCode) {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            quitCode = msg.wParam;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Waits for `process` until the deadline, handling the thread's messages meanwhile; true when it ended.
bool WaitHandlingMessages(HANDLE process, ULONGLONG deadline, bool& quit, WPARAM& quitCode) {
    for (;;) {
        const DWORD woken =
            MsgWaitForMultipleObjectsEx(1, &process, MillisecondsUntil(deadline), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0) {
            return true;
        }
        if (woken != WAIT_OBJECT_0 + 1) {
            return false;
        }
        PumpMessages(quit, quitCode);
    }
}

// Keeps a pass's time limit, and ends the pass for a stop, on a thread of its own: a box open on the
// run's thread (the About box, the stop question) holds that thread's wait, never the limit. Before
// a pass is ended, what its windows were showing is recorded. Everything it does is bounded, so
// that the run's thread can wait for it.
class PassWatch {
public:
    PassWatch(const StartedPass& pass, const PassLimits& limits)
        : pass_(pass),
          limits_(limits),
          stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          ended_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        if (!stop_ || !ended_) {
            throw AppError::FromLastError();
        }
        thread_ = std::thread([this] { Watch(); });
    }
    ~PassWatch() {
        if (thread_.joinable()) {
            Stop();
            thread_.join();
        }
    }
    PassWatch(const PassWatch&) = delete;
    PassWatch& operator=(const PassWatch&) = delete;

    void Stop() noexcept { SetEvent(stop_.get()); }

    // Set once the watch has ended the pass; from then on the pass has until Deadline() to go.
    HANDLE Ended() const noexcept { return ended_.get(); }
    ULONGLONG Deadline() const noexcept { return deadline_.load(); }
    // The watch began to end the pass (its limit or a stop), whichever the run's thread saw first.
    bool EndingBegan() const noexcept { return deadline_.load() != 0; }

    // After the pass's process has ended, or the run gave up waiting for it: how it ended, with what
    // the watch recorded.
    ScriptRun Finish(bool processEnded) {
        thread_.join();
        thread_ = std::thread();
        DWORD code = 0;
        if (processEnded) {
            GetExitCodeProcess(pass_.process.get(), &code);
        }
        // A process that ended by itself keeps its exit code, whatever arrived in the same moment.
        if (processEnded && (endedAs_ == PassOutcome::Exited || code != kEndedByRun)) {
            run_.Outcome = PassOutcome::Exited;
            run_.ExitCode = static_cast<long>(code);
        } else {
            run_.Outcome = endedAs_;
        }
        run_.CouldNotBeEnded = !processEnded || !allGone_;
        return std::move(run_);
    }

private:
    void Watch() {
        const HANDLE handles[] = {pass_.waited, stop_.get()};
        const DWORD limit = limits_.TimeLimit
                                ? static_cast<DWORD>(std::min<long long>(limits_.TimeLimit->count(), INFINITE - 1))
                                : INFINITE;
        const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, limit);
        if (woken == WAIT_OBJECT_0 || WaitForSingleObject(pass_.waited, 0) == WAIT_OBJECT_0) {
            return;
        }
        endedAs_ = woken == WAIT_TIMEOUT ? PassOutcome::TimedOut : PassOutcome::Stopped;
        if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
            PassWindows shown = RecordPassWindows(pass_.job.get(), limits_.PicturePrefix, kRecordWindowsMilliseconds);
            run_.Windows = std::move(shown.Lines);
            run_.Pictures = std::move(shown.Pictures);
            CoUninitialize();
        }
        const DWORD bound = EndWaitMs();
        deadline_ = GetTickCount64() + bound;
        JobEnding ending = EndJobProcesses(pass_.job.get(), pass_.processId, 0, bound);
        run_.LeftRunning = std::move(ending.Ended);
        allGone_ = ending.AllGone;
        // Whatever could not be ended through the job, the script itself is.
        TerminateProcess(pass_.process.get(), kEndedByRun);
        SetEvent(ended_.get());
    }

    const StartedPass& pass_;
    const PassLimits& limits_;
    KernelHandle stop_;
    KernelHandle ended_;
    std::atomic<ULONGLONG> deadline_{0};
    PassOutcome endedAs_ = PassOutcome::Exited;
    bool allGone_ = true;
    ScriptRun run_;
    std::thread thread_;
};

class ScriptLauncher final : public ScriptShell {
public:
    explicit ScriptLauncher(bool endCrashingProcesses) : endCrashingProcesses_(endCrashingProcesses) {}

    long Run(const std::string& command, long windowStyle, bool bWaitOnReturn) override {
        if (!bWaitOnReturn) {
            // Not waited for, so not owned either: the job is let go, and the process with it.
            StartedPass pass = StartInJob(ResolveCommandLine(command), windowStyle, false);
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION none{};
            SetInformationJobObject(pass.job.get(), JobObjectExtendedLimitInformation, &none, sizeof none);
            return 0;
        }
        return RunPass(command, windowStyle, {}).ExitCode;
    }

    std::optional<std::string> CannotStart(const std::string& command) override {
        try {
            ResolveCommandLine(command);
            return std::nullopt;
        } catch (const AppError& error) {
            return error.Description();
        }
    }

    ScriptRun RunPass(const std::string& command, long windowStyle, const PassLimits& limits) override {
        const StartedPass pass = StartInJob(ResolveCommandLine(command), windowStyle, endCrashingProcesses_);
        ScriptRun result;
        bool quit = false;
        WPARAM quitCode = 0;
        bool watchEndedIt = false;
        {
            PassWatch watch(pass, limits);
            const HANDLE waited[] = {pass.waited, watch.Ended()};
            bool processEnded = false;
            bool endedByWatch = false;
            for (bool stopping = false;;) {
                if (!stopping && limits.StopRequested && limits.StopRequested()) {
                    stopping = true;
                    watch.Stop();
                }
                const DWORD woken = MsgWaitForMultipleObjectsEx(2, waited, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
                if (woken == WAIT_OBJECT_0) {
                    processEnded = true;
                    break;
                }
                if (woken == WAIT_OBJECT_0 + 1) {
                    endedByWatch = true;
                    break;
                }
                if (woken == WAIT_OBJECT_0 + 2) {
                    PumpMessages(quit, quitCode);
                } else if (woken == WAIT_FAILED) {
                    const AppError error = AppError::FromLastError();
                    TerminateJobObject(pass.job.get(), kEndedByRun);
                    throw error;
                }
            }
            // An ended pass gets no longer than the bound its ending started, however it is stuck.
            if (endedByWatch) {
                processEnded = WaitHandlingMessages(pass.waited, watch.Deadline(), quit, quitCode);
            }
            result = watch.Finish(processEnded);
            watchEndedIt = watch.EndingBegan();
        }
        // However the pass ended, nothing it started runs into the next one; a pass the watch ended
        // has had its job ended and waited for already, within the one bound.
        if (!watchEndedIt) {
            JobEnding ending = EndJobProcesses(pass.job.get(), pass.processId, kLeaveGraceMilliseconds, EndWaitMs());
            for (std::string& left : ending.Ended) {
                result.LeftRunning.push_back(std::move(left));
            }
            result.CouldNotBeEnded = result.CouldNotBeEnded || !ending.AllGone;
        }
        if (quit) {
            PostQuitMessage(static_cast<int>(quitCode));
        }
        return result;
    }

private:
    bool endCrashingProcesses_;
};

}  // namespace

std::unique_ptr<ScriptShell> CreateScriptLauncher() { return std::make_unique<ScriptLauncher>(false); }

std::unique_ptr<ScriptShell> CreateNightlyScriptLauncher() { return std::make_unique<ScriptLauncher>(true); }

}  // namespace orlenta

namespace orlenta::test_hooks {

void SetPassProcessStandIn(HANDLE neverEnds, DWORD endWaitMs) { StandIn() = {neverEnds, endWaitMs}; }

}  // namespace orlenta::test_hooks
