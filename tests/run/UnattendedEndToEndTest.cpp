// The built Orlenta.exe with -UNATTENDED: exit codes, the run log, the JUnit results, stop requests and a
// second instance, with no window of any kind on the screen.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run/UnattendedFixture.h"
#include "support/TestSupport.h"
#include "util/Handles.h"
#include "util/Text.h"

namespace orlenta {
namespace {

using test::HostSymlink;
using test::PathExists;
using test::ReadBytes;
using test::Script;
using test::UnattendedTest;
using test::ValidJUnit;
using test::WriteBytes;

TEST_F(UnattendedTest, ExitCodeSaysWhetherEveryPassReturnedZero) {
    family_.Release();  // later passes return at once
    struct Case {
        int firstExit;
        long exitCode;
        const char* verdict;
        bool page;  // the script writes the results page
    };
    const std::string page = testing_ + "\\TestResults.htm";
    const std::string writePage = "Set f = CreateObject(\"Scripting.FileSystemObject\")\r\nIf Not f.FolderExists(\"" +
                                  testing_ + "\") Then f.CreateFolder \"" + testing_ + "\"\r\nf.CreateTextFile(\"" + page +
                                  "\").Close\r\n";
    // A log of the version before the marker is still this program's own.
    WriteBytes(app_ + "\\Orlenta.log", "2026-12-07T21:00:00 No time limit: without -TIMEOUT= ...\r\n");
    for (const Case& c : {Case{0, 0, "", true}, Case{1, 1, "<failure message=\"exit code 1\"/>", false}}) {
        SCOPED_TRACE(c.exitCode);
        WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs", (c.page ? writePage : "") + Script(family_, c.firstExit));
        EXPECT_EQ(c.exitCode, Run("-UNATTENDED " + Folders() + " -START=1 -STOP=2"));
        ASSERT_TRUE(ValidJUnit(junit_)) << ReadBytes(junit_);
        const std::string xml = ReadBytes(junit_);
        EXPECT_NE(std::string::npos, xml.find("<testsuite name=\"Orlenta\" tests=\"2\""));
        EXPECT_NE(std::string::npos, xml.find("A&amp;B \xC3\xA9t\xC3\xA9")) << "escaped, in UTF-8";
        EXPECT_NE(std::string::npos, xml.find("<testcase classname=\"AVE\" name=\"Ave002\""));
        EXPECT_NE(std::string::npos, xml.find(c.verdict));
        // Every line of the log begins with the local time; the first names the format.
        const std::string log = Log();
        const std::string time = "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d ";
        EXPECT_TRUE(std::regex_search(log, std::regex("^" + time + "Orlenta run log, UTF-8, one event per line\r\n" +
                                                      time + "Run starts: ")))
            << log;
        EXPECT_NE(std::string::npos, log.find("Pass AVE 2 ends: exit code 0"));
        EXPECT_NE(std::string::npos, log.find("; exit code " + std::to_string(c.exitCode) + "\r\n"));
        // The page is named only when there is one.
        EXPECT_EQ(c.page, log.find(" Results page: " + page + "\r\n") != std::string::npos) << log;
        EXPECT_EQ(!c.page, log.find(" No results page: " + page + " does not exist\r\n") != std::string::npos) << log;
        EXPECT_FALSE(PathExists(app_ + "\\InputData.txt"));
    }
}

// The counts of the suite agree with its testcases, as the JUnit schema's readers expect.
void ExpectConsistentSuite(const std::string& xml) {
    const auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = xml.find(what); at != std::string::npos; at = xml.find(what, at + 1)) ++n;
        return std::to_string(n);
    };
    EXPECT_NE(std::string::npos, xml.find("tests=\"" + count("<testcase ") + "\" failures=\"" + count("<failure ") +
                                          "\" errors=\"" + count("<error ") + "\" skipped=\"" + count("<skipped ") +
                                          "\""))
        << xml;
}

