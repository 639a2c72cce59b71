// The built Orlenta.exe keeping its run history and writing the morning report: rows read back with
// the stock sqlite3 shell, the time left in the log, and the report of several nights in a browser.
#include <windows.h>

#include <functional>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "util/Handles.h"
#include "util/Text.h"

namespace orlenta {
namespace {

using test::ReadBytes;
using test::WriteBytes;

// AVE 1 takes about a second and a half (Wine's script host has no WScript.Sleep), AVE 2 fails.
constexpr const char* kTimedScript =
    "lines = Split(CreateObject(\"Scripting.FileSystemObject\").OpenTextFile(\"InputData.txt\", 1).ReadAll, vbCrLf)\r\n"
    "If CLng(lines(UBound(lines) - 1)) = 2 Then WScript.Quit 1\r\n"
    "t = Timer\r\n"
    "Do While Timer - t < 1.5 And Timer >= t\r\n"
    "Loop\r\n";

class HistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::MakeFolder(app_ + "\\Files");
        ASSERT_TRUE(CopyFileA(test::WindowsPathOf(ORLENTA_EXE).c_str(), (app_ + "\\Orlenta.exe").c_str(), FALSE));
        test::MakeFolder(aves_);
        test::MakeFolder(scratch_ / "kavro");
        WriteBytes(scratch_ / "kavro\\KavFrame.exe", "stand-in");
    }

