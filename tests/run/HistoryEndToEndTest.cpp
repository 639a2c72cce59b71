// The built Orlenta.exe keeping its run history and writing the morning report: rows read back with
// the stock sqlite3 shell, the time left in the log, and the report of several nights in a browser.
#include <windows.h>

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

    long Run(const std::string& arguments) {
        std::wstring line = AnsiToWide("\"" + app_ + "\\Orlenta.exe\" -UNATTENDED \"-AVE=" + aves_ + "\" -KAVRO=" +
                                       (scratch_ / "kavro") + " -TESTING=" + (scratch_ / "testing") + " " + arguments);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
        const KernelHandle process(info.hProcess);
        const KernelHandle thread(info.hThread);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.get(), 120000));
        DWORD code = 99;
        GetExitCodeProcess(process.get(), &code);
        return static_cast<long>(code);
    }

    // The history's rows as the stock shell prints them, one a line, columns separated by "|".
    std::string Sql(const std::string& query) const {
        return test::HostScriptOutput("sqlite3 '" + test::UnixPath(history_) + "' \"" + query + "\"").value_or("(none)");
    }
    std::string Log() const { return ReadBytes(app_ + "\\Orlenta.log"); }

    test::ScratchFolder scratch_;
    const std::string app_ = scratch_ / "app";
    const std::string aves_ = scratch_ / "AVEs \xE9";
    const std::string history_ = app_ + "\\Orlenta-history.db";  // beside the log, where no -HISTORY= puts it
    const std::string report_ = scratch_ / "report.html";
};

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