TEST_F(UnattendedTest, RunThatCannotGoThroughEndsWithTwoAndSaysWhyInTheLogAndTheJUnitFile) {
    const std::string script = app_ + "\\Files\\KavroTestScript1.vbs";
    const std::string kavFrame = scratch_ / "kavro\\KavFrame.exe";
    struct Case {
        const char* name;
        std::string arguments;
        std::function<void()> prepare;
        const char* logged;
        const char* junit;  // the run's own testcase
        std::vector<std::string> skipped;
        std::string aves = "-STOP=3";
        bool lastNight = false;  // an old testing folder, which nothing may delete before the run can run
    };
    const std::vector<std::string> all = {"Ave001", "Ave002", "Ave003"};
    const Case cases[] = {
        {"missing AVE folder", Folders(scratch_ / "none"), [] {}, "none\\ folder does not exist.",
         "<error message=\"ended before its passes\">", all},
        // The AVEs it was to take are its choice's, not the range's.
        {"missing AVE folder, a shard of a list", Folders(scratch_ / "none"), [] {}, "none\\ folder does not exist.",
         "<error message=\"ended before its passes\">", {"Ave017", "Ave041"}, "-AVES=3,17,40-41 -SHARD=2/2"},
        {"testing folder that is the AVE folder", Folders(aves_, aves_), [] {},
         "will not be deleted: it is the AVE folder.", "<error message=\"ended before its passes\">", all},
        {"KavFrame.exe missing", Folders(), [&] { DeleteFileA(kavFrame.c_str()); },
         "Prompt: Could not find the KavFrame executable", "Could not find the KavFrame executable", all},
        {"KavFrame.exe missing beside last night's results", Folders(), [&] { DeleteFileA(kavFrame.c_str()); },
         "Prompt: Could not find the KavFrame executable", "Could not find the KavFrame executable", all, "-STOP=3", true},
        {"script missing beside last night's results", Folders(),
         [&] { WriteBytes(kavFrame, "stand-in"); DeleteFileA(script.c_str()); },
         "cannot be started, so no pass could run", "<error message=\"ended before its passes\">", all, "-STOP=3", true},
        {"an empty shard beside last night's results", Folders(), [&] { WriteBytes(script, Script(family_, 0)); },
         "No AVE is to run.", "", {}, "-START=1 -STOP=2 -SHARD=3/4", true},
        {"script missing", Folders(), [&] { DeleteFileA(script.c_str()); },
         "no pass could start", "<error message=\"no pass could start\">", {}},
        {"a folder in the script's place", Folders(), [&] { test::MakeFolder(script); }, "no pass could start",
         "<error message=\"no pass could start\">", {}},
        // A folder in the input file's place: line 180 cannot delete it.
        {"a failed step", Folders(),
         [&] {
             RemoveDirectoryA(script.c_str());
             WriteBytes(script, Script(family_, 0));
             test::MakeFolder(app_ + "\\InputData.txt");
         },
         "Message: Description: ", "<error message=\"a step failed at line 180\">", all},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        if (c.lastNight) {
            test::MakeFolder(testing_);
            WriteBytes(testing_ + "\\last-night.txt", "old");
        }
        const bool empty = std::string(c.junit).empty();  // nothing to run is no failure
        EXPECT_EQ(empty ? 0 : 2, Run("-UNATTENDED " + c.arguments + " " + c.aves));
        EXPECT_NE(std::string::npos, Log().find(c.logged)) << Log();
        if (c.lastNight) {
            EXPECT_EQ("old", ReadBytes(testing_ + "\\last-night.txt")) << "deleted before the run knew it could run";
            test::RemoveTree(testing_);
        }
        if (empty) {
            continue;
        }
        if (!c.skipped.empty()) {
            EXPECT_EQ(std::string::npos, Log().find("Pass AVE")) << "no pass was to run";
        }
        EXPECT_TRUE(PathExists(aves_));
        ASSERT_TRUE(ValidJUnit(junit_));
        const std::string xml = ReadBytes(junit_);
        EXPECT_NE(std::string::npos, xml.find("<testcase classname=\"Orlenta\" name=\"run\"")) << xml;
        EXPECT_NE(std::string::npos, xml.find(c.junit)) << xml;
        for (const std::string& ave : c.skipped) {
            EXPECT_NE(std::string::npos, xml.find("name=\"" + ave + "\" time=\"0.000\">\n    <skipped")) << ave;
        }
        EXPECT_NE(std::string::npos, xml.find("skipped=\"" + std::to_string(c.skipped.size()) + "\"")) << xml;
        ExpectConsistentSuite(xml);
    }
    // A message of two lines stays on one line of the log.
    EXPECT_NE(std::string::npos, Log().find(" | Line No.: 180"));
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
        // The system would open the folder without them, while every check read another name.
        {"trailing dot and space", common + kavro + " \"-TESTING=" + testing_ + ". \"", 2, "ends in a dot or a space"},
        {"wildcard", common + kavro + " -TESTING=" + (scratch_ / "test?ng"), 2, "the wildcard or reserved character"},
        {"device name", common + kavro + " -TESTING=CON", 2, "it names the device CON"},
        {"a file", common + kavro + " -TESTING=" + (scratch_ / "afile.txt"), 2, "it names a file"},
        {"a link to a folder", common + kavro + " -TESTING=" + (scratch_ / "linked"), 2, "linked is a link to "},
        // The Windows folder itself is tried in a prefix of its own (own_prefix_test.sh).
        {"Program Files", common + kavro + " \"-TESTING=C:\\Program Files\"", 2, "will not be deleted: it is the Program Files"},
        {"AppData", common + kavro + " \"-TESTING=" + std::string(appData) + "\\..\"", 2, "will not be deleted: it is your AppData folder "},
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

// A script that fails the first time it meets Ave002 and always fails Ave003 (a marker file says it
// met Ave002 before), writing down the input file of every pass.
std::string RetriedScript(const std::string& scratch) {
    return "Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
           "text = fso.OpenTextFile(\"InputData.txt\", 1).ReadAll\r\n"
           "lines = Split(text, vbCrLf)\r\n"
           "ave = lines(UBound(lines) - 1)\r\n"
           "Set seen = fso.OpenTextFile(\"" + scratch + "\\inputs.txt\", 8, True)\r\n"
           "seen.Write text & \"----\" & vbCrLf\r\n"
           "seen.Close\r\n"
           "If ave = \"3\" Then WScript.Quit 1\r\n"
           "If ave = \"2\" And Not fso.FileExists(\"" + scratch + "\\met-2\") Then\r\n"
           "  fso.CreateTextFile(\"" + scratch + "\\met-2\").Close\r\n"
           "  WScript.Quit 4\r\n"
           "End If\r\n"
           "WScript.Quit 0\r\n";
}

// A failure that does not repeat is named flaky, passes the night, and is no rerun's; one that
// repeats every attempt fails the night with every attempt named.
TEST_F(UnattendedTest, RetriedAveThatPassesIsFlakyAndOneThatAlwaysFailsListsEveryAttempt) {
    WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs", RetriedScript(scratch_.Path()));
    const std::string report = scratch_ / "morning.html";
    EXPECT_EQ(0, Run("-UNATTENDED " + Folders() + " -AVES=1,2 -RETRY=1 -REPORT=" + report));
    ASSERT_TRUE(ValidJUnit(junit_)) << ReadBytes(junit_);
    std::string xml = ReadBytes(junit_);
    EXPECT_NE(std::string::npos, xml.find("<flakyFailure message=\"attempt 1: exit code 4\" type=\"exit code\"/>")) << xml;
    EXPECT_NE(std::string::npos, xml.find("<system-out>Passed on attempt 2 of 2.</system-out>")) << xml;
    EXPECT_NE(std::string::npos, xml.find("<property name=\"flaky\" value=\"1\"/>")) << xml;
    EXPECT_EQ(std::string::npos, xml.find("<failure"));
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("Pass AVE 2 retry 1 of 1 starts")) << log;
    EXPECT_NE(std::string::npos, log.find("3 passes, 0 failed, 1 flaky; exit code 0")) << log;
    // The retry's input file: every number so far, this AVE again last.
    const std::string inputs = ReadBytes(scratch_ / "inputs.txt");
    EXPECT_NE(std::string::npos, inputs.find("True\r\n1\r\n2\r\n2\r\n----")) << inputs;
    // A flaky AVE passed: a rerun of the night takes nothing.
    const std::string night = scratch_ / "night.xml";
    ASSERT_TRUE(CopyFileA(junit_.c_str(), night.c_str(), FALSE));
    const std::string lastMorning = ReadBytes(report);
    EXPECT_NE(std::string::npos, lastMorning.find("flaky")) << lastMorning;
    EXPECT_EQ(0, Run("-UNATTENDED " + Folders() + " -RERUN=" + night + " -REPORT=" + report));
    EXPECT_NE(std::string::npos, Log().find("Nothing to rerun")) << Log();
    EXPECT_NE(lastMorning, ReadBytes(report)) << "last night's page left to be published again";

    EXPECT_EQ(1, Run("-UNATTENDED " + Folders() + " -AVES=3 -RETRY=2"));
    ASSERT_TRUE(ValidJUnit(junit_)) << ReadBytes(junit_);
    xml = ReadBytes(junit_);
    EXPECT_NE(std::string::npos, xml.find("<failure message=\"exit code 1 (attempt 1), exit code 1 (attempt 2), exit code 1 "
                                          "(attempt 3)\"/>"))
        << xml;
    EXPECT_NE(std::string::npos, Log().find("3 passes, 1 failed, 0 flaky; exit code 1")) << Log();
}

