// The pass launcher with real scripts and real processes: exit codes, the time limit, a stop, a
// script that cannot be ended, and a script that cannot start.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "run/ScriptLauncherTestHook.h"
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

// Wine 8 keeps a job's limits but reports none when asked (measured: every flag reads back 0, for the
// job's own handle as for a process's own job), so there the limits a pass's job holds are not seen.
bool JobLimitsCanBeReadBack() {
    const KernelHandle job(CreateJobObjectA(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION read{};
    QueryInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &read, sizeof read, nullptr);
    return read.BasicLimitInformation.LimitFlags == JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
}

// A window of the launcher's thread that opens a modal box when asked, as the About box or the stop
// question would while a pass runs.
constexpr UINT kOpenBox = WM_APP + 1;
constexpr const char* kBoxTitle = "Held on the run's thread";

LRESULT CALLBACK BoxOpener(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kOpenBox) {
        MessageBoxA(nullptr, "The pass's limit must hold while this is open.", kBoxTitle, MB_OK);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(ScriptLauncherTest, PassesEndByExitCodeTimeLimitOrStopWithEveryProcessTheyStarted) {
    enum class Ending { Exit, LimitWithABoxOpen, Stop, LeftRunning, LimitThatCannotEndIt };
    struct Case {
        const char* name;
        int depth;  // helper processes below the script: -1 for none
        Ending ending;
        bool nightly;
        PassOutcome outcome;
        long exitCode;
    };
    const Case cases[] = {
        {"a script that returns 3", -1, Ending::Exit, false, PassOutcome::Exited, 3},
        {"a child and a grandchild released in time", 1, Ending::Exit, true, PassOutcome::Exited, 4},
        {"past the time limit while a box is open on the launcher's thread", 1, Ending::LimitWithABoxOpen, false,
         PassOutcome::TimedOut, 0},
        {"a child and a grandchild stopped", 1, Ending::Stop, true, PassOutcome::Stopped, 0},
        {"a script that quits and leaves its helper running", 0, Ending::LeftRunning, false, PassOutcome::Exited, 0},
        {"past the time limit with a process that never ends", 0, Ending::LimitThatCannotEndIt, true,
         PassOutcome::TimedOut, 0},
    };
    // Short, so the case is quick; the launcher's own bound is the same kind of wait.
    constexpr DWORD kBoundMs = 2000;
    WNDCLASSA boxClass{};
    boxClass.lpfnWndProc = BoxOpener;
    boxClass.hInstance = GetModuleHandleA(nullptr);
    boxClass.lpszClassName = "OrlentaTestBoxOpener";
    RegisterClassA(&boxClass);
    const HWND opener = CreateWindowA(boxClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      boxClass.hInstance, nullptr);
    ASSERT_NE(nullptr, opener);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchFolder scratch;
        const test::PassFamily family{scratch.Path()};
        const std::string script = scratch / "pass.vbs";
        std::string text = c.depth < 0 ? "WScript.Quit 3\r\n" : family.Script(c.depth, 4);
        if (c.ending == Ending::LeftRunning) {
            text = family.Script(c.depth, 0);
            text.replace(text.find(", 0, True"), 9, ", 0, False");
        }
        test::WriteBytes(script, text);

        PassLimits limits;
        std::atomic<bool> stop{false};
        // Longer than any start-up of the script host, so the whole family is up when it strikes.
        if (c.ending == Ending::LimitWithABoxOpen || c.ending == Ending::LimitThatCannotEndIt) {
            limits.TimeLimit = std::chrono::milliseconds(15000);
        }
        // The script's process as one stuck in I/O that cannot be cancelled: an event nobody sets.
        const KernelHandle neverEnds(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        test_hooks::SetPassProcessStandIn(c.ending == Ending::LimitThatCannotEndIt ? neverEnds.get() : nullptr, kBoundMs);
        limits.StopRequested = [&] { return stop.load(); };
        bool endedWithTheBoxOpen = false;
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
            } else if (c.ending == Ending::LimitWithABoxOpen) {
                PostMessageA(opener, kOpenBox, 0, 0);
                HWND box = nullptr;
                while (box == nullptr && GetTickCount64() < deadline) {
                    Sleep(20);
                    box = FindWindowA(nullptr, kBoxTitle);
                }
                endedWithTheBoxOpen = family.AllEnded(40000) && IsWindow(box);
                PostMessageA(box, WM_CLOSE, 0, 0);
            }
        });
        const ULONGLONG started = GetTickCount64();
        const ScriptRun run = (c.nightly ? CreateNightlyScriptLauncher() : CreateScriptLauncher())
                                  ->RunPass("\"" + script + "\"", 5, limits);
        const ULONGLONG took = GetTickCount64() - started;
        operatorThread.join();
        test_hooks::SetPassProcessStandIn(nullptr, 0);

        // Not a speed target: without its bound the pass would never return at all. The limit, the
        // few seconds its windows may take, the bound, and room for a busy machine.
        EXPECT_EQ(c.ending == Ending::LimitThatCannotEndIt, run.CouldNotBeEnded);
        if (c.ending == Ending::LimitThatCannotEndIt) {
            EXPECT_LT(took, 15000u + 5000u + kBoundMs + 15000u);
        }

        EXPECT_EQ(c.outcome, run.Outcome);
        if (c.outcome == PassOutcome::Exited) {
            EXPECT_EQ(c.exitCode, run.ExitCode);
        }
        EXPECT_EQ(static_cast<size_t>(c.depth + 1), family.Pids().size());
        EXPECT_TRUE(family.AllEnded(c.ending == Ending::LeftRunning ? 0 : 5000))
            << "a process of the pass survived it";
        if (c.ending == Ending::LimitWithABoxOpen) {
            EXPECT_TRUE(endedWithTheBoxOpen) << "the limit waited for the box";
        }
        if (c.ending == Ending::LeftRunning) {
            ASSERT_EQ(1u, run.LeftRunning.size());
            EXPECT_EQ("pass_helper.exe (" + std::to_string(family.Pids().at(0)) + ")", run.LeftRunning[0]);
        } else if (c.ending == Ending::Exit) {
            EXPECT_TRUE(run.LeftRunning.empty()) << run.LeftRunning.front();
        }
        // Nightly passes end a crashing process at once instead of leaving it to the crash report box.
        if (c.depth >= 0 && JobLimitsCanBeReadBack()) {
            const DWORD flags = std::stoul(test::ReadBytes(scratch / "job.txt"));
            EXPECT_NE(0u, flags & JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE);
            EXPECT_EQ(c.nightly, (flags & JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION) != 0);
        }
        family.Release();
    }
    DestroyWindow(opener);
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
