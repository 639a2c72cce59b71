// Stop requests of an unattended run, and the hold that lets a run that is being ended by a console
// close, a logoff or a shutdown finish its records first.
#pragma once

#include <thread>

#include <windows.h>

namespace orlenta {

// The run's hidden top-level window, on a thread of its own: a close message (taskkill without /F)
// or a logoff or shutdown is a stop request for the run's thread `runThread`; WM_ENDSESSION is held
// until the run's records are final, then the process ends with the run's exit code.
class StopWindow {
public:
    explicit StopWindow(DWORD runThread);
    ~StopWindow();
    StopWindow(const StopWindow&) = delete;
    StopWindow& operator=(const StopWindow&) = delete;

private:
    std::thread thread_;
    HWND window_ = nullptr;
};

// The console's control handler. Every event is a stop request; after a console close, logoff or
// shutdown (when the system ends the process as soon as the handler returns) it holds the process
// until the run's records are final, at most the few seconds the system allows, and then ends it
// with the run's exit code.
BOOL WINAPI OnUnattendedConsoleControl(DWORD event);
// The handler's waiting part: the stop request, then for a close, logoff or shutdown the wait; true
// when the records became final in time.
bool HoldUntilRecordsFinal(DWORD event) noexcept;
bool UnattendedStopRequested();
// The run's records are final and it ends with `exitCode`.
void UnattendedRecordsFinal(int exitCode);

}  // namespace orlenta