// A name that ends in dots or spaces opens, on this system, the folder without them while every text
// comparison sees another folder: refused outright in every spelling, whatever folder it would reach.
TEST_F(UnattendedTest, DotsAndSpacesNeverTurnTheResetOnAFolderTheRunNeeds) {
    family_.Release();
    const HostSymlink drive = HostSymlink::Drive(scratch_.Path(), 'U');
    ASSERT_TRUE(drive.Made()) << drive.Problem();
    WriteBytes(aves_ + "\\Ave001.ach", "archive");
    char shortScratch[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameA(scratch_.Path().c_str(), shortScratch, MAX_PATH));
    const std::string aveName = aves_.substr(aves_.find_last_of('\\') + 1);
    std::string slashes = aves_ + "..";
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    std::string lower = aves_;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    const std::vector<std::pair<const char*, std::string>> spellings = {
        {"two dots", aves_ + ".."},
        {"three dots", aves_ + "..."},
        {"dot space dot", aves_ + ". ."},
        {"space dot", aves_ + " ."},
        {"\\\\?\\ prefix", "\\\\?\\" + aves_ + ".."},
        {"\\??\\ prefix", "\\??\\" + aves_ + ".."},
        {"a second drive letter", "U:\\" + aveName + ".."},
        {"a short name", std::string(shortScratch) + "\\" + aveName + ".."},
        {"relative to the program's folder", "..\\" + aveName + ".."},
        {"lower case", lower + ".."},
        {"forward slashes", slashes},
        {"a trailing space", aves_ + ".. "},
        {"then .", aves_ + "..\\."},
        {"a middle part", scratch_.Path() + "..\\" + aveName},
        {"the installation folder", scratch_ / "kavro.."},
        {"the program's folder", app_ + ".."},
        {"the program's Files folder", app_ + "\\Files.."},
        {"a folder holding the AVE folder", scratch_.Path() + ".."},
    };
    for (const auto& [name, testing] : spellings) {
        SCOPED_TRACE(name);
        EXPECT_EQ(2, Run("-UNATTENDED -STOP=1 " + Folders(aves_, testing)));
        EXPECT_NE(std::string::npos, Log().find("ends in a dot or a space")) << Log();
        EXPECT_EQ("archive", ReadBytes(aves_ + "\\Ave001.ach"));
        EXPECT_EQ("stand-in", ReadBytes(scratch_ / "kavro\\KavFrame.exe"));
        EXPECT_TRUE(PathExists(app_ + "\\Files\\KavroTestScript1.vbs"));
        EXPECT_EQ(std::string::npos, Log().find("Pass AVE"));
    }
}

// The testing folder is the folder its path names, at any length and in any character: a long one
// is reset like any other, a literal prefixed name reaches only itself, and a profile's known folder
// given by its short name is that folder.
TEST_F(UnattendedTest, TestingFolderIsTheFolderItsPathNamesAtAnyLengthOrSpelling) {
    family_.Release();
    const auto wide = [](const std::string& path) { return L"\\\\?\\" + AnsiToWide(path); };
    const auto exists = [&](const std::string& path) { return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; };
    const auto put = [&](const std::string& path, const char* bytes) {
        const FileHandle file(CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(file && WriteFile(file.get(), bytes, static_cast<DWORD>(strlen(bytes)), &written, nullptr));
    };
    // 320 characters, beyond what the ANSI calls reach.
    std::string deep = scratch_ / "long";
    ASSERT_TRUE(CreateDirectoryW(wide(deep).c_str(), nullptr));
    while (deep.size() < 320) {
        deep += "\\abcdefghijklmnopqrstuvwxyz0123456789";
        ASSERT_TRUE(CreateDirectoryW(wide(deep).c_str(), nullptr));
    }
    put(deep + "\\old.txt", "old");
    EXPECT_EQ(0, Run("-UNATTENDED -STOP=1 " + Folders(aves_, deep)));
    EXPECT_FALSE(exists(deep + "\\old.txt")) << Log();
    EXPECT_NE(std::string::npos, Log().find("Pass AVE 1 ends: exit code 0"));

    // A folder literally named "T." beside "T": the prefix takes the name as it stands, so it is
    // refused, and "T" is never reached.
    const std::string plain = scratch_ / "T";
    test::MakeFolder(plain);
    WriteBytes(plain + "\\keep.txt", "keep");
    ASSERT_TRUE(CreateDirectoryW(wide(plain + ".").c_str(), nullptr));
    put(plain + ".\\keep.txt", "keep");
    EXPECT_EQ(2, Run("-UNATTENDED -STOP=1 " + Folders(aves_, "\\\\?\\" + plain + ".")));
    EXPECT_EQ("keep", ReadBytes(plain + "\\keep.txt"));
    EXPECT_TRUE(exists(plain + ".\\keep.txt"));
    DeleteFileW(wide(plain + ".\\keep.txt").c_str());
    RemoveDirectoryW(wide(plain + ".").c_str());

    // Documents redirected to a folder whose name the ANSI code page cannot spell, given by its
    // short name: still the profile's Documents folder.
    const std::wstring documents = AnsiToWide(scratch_.Path()) + L"\\\u0141ukasz\\Documents";
    ASSERT_TRUE(CreateDirectoryW((AnsiToWide(scratch_.Path()) + L"\\\u0141ukasz").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(documents.c_str(), nullptr));
    WriteBytes(scratch_ / "kept.txt", "keep");
    const wchar_t* shellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    RegKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, shellFolders, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             key.put(), nullptr));
    std::wstring saved(1024, L'\0');
    DWORD savedSize = static_cast<DWORD>(saved.size() * sizeof(wchar_t));
    DWORD savedType = 0;
    const bool had = RegQueryValueExW(key.get(), L"Personal", nullptr, &savedType, reinterpret_cast<BYTE*>(saved.data()),
                                      &savedSize) == ERROR_SUCCESS;
    RegSetValueExW(key.get(), L"Personal", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(documents.c_str()),
                   static_cast<DWORD>((documents.size() + 1) * sizeof(wchar_t)));
    wchar_t shortName[MAX_PATH] = {};
    const DWORD shortLength = GetShortPathNameW(documents.c_str(), shortName, MAX_PATH);
    const std::string shortText = WideToAnsi(std::wstring_view(shortName, shortLength));
    WriteBytes(shortText + "\\letter.txt", "mine");
    const long code = Run("-UNATTENDED -STOP=1 " + Folders(aves_, shortText));
    if (had) {
        RegSetValueExW(key.get(), L"Personal", 0, savedType, reinterpret_cast<const BYTE*>(saved.data()), savedSize);
    } else {
        RegDeleteValueW(key.get(), L"Personal");
    }
    EXPECT_NE(0u, shortLength);
    EXPECT_EQ(2, code);
    EXPECT_NE(std::string::npos, Log().find("will not be deleted: it is your Documents folder ")) << Log();
    EXPECT_EQ("mine", ReadBytes(shortText + "\\letter.txt"));
}

