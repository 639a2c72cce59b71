// The program's own launcher for the external test script: the shell's file-type association, a job
// object that holds every process of the pass, and a wait that keeps the window's messages flowing.
#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <string_view>

#include "run/ScriptShell.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/Handles.h"
#include "util/Text.h"

namespace orlenta {

namespace {

// How long an ended job may take to let its last process go.
constexpr DWORD kEndGraceMilliseconds = 10000;

struct Target {
    std::string file;       // the document or program, without quotes
    std::string arguments;  // whatever followed it
};

// A quoted first item runs to its closing quote; an unquoted one to the first space.
Target SplitCommand(const std::string& command) {
    const std::string trimmed = TrimSpaces(command);
    Target target;
    if (!trimmed.empty() && trimmed.front() == '"') {
        const auto close = trimmed.find('"', 1);
        target.file = trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        if (close != std::string::npos) {
            target.arguments = TrimSpaces(std::string_view(trimmed).substr(close + 1));
        }
    } else {
        const auto space = trimmed.find(' ');
        target.file = trimmed.substr(0, space);
        if (space != std::string::npos) {
            target.arguments = TrimSpaces(std::string_view(trimmed).substr(space + 1));
        }
    }
    return target;
}

std::string Extension(const std::string& file) {
    const auto dot = file.find_last_of('.');
    const auto slash = file.find_last_of("\\/");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    return ToLowerText(file.substr(dot));
}

// The association's command for the extension's default verb, as the shell would run it:
// "C:\windows\system32\wscript.exe" "%1" %* for a script, say.
std::string AssociatedCommand(const std::string& extension) {
    DWORD size = 0;
    HRESULT hr = AssocQueryStringA(ASSOCF_NOTRUNCATE, ASSOCSTR_COMMAND, extension.c_str(), nullptr, nullptr, &size);
    if (SUCCEEDED(hr) && size > 0) {
        std::string command(size, '\0');
        hr = AssocQueryStringA(ASSOCF_NOTRUNCATE, ASSOCSTR_COMMAND, extension.c_str(), nullptr, command.data(), &size);
        if (SUCCEEDED(hr)) {
            command.resize(command.find('\0'));
            return command;
        }
    }
    // No program is registered for the file: the same answer the shell gives.
    throw AppError::FromWin32(ERROR_NO_ASSOCIATION, ProgramName());
}

// Fills the association's placeholders: %1 and %L the file, %* the arguments, %2 to %9 nothing.
std::string FillPlaceholders(const std::string& pattern, const Target& target) {
    std::string line;
    bool sawFile = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (pattern[i] != '%' || next == '\0') {
            line += pattern[i];
        } else if (next == '1' || next == 'L' || next == 'l') {
            line += target.file;
            sawFile = true;
            ++i;
        } else if (next == '*') {
            line += target.arguments;
            ++i;
        } else if (next >= '2' && next <= '9') {
            ++i;
        } else {
            line += pattern[i];
        }
    }
    // An association without a placeholder still gets the file, as the shell would hand it over.
    if (!sawFile) {
        line += " \"" + target.file + "\"";
    }
    return line;
}

// The command line that runs `command` as the shell would open it.
std::string ResolveCommandLine(const std::string& command) {
    const Target target = SplitCommand(command);
    // The shell would refuse a missing file with an error of its own; here it is a failure to start.
    const DWORD attributes = GetFileAttributesA(target.file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        throw AppError::FromLastError();
    }
    // A folder in the script's place is no script: the association would hand it on as one.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw AppError::FromWin32(ERROR_FILE_NOT_FOUND, ProgramName());
    }
    const std::string extension = Extension(target.file);
    if (extension == ".exe" || extension == ".com") {
        return "\"" + target.file + "\"" + (target.arguments.empty() ? "" : " " + target.arguments);
    }
    return FillPlaceholders(ExpandEnvironment(AssociatedCommand(extension)), target);
}

