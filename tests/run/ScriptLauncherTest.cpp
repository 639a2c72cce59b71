// The pass launcher with real scripts and real processes: exit codes, the time limit, a stop, and a
// script that cannot start.
#include <windows.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "run/ScriptShell.h"
#include "support/TestSupport.h"
#include "util/AppError.h"
#include "util/Handles.h"

namespace orlenta {
namespace {

// Visible top-level windows of this process: a launcher must never put up a box of its own.
int VisibleWindowsOfThisProcess() {
    int count = 0;
    EnumWindows(
        [](HWND window, LPARAM lParam) -> BOOL {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == GetCurrentProcessId() && IsWindowVisible(window)) {
                ++*reinterpret_cast<int*>(lParam);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

TEST(ScriptLauncherTest, PassesEndByExitCodeTimeLimitOrStopWithEveryProcessTheyStarted) {
    enum class Ending { Exit, Limit, Stop };
    struct Case {
        const char* name;
        int depth;  // helper processes below the script: -1 for none
        Ending ending;
        PassOutcome outcome;
        long exitCode;
    };
    const Case cases[] = {
        {"a script that returns 3", -1, Ending::Exit, PassOutcome::Exited, 3},
        {"a child and a grandchild released in time", 1, Ending::Exit, PassOutcome::Exited, 4},
        {"a child and a grandchild past the time limit", 1, Ending::Limit, PassOutcome::TimedOut, 0},
        {"a child and a grandchild stopped", 1, Ending::Stop, PassOutcome::Stopped, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchFolder scratch;
        const test::PassFamily family{scratch.Path()};
        const std::string script = scratch / "pass.vbs";
        test::WriteBytes(script, c.depth < 0 ? "WScript.Quit 3\r\n" : family.Script(c.depth, 4));

        PassLimits limits;
        std::atomic<bool> stop{false};
        if (c.ending == Ending::Limit) {
            limits.TimeLimit = std::chrono::milliseconds(5000);
        }
        limits.StopRequested = [&] { return stop.load(); };
        // Whoever ends the pass waits until the whole family is up: the script, its child, its grandchild.
        const DWORD launcherThread = GetCurrentThreadId();
        std::thread operatorThread([&] {
            if (c.depth < 0) return;
            const ULONGLONG deadline = GetTickCount64() + 60000;
            while (family.Pids().size() < static_cast<size_t>(c.depth + 1) && GetTickCount64() < deadline) {
                Sleep(20);
            }
            if (c.ending == Ending::Exit) {
                family.Release();
            } else if (c.ending == Ending::Stop) {
                // A stop request arrives as a message; the launcher asks after handling it.
                stop = true;
                PostThreadMessageA(launcherThread, WM_NULL, 0, 0);
            }
        });
        const ScriptRun run = CreateScriptLauncher()->RunPass("\"" + script + "\"", 5, limits);
        operatorThread.join();

        EXPECT_EQ(c.outcome, run.Outcome);
        if (c.outcome == PassOutcome::Exited) {
            EXPECT_EQ(c.exitCode, run.ExitCode);
        }
        // A loaded machine may not have the whole family up when the limit strikes; whoever was up ends.
        if (c.ending == Ending::Limit) {
            EXPECT_LE(1u, family.Pids().size());
        } else {
            EXPECT_EQ(static_cast<size_t>(c.depth + 1), family.Pids().size());
        }
        EXPECT_TRUE(family.AllEnded()) << "a process of the pass survived it";
        family.Release();
    }
}

// The stop request is noticed only after the pass's process has ended by itself: its exit code stands.
TEST(ScriptLauncherTest, PassThatEndsAsAStopArrivesKeepsItsExitCode) {
    test::ScratchFolder scratch;
    const test::PassFamily family{scratch.Path()};
    PassLimits limits;
    limits.StopRequested = [&] {
        const ULONGLONG deadline = GetTickCount64() + 60000;
        while (family.Pids().empty() && GetTickCount64() < deadline) Sleep(20);
        const KernelHandle pass(OpenProcess(SYNCHRONIZE, FALSE, family.Pids().at(0)));
        family.Release();
        WaitForSingleObject(pass.get(), 60000);
        return true;
    };
    const ScriptRun run = CreateScriptLauncher()->RunPass(family.Command(0), 5, limits);
    EXPECT_EQ(PassOutcome::Exited, run.Outcome);
    EXPECT_EQ(0, run.ExitCode);
}

TEST(ScriptLauncherTest, MissingScriptOrAFolderInItsPlaceIsAFailureToStartWithoutAnyBox) {
    test::ScratchFolder scratch;
    const int windowsBefore = VisibleWindowsOfThisProcess();
    try {
        CreateScriptLauncher()->RunPass("\"" + (scratch / "missing.vbs") + "\"", 5, {});
        ADD_FAILURE() << "a missing script started";
    } catch (const AppError& error) {
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, error.Number());
        EXPECT_EQ(SystemMessage(ERROR_FILE_NOT_FOUND), error.Description());
    }
    test::MakeFolder(scratch / "folder.vbs");
    EXPECT_THROW(CreateScriptLauncher()->RunPass("\"" + (scratch / "folder.vbs") + "\"", 5, {}), AppError);
    EXPECT_EQ(windowsBefore, VisibleWindowsOfThisProcess());
}

}  // namespace
}  // namespace orlenta