// A folder another program holds as its current folder is emptied, named as held, and the run ends
// before its passes; a second installation never resets a testing folder a first one is using.
TEST_F(UnattendedTest, HeldSubfolderIsNamedAndASecondInstallationLeavesTheFolderAlone) {
    test::PassFamily holder{scratch_ / "holder"};
    test::MakeFolder(holder.folder);
    test::MakeFolder(testing_ + "\\Ave007");
    WriteBytes(testing_ + "\\Ave007\\result.txt", "old");
    WriteBytes(testing_ + "\\old.txt", "old");
    std::string command = holder.Command(0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               (testing_ + "\\Ave007").c_str(), &startup, &info));
    const KernelHandle holding(info.hProcess);
    const KernelHandle holdingThread(info.hThread);
    for (const ULONGLONG deadline = GetTickCount64() + 20000; holder.Pids().empty() && GetTickCount64() < deadline;) {
        Sleep(20);
    }
    EXPECT_EQ(2, Run("-UNATTENDED -STOP=1 " + Folders()));
    holder.Release();
    WaitForSingleObject(holding.get(), 10000);
    EXPECT_NE(std::string::npos, Log().find("Ave007 - held by another program")) << Log();
    EXPECT_FALSE(PathExists(testing_ + "\\Ave007\\result.txt"));
    EXPECT_FALSE(PathExists(testing_ + "\\old.txt"));
    test::RemoveTree(testing_);

    // A second installation of the program, on the same testing folder by another spelling.
    const std::string second = scratch_ / "second";
    test::MakeFolder(second + "\\Files");
    ASSERT_TRUE(CopyFileA((app_ + "\\Orlenta.exe").c_str(), (second + "\\Orlenta.exe").c_str(), FALSE));
    WriteBytes(second + "\\Files\\KavroTestScript1.vbs", "WScript.Quit 0\r\n");
    char shortTesting[MAX_PATH] = {};
    KernelHandle first = Start("-UNATTENDED " + Folders() + " -START=1 -STOP=2");
    const long firstExit = Finish(first, [&] {
        if (!SecondPassWaiting()) return false;
        test::MakeFolder(testing_);  // as a script makes it with its results
        WriteBytes(testing_ + "\\tonight.txt", "pass 1");
        GetShortPathNameA(testing_.c_str(), shortTesting, MAX_PATH);
        EXPECT_EQ(2, Finish(Start("-UNATTENDED " + Folders(aves_, shortTesting) + " -STOP=1", second)));
        EXPECT_NE(std::string::npos, TakeOutput().find("Another run is using the testing folder"));
        EXPECT_EQ("pass 1", ReadBytes(testing_ + "\\tonight.txt"));
        family_.Release();
        return true;
    });
    EXPECT_EQ(0, firstExit);
    EXPECT_EQ("pass 1", ReadBytes(testing_ + "\\tonight.txt"));
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

