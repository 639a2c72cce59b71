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
    // An unattended command line with nothing added: a merge needs no folder.
    long Merge(const std::string& arguments) {
        std::wstring line = AnsiToWide("\"" + app_ + "\\Orlenta.exe\" -UNATTENDED " + arguments);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
        CloseHandle(info.hThread);
        return Finish(KernelHandle(info.hProcess));
    }
    // A shard's run of AVEs `aves` (-STOP=4, -AVES=2,1,4,3) into a fresh history of its own, its
    // machine then named as another's.
    void RunShard(const std::string& aves, int k, int n, const std::string& history, long exitCode) {
        SCOPED_TRACE(history);
        DeleteFileA(history.c_str());
        EXPECT_EQ(exitCode, Run(aves + " -SHARD=" + std::to_string(k) + "/" + std::to_string(n) + " \"-HISTORY=" +
                                history + "\""));
        Sql("UPDATE runs SET machine = 'KAVRO-WS0" + std::to_string(k) + "'", history);
    }

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
    EXPECT_EQ("2\n1330793544\n", Sql("PRAGMA user_version; PRAGMA application_id"));
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
    EXPECT_EQ("1330793544|2\n", Sql("SELECT * FROM pragma_application_id, pragma_user_version", fallback_));

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


// A site history's runs, passes and nights, one line.
constexpr const char* kSiteCounts =
    "SELECT (SELECT count(*) FROM nights), (SELECT count(*) FROM runs), (SELECT count(*) FROM passes)";

TEST_F(HistoryTest, ShardsOfTwoNightsMergedMakeOneNightEachAndAFixOnTheOtherMachineIsReportedFixed) {
    const std::string agent = scratch_ / "CI agent";
    test::MakeFolder(agent);
    const std::string site = scratch_ / "site.db";
    const std::string shard1 = agent + "\\shard 1.db";
    const std::string shard2 = agent + "\\shard 2.db";
    // The first night AVE 1 fails on KAVRO-WS01; the next it runs on KAVRO-WS02 and passes.
    WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs", NightScript("3, 0, 0, 0"));
    RunShard("-STOP=4", 1, 2, shard1, 1);
    RunShard("-STOP=4", 2, 2, shard2, 0);
    // Quotes around the whole option, or around the one path that holds a space.
    const std::string merge = "\"-MERGE=" + shard1 + ";" + shard2 + "\" -HISTORY=" + site + " -REPORT=" + report_;
    EXPECT_EQ(1, Merge(merge));
    EXPECT_NE(std::string::npos, Log().find("Added 2 runs as night 1\r\n")) << Log();
    test::ExpectSection(ReadBytes(report_), "new-failures", {"Ave001", "never ran before"}, {"Ave002"});
    // Again, as a CI stage run twice: nothing added, the same night and exit code.
    EXPECT_EQ(1, Merge(merge));
    EXPECT_EQ("1|2|4\n", Sql(kSiteCounts, site));
    EXPECT_NE(std::string::npos, Log().find("Nothing to add: the history holds every run of these shard histories "
                                            "already, in night 1\r\n"))
        << Log();
    EXPECT_NE(std::string::npos, Log().find("Merge ends: exit code 1\r\n"));

    WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs", NightScript("0, 0, 0, 0"));
    RunShard("-AVES=2,1,4,3", 1, 2, shard1, 0);
    RunShard("-AVES=2,1,4,3", 2, 2, shard2, 0);
    EXPECT_EQ(0, Merge("-MERGE=\"" + shard1 + "\";\"" + shard2 + "\" -HISTORY=" + site + " -REPORT=" + report_));
    EXPECT_EQ("2|4|8\n", Sql(kSiteCounts, site));
    EXPECT_EQ("merge|2\nmerge|2\n", Sql("SELECT formed_by, (SELECT count(*) FROM runs WHERE night_id = n.id) "
                                         "FROM nights n ORDER BY id", site));
    const std::string html = ReadBytes(report_);
    test::ExpectSection(html, "fixed", {"Ave001", ">3</td>"}, {"Ave002", "Ave003"});
    test::ExpectSection(html, "passes", {"<td><b>Ave001</b></td><td>KAVRO-WS02</td>",
                                         "<td><b>Ave002</b></td><td>KAVRO-WS01</td>"}, {});
    EXPECT_EQ(std::string::npos, Log().find("Pass AVE")) << "a merge runs no pass";
}