// A job whose processes all end when it is closed: nothing of a pass outlives it.
KernelHandle CreatePassJob() {
    KernelHandle job(CreateJobObjectA(nullptr, nullptr));
    if (!job) {
        throw AppError::FromLastError();
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        throw AppError::FromLastError();
    }
    return job;
}

struct StartedPass {
    KernelHandle job;
    KernelHandle process;
};

// Created suspended and put into the job before its first instruction, so no child it starts can
// be born outside the job.
StartedPass StartInJob(const std::string& commandLine, long windowStyle) {
    StartedPass pass{CreatePassJob(), {}};
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(windowStyle);
    PROCESS_INFORMATION info{};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &info)) {
        throw AppError::FromLastError();
    }
    pass.process.reset(info.hProcess);
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
    return pass;
}

// Handles every waiting message; a quit request is kept for the caller's own loop.
void PumpMessages(bool& quit, WPARAM& quitCode) {
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            quitCode = msg.wParam;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

class ScriptLauncher final : public ScriptShell {
public:
    long Run(const std::string& command, long windowStyle, bool bWaitOnReturn) override {
        if (!bWaitOnReturn) {
            // Not waited for, so not owned either: the job is let go, and the process with it.
            StartedPass pass = StartInJob(ResolveCommandLine(command), windowStyle);
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION none{};
            SetInformationJobObject(pass.job.get(), JobObjectExtendedLimitInformation, &none, sizeof none);
            return 0;
        }
        return RunPass(command, windowStyle, {}).ExitCode;
    }

    ScriptRun RunPass(const std::string& command, long windowStyle, const PassLimits& limits) override {
        const StartedPass pass = StartInJob(ResolveCommandLine(command), windowStyle);
        const ULONGLONG deadline =
            limits.TimeLimit ? GetTickCount64() + static_cast<ULONGLONG>(limits.TimeLimit->count()) : 0;
        bool quit = false;
        WPARAM quitCode = 0;
        ScriptRun result;
        for (;;) {
            if (limits.StopRequested && limits.StopRequested()) {
                result.Outcome = PassOutcome::Stopped;
                break;
            }
            DWORD timeout = INFINITE;
            if (limits.TimeLimit) {
                const ULONGLONG now = GetTickCount64();
                if (now >= deadline) {
                    result.Outcome = PassOutcome::TimedOut;
                    break;
                }
                timeout = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1));
            }
            HANDLE process = pass.process.get();
            const DWORD woken = MsgWaitForMultipleObjectsEx(1, &process, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            if (woken == WAIT_OBJECT_0) {
                DWORD code = 0;
                GetExitCodeProcess(process, &code);
                result.ExitCode = static_cast<long>(code);
                break;
            }
            if (woken == WAIT_OBJECT_0 + 1) {
                PumpMessages(quit, quitCode);
            } else if (woken == WAIT_FAILED) {
                const AppError error = AppError::FromLastError();
                TerminateJobObject(pass.job.get(), 1);
                throw error;
            }
        }
        if (result.Outcome != PassOutcome::Exited && WaitForSingleObject(pass.process.get(), 0) == WAIT_OBJECT_0) {
            // It ended while the stop or the deadline was being noticed: its exit code stands.
            DWORD code = 0;
            GetExitCodeProcess(pass.process.get(), &code);
            result = {PassOutcome::Exited, static_cast<long>(code)};
        }
        if (result.Outcome != PassOutcome::Exited) {
            // The script and everything it started end together; the job keeps none of them alive.
            TerminateJobObject(pass.job.get(), ERROR_CANCELLED);
            WaitForSingleObject(pass.process.get(), kEndGraceMilliseconds);
        }
        if (quit) {
            PostQuitMessage(static_cast<int>(quitCode));
        }
        // Leaving closes the job: whatever the script left running ends with its pass.
        return result;
    }
};

}  // namespace

std::unique_ptr<ScriptShell> CreateScriptLauncher() { return std::make_unique<ScriptLauncher>(); }

}  // namespace orlenta