TEST_F(UnattendedTest, CommandLineThatIsNotExactlyRightIsRefusedBeforeAnythingIsWritten) {
    test::MakeFolder(testing_);
    test::MakeFolder(aves_ + "\\Ave001");
    // Everything a careless -LOG= or -JUNIT= could destroy, as it was before.
    std::vector<std::string> kept = {testing_ + "\\canary.txt", aves_ + "\\Ave001\\Ave001.ach",
                                           scratch_ / "kavro\\KavFrame.exe", app_ + "\\Files\\KavroTestScript1.vbs",
                                           app_ + "\\Orlenta.exe", scratch_ / "notes.txt", app_ + "\\Orlenta.log"};
    WriteBytes(kept[0], "keep");
    WriteBytes(kept[1], "archive");
    WriteBytes(kept[5], "someone's notes");
    WriteBytes(kept[6], "2026-12-07T21:00:00 Run starts: yesterday's run\r\n");
    std::vector<std::string> before;
    for (const std::string& file : kept) before.push_back(ReadBytes(file));

    const std::string folders = "\"-AVE=" + aves_ + "\" -KAVRO=" + (scratch_ / "kavro");
    const std::string all = folders + " -TESTING=" + testing_;
    const std::string unattended = "-UNATTENDED " + folders;
    std::vector<std::string> refused = {
        unattended + " -TESTNG=" + testing_,                       // a mistyped option
        unattended + " -TESTING=C:\\nightly-autostart",            // a second option inside a value
        "-UNATTENDED " + all + " \"-START=1 -STOP=2",              // quotes that do not pair
        unattended,                                                // no testing folder
        "-UNATTENDED " + all + " -START=abc",                      // no number
        "-UNATTENDED " + all + " -START=2.5",                      // no whole number
        "-UNATTENDED " + all + " -START=5 -STOP=3",                // start above stop
        "-UNATTENDED " + all + " -START=2147483648",               // beyond 32 bits
        "-UNATTENDED " + all + " -TIMEOUT=0",                      // no time limit
        "-UNATTENDED " + all + " stray",                           // a token that is no option
        "-UNATTENDEDX " + all,                                     // names are exact
        "-UNATTENDED -AUTOSTART=foo " + all,
        "-UNATTENDED " + all + " -START=1 -START=2",               // an option twice
        "/UNATTENDED " + all, "-UNATTEND " + all, "UNATTENDED " + all, "-UNATTENDED=no " + all,
        "-UNATTENDED " + all + " -LOG=x.log -JUNIT=x.log",         // one file for both
        "-UNATTENDED " + all + " -LOG=x.log -HISTORY=x.log",
        "-UNATTENDED " + all + " -HISTORY=",                       // no file
        "-UNATTENDED " + all + " -AVES=1-3 -START=1",              // a list and a range
        "-UNATTENDED " + all + " -RERUN=" + kept[6] + " -AVES=1",  // a rerun and a list
        "-UNATTENDED " + all + " -RERUN=" + kept[6] + " -STOP=3",  // a rerun and a range
        "-UNATTENDED " + all + " -RETRY=6", "-UNATTENDED " + all + " -RETRY=-1",  // retries: 0 to 5
        "-UNATTENDED " + all + " -RETRY=x",
    };
    // Lists, shards and rerun files that do not read.
    WriteBytes(scratch_ / "foreign.xml", "<testsuite name=\"pytest\"><testcase classname=\"AVE\" name=\"Ave003\">"
                                         "<failure/></testcase></testsuite>");
    // Another program's file that merely holds a suite named as ours is no JUnit file of ours.
    const std::string merged = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n"
                               "<testsuite name=\"Orlenta\" tests=\"0\"/>\n</testsuites>\n";
    WriteBytes(scratch_ / "merged.xml", merged);
    refused.push_back("-UNATTENDED " + all + " -JUNIT=" + (scratch_ / "merged.xml"));
    for (const std::string& value : std::vector<std::string>{
             "-AVES=3,,4", "-AVES=5-3", "-AVES=1-200000", "-SHARD=4/3", "-SHARD=0/3", "-SHARD=2", "-RERUN=" + kept[5],
             "-RERUN=" + (scratch_ / "none.xml"), "-RERUN=" + (scratch_ / "foreign.xml")}) {
        refused.push_back("-UNATTENDED " + all + " " + value);
    }
    for (const char* option : {" -LOG=", " -JUNIT=", " -HISTORY=", " -REPORT="}) {
        for (const std::string& place :
             {testing_ + "\\results.xml", kept[1], kept[2], kept[3], kept[4], app_ + "\\InputData.txt",
              scratch_.Path(), scratch_ / "none\\results.xml", kept[5]}) {
            refused.push_back("-UNATTENDED " + all + option + place);
        }
    }
    // Misspelt switches never open the window, which would wait for ever on a machine nobody watches
    // (with -AUTOSTART its prompt would): they are refused, naming the switch meant. The em dash is
    // the ANSI code page's 0x97.
    std::vector<std::string> misspelt;
    for (const char* typo : {"-UNATENDED", "-UNATTNEDED", "-NATTENDED", "/UNATTENDED", "\x97UNATTENDED"}) {
        misspelt.push_back(typo + (" " + all));
        misspelt.push_back(typo + (" -AUTOSTART " + all));
    }
    refused.insert(refused.end(), misspelt.begin(), misspelt.end());
    // Outputs that are not the program's own: another program's log that also begins with a time,
    // a second name of the product's program, a link that leads to nothing yet inside the AVE folder.
    WriteBytes(scratch_ / "backup.log", "2026-12-07T21:00:00 Backup of C: finished\r\n");
    kept.push_back(scratch_ / "backup.log");
    before.push_back(ReadBytes(kept.back()));
    ASSERT_TRUE(CreateHardLinkA((scratch_ / "frame.log").c_str(), kept[2].c_str(), nullptr));
    const std::string unmade = aves_ + "\\Ave001\\unmade.txt";
    ASSERT_FALSE(test::UnixPath(aves_).empty());
    ASSERT_TRUE(test::RunHostScript("ln -s '" + test::UnixPath(aves_) + "/Ave001/unmade.txt' '" +
                                    test::UnixPath(scratch_.Path()) + "/dangling.log'"));
    for (const std::string& place : {kept.back(), scratch_ / "frame.log", scratch_ / "dangling.log"}) {
        refused.push_back("-UNATTENDED " + all + " -LOG=" + place);
    }
    for (const std::string& arguments : refused) {
        SCOPED_TRACE(arguments);
        EXPECT_EQ(2, Run(arguments));
        const std::string output = TakeOutput();
        EXPECT_NE(std::string::npos, output.find("Command line refused: "));
        if (std::find(misspelt.begin(), misspelt.end(), arguments) != misspelt.end()) {
            EXPECT_NE(std::string::npos, output.find("\"; did you mean -UNATTENDED? Nothing deleted")) << output;
        }
        for (size_t i = 0; i < kept.size(); ++i) {
            EXPECT_EQ(before[i], ReadBytes(kept[i])) << kept[i];
        }
        EXPECT_FALSE(PathExists(app_ + "\\InputData.txt"));
        EXPECT_FALSE(PathExists(app_ + "\\x.log"));
        EXPECT_EQ(merged, ReadBytes(scratch_ / "merged.xml"));
        EXPECT_FALSE(PathExists(unmade));
    }
    // The default history, beside the default log, as a link that leads into the AVE folder.
    ASSERT_TRUE(test::RunHostScript("ln -s '" + test::UnixPath(aves_) + "/Ave001/unmade.txt' '" +
                                    test::UnixPath(app_) + "/Orlenta-history.db'"));
    EXPECT_EQ(2, Run("-UNATTENDED " + all));
    EXPECT_NE(std::string::npos, TakeOutput().find("Orlenta-history.db is a link that leads to nothing"));
    EXPECT_FALSE(PathExists(unmade));
    EXPECT_EQ(before[6], ReadBytes(kept[6]));
    // Links that lead nowhere are not listed under Wine, so the scratch folder's removal would not see them.
    EXPECT_TRUE(test::RunHostScript("rm '" + test::UnixPath(app_) + "/Orlenta-history.db' '" +
                                    test::UnixPath(scratch_.Path()) + "/dangling.log'"));
    // A program folder the ANSI code page cannot spell (Greek in a Western one) is refused too.
    const std::wstring greek = AnsiToWide(scratch_.Path()) + L"\\\u03a9\u03bc\u03b5\u03b3\u03b1";
    ASSERT_TRUE(CreateDirectoryW(greek.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(AnsiToWide(kept[4]).c_str(), (greek + L"\\Orlenta.exe").c_str(), FALSE));
    EXPECT_EQ(2, Finish(StartIn(greek, "-UNATTENDED " + all)));
    EXPECT_NE(std::string::npos, TakeOutput().find("Command line refused: The program's folder \""));
    EXPECT_EQ(before[0], ReadBytes(kept[0]));
}

TEST_F(UnattendedTest, SecondRunInTheSameFolderByAnySpellingIsRefusedAndAStopEndsTheFirst) {
    const HostSymlink drive = HostSymlink::Drive(scratch_.Path(), 'U');
    ASSERT_TRUE(drive.Made()) << drive.Problem();
    KernelHandle first = Start("-UNATTENDED " + Folders() + " -START=1 -STOP=3");
    const std::string holder = "process " + std::to_string(processId_) + ", since ";
    const long firstExit = Finish(first, [&] {
        if (!SecondPassWaiting()) return false;
        for (const std::string& app : {app_, std::string("U:\\app")}) {
            SCOPED_TRACE(app);
            EXPECT_EQ(2, Finish(Start("-UNATTENDED " + Folders() + " -STOP=1", app)));
            const std::string output = TakeOutput();
            EXPECT_NE(std::string::npos, output.find("Another run is using ")) << output;
            EXPECT_NE(std::string::npos, output.find(holder)) << output;
        }
        AskToEnd(GetProcessId(first.get()));
        return true;
    });
    EXPECT_EQ(2, firstExit);
    EXPECT_TRUE(family_.AllEnded()) << "a process of the stopped pass survived it";
    EXPECT_FALSE(PathExists(app_ + "\\Orlenta.lock"));
    // The first run's log is its own from start to end.
    EXPECT_EQ(std::string::npos, Log().find("Run starts: ", Log().find("Run starts: ") + 1)) << Log();
    EXPECT_NE(std::string::npos, Log().find(", stopped; exit code 2"));
    // Every record is written: pass 1 passed, pass 2 stopped, pass 3 never ran.
    ASSERT_TRUE(ValidJUnit(junit_));
    const std::string xml = ReadBytes(junit_);
    EXPECT_NE(std::string::npos, xml.find("tests=\"4\" failures=\"0\" errors=\"2\" skipped=\"1\""));
    EXPECT_NE(std::string::npos, xml.find("<error message=\"stopped\"/>"));
    EXPECT_NE(std::string::npos, xml.find("<error message=\"stopped\">A stop was requested.</error>"));
    EXPECT_NE(std::string::npos, xml.find("name=\"Ave003\" time=\"0.000\">\n    <skipped message=\"not run\"/>"));

    // What takes the lock's or the input file's name and is no plain file of one name is neither
    // written nor deleted.
    const std::string archive = aves_ + "\\Ave001\\Ave001.ach";
    test::MakeFolder(aves_ + "\\Ave001");
    WriteBytes(archive, "archive");
    for (const char* name : {"Orlenta.lock", "InputData.txt"}) {
        const std::string planted = app_ + "\\" + name;
        // The AVE folder's name is beyond ASCII: the host makes the symbolic link from a script of bytes.
        const std::string unixPlanted = "'" + test::UnixPath(planted) + "'";
        for (const bool hard : {true, false}) {
            SCOPED_TRACE(std::string(name) + (hard ? ": a hard link" : ": a symbolic link"));
            if (hard) {
                ASSERT_TRUE(CreateHardLinkA(planted.c_str(), archive.c_str(), nullptr));
            } else {
                ASSERT_TRUE(test::RunHostScript("ln -s '" + test::UnixPath(archive) + "' " + unixPlanted));
                ASSERT_TRUE(PathExists(planted));
            }
            EXPECT_EQ(2, Run("-UNATTENDED " + Folders() + " -STOP=1"));
            const std::string said = TakeOutput() + (PathExists(app_ + "\\Orlenta.log") ? Log() : "");
            EXPECT_NE(std::string::npos, said.find(std::string(name) + (hard ? " has 2 names" : " is a link"))) << said;
            EXPECT_EQ("archive", ReadBytes(archive));
            EXPECT_TRUE(test::RunHostScript("rm " + unixPlanted));
        }
    }
    const std::string lockPath = app_ + "\\Orlenta.lock";
    // A plain lock left by a machine that stopped is taken over, and goes with the run.
    WriteBytes(lockPath, "Machine: gone\r\n");
    family_.Release();
    EXPECT_EQ(0, Run("-UNATTENDED " + Folders() + " -STOP=1"));
    EXPECT_FALSE(PathExists(lockPath));
    EXPECT_EQ("archive", ReadBytes(archive));
}

// A logoff or shutdown ends the process once WM_ENDSESSION returns: the run is stopped and its
// records made final before that.
TEST_F(UnattendedTest, LogoffStopsTheRunWithItsSummaryAndItsJUnitFile) {
    KernelHandle process = Start("-UNATTENDED " + Folders() + " -START=1 -STOP=3");
    const long exitCode = Finish(process, [&] {
        if (!SecondPassWaiting()) return false;
        const HWND window = FindWindowA("OrlentaUnattended", nullptr);
        EXPECT_NE(nullptr, window);
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 10000, &answer);
        EXPECT_EQ(TRUE, static_cast<BOOL>(answer));
        SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 10000, &answer);
        TerminateProcess(process.get(), 99);  // as the system does once WM_ENDSESSION has returned
        return true;
    });
    EXPECT_EQ(2, exitCode);
    EXPECT_TRUE(family_.AllEnded()) << "a process of the stopped pass survived it";
    EXPECT_NE(std::string::npos, Log().find(", stopped; exit code 2"));
    ASSERT_TRUE(ValidJUnit(junit_));
    EXPECT_NE(std::string::npos, ReadBytes(junit_).find("name=\"Ave003\" time=\"0.000\">\n    <skipped"));
}

