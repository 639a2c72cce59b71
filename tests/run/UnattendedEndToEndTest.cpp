// The built Orlenta.exe with -UNATTENDED: exit codes, the run log, the JUnit results, stop requests and a
// second instance, with no window of any kind on the screen.
#include <windows.h>
#include <msxml2.h>
#include <objbase.h>

#include <algorithm>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "util/ComPtr.h"
#include "util/Handles.h"

namespace orlenta {
namespace {

using test::PathExists;
using test::ReadBytes;
using test::WriteBytes;

// Pass 1 returns at once with `firstExit`; later passes start a helper that waits for its release.
std::string Script(const test::PassFamily& family, int firstExit) {
    return "Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
           "lines = Split(fso.OpenTextFile(\"InputData.txt\", 1).ReadAll, vbCrLf)\r\n"
           "If lines(UBound(lines) - 1) = \"1\" Then WScript.Quit " +
           std::to_string(firstExit) + "\r\n" + family.Script(0, 0);
}

// IXMLDOMDocument's interface id; MinGW ships the declaration but no library that defines it.
constexpr GUID kXmlDocumentId = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// True when the file is well-formed XML, as the platform's own parser reads it.
bool ParsesAsXml(const std::string& path) {
    CLSID clsid{};
    ComPtr<IXMLDOMDocument> document;
    if (FAILED(CLSIDFromProgID(L"Msxml2.DOMDocument.3.0", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kXmlDocumentId,
                                document.put_void()))) {
        ADD_FAILURE() << "no XML parser";
        return false;
    }
    document->put_async(VARIANT_FALSE);
    UniqueBstr name(path);
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = name.get();
    VARIANT_BOOL loaded = VARIANT_FALSE;
    return SUCCEEDED(document->load(source, &loaded)) && loaded == VARIANT_TRUE;
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

    std::string Folders() const {
        return "\"-AVE=" + aves_ + "\" -KAVRO=" + (scratch_ / "kavro") + " -TESTING=" + testing_ + " -JUNIT=" + junit_;
    }

    KernelHandle Start(const std::string& arguments) {
        std::string line = "\"" + app_ + "\\Orlenta.exe\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        EXPECT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, scratch_.Path().c_str(),
                                   &startup, &info));
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

TEST_F(UnattendedTest, ExitCodeSaysWhetherEveryPassReturnedZero) {
    family_.Release();  // later passes return at once
    struct Case {
        int firstExit;
        long exitCode;
        const char* verdict;
    };
    for (const Case& c : {Case{0, 0, ""}, Case{1, 1, "<failure message=\"exit code 1\"/>"}}) {
        SCOPED_TRACE(c.exitCode);
        WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs", Script(family_, c.firstExit));
        EXPECT_EQ(c.exitCode, Run("-UNATTENDED " + Folders() + " -START=1 -STOP=2"));
        ASSERT_TRUE(ParsesAsXml(junit_));
        const std::string xml = ReadBytes(junit_);
        EXPECT_NE(std::string::npos, xml.find("<testsuite name=\"Orlenta\" tests=\"2\""));
        EXPECT_NE(std::string::npos, xml.find("A&amp;B \xC3\xA9t\xC3\xA9")) << "escaped, in UTF-8";
        EXPECT_NE(std::string::npos, xml.find("<testcase classname=\"AVE\" name=\"Ave002\""));
        EXPECT_NE(std::string::npos, xml.find(c.verdict));
        // Every line of the log begins with the local time.
        const std::string log = Log();
        EXPECT_TRUE(std::regex_search(log, std::regex("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d Run starts: ")));
        EXPECT_NE(std::string::npos, log.find("Pass AVE 2 ends: exit code 0"));
        EXPECT_NE(std::string::npos, log.find("; exit code " + std::to_string(c.exitCode) + "\r\n"));
        EXPECT_FALSE(PathExists(app_ + "\\InputData.txt"));
    }
}

TEST_F(UnattendedTest, RunThatCannotGoThroughEndsWithTwoAndSaysWhyInTheLog) {
    struct Case {
        const char* name;
        std::string arguments;
        std::function<void()> prepare;
        const char* logged;
    };
    const Case cases[] = {
        {"missing AVE folder", "-UNATTENDED " + Folders() + " \"-AVE=" + (scratch_ / "none") + "\" -STOP=1", [] {},
         "none\\ folder does not exist."},
        {"testing folder that is the AVE folder", "-UNATTENDED " + Folders() + " \"-TESTING=" + aves_ + "\" -STOP=1",
         [] {}, "will not be deleted: it is the AVE folder."},
        // A folder in the input file's place: line 180 cannot delete it.
        {"a failed step", "-UNATTENDED " + Folders() + " -STOP=1",
         [this] { test::MakeFolder(app_ + "\\InputData.txt"); }, "Message: Description: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        EXPECT_EQ(2, Run(c.arguments));
        EXPECT_NE(std::string::npos, Log().find(c.logged));
        EXPECT_TRUE(PathExists(aves_));
    }
    // A message of two lines stays on one line of the log.
    EXPECT_NE(std::string::npos, Log().find(" | Line No.: 180\r\n"));
}

// Every spelling of a folder is made full before it is used: the same folder in another spelling is
// that folder, a link, a system folder or a value that names no folder is refused, and nothing that
// was not confirmed is deleted.
TEST_F(UnattendedTest, FoldersAreJudgedByWhatTheyNameNotByTheirSpelling) {
    family_.Release();
    test::ScratchFolder outside;
    WriteBytes(outside / "canary.txt", "keep");
    const test::HostSymlink link(outside.Path(), scratch_ / "linked");
    ASSERT_TRUE(link.Made()) << link.Problem();
    WriteBytes(scratch_ / "afile.txt", "a file");
    // A known folder redirected to a scratch folder, never the prefix's real one (a link to the host's home).
    test::MakeFolder(scratch_ / "music");
    const char* shellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    RegKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, shellFolders, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             key.put(), nullptr));
    char saved[1024] = {};
    DWORD savedSize = sizeof saved - 1;
    DWORD savedType = 0;
    const bool hadMusic =
        RegQueryValueExA(key.get(), "My Music", nullptr, &savedType, reinterpret_cast<BYTE*>(saved), &savedSize) == 0;
    const std::string music = scratch_ / "music";
    RegSetValueExA(key.get(), "My Music", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(music.c_str()),
                   static_cast<DWORD>(music.size() + 1));
    struct Restore {
        HKEY key;
        bool had;
        DWORD type;
        const char* data;
        DWORD size;
        ~Restore() {
            if (had) {
                RegSetValueExA(key, "My Music", 0, type, reinterpret_cast<const BYTE*>(data), size);
            } else {
                RegDeleteValueA(key, "My Music");
            }
        }
    } restore{key.get(), hadMusic, savedType, saved, savedSize};