TEST_F(HistoryTest, MergeThatCannotBeMadeLeavesTheSiteHistoryAsItWasAndEndsWithTwo) {
    WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs", "");
    const std::string site = scratch_ / "site.db";
    const std::string first = scratch_ / "first.db";
    const std::string good = scratch_ / "good.db";
    RunShard("-STOP=2", 1, 2, first, 0);
    RunShard("-STOP=2", 2, 2, good, 0);
    EXPECT_EQ(0, Merge("-MERGE=" + first + " -HISTORY=" + site));
    const std::string before = ReadBytes(site);
    const std::string log = ReadBytes(app_ + "\\Orlenta.log");
    // A file cut short, another program's, one of a newer schema, one that is not there.
    const std::string cut = scratch_ / "cut.db";
    const std::string foreign = scratch_ / "foreign.db";
    const std::string newer = scratch_ / "newer.db";
    WriteBytes(cut, ReadBytes(good).substr(0, ReadBytes(good).size() / 2));
    WriteBytes(foreign, "SQLite format 3, so its notes say\r\n");
    WriteBytes(newer, ReadBytes(good));
    Sql("PRAGMA user_version = 3", newer);
    const std::pair<std::string, std::string> damaged[] = {
        {cut, " is damaged: "}, {foreign, " is not an Orlenta history."},
        {newer, " has the schema of a newer Orlenta (version 3)"}, {scratch_ / "none.db", " cannot be read: "}};
    for (const auto& [file, reason] : damaged) {
        SCOPED_TRACE(file);
        EXPECT_EQ(2, Merge("-MERGE=" + good + ";" + file + " -HISTORY=" + site + " -REPORT=" + report_));
        EXPECT_NE(std::string::npos, Log().find("The merge cannot be made: " + file + reason)) << Log();
        EXPECT_NE(std::string::npos, Log().find(" is as it was; exit code 2\r\n"));
        EXPECT_EQ(before, ReadBytes(site));
        EXPECT_EQ("ok\n1|1|1\n", Sql(std::string("PRAGMA integrity_check; ") + kSiteCounts, site));
        EXPECT_FALSE(test::PathExists(report_));
    }
    // Command lines a merge refuses before it writes anything, its log included.
    WriteBytes(app_ + "\\Orlenta.log", log);
    const std::string given = "-MERGE=" + good;
    for (const std::string& arguments :
         {given, given + " -HISTORY=" + site + " -SHARD=1/2", given + " -HISTORY=" + site + " -START=1",
          given + " -HISTORY=" + site + " -JUNIT=" + (scratch_ / "night.xml"), "-MERGE=; -HISTORY=" + site,
          "-MERGE=" + site + " -HISTORY=" + site, given + ";" + app_ + "\\Orlenta.log -HISTORY=" + site}) {
        SCOPED_TRACE(arguments);
        EXPECT_EQ(2, Merge(arguments));
        EXPECT_EQ(log, ReadBytes(app_ + "\\Orlenta.log"));
        EXPECT_EQ(before, ReadBytes(site));
    }
    EXPECT_EQ(0, Merge(given + " -HISTORY=" + site));
    EXPECT_EQ("2|2|2\n", Sql(kSiteCounts, site));
}

// A history as version 1 of the program made it: its schema, and two runs of OLD-PC.
constexpr const char* kVersionOneHistory = R"(
CREATE TABLE runs (id INTEGER PRIMARY KEY, started TEXT NOT NULL, ended TEXT, seconds REAL, machine TEXT NOT NULL,
  user TEXT NOT NULL, ave_folder TEXT NOT NULL, installation_folder TEXT NOT NULL, testing_folder TEXT NOT NULL,
  analysis_types TEXT NOT NULL, aves TEXT NOT NULL, shard TEXT, time_limit_minutes INTEGER, planned INTEGER,
  exit_code INTEGER);