TEST_F(UnattendedTest, JUnitFileHeldOpenByAReaderIsTonightsOrTheRunSaysWhy) {
    family_.Release();
    for (const DWORD share : {DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}, DWORD{FILE_SHARE_READ}}) {
        SCOPED_TRACE(share);
        // Last night's, as the previous version wrote it.
        WriteBytes(junit_, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuite name=\"Orlenta\" tests=\"7\"></testsuite>\n");
        FileHandle reader(CreateFileA(junit_.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader);
        const long exitCode = Run("-UNATTENDED " + Folders() + " -STOP=2");
        reader.reset();
        if (exitCode == 0) {
            ASSERT_TRUE(ValidJUnit(junit_));
            EXPECT_NE(std::string::npos, ReadBytes(junit_).find("tests=\"2\""));
        } else {
            EXPECT_EQ(2, exitCode);
            EXPECT_NE(std::string::npos, Log().find(", JUnit results not written to " + junit_ + ": ")) << Log();
        }
        EXPECT_EQ(share == FILE_SHARE_READ ? 2 : 0, exitCode) << "as measured under Wine 8";
    }
}

TEST_F(UnattendedTest, EveryPassReadsTheWholeInputFileWhateverTheLastPassDidToIt) {
    WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs",
               "Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
               "lines = Split(fso.OpenTextFile(\"InputData.txt\", 1).ReadAll, vbCrLf)\r\n"
               "If lines(UBound(lines) - 1) = \"1\" Then\r\n"
               "  fso.DeleteFile \"InputData.txt\"\r\n"
               "  WScript.Quit 0\r\n"
               "End If\r\n"
               "If UBound(lines) = 10 And lines(0) = \"" + aves_ + "\\\" Then WScript.Quit 0\r\n"
               "WScript.Quit 7\r\n");
    EXPECT_EQ(0, Run("-UNATTENDED " + Folders() + " -STOP=2")) << Log();

    // A folder in the input file's place cannot be written afresh: no pass runs on what it holds.
    WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs",
               "Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
               "fso.DeleteFile \"InputData.txt\"\r\n"
               "fso.CreateFolder \"InputData.txt\"\r\n");
    EXPECT_EQ(2, Run("-UNATTENDED " + Folders() + " -STOP=2")) << Log();
    EXPECT_EQ(std::string::npos, Log().find("Pass AVE 2 starts")) << Log();
    EXPECT_NE(std::string::npos, ReadBytes(junit_).find("name=\"Ave002\" time=\"0.000\">\n    <skipped"));
    RemoveDirectoryA((app_ + "\\InputData.txt").c_str());
}

