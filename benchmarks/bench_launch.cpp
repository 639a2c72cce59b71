// Starts one command line and times it: to its exit ("exit" mode) or to its first visible top-level
// window ("window" mode). Whatever is still running at the deadline, or a window shown in "exit" mode
// (a program waiting for a person), is ended with every process it started.
// Usage: bench_launch exit|window DEADLINE_MS "COMMAND LINE"
// Prints one line: "ok MS EXITCODE", "window MS", "timeout MS" or "error TEXT".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "BenchSupport.h"
#include "util/Handles.h"

namespace {

using orlenta::KernelHandle;

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindVisibleWindow(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner == search->processId && IsWindowVisible(hwnd)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND VisibleWindowOf(DWORD processId) {
    WindowSearch search{processId, nullptr};
    EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int Fail(const char* what) {
    std::printf("error %s failed (%lu)\n", what, GetLastError());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_launch exit|window DEADLINE_MS \"COMMAND LINE\"\n");
        return 2;
    }
    const bool untilWindow = std::string(argv[1]) == "window";
    const double deadline = std::atof(argv[2]);
    std::string commandLine = argv[3];

    // The job holds the program and everything it starts, so a kill at the deadline leaves nothing behind.
    KernelHandle job(CreateJobObjectA(nullptr, nullptr));
    if (!job) {
        return Fail("CreateJobObject");
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const double start = orlenta::bench::NowMs();
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &process)) {
        return Fail("CreateProcess");
    }
    KernelHandle processHandle(process.hProcess);
    KernelHandle threadHandle(process.hThread);
    AssignProcessToJobObject(job.get(), processHandle.get());
    ResumeThread(threadHandle.get());

    for (;;) {
        const DWORD wait = WaitForSingleObject(processHandle.get(), untilWindow ? 1 : 10);
        const double elapsed = orlenta::bench::NowMs() - start;
        if (wait == WAIT_OBJECT_0) {
            if (untilWindow) {
                std::printf("error exited before showing a window\n");
                return 1;
            }
            DWORD exitCode = 0;
            GetExitCodeProcess(processHandle.get(), &exitCode);
            std::printf("ok %.3f %lu\n", elapsed, exitCode);
            return 0;
        }
        if (const HWND window = VisibleWindowOf(process.dwProcessId)) {
            std::printf("window %.3f\n", elapsed);
            std::fflush(stdout);
            // Closed as an operator would, so the program ends its own way; the job ends it otherwise.
            PostMessageA(window, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(processHandle.get(), 10000) != WAIT_OBJECT_0) {
                TerminateJobObject(job.get(), 1);
            }
            return untilWindow ? 0 : 1;
        }
        if (elapsed > deadline) {
            std::printf("timeout %.3f\n", elapsed);
            TerminateJobObject(job.get(), 1);
            return 1;
        }
    }
}