CREATE TABLE passes (id INTEGER PRIMARY KEY, run_id INTEGER NOT NULL REFERENCES runs(id), ordinal INTEGER NOT NULL,
  ave INTEGER NOT NULL, archive TEXT NOT NULL, started TEXT NOT NULL, seconds REAL NOT NULL, outcome TEXT NOT NULL
  CHECK (outcome IN ('exited', 'timed out', 'stopped', 'could not start')), exit_code INTEGER, reason TEXT);
CREATE INDEX passes_by_ave ON passes(ave, id);
CREATE TABLE pass_windows (pass_id INTEGER NOT NULL REFERENCES passes(id), position INTEGER NOT NULL,
  window TEXT NOT NULL, picture TEXT, PRIMARY KEY (pass_id, position));
CREATE TABLE pass_left_running (pass_id INTEGER NOT NULL REFERENCES passes(id), position INTEGER NOT NULL,
  process TEXT NOT NULL, PRIMARY KEY (pass_id, position));
PRAGMA application_id = 1330793544;
PRAGMA user_version = 1;
INSERT INTO runs VALUES (1, '2026-11-30T21:00:00', '2026-11-30T21:01:00', 60, 'OLD-PC', 'qa', 'D:\AVES', 'C:\K',
  'D:\T', 'Linear', '1 to 2', NULL, NULL, 2, 0);
INSERT INTO runs VALUES (2, '2026-12-01T21:00:00', '2026-12-01T21:01:00', 60, 'OLD-PC', 'qa', 'D:\AVES', 'C:\K',
  'D:\T', 'Linear', '1 to 1', NULL, 5, 1, 1);
INSERT INTO passes VALUES (1, 1, 1, 1, 'a', '2026-11-30T21:00:01', 20, 'exited', 0, NULL);
INSERT INTO passes VALUES (2, 1, 2, 2, 'a', '2026-11-30T21:00:21', 20, 'exited', 0, NULL);
INSERT INTO passes VALUES (3, 2, 1, 1, 'a', '2026-12-01T21:00:01', 300, 'timed out', NULL, NULL);
INSERT INTO pass_windows VALUES (3, 1, 'KavFrame.exe (4312): "Licence"', 'D:\log.screens\Ave001-1.png');
)";

TEST_F(HistoryTest, HistoryOfVersionOneIsMergedAsItIsAndBroughtUpToVersionTwoKeepingEveryRow) {
    const std::string old = scratch_ / "old.db";
    const std::string site = scratch_ / "site.db";
    WriteBytes(scratch_ / "v1.sql", kVersionOneHistory);
    ASSERT_TRUE(test::RunHostScript("sqlite3 '" + test::UnixPath(old) + "' < '" + test::UnixPath(scratch_ / "v1.sql") +
                                    "'"));
    const std::string asMade = ReadBytes(old);
    // Read as it is (its second run timed out: the night is not whole), and left as it was.
    EXPECT_EQ(1, Merge("-MERGE=" + old + " -HISTORY=" + site));
    EXPECT_EQ(asMade, ReadBytes(old));
    const std::string uids = "v1:OLD-PC:2026-11-30T21:00:00:1|1\nv1:OLD-PC:2026-12-01T21:00:00:2|1\n";
    EXPECT_EQ(uids, Sql("SELECT uid, night_id FROM runs ORDER BY id", site));
    EXPECT_EQ("1|1|0\n2|1|0\n1|1|\n", Sql("SELECT ave, attempt, exit_code FROM passes ORDER BY id", site));

    // Written by tonight's run, it is brought up to version 2: each old run a night of its own.
    WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs", "");
    EXPECT_EQ(0, Run("-STOP=1 -HISTORY=" + old));
    EXPECT_EQ("2\nok\n", Sql("PRAGMA user_version; PRAGMA integrity_check", old));
    EXPECT_EQ("1|1|v1:OLD-PC:2026-11-30T21:00:00:1|0|\n2|2|v1:OLD-PC:2026-12-01T21:00:00:2|1|5\n3|3|36|0|\n",
              Sql("SELECT id, night_id, CASE WHEN uid LIKE 'v1:%' THEN uid ELSE length(uid) END, exit_code, "
                  "time_limit_minutes FROM runs ORDER BY id",
                  old));
    EXPECT_EQ("1|1|0\n2|1|0\n3|1|\n4|1|0\n", Sql("SELECT id, attempt, exit_code FROM passes ORDER BY id", old));
    EXPECT_EQ("3|KavFrame.exe (4312): \"Licence\"|D:\\log.screens\\Ave001-1.png|\n",
              Sql("SELECT pass_id, window, picture, picture_png FROM pass_windows", old));
    EXPECT_EQ("1|run\n2|run\n3|run\n", Sql("SELECT id, formed_by FROM nights", old));
    // Merged again, its old runs are known by their uids: only tonight's is added.
    EXPECT_EQ(0, Merge("-MERGE=" + old + " -HISTORY=" + site));
    EXPECT_NE(std::string::npos, Log().find("Added 1 run as night 2; 2 the history held already\r\n")) << Log();
    EXPECT_EQ("2|3|4\n", Sql(kSiteCounts, site));
}

