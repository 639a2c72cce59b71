// The morning report from rows alone: each finding under its own heading, the thresholds of a
// slower pass, a hung pass's record and picture, and a page a browser loads with nothing outside it.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "history/MorningReport.h"
#include "support/TestSupport.h"

namespace orlenta {
namespace {

HistoryPass Pass(std::int64_t run, std::int32_t ave, double seconds, std::int64_t exitCode = 0) {
    HistoryPass pass;
    pass.RunId = run;
    pass.Ave = ave;
    pass.Seconds = seconds;
    pass.Outcome = PassOutcome::Exited;
    pass.ExitCode = exitCode;
    return pass;
}

// Runs 1 to 15 before tonight (16); each AVE's earlier passes as the history gives them.
NightRows Nights() {
    NightRows rows;
    for (std::int64_t run = 1; run <= 15; ++run) {
        HistoryRun earlier;
        earlier.Id = run;
        earlier.Started = "2026-11-" + std::to_string(10 + run) + "T21:00:00";
        rows.EarlierRuns.push_back(earlier);
        const auto add = [&](std::int32_t ave, double seconds, std::int64_t exitCode = 0) {
            HistoryPass pass = Pass(run, ave, seconds, exitCode);
            pass.Id = run * 100 + ave;
            rows.Earlier.push_back(pass);
        };
        add(1, 10);
        add(2, 3);
        add(3, 3, run >= 14 ? 1 : 0);   // failed the last two runs
        add(4, 3, run >= 12 ? 2 : 0);   // failing since run 12
        add(5, run <= 5 ? 100 : 20);    // the last ten took 20 s; older ones do not count
        add(6, 2);
        add(7, 60);
    }
    rows.Night.Id = 16;
    rows.Night.Started = "2026-12-08T21:04:05";
    rows.Night.Machine = "QA-7 <b>";
    rows.Night.AveFolder = "D:\\AVEs & more \xC3\xA9";
    rows.Night.Planned = 12;
    rows.Night.ExitCode = 1;
    HistoryPass hung = Pass(16, 8, 60);
    hung.Outcome = PassOutcome::TimedOut;
    hung.ExitCode.reset();
    hung.Windows.push_back({"KavFrame.exe: \"Licence\" | Static \"No licence server <found>\" | Button \"OK\"",
                            "C:\\logs\\Orlenta.log.screens\\Ave008-1.png", std::string("\x89PNG\r\n\x1a\n", 8), ""});
    hung.LeftRunning = {"helper.exe (4388)"};
    rows.Tonight = {Pass(16, 1, 12),  Pass(16, 2, 3, 3), Pass(16, 3, 3),  Pass(16, 4, 3, 2), Pass(16, 5, 31),
                    Pass(16, 6, 11.9), Pass(16, 7, 74),  hung,            Pass(16, 9, 1, 1)};
    return rows;
}

// Where each AVE belongs: 1 is only a little slower, 2 fails anew, 3 is fixed, 4 still fails, 5 is
// slower by both measures, 6 by the factor alone, 7 by the seconds alone, 8 hung, 9 fails at its first run.
void ExpectFindings(const std::string& html) {
    test::ExpectSection(html, "night",
                 {"\"passed\">5</td>", "\"failed\">3</td>", "\"error\">1</td><td>3</td>", "2026-12-08 21:04:05",
                  "D:\\AVEs &amp; more \xC3\xA9"},
                 {});
    test::ExpectSection(html, "new-failures", {"Ave002", "2026-11-25 21:00:00", "Ave009", "never ran before"},
                 {"Ave001", "Ave003", "Ave004"});
    test::ExpectSection(html, "fixed", {"Ave003", "2026-11-23 21:00:00"}, {"Ave002", "Ave004"});
    test::ExpectSection(html, "still-failing", {"Ave004", "2026-11-22 21:00:00", ">5</td>", "2026-11-21 21:00:00"},
                 {"Ave003", "Ave002"});
    test::ExpectSection(html, "slower", {"Ave005", "31.0 s", "20.0 s", "11.0 s (55 %)"}, {"Ave001", "Ave006", "Ave007"});
    test::ExpectSection(html, "hung",
                 {"Ave008", "timed out", "No licence server &lt;found&gt;", "src=\"data:image/png;base64,iVBORw0KGgo=\"",
                  "Ave008-1.png", "helper.exe (4388)"},
                 {"Ave001"});
    test::ExpectSection(html, "passes", {"Ave001", "Ave009", "<svg class=\"strip\""}, {});
}

TEST(MorningReport, ListsEachFindingUnderItsHeadingAndOpensInABrowserWithNothingOutsideThePage) {
    const std::string html = MorningReportHtml(Nights());
    ExpectFindings(html);
    EXPECT_TRUE(IsOrlentaReportText(html.substr(0, 4096)));
    EXPECT_FALSE(IsOrlentaReportText("<!DOCTYPE html><html><head><title>Someone's page</title>"));
    EXPECT_EQ(std::string::npos, html.find("QA-7 <b>")) << "texts are escaped";
    EXPECT_EQ(std::string::npos, html.find("<script"));
    EXPECT_EQ(std::string::npos, html.find("://")) << "no address outside the page";
    EXPECT_NE(std::string::npos, html.find("@page { size: A4"));

    // The browser refuses and logs every load its policy does not allow, so a quiet console means
    // the page needed nothing but itself.
    test::ScratchFolder scratch;
    test::WriteBytes(scratch / "report.html", html);
    const auto page = test::OpenInBrowser(scratch / "report.html");
    ASSERT_TRUE(page) << "headless chromium did not run";
    EXPECT_EQ("", page->Console);
    EXPECT_NE(std::string::npos, page->Dom.find("content=\"default-src 'none'; img-src data:"));
    ExpectFindings(page->Dom);
}

TEST(MorningReport, NightWithoutHistoryOrPassesStillSaysSo) {
    NightRows rows;
    rows.Night.Planned = 3;
    const std::string html = MorningReportHtml(rows);
    test::ExpectSection(html, "night", {"<td>3</td>"}, {});
    for (const char* section : {"new-failures", "fixed", "still-failing", "slower", "hung", "passes"}) {
        test::ExpectSection(html, section, {"class=\"none\""}, {"<table>"});
    }
}

}  // namespace
}  // namespace orlenta