    std::string slashes = testing_;
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    char appData[MAX_PATH] = {};
    GetEnvironmentVariableA("APPDATA", appData, MAX_PATH);  // ...\AppData\Roaming
    const std::string kavro = "-KAVRO=" + (scratch_ / "kavro");
    const std::string common = "-UNATTENDED -STOP=1 \"-AVE=" + aves_ + "\" ";
    struct Case {
        const char* name;
        std::string arguments;
        long exitCode;
        const char* logged;  // for refusals
    };
    const Case cases[] = {
        {"AVE folder behind \\??\\", "-UNATTENDED -STOP=1 \"-AVE=\\??\\" + aves_ + "\" \"-TESTING=" + aves_ + "\" " + kavro,
         2, "will not be deleted: it is the AVE folder."},
        {"installation folder behind \\??\\", common + "-KAVRO=\\??\\" + (scratch_ / "kavro") + " -TESTING=" +
         (scratch_ / "kavro"), 2, "will not be deleted: it is the installation folder."},
        {"doubled trailing backslash", common + kavro + " -TESTING=" + testing_ + "\\\\", 0, ""},
        {"forward slashes", common + kavro + " -TESTING=" + slashes + "/", 0, ""},
        {"trailing dot and space", common + kavro + " \"-TESTING=" + testing_ + ". \"", 0, ""},
        {"wildcard", common + kavro + " -TESTING=" + (scratch_ / "test?ng"), 2, "the wildcard or reserved character"},
        {"device name", common + kavro + " -TESTING=CON", 2, "it names the device CON"},
        {"a file", common + kavro + " -TESTING=" + (scratch_ / "afile.txt"), 2, "it names a file"},
        {"a link to a folder", common + kavro + " -TESTING=" + (scratch_ / "linked"), 2, "will not be deleted: it is a link to "},
        {"the Windows folder", common + kavro + " -TESTING=C:\\windows", 2, "will not be deleted: it is the Windows folder."},
        {"Program Files", common + kavro + " \"-TESTING=C:\\Program Files\"", 2, "will not be deleted: it is the Program Files"},
        {"AppData", common + kavro + " \"-TESTING=" + std::string(appData) + "\\..\"", 2, "will not be deleted: it is your AppData folder."},
        {"a redirected known folder", common + kavro + " -TESTING=" + music, 2, "will not be deleted: it is your "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::MakeFolder(testing_);
        WriteBytes(testing_ + "\\last-night.txt", "old");
        EXPECT_EQ(c.exitCode, Run(c.arguments));
        if (c.exitCode == 0) {
            EXPECT_FALSE(PathExists(testing_ + "\\last-night.txt")) << "the folder was not recognised";
        } else {
            EXPECT_NE(std::string::npos, Log().find(c.logged)) << Log();
            EXPECT_EQ("old", ReadBytes(testing_ + "\\last-night.txt"));
        }
        EXPECT_EQ("keep", ReadBytes(outside / "canary.txt"));
        EXPECT_TRUE(PathExists(scratch_ / "kavro\\KavFrame.exe"));
        EXPECT_TRUE(PathExists(aves_));
        EXPECT_TRUE(PathExists(music));
        EXPECT_TRUE(PathExists("C:\\windows\\system32\\kernel32.dll"));
    }
}

// Killed at any moment of a reset, the program leaves part of the old tree at its old paths, no
// other name: nothing is moved or renamed on the way.
TEST_F(UnattendedTest, ResetKilledMidWayLeavesOnlyPathsThatExistedBefore) {
    test::MakeFolder(testing_);
    ASSERT_TRUE(test::RunHostScript("cd '" + test::UnixPath(testing_) +
                                    "' && for d in $(seq 50); do mkdir d$d/ d$d/a d$d/a/b d$d/a/b/c d$d/a/b/c/d "
                                    "d$d/a/b/c/d/e d$d/a/b/c/d/e/f d$d/a/b/c/d/e/f/g d$d/a/b/c/d/e/f/g/h "
                                    "d$d/a/b/c/d/e/f/g/h/i && (cd d$d/a/b/c/d/e/f/g/h/i && touch $(seq 90)); done"));
    const std::vector<std::string> before = test::TreeEntries(testing_);
    ASSERT_EQ(50u * 100u, before.size());
    KernelHandle process = Start("-UNATTENDED " + Folders() + " -STOP=1");
    Finish(process, [&] {
        if (test::TreeEntries(testing_, false).size() == 50u) return false;
        TerminateProcess(process.get(), 9);
        return true;
    });
    std::vector<std::string> after = test::TreeEntries(testing_);
    EXPECT_LT(after.size(), before.size());
    for (const std::string& path : after) {
        EXPECT_TRUE(std::binary_search(before.begin(), before.end(), path)) << path << " is new";
    }
}

TEST_F(UnattendedTest, CommandLineThatIsNotExactlyRightIsRefusedBeforeAnythingHappens) {
    test::MakeFolder(testing_);
    WriteBytes(testing_ + "\\canary.txt", "keep");
    const std::string folders = "-AVE=" + (scratch_ / "kavro") + " -KAVRO=" + (scratch_ / "kavro");
    const char* testing = " -TESTING=";
    const std::string refused[] = {
        folders + " -TESTNG=" + testing_,                                   // a mistyped option
        folders + testing + "C:\\nightly-autostart",                        // a second option inside a value
        folders + testing + testing_ + " \"-START=1 -STOP=2",               // quotes that do not pair
        folders,                                                            // no testing folder
        folders + testing + testing_ + " -START=abc",                       // no number
        folders + testing + testing_ + " -START=2.5",                        // no whole number
        folders + testing + testing_ + " -START=5 -STOP=3",                 // start above stop
        folders + testing + testing_ + " -START=2147483648",                // beyond 32 bits
        folders + testing + testing_ + " -TIMEOUT=0",                       // no time limit
        folders + testing + testing_ + " stray",                            // a token that is no option
    };
    for (const std::string& arguments : refused) {
        SCOPED_TRACE(arguments);
        EXPECT_EQ(2, Run("-UNATTENDED " + arguments));
        EXPECT_NE(std::string::npos, Log().find("Command line refused: "));
        EXPECT_EQ("keep", ReadBytes(testing_ + "\\canary.txt"));
        EXPECT_FALSE(PathExists(app_ + "\\InputData.txt"));
        EXPECT_FALSE(PathExists(junit_));
    }
}

TEST_F(UnattendedTest, SecondInstanceInTheSameFolderIsRefusedAndAStopEndsTheFirst) {
    KernelHandle first = Start("-UNATTENDED " + Folders() + " -START=1 -STOP=3");
    bool secondRefused = false;
    const long firstExit = Finish(first, [&] {
        if (!SecondPassWaiting()) return false;
        EXPECT_EQ(2, Run("-UNATTENDED " + Folders() + " -LOG=" + (scratch_ / "second.log") + " -STOP=1"));
        secondRefused = ReadBytes(scratch_ / "second.log").find("Another run is using ") != std::string::npos;
        AskToEnd(GetProcessId(first.get()));
        return true;
    });
    EXPECT_TRUE(secondRefused);
    EXPECT_EQ(2, firstExit);
    EXPECT_TRUE(family_.AllEnded()) << "a process of the stopped pass survived it";
    // Every record is written: pass 1 passed, pass 2 stopped, pass 3 never ran.
    ASSERT_TRUE(ParsesAsXml(junit_));
    const std::string xml = ReadBytes(junit_);
    EXPECT_NE(std::string::npos, xml.find("tests=\"2\" failures=\"0\" errors=\"1\""));
    EXPECT_NE(std::string::npos, xml.find("<error message=\"stopped\"/>"));
    EXPECT_NE(std::string::npos, Log().find(", stopped; exit code 2"));
}

TEST_F(UnattendedTest, ResultsStayValidWhenTheProgramIsKilledMidRun) {
    KernelHandle process = Start("-UNATTENDED " + Folders() + " -START=1 -STOP=3");
    Finish(process, [&] {
        if (!SecondPassWaiting()) return false;
        TerminateProcess(process.get(), 9);
        return true;
    });
    ASSERT_TRUE(ParsesAsXml(junit_));
    EXPECT_NE(std::string::npos, ReadBytes(junit_).find("tests=\"1\""));
    EXPECT_TRUE(family_.AllEnded()) << "the pass outlived the program that owned it";
}

}  // namespace
}  // namespace orlenta
