// The built Orlenta.exe started with -AUTOSTART, running a recording test script through the real shell.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "util/Handles.h"

namespace orlenta {
namespace {

using test::PathExists;
using test::ReadBytes;
using test::WriteBytes;

// Appends what the input file held during each pass to passes.log in the current directory.
constexpr const char* kRecordingScript =
    "Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
    "Set inputFile = fso.OpenTextFile(\"InputData.txt\", 1)\r\n"
    "text = inputFile.ReadAll\r\n"
    "inputFile.Close\r\n"
    "Set logFile = fso.OpenTextFile(\"passes.log\", 8, True)\r\n"
    "logFile.Write text & \"----\" & vbCrLf\r\n"
    "logFile.Close\r\n";

// Texts of the top-level windows of a process, to say what it was waiting on.
std::string WindowTexts(DWORD processId) {
    struct Search {
        DWORD processId;
        std::string texts;
    } search{processId, {}};
    EnumWindows(
        [](HWND window, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->processId && IsWindowVisible(window)) {
                char text[512] = {};
                GetWindowTextA(window, text, sizeof text);
                s->texts += std::string("[") + text + "]";
                EnumChildWindows(
                    window,
                    [](HWND child, LPARAM inner) -> BOOL {
                        char childText[512] = {};
                        GetWindowTextA(child, childText, sizeof childText);
                        *reinterpret_cast<std::string*>(inner) += std::string(" ") + childText;
                        return TRUE;
                    },
                    reinterpret_cast<LPARAM>(&s->texts));
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.texts;
}

// The program's main window, once it is visible.
HWND MainWindowOf(DWORD processId) {
    struct Search {
        DWORD processId;
        HWND found;
    } search{processId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            char title[128] = {};
            GetWindowTextA(window, title, sizeof title);
            if (owner == s->processId && IsWindowVisible(window) &&
                std::string(title) == "Norvik Kavro Automated Test - v2") {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST(AutoStartEndToEndTest, RunsTheScriptPerNumberThenRemovesTheInputFile) {
    test::ScratchFolder scratch;
    const std::string app = scratch / "app";
    test::MakeFolder(app + "\\Files");
    ASSERT_TRUE(CopyFileA(test::WindowsPathOf(ORLENTA_EXE).c_str(), (app + "\\Orlenta.exe").c_str(), FALSE));
    WriteBytes(app + "\\Files\\KavroTestScript1.vbs", kRecordingScript);
    test::MakeFolder(scratch / "my aves");
    test::MakeFolder(scratch / "kavro");
    WriteBytes(scratch / "kavro\\KavFrame.exe", "stand-in");

    std::string commandLine = "\"" + app + "\\Orlenta.exe\" -AUTOSTART -AVE=\"" + (scratch / "my aves") +
                              "\" -KAVRO=" + (scratch / "kavro") + " -TESTING=" + (scratch / "testing") +
                              " -START=3 -STOP=5";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Started from elsewhere: the program itself moves to its own folder.
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               scratch.Path().c_str(), &startup, &process));
    KernelHandle processHandle(process.hProcess);
    KernelHandle threadHandle(process.hThread);
    // The window first shows once the automatic run has ended; closing it ends the program.
    const ULONGLONG deadline = GetTickCount64() + 120000;
    while (WaitForSingleObject(processHandle.get(), 50) == WAIT_TIMEOUT) {
        if (const HWND window = MainWindowOf(process.dwProcessId)) {
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
        if (GetTickCount64() > deadline) {
            ADD_FAILURE() << "Orlenta did not end; its windows: " << WindowTexts(process.dwProcessId);
            TerminateProcess(processHandle.get(), 1);
            WaitForSingleObject(processHandle.get(), 10000);
            return;
        }
    }

    std::string header = (scratch / "my aves\\") + "\r\n" + (scratch / "kavro\\") + "\r\n" +
                         (scratch / "testing\\") + "\r\nTrue\r\nTrue\r\nTrue\r\nTrue\r\nTrue\r\n";
    const std::string expected = header + "3\r\n----\r\n" + header + "3\r\n4\r\n----\r\n" + header +
                                 "3\r\n4\r\n5\r\n----\r\n";
    EXPECT_EQ(expected, ReadBytes(app + "\\passes.log"));
    EXPECT_FALSE(PathExists(app + "\\InputData.txt"));
    EXPECT_FALSE(PathExists(scratch / "InputData.txt"));
    EXPECT_FALSE(PathExists(scratch / "testing"));
}

}  // namespace
}  // namespace orlenta