// Killed at any moment, the JUnit file is valid, red, and names every AVE that never ran; a rerun
// of it takes those and the failures, and a rerun of its own file that is killed takes them again.
TEST_F(UnattendedTest, ResultsStayValidWhenTheProgramIsKilledMidRun) {
    // The validator is no formality: it refuses a count that is no number.
    WriteBytes(scratch_ / "bad.xml", "<testsuite name=\"x\" tests=\"x\" failures=\"0\" errors=\"0\" skipped=\"0\" "
                                     "time=\"0\" timestamp=\"2026-12-08T21:04:05\" hostname=\"h\"/>");
    EXPECT_FALSE(ValidJUnit(scratch_ / "bad.xml"));
    // AVEs 1 to 3 end at once (2 fails), later AVEs wait until the program is killed.
    WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs",
               "Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
               "lines = Split(fso.OpenTextFile(\"InputData.txt\", 1).ReadAll, vbCrLf)\r\n"
               "n = CLng(lines(UBound(lines) - 1))\r\n"
               "If n = 2 Then WScript.Quit 1\r\n"
               "If n < 4 Then WScript.Quit 0\r\n" +
                   family_.Script(0, 0));
    const auto passWaits = [&] { return SecondPassWaiting(); };
    const auto resetGoesOn = [&] { return test::TreeEntries(testing_, false).size() < 50u; };
    struct Case {
        const char* name;
        std::string aves;
        std::function<bool()> killNow;
        const char* counts;
        std::vector<std::string> notRun;  // listed one by one
        const char* folded;               // the rest, and the AVEs it lists
        const char* passes;               // ended, as the history keeps them
        const char* rerun;                // what a rerun of the file takes
        const char* rerunAgain;           // what a rerun of that rerun's file takes
        bool bigReset = false;
        bool padded = false;  // the tail got shorter than it was: white space after the suite
    };
    const Case cases[] = {
        // A rerun of this one runs to its end: only the failure is left.
        {"during the reset", "-START=1 -STOP=3", resetGoesOn, "tests=\"4\" failures=\"0\" errors=\"1\" skipped=\"3\"",
         {"Ave001", "Ave002", "Ave003"}, "", "0||\n", "1-3", "2", true},
        {"during pass 1 of 2", "-AVES=4-5", passWaits, "tests=\"3\" failures=\"0\" errors=\"1\" skipped=\"2\"",
         {"Ave004", "Ave005"}, "", "0||\n", "4-5", "4-5"},
        {"after some passes", "-START=1 -STOP=5", passWaits, "tests=\"6\" failures=\"1\" errors=\"1\" skipped=\"2\"",
         {"Ave004", "Ave005"}, "", "3||\n", nullptr, nullptr, false, true},
        {"after some passes of a long list", "-AVES=1-4,10-1500", passWaits,
         "tests=\"1005\" failures=\"1\" errors=\"1\" skipped=\"1001\"", {"Ave004", "Ave010", "Ave1008"},
         "name=\"Ave1009 to Ave1500\" time=\"0.000\">\n    <skipped message=\"492 more AVEs not run\"/>\n"
         "    <system-out>1009-1500</system-out>",
         "3||\n", "2,4,10-1500", "2,4,10-1500"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.bigReset) {
            // A reset that takes a while: 50 folders of 100 entries each.
            test::MakeFolder(testing_);
            ASSERT_TRUE(test::RunHostScript("cd '" + test::UnixPath(testing_) +
                                            "' && for d in $(seq 50); do mkdir -p d$d/a/b/c/d/e/f/g/h/i && "
                                            "(cd d$d/a/b/c/d/e/f/g/h/i && touch $(seq 91)); done"));
        }
        DeleteFileA((scratch_ / "pids.txt").c_str());
        KernelHandle process = Start("-UNATTENDED " + Folders() + " " + c.aves);
        EXPECT_EQ(9, Finish(process, [&] {
                      if (!c.killNow()) return false;
                      TerminateProcess(process.get(), 9);
                      return true;
                  }));
        ASSERT_TRUE(ValidJUnit(junit_));
        const std::string xml = ReadBytes(junit_);
        EXPECT_NE(std::string::npos, xml.find(c.counts)) << xml.substr(0, 400);
        EXPECT_NE(std::string::npos, xml.find("<testcase classname=\"Orlenta\" name=\"run\" time=\""));
        EXPECT_NE(std::string::npos, xml.find("\">\n    <error message=\"the run did not finish\">"));
        for (const std::string& ave : c.notRun) {
            EXPECT_NE(std::string::npos, xml.find("name=\"" + ave + "\" time=\"0.000\">\n    <skipped message=\"not run\"/>"))
                << ave;
        }
        EXPECT_NE(std::string::npos, xml.find(c.folded));
        EXPECT_EQ(*c.folded == '\0', xml.find(" more AVEs not run") == std::string::npos);
        const std::string after = xml.substr(xml.find("</testsuite>\n") + 13);
        EXPECT_EQ(c.padded, !after.empty() && after.find_first_not_of(" \n") == std::string::npos);
        EXPECT_TRUE(family_.AllEnded()) << "the pass outlived the program that owned it";
        EXPECT_FALSE(PathExists(app_ + "\\Orlenta.lock")) << "the lock outlived the program that held it";
        // The history (beside the log) keeps every pass that had ended, and a run that never ended.
        EXPECT_EQ(c.passes, test::HostScriptOutput("sqlite3 '" + test::UnixPath(app_ + "\\Orlenta-history.db") +
                                                   "' 'SELECT count(p.id), r.ended, r.exit_code FROM runs r LEFT JOIN "
                                                   "passes p ON p.run_id = r.id WHERE r.id = (SELECT max(id) FROM runs)'")
                                .value_or("(none)"));

        // A rerun of the file, its results in the same file, killed in its first pass that waits
        // (or let end); then another rerun of that file.
        for (const char* rerun : {c.rerun, c.rerunAgain}) {
            if (rerun == nullptr) continue;
            DeleteFileA((scratch_ / "pids.txt").c_str());
            KernelHandle again = Start("-UNATTENDED " + Folders() + " -RERUN=" + junit_);
            Finish(again, [&] {
                if (!SecondPassWaiting()) return false;
                TerminateProcess(again.get(), 9);
                return true;
            });
            EXPECT_NE(std::string::npos, Log().find("To rerun from " + junit_ + ": " + rerun + "\r\n")) << Log();
            ASSERT_TRUE(ValidJUnit(junit_));
        }
    }
}

// Each pass appends the AVE numbers its input file holds to `order`, one line a pass; AVEs that
// are multiples of 3 fail.
std::string RecordingScript(const std::string& order) {
    return "Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
           "lines = Split(fso.OpenTextFile(\"InputData.txt\", 1).ReadAll, vbCrLf)\r\n"
           "seen = \"\"\r\n"
           "For i = 8 To UBound(lines) - 1: seen = seen & \" \" & lines(i): Next\r\n"
           "Set out = fso.OpenTextFile(\"" + order + "\", 8, True)\r\n"
           "out.WriteLine Trim(seen)\r\n"
           "out.Close\r\n"
           "If CLng(lines(UBound(lines) - 1)) Mod 3 = 0 Then WScript.Quit 1\r\n";
}

class NightlyChoiceTest : public UnattendedTest {
protected:
    void SetUp() override {
        UnattendedTest::SetUp();
        WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs", RecordingScript(order_));
    }
    // The passes of one run, each as the numbers its input file held.
    std::string Passes(long expectedExit, const std::string& choice) {
        DeleteFileA(order_.c_str());
        EXPECT_EQ(expectedExit, Run("-UNATTENDED " + Folders() + " " + choice)) << choice;
        return PathExists(order_) ? ReadBytes(order_) : "";
    }
    const std::string order_ = scratch_ / "order.txt";
};

TEST_F(NightlyChoiceTest, ListsRunInTheirOrderEachAveOnceAndTheInputFileGrowsInThatOrder) {
    EXPECT_EQ("3\r\n3 1\r\n3 1 2\r\n", Passes(1, "-AVES=3,1-2"));
    EXPECT_EQ("5\r\n5 1\r\n5 1 2\r\n5 1 2 4\r\n", Passes(0, "\"-AVES=5, 1-2,2 ,1-2,4-4,5\""));
    EXPECT_NE(std::string::npos, Log().find("AVE numbers 5, 1-2,2 ,1-2,4-4,5, types"));
}

TEST_F(NightlyChoiceTest, RerunTakesExactlyTheFailuresOfItsFileAndNothingWhenNoneFailed) {
    // AVEs 3 and 6 fail; the rerun reads the file before its own run replaces it. One that ends
    // before its passes (no AVE folder) leaves them to the next.
    Passes(1, "-START=1 -STOP=7");
    EXPECT_EQ(2, Run("-UNATTENDED " + Folders(scratch_ / "none") + " -RERUN=" + junit_));
    EXPECT_NE(std::string::npos, Log().find("To rerun from " + junit_ + ": 3,6\r\n"));
    EXPECT_EQ("3\r\n3 6\r\n", Passes(1, "-RERUN=" + junit_));
    EXPECT_NE(std::string::npos, Log().find("To rerun from " + junit_ + ": 3,6\r\n"));
    ASSERT_TRUE(ValidJUnit(junit_));
    const std::string failing = ReadBytes(junit_);
    EXPECT_NE(std::string::npos, failing.find("tests=\"2\" failures=\"2\""));

    // None failed: logged, no pass, exit code 0, the testing folder and the file untouched.
    Passes(0, "-START=1 -STOP=2");
    const std::string cleanRun = ReadBytes(junit_);
    test::MakeFolder(testing_);
    WriteBytes(testing_ + "\\canary.txt", "keep");
    EXPECT_EQ("", Passes(0, "-RERUN=" + junit_));
    EXPECT_NE(std::string::npos, Log().find("Nothing to rerun: no AVE failed or was left not run in "));
    EXPECT_EQ("keep", ReadBytes(testing_ + "\\canary.txt"));
    EXPECT_EQ(cleanRun, ReadBytes(junit_));
    // A JUnit file of its own says that nothing ran, never what an earlier run found.
    WriteBytes(scratch_ / "clean.xml", cleanRun);
    WriteBytes(junit_, failing);
    EXPECT_EQ("", Passes(0, "-RERUN=" + (scratch_ / "clean.xml")));
    ASSERT_TRUE(ValidJUnit(junit_));
    EXPECT_NE(std::string::npos, ReadBytes(junit_).find("tests=\"0\" failures=\"0\" errors=\"0\""));

    // Refused, saying why: more AVEs left not run than a rerun takes (a night that ended before
    // its passes), and a file the parser stops in, where it stopped.
    EXPECT_EQ(2, Run("-UNATTENDED " + Folders(scratch_ / "none") + " -START=1 -STOP=100500"));
    WriteBytes(scratch_ / "broken.xml", "<?xml version=\"1.0\"?>\n<testsuite name=\"Orlenta\">\n  <testcase>\n</testsuite>\n");
    TakeOutput();
    for (const auto& [file, why] : std::vector<std::pair<std::string, std::string>>{
             {junit_, "it names more AVEs not run than a rerun takes \\(100500; at most 100000\\)\\."},
             {scratch_ / "broken.xml", "it cannot be read as XML \\(line \\d+, column \\d+: \\w.*\\w\\)\\."}}) {
        EXPECT_EQ(2, Run("-UNATTENDED " + Folders() + " -RERUN=" + file));
        const std::string output = TakeOutput();
        EXPECT_TRUE(std::regex_search(output, std::regex(why))) << output;
    }
}