TEST_F(HistoryTest, NightOfFourShardsIsOnePageThatNamesEachMachineAndShowsThePicturesItsHistoriesCarry) {
    // AVE 6 fails; shard 2/4 (AVEs 2 and 6) hung on a box whose picture only its history holds.
    WriteBytes(app_ + "\\Files\\KavroTestScript1.vbs", NightScript("0, 0, 0, 0, 0, 5, 0, 0"));
    std::vector<std::string> shards;
    for (int k = 1; k <= 4; ++k) {
        shards.push_back(scratch_ / ("shard " + std::to_string(k) + ".db"));
        RunShard("-STOP=8", k, 4, shards.back(), k == 2 ? 1 : 0);
    }
    Sql("INSERT INTO pass_windows VALUES (1, 1, 'KavFrame.exe (4312): Kavro licence', 'C:\\gone\\Ave002-1.png', "
        "X'89504E470D0A1A0A0000000D4948445200000001000000010802000000907753DE0000000C49444154789C6338A6A1010002CE0117"
        "F99C8D1C0000000049454E44AE426082')",
        shards[1]);
    // Shard 3/4 never reported.
    const std::string without = scratch_ / "without.db";
    EXPECT_EQ(1, Merge("\"-MERGE=" + shards[0] + ";" + shards[1] + ";" + shards[3] + "\" -HISTORY=" + without));
    EXPECT_NE(std::string::npos, Log().find("0 flaky; shard 3/4 did not report\r\n")) << Log();
    // The folders may be given; the merge leaves them alone.
    const std::string testing = scratch_ / "testing";
    test::MakeFolder(testing);
    WriteBytes(testing + "\\canary.txt", "keep");
    const std::string site = scratch_ / "site.db";
    EXPECT_EQ(1, Run("\"-MERGE=" + shards[0] + ";" + shards[1] + ";" + shards[2] + ";" + shards[3] + "\" -HISTORY=" +
                     site + " -REPORT=" + report_));
    EXPECT_EQ("keep", ReadBytes(testing + "\\canary.txt"));
    const auto page = test::OpenInBrowser(report_);
    ASSERT_TRUE(page) << "headless chromium did not run";
    EXPECT_EQ("", page->Console) << "the browser refused something the page asked for";
    test::ExpectSection(page->Dom, "night", {"4 on 4 machines", "KAVRO-WS03", "\"failed\">1</td>"},
                        {"did not report"});
    test::ExpectSection(page->Dom, "new-failures", {"Ave006"}, {"Ave002"});
    test::ExpectSection(page->Dom, "hung",
                        {"Ave002 on KAVRO-WS02", "Kavro licence", "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAAB",
                         "C:\\gone\\Ave002-1.png"},
                        {"Ave006"});
    std::vector<std::string> everyPass;
    for (int ave = 1; ave <= 8; ++ave) {
        everyPass.push_back("<td><b>Ave00" + std::to_string(ave) + "</b></td><td>KAVRO-WS0" +
                            std::to_string((ave - 1) % 4 + 1) + "</td>");
    }
    test::ExpectSection(page->Dom, "passes", everyPass, {});
}

}  // namespace
}  // namespace orlenta
