// Stop requests of an unattended run: a close message to its hidden window (as taskkill sends it),
// a logoff or shutdown, or a console's Ctrl+C, close, logoff or shutdown.
#include "frontend/UnattendedStop.h"

#include <atomic>

#include "util/Handles.h"

namespace orlenta {

namespace {

constexpr const char* kStopWindowClass = "OrlentaUnattended";
constexpr UINT kEndStopWindow = WM_APP + 1;
// What the system allows a handler after a console close, logoff or shutdown, less a margin.
constexpr DWORD kCloseGraceMilliseconds = 4500;

std::atomic<bool> g_stopRequested{false};
std::atomic<DWORD> g_runThread{0};
// Set once the run's records are final: a console close or a logoff waits for it before the system
// ends the process.
KernelHandle g_recordsFinal(CreateEventA(nullptr, TRUE, FALSE, nullptr));
std::atomic<int> g_exitCode{2};

// The run's thread waits in a pass with its message queue watched: a thread message wakes it to
// look at the flag.
void RequestStop() {
    g_stopRequested = true;
    if (const DWORD thread = g_runThread.load()) {
        PostThreadMessageA(thread, WM_NULL, 0, 0);
    }
}

// Ended here with the run's own exit code, before the system ends it with one of its own.
[[noreturn]] void EndWithTheRunsExitCode() { ExitProcess(static_cast<UINT>(g_exitCode.load())); }

// A close message, the way taskkill without /F asks a program to end, is a stop request; so is a
// logoff or shutdown, after which the process ends as soon as WM_ENDSESSION returns.
LRESULT CALLBACK StopWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE: RequestStop(); return 0;
        case WM_QUERYENDSESSION: RequestStop(); return TRUE;
        case WM_ENDSESSION:
            if (wParam && HoldUntilRecordsFinal(CTRL_SHUTDOWN_EVENT)) {
                EndWithTheRunsExitCode();
            }
            return 0;
        case kEndStopWindow: DestroyWindow(window); PostQuitMessage(0); return 0;
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

StopWindow::StopWindow(DWORD runThread) {
    g_runThread = runThread;
    const KernelHandle created(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    thread_ = std::thread([this, event = created.get()] {
        const HINSTANCE instance = GetModuleHandleA(nullptr);
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = StopWindowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kStopWindowClass;
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, kStopWindowClass, "Orlenta", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, nullptr);
        SetEvent(event);
        MSG msg{};
        while (window_ != nullptr && GetMessageA(&msg, nullptr, 0, 0) > 0) {
            DispatchMessageA(&msg);
        }
    });
    WaitForSingleObject(created.get(), INFINITE);
}

StopWindow::~StopWindow() {
    if (window_ != nullptr) {
        PostMessageA(window_, kEndStopWindow, 0, 0);
    }
    thread_.join();
    g_runThread = 0;
}

bool HoldUntilRecordsFinal(DWORD event) noexcept {
    // Ctrl+C or Ctrl+Break comes on a thread of its own: it becomes a stop request the run's thread
    // is woken to see.
    RequestStop();
    if (event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT) {
        return false;
    }
    // The system ends the process when the handler returns: hold it while the run ends its pass and
    // makes its records final.
    return WaitForSingleObject(g_recordsFinal.get(), kCloseGraceMilliseconds) == WAIT_OBJECT_0;
}

BOOL WINAPI OnUnattendedConsoleControl(DWORD event) {
    if (HoldUntilRecordsFinal(event)) {
        EndWithTheRunsExitCode();
    }
    return TRUE;
}

bool UnattendedStopRequested() { return g_stopRequested; }

void UnattendedRecordsFinal(int exitCode) {
    g_exitCode = exitCode;
    SetEvent(g_recordsFinal.get());
}

}  // namespace orlenta