TEST_F(NightlyChoiceTest, ShardsTakeEveryNthAveAndTogetherRunEachOnce) {
    EXPECT_EQ("2\r\n2 5\r\n", Passes(0, "-START=1 -STOP=7 -SHARD=2/3"));
    std::string all;
    for (int k = 1; k <= 4; ++k) {
        SCOPED_TRACE(k);
        // The last number of each line is the AVE of that pass.
        const std::string passes = Passes(k == 1 ? 0 : 1, "-AVES=10,1-9 -SHARD=" + std::to_string(k) + "/4");
        const std::regex last("\\d+(?=\r\n)");
        for (auto it = std::sregex_iterator(passes.begin(), passes.end(), last); it != std::sregex_iterator(); ++it) {
            all += it->str() + ",";
        }
        ASSERT_TRUE(ValidJUnit(junit_));
        const std::string xml = ReadBytes(junit_);
        const std::string shard = std::to_string(k) + "/4";
        EXPECT_NE(std::string::npos, xml.find("<testsuite name=\"Orlenta shard " + shard + "\""));
        EXPECT_NE(std::string::npos, xml.find("<property name=\"shard\" value=\"" + shard + "\"/>"));
    }
    EXPECT_EQ("10,4,8,1,5,9,2,6,3,7,", all);
}

// Shards dealt by the durations of a timings file: every AVE runs once, the heavy ones (all on one
// shard when dealt by number) go apart, and the deal is the same whatever the file's spelling, copy
// or merge under testsuites; an AVE the file does not know still runs.
TEST_F(NightlyChoiceTest, ShardsDealtByDurationsRunEachAveOnceWithTheHeavyOnesApart) {
    std::string cases;
    for (int ave = 1; ave <= 11; ++ave) {
        const bool heavy = ave == 1 || ave == 5 || ave == 9;
        char name[16];
        std::snprintf(name, sizeof name, "Ave%03d", ave);
        cases += "  <testcase classname=\"AVE\" name=\"" + std::string(name) + "\" time=\"" + (heavy ? "50.000" : "1.000") +
                 "\"/>\n";
    }
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const std::string suite = "<testsuite name=\"Orlenta\" tests=\"11\" failures=\"0\" errors=\"0\" skipped=\"0\" "
                              "time=\"158.000\" timestamp=\"2026-12-08T21:04:05\" hostname=\"QA-1\">\n" + cases +
                              "</testsuite>\n";
    const std::string timings = scratch_ / "last night.xml";
    WriteBytes(timings, declaration + suite);
    test::MakeFolder(scratch_ / "kept");
    WriteBytes(scratch_ / "kept\\merged.xml", declaration + "<testsuites>\n" + suite + "</testsuites>\n");
    const auto deal = [&](const std::string& file, int k) {
        DeleteFileA(order_.c_str());
        const long code = Run("-UNATTENDED " + Folders() + " -START=1 -STOP=12 -SHARD=" + std::to_string(k) +
                              "/4 \"-TIMINGS=" + file + "\"");
        EXPECT_TRUE(code == 0 || code == 1) << Log();
        std::vector<int> aves;
        const std::string passes = PathExists(order_) ? ReadBytes(order_) : "";
        const std::regex last("\\d+(?=\r\n)");
        for (auto it = std::sregex_iterator(passes.begin(), passes.end(), last); it != std::sregex_iterator(); ++it) {
            aves.push_back(std::stoi(it->str()));
        }
        std::smatch planned;
        const std::string log = Log();
        EXPECT_TRUE(std::regex_search(log, planned, std::regex("Planned: shard \\d+/4 ([0-9.]+) s"))) << log;
        return std::pair(aves, planned.size() > 1 ? std::stod(planned[1]) : -1.0);
    };
    std::vector<std::vector<int>> shards;
    std::vector<int> all;
    double slowest = 0;
    for (int k = 1; k <= 4; ++k) {
        SCOPED_TRACE(k);
        const auto [aves, seconds] = deal(timings, k);
        EXPECT_TRUE(std::is_sorted(aves.begin(), aves.end())) << "a shard runs in number order";
        shards.push_back(aves);
        all.insert(all.end(), aves.begin(), aves.end());
        slowest = std::max(slowest, seconds);
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), all) << "every AVE once, 12 unknown to the file";
    // The ideal is the longest AVE here (50 s over a night of 4); by number one shard would take 150 s.
    EXPECT_LE(slowest, 50.0 * 1.05);
    char shortName[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameA(timings.c_str(), shortName, MAX_PATH));
    std::string slashes = timings;
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    ASSERT_TRUE(CopyFileA(timings.c_str(), (scratch_ / "kept\\copy.xml").c_str(), FALSE));
    for (const std::string& spelling : {std::string(shortName), slashes, scratch_ / "kept\\copy.xml",
                                        scratch_ / "kept\\merged.xml"}) {
        SCOPED_TRACE(spelling);
        EXPECT_EQ(shards[1], deal(spelling, 2).first);
    }
    // The history these nights kept deals as well, by each AVE's median.
    const auto [fromHistory, historySeconds] = deal(app_ + "\\Orlenta-history.db", 1);
    EXPECT_FALSE(fromHistory.empty());
    EXPECT_GE(historySeconds, 0.0) << "no Planned: line";
    // Without a shard there is nothing to deal: refused, like a file that is no Orlenta's.
    EXPECT_EQ(2, Run("-UNATTENDED " + Folders() + " \"-TIMINGS=" + timings + "\""));
    EXPECT_EQ(2, Run("-UNATTENDED " + Folders() + " -SHARD=1/2 -TIMINGS=" + app_ + "\\Orlenta.exe"));
}

}  // namespace
}  // namespace orlenta