    KernelHandle Start(const std::string& arguments, const std::string& app = "") {
        const std::string& folder = app.empty() ? app_ : app;
        const std::string testing = app.empty() ? scratch_ / "testing" : app + "-testing";
        std::wstring line = AnsiToWide("\"" + folder + "\\Orlenta.exe\" -UNATTENDED \"-AVE=" + aves_ + "\" -KAVRO=" +
                                       (scratch_ / "kavro") + " -TESTING=" + testing + " " + arguments);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
        CloseHandle(info.hThread);
        return KernelHandle(info.hProcess);
    }
    static long Finish(const KernelHandle& process) {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.get(), 120000));
        DWORD code = 99;
        GetExitCodeProcess(process.get(), &code);
        return static_cast<long>(code);
    }
    long Run(const std::string& arguments) { return Finish(Start(arguments)); }

    // Runs AVEs 1 to 3 with the script that holds AVE 2 until `act` has been done, once the log
    // says that AVE 2 has started.
    long RunActingDuringPassTwo(const std::string& arguments, const std::function<void()>& act) {
        WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs", HoldingScript());
        DeleteFileA(go_.c_str());
        DeleteFileA((app_ + "\\Orlenta.log").c_str());
        const KernelHandle process = Start("-STOP=3 " + arguments);
        EXPECT_TRUE(LogSays(app_ + "\\Orlenta.log", "Pass AVE 2 starts")) << Log();
        act();
        WriteBytes(go_, "");
        return Finish(process);
    }
    std::string HoldingScript() const {
        return "Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
               "lines = Split(fso.OpenTextFile(\"InputData.txt\", 1).ReadAll, vbCrLf)\r\n"
               "If CLng(lines(UBound(lines) - 1)) = 2 Then\r\n"
               "t = Timer\r\n"
               "Do While Not fso.FileExists(\"" + go_ + "\") And Abs(Timer - t) < 60\r\n"
               "Loop\r\n"
               "End If\r\n";
    }
    // Polls the log until it holds the text, for at most a minute.
    static bool LogSays(const std::string& log, const std::string& text) {
        for (const ULONGLONG deadline = GetTickCount64() + 60000; GetTickCount64() < deadline; Sleep(10)) {
            if (test::PathExists(log) && ReadBytes(log).find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    // The history's rows as the stock shell prints them, one a line, columns separated by "|".
    std::string Sql(const std::string& query, const std::string& file = "") const {
        return test::HostScriptOutput("sqlite3 '" + test::UnixPath(file.empty() ? history_ : file) + "' \"" + query +
                                      "\"")
            .value_or("(none)");
    }
    std::string Log() const { return ReadBytes(app_ + "\\Orlenta.log"); }

    test::ScratchFolder scratch_;
    const std::string app_ = scratch_ / "app";
    const std::string aves_ = scratch_ / "AVEs \xE9";
    const std::string history_ = app_ + "\\Orlenta-history.db";  // beside the log, where no -HISTORY= puts it
    const std::string report_ = scratch_ / "report.html";
    const std::string fallback_ = app_ + "\\Orlenta.log.history.db";  // beside the default log
    const std::string go_ = scratch_ / "go";
};

// What a history holds of its runs and passes, one run a line: exit code, planned, passes.
constexpr const char* kRunsAndPasses =
    "SELECT r.exit_code, r.planned, count(p.id) FROM runs r LEFT JOIN passes p ON p.run_id = r.id GROUP BY r.id "
    "ORDER BY r.id";

double SecondsLeft(const std::string& log, const std::string& pass) {
    std::smatch found;
    const std::regex line("Pass AVE " + pass + " starts: [^\\r]* \\(" + pass + " of 2, about ([0-9.]+) s left\\)");
    return std::regex_search(log, found, line) ? std::stod(found[1]) : -1;
}

TEST_F(HistoryTest, RunsAndPassesAreReadBackWithTheStockShellAndTimeTheNextNight) {
    WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs", kTimedScript);
    EXPECT_EQ(1, Run("-STOP=2"));
    EXPECT_EQ(1, Run("-STOP=2"));
    EXPECT_EQ("1\n1330793544\n", Sql("PRAGMA user_version; PRAGMA application_id"));
    EXPECT_EQ("1|1|2|1|exited|0\n1|1|2|2|exited|1\n2|1|2|1|exited|0\n2|1|2|2|exited|1\n",
              Sql("SELECT r.id, r.exit_code, r.planned, p.ave, p.outcome, p.exit_code FROM passes p "
                  "JOIN runs r ON r.id = p.run_id ORDER BY p.id"));
    EXPECT_NE(std::string::npos, Sql("SELECT ave_folder FROM runs").find("AVEs \xC3\xA9")) << "UTF-8";
    std::istringstream seconds(Sql("SELECT seconds FROM passes WHERE run_id = 1 ORDER BY id"));
    double first = 0;
    double second = 0;
    seconds >> first >> second;
    EXPECT_GE(first, 1.4);
    // The second night's log: where it stands, and what the first night's durations say is left.
    const std::string log = Log();
    EXPECT_NEAR(first + second, SecondsLeft(log, "1"), 0.051) << log;
    EXPECT_NEAR(second, SecondsLeft(log, "2"), 0.051) << log;

    // A history that cannot be written (held by a reader that shares no writing, as a read-only file
    // is on Windows; root under Wine writes read-only files): said in the log, the exit code as it was.
    FileHandle reader(CreateFileA(history_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);
    EXPECT_EQ(1, Run("-STOP=2"));
    reader.reset();
    EXPECT_NE(std::string::npos, Log().find("The history " + history_ + " cannot be written: ")) << Log();
    EXPECT_NE(std::string::npos, Log().find("Run ends: 2 passes, 1 failed; exit code 1"));
    EXPECT_GT(SecondsLeft(Log(), "1"), 1.4) << "a history that can be read still times the night";
    EXPECT_EQ("4\n", Sql("SELECT count(*) FROM passes"));
    // The run it could not hold is whole beside the log.
    EXPECT_NE(std::string::npos, Log().find("(it holds none of it): the run and its 2 passes are in " + fallback_));
    EXPECT_EQ("1|2|2\n", Sql(kRunsAndPasses, fallback_));
}

TEST_F(HistoryTest, HistoryAnotherProgramHoldsAtTheStartNeverStopsTheNightNorTakesAnotherProgramsFile) {
    WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs", "");
    EXPECT_EQ(0, Run("-STOP=1"));
    const std::string foreign = scratch_ / "notes.db";
    WriteBytes(foreign, "someone's notes, no database\r\n");
    for (const std::string& file : {history_, foreign}) {
        SCOPED_TRACE(file);
        const std::string before = ReadBytes(file);
        // Held with no sharing at all until the second pass, as a backup or a scan may hold it.
        FileHandle holder(CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_EQ(0, RunActingDuringPassTwo("-HISTORY=" + file, [&] { holder.reset(); }));
        const std::string log = Log();
        EXPECT_NE(std::string::npos, log.find("The history " + file + " cannot be opened now: ")) << log;
        if (file == history_) {
            EXPECT_NE(std::string::npos, log.find("The history " + file + " can be used now")) << log;
            EXPECT_EQ("0|1|1\n0|3|3\n", Sql(kRunsAndPasses));
            EXPECT_FALSE(test::PathExists(fallback_));
        } else {
            EXPECT_EQ(before, ReadBytes(file));
            EXPECT_NE(std::string::npos, log.find("The history " + file + " is left alone: ")) << log;
            EXPECT_EQ("0|3|3\n", Sql(kRunsAndPasses, fallback_));
        }
    }
}

TEST_F(HistoryTest, TwoRunsMakingOneNewHistoryAtOnceKeepBothRuns) {
    const std::string other = scratch_ / "other";
    test::MakeFolder(other + "\\Files");
    ASSERT_TRUE(CopyFileA(test::WindowsPathOf(ORLENTA_EXE).c_str(), (other + "\\Orlenta.exe").c_str(), FALSE));
    WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs", "");
    WriteBytes(other + "\\Files\\KavroTestScript1.vbs", "");
    // Both runs find the new file empty, then wait for the write lock, held here where SQLite takes
    // it (the byte after the pending byte at 1 GiB); let go, both make the schema at the same moment.
    const std::string shared = scratch_ / "shared.db";
    WriteBytes(shared, "");
    FileHandle lock(CreateFileA(shared.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    OVERLAPPED reserved{};
    reserved.Offset = 0x40000001;
    ASSERT_TRUE(LockFileEx(lock.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &reserved));
    const KernelHandle first = Start("-STOP=2 -HISTORY=" + shared);
    const KernelHandle second = Start("-STOP=2 -HISTORY=" + shared, other);
    EXPECT_TRUE(LogSays(app_ + "\\Orlenta.log", "Run starts: "));
    EXPECT_TRUE(LogSays(other + "\\Orlenta.log", "Run starts: "));
    EXPECT_TRUE(UnlockFileEx(lock.get(), 0, 1, 0, &reserved));
    lock.reset();
    EXPECT_EQ(0, Finish(first));
    EXPECT_EQ(0, Finish(second));
    EXPECT_EQ("0|2|2\n0|2|2\n", Sql(kRunsAndPasses, shared));
    for (const std::string& log : {Log(), ReadBytes(other + "\\Orlenta.log")}) {
        EXPECT_EQ(std::string::npos, log.find("The history")) << log;
    }
}

// The README's statements that add a fallback file's runs to a history, naming the file given.
std::string ReadmeAddingFallback(const std::string& fallback) {
    const std::string readme = ReadBytes(test::WindowsPathOf(ORLENTA_README));
    const size_t start = readme.find("ATTACH 'Orlenta.log.history.db'");
    const std::string sql = readme.substr(start, readme.find("COMMIT;", start) + 7 - start);
    return std::regex_replace(sql, std::regex("Orlenta\\.log\\.history\\.db"), test::UnixPath(fallback));
}

TEST_F(HistoryTest, HistoryWhoseFolderIsDeletedDuringTheRunEndsBesideTheLogAndIsAddedBackAsTheReadmeSays) {
    const std::string folder = scratch_ / "histories";
    const std::string history = folder + "\\h.db";
    test::MakeFolder(folder);
    EXPECT_EQ(0, RunActingDuringPassTwo("-HISTORY=" + history, [&] {
        EXPECT_TRUE(test::RunHostScript("rm -rf '" + test::UnixPath(folder) + "'"));
    }));
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("The history " + history + " is no longer the file this run wrote to"))
        << log;
    EXPECT_NE(std::string::npos,
              log.find("This run is not whole in the history " + history +
                       " (it holds none of it): the run and its 3 passes are in " + fallback_))
        << log;
    EXPECT_EQ("0|3|3\n", Sql(kRunsAndPasses, fallback_));
    EXPECT_EQ("1330793544|1\n", Sql("SELECT * FROM pragma_application_id, pragma_user_version", fallback_));

    test::MakeFolder(folder);
    EXPECT_EQ(0, Run("-STOP=1 -HISTORY=" + history));
    const std::string sql = scratch_ / "add.sql";
    WriteBytes(sql, ReadmeAddingFallback(fallback_));
    ASSERT_TRUE(test::RunHostScript("sqlite3 '" + test::UnixPath(history) + "' < '" + test::UnixPath(sql) + "'"))
        << ReadBytes(sql);
    EXPECT_EQ("0|1|1\n0|3|3\n", Sql(kRunsAndPasses, history));
}

// Each night's script ends each of AVEs 1 to 3 with the night's exit codes.
std::string NightScript(const char* codes) {
    return std::string("lines = Split(CreateObject(\"Scripting.FileSystemObject\").OpenTextFile(\"InputData.txt\", "
                       "1).ReadAll, vbCrLf)\r\ncodes = Array(") +
           codes + ")\r\nWScript.Quit codes(CLng(lines(UBound(lines) - 1)) - 1)\r\n";
}

TEST_F(HistoryTest, ReportOfSeveralNightsListsWhatChangedWhereItBelongsAndOpensInABrowser) {
    // AVE 1 fails on the third night, AVE 2 fails on the second and is fixed, AVE 3 always fails.
    for (const char* codes : {"0, 0, 1", "0, 4, 1", "2, 0, 1"}) {
        SCOPED_TRACE(codes);
        WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs", NightScript(codes));
        EXPECT_EQ(1, Run("-STOP=3 -REPORT=" + report_));
    }
    EXPECT_NE(std::string::npos, Log().find("Morning report: " + report_ + "\r\n"));
    std::istringstream nights(Sql("SELECT replace(started, 'T', ' ') FROM runs ORDER BY id"));
    std::string first;
    std::string second;
    std::getline(nights, first);
    std::getline(nights, second);
    const std::string html = ReadBytes(report_);
    EXPECT_EQ(std::string::npos, html.find("<script"));
    EXPECT_EQ(std::string::npos, html.find("://"));

    const auto page = test::OpenInBrowser(report_);
    ASSERT_TRUE(page) << "headless chromium did not run";
    EXPECT_EQ("", page->Console) << "the browser refused something the page asked for";
    test::ExpectSection(page->Dom, "new-failures", {"Ave001", ">2</td>", second}, {"Ave002", "Ave003"});
    test::ExpectSection(page->Dom, "fixed", {"Ave002", ">4</td>", first}, {"Ave001", "Ave003"});
    test::ExpectSection(page->Dom, "still-failing", {"Ave003", first, ">3</td>", "never"}, {"Ave001", "Ave002"});
    test::ExpectSection(page->Dom, "passes", {"Ave001", "Ave002", "Ave003"});
}

}  // namespace
}  // namespace orlenta
