// The built Orlenta.exe started as a nightly job: the fixture of the end-to-end tests of unattended
// runs, and the JUnit schema their results are checked against.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "util/Handles.h"
#include "util/Text.h"

namespace orlenta::test {

// True when the file is valid against a JUnit schema as CI servers read it, by the platform's
// validating parser; otherwise false, with the parser's reason.
::testing::AssertionResult ValidJUnit(const std::string& path);

// Pass 1 returns at once with `firstExit`; later passes start a helper that waits for its release.
inline std::string Script(const test::PassFamily& family, int firstExit) {
    return "Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
           "lines = Split(fso.OpenTextFile(\"InputData.txt\", 1).ReadAll, vbCrLf)\r\n"
           "If lines(UBound(lines) - 1) = \"1\" Then WScript.Quit " +
           std::to_string(firstExit) + "\r\n" + family.Script(0, 0);
}

class UnattendedTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        test::MakeFolder(app_ + "\\Files");
        ASSERT_TRUE(CopyFileA(test::WindowsPathOf(ORLENTA_EXE).c_str(), (app_ + "\\Orlenta.exe").c_str(), FALSE));
        WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs", Script(family_, 0));
        test::MakeFolder(aves_);
        test::MakeFolder(scratch_ / "kavro");
        WriteBytes(scratch_ / "kavro\\KavFrame.exe", "stand-in");
    }
    void TearDown() override {
        family_.Release();
        CoUninitialize();
    }

    std::string Folders(const std::string& aves = "", const std::string& testing = "") const {
        return "\"-AVE=" + (aves.empty() ? aves_ : aves) + "\" -KAVRO=" + (scratch_ / "kavro") +
               " \"-TESTING=" + (testing.empty() ? testing_ : testing) + "\" -JUNIT=" + junit_;
    }

    // Started from `app` (another spelling of the program's folder, say); what it writes to its
    // standard output lands in output.txt.
    KernelHandle Start(const std::string& arguments, const std::string& app = "") {
        return StartIn(AnsiToWide(app.empty() ? app_ : app), arguments);
    }
    KernelHandle StartIn(const std::wstring& app, const std::string& arguments) {
        std::wstring line = L"\"" + app + L"\\Orlenta.exe\" " + AnsiToWide(arguments);
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const FileHandle output(CreateFileA((scratch_ / "output.txt").c_str(), FILE_APPEND_DATA,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_ALWAYS, 0, nullptr));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output.get();
        startup.hStdError = output.get();
        PROCESS_INFORMATION info{};
        EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                   AnsiToWide(scratch_.Path()).c_str(), &startup, &info));
        KernelHandle thread(info.hThread);
        processId_ = info.dwProcessId;
        return KernelHandle(info.hProcess);
    }

    // Waits for the end, failing the test if any visible window of the program shows meanwhile;
    // `whileRunning` is called as it runs until it returns true.
    long Finish(const KernelHandle& process, const std::function<bool()>& whileRunning = {}) {
        bool acted = !whileRunning;
        const ULONGLONG deadline = GetTickCount64() + 120000;
        while (WaitForSingleObject(process.get(), 20) == WAIT_TIMEOUT) {
            EXPECT_EQ(0, VisibleWindows(processId_)) << "an unattended run showed a window";
            if (!acted) {
                acted = whileRunning();
            }
            if (GetTickCount64() > deadline) {
                TerminateProcess(process.get(), 99);
                ADD_FAILURE() << "the program did not end";
                return -1;
            }
        }
        DWORD code = 0;
        GetExitCodeProcess(process.get(), &code);
        return static_cast<long>(code);
    }

    long Run(const std::string& arguments) { return Finish(Start(arguments)); }

    static int VisibleWindows(DWORD processId) {
        std::pair<DWORD, int> search{processId, 0};
        EnumWindows(
            [](HWND window, LPARAM lParam) -> BOOL {
                auto* s = reinterpret_cast<std::pair<DWORD, int>*>(lParam);
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                s->second += (owner == s->first && IsWindowVisible(window)) ? 1 : 0;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.second;
    }

    // Posts a close message to every top-level window of the program, hidden ones too, as taskkill does.
    void AskToEnd(DWORD processId) const {
        EnumWindows(
            [](HWND window, LPARAM lParam) -> BOOL {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (owner == static_cast<DWORD>(lParam)) {
                    PostMessageA(window, WM_CLOSE, 0, 0);
                }
                return TRUE;
            },
            static_cast<LPARAM>(processId));
    }

    std::string Log() const { return ReadBytes(app_ + "\\Orlenta.log"); }
    // What the runs so far wrote to their standard output, then forgotten.
    std::string TakeOutput() const {
        const std::string output = PathExists(scratch_ / "output.txt") ? ReadBytes(scratch_ / "output.txt") : "";
        DeleteFileA((scratch_ / "output.txt").c_str());
        return output;
    }
    bool SecondPassWaiting() const { return !family_.Pids().empty(); }

    test::ScratchFolder scratch_;
    const std::string app_ = scratch_ / "app";
    // A folder name that XML must escape, with a letter beyond ASCII (e-acute in the ANSI code page).
    const std::string aves_ = scratch_ / "A&B \xE9t\xE9";
    const std::string testing_ = scratch_ / "testing";
    const std::string junit_ = scratch_ / "results.xml";
    const test::PassFamily family_{scratch_.Path()};
    DWORD processId_ = 0;
};

}  // namespace orlenta::test
