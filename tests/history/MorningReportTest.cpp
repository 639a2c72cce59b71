// The morning report from rows alone: each finding under its own heading, the thresholds of a
// slower pass, a hung pass's record and picture, a night of several machines' shards and retries,
// and a page a browser loads with nothing outside it.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include "history/HistoryOperator.h"
#include "history/MorningReport.h"
#include "history/NightFindings.h"
#include "history/RunHistory.h"
#include "run/RunRecorders.h"
#include "support/TestSupport.h"
#include "util/AppError.h"
#include "util/Text.h"

namespace orlenta {
namespace {

HistoryPass Pass(std::int64_t run, std::int32_t ave, double seconds, std::int64_t exitCode = 0,
                 std::int64_t attempt = 1) {
    HistoryPass pass;
    pass.RunId = run;
    pass.Attempt = attempt;
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
        add(10, 5, run == 11 || run == 13 ? 1 : 0);  // passed, failed, passed, failed, passed
        add(11, run <= 10 ? 58 : 2, run <= 10 ? 0 : 1);  // failing in 2 s since run 11
    }
    HistoryRun& night = rows.Runs.emplace_back();
    night.Id = 16;
    night.Started = "2026-12-08T21:04:05";
    night.Machine = "QA-7 <b>";
    night.AveFolder = "D:\\AVEs & more \xC3\xA9";
    night.Planned = 14;
    night.ExitCode = 1;
    HistoryPass hung = Pass(16, 8, 60);
    hung.Outcome = PassOutcome::TimedOut;
    hung.ExitCode.reset();
    hung.Windows.push_back({"KavFrame.exe: \"Licence\" | Static \"No licence server <found>\" | Button \"OK\"",
                            "C:\\logs\\Orlenta.log.screens\\Ave008-1.png", "iVBORw0KGgo=", "", ""});
    hung.LeftRunning = {"helper.exe (4388)"};
    rows.Tonight = {Pass(16, 1, 12),  Pass(16, 2, 3, 3), Pass(16, 3, 3),  Pass(16, 4, 3, 2), Pass(16, 5, 31),
                    Pass(16, 6, 11.9), Pass(16, 7, 74),  hung,            Pass(16, 9, 1, 1), Pass(16, 10, 5),
                    Pass(16, 11, 60)};
    return rows;
}

// Where each AVE belongs: 1 is only a little slower, 2 fails anew, 3 is fixed, 4 still fails, 5 is
// slower by both measures, 6 by the factor alone, 7 by the seconds alone, 8 hung, 9 fails at its first
// run, 10 turned 4 times, 11 is fixed and no slower than when it last passed.
void ExpectFindings(const std::string& html) {
    test::ExpectSection(html, "night",
                 {"\"passed\">7</td>", "\"failed\">3</td>", "\"error\">1</td><td>3</td>", "2026-12-08 21:04:05",
                  "D:\\AVEs &amp; more \xC3\xA9"},
                 {"did not report", "Retries"});
    test::ExpectSection(html, "new-failures", {"Ave002", "2026-11-25 21:00:00", "Ave009", "never ran before"},
                 {"Ave001", "Ave003", "Ave004"});
    test::ExpectSection(html, "fixed", {"Ave003", "2026-11-23 21:00:00", "Ave011"}, {"Ave002", "Ave004", "Ave010"});
    test::ExpectSection(html, "still-failing", {"Ave004", "2026-11-22 21:00:00", ">5</td>", "2026-11-21 21:00:00"},
                 {"Ave003", "Ave002"});
    test::ExpectSection(html, "flaky", {"Ave010", ">4</td>", "2026-11-23 21:00:00"},
                        {"Ave003", "Ave011", "Attempt"});
    test::ExpectSection(html, "slower", {"Ave005", "31.0 s", "20.0 s", "11.0 s (55 %)"},
                        {"Ave001", "Ave006", "Ave007", "Ave011"});
    test::ExpectSection(html, "hung",
                 {"Ave008", "timed out", "No licence server &lt;found&gt;", "src=\"data:image/png;base64,iVBORw0KGgo=\"",
                  "Ave008-1.png", "helper.exe (4388)"},
                 {"Ave001"});
    test::ExpectSection(html, "passes", {"Ave001", "Ave009", "<svg class=\"strip\"", "Ave001, its last 16 nights"},
                        {"Machine", "Attempt"});
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

// A merged night: one run a shard, each on its machine, with one retry. Earlier: a night of its own
// (NightId 0), then two nights of four shards each; tonight the AVEs are cut in five shards, of
// which 4/5 never reported, so each AVE runs on another machine than last night.
NightRows ShardNights() {
    NightRows rows;
    const char* machines[] = {"QA-A", "QA-B", "QA-C", "QA-D"};
    const auto addRun = [&](std::vector<HistoryRun>& runs, std::int64_t id, std::int64_t nightId,
                            const std::string& day, int shard, int shards) {
        HistoryRun& run = runs.emplace_back();
        run.Id = id;
        run.NightId = nightId;
        run.Started = day + "T21:0" + std::to_string(shard) + ":00";
        run.Machine = machines[(shard - 1) % 4];
        run.Shard = shards == 0 ? "" : std::to_string(shard) + "/" + std::to_string(shards);
        return run.Id;
    };
    addRun(rows.EarlierRuns, 1, 0, "2026-12-05", 1, 0);
    for (std::int32_t ave = 1; ave <= 6; ++ave) {
        rows.Earlier.push_back(Pass(1, ave, 20));
    }
    // Last night AVE 1 failed on QA-A, 2 on QA-B and 4 on QA-D.
    for (const auto& [night, day] : {std::pair{7, "2026-12-06"}, std::pair{8, "2026-12-07"}}) {
        for (int shard = 1; shard <= 4; ++shard) {
            const std::int64_t run = addRun(rows.EarlierRuns, 2 + (night - 7) * 4 + (shard - 1), night, day, shard, 4);
            for (std::int32_t ave = shard; ave <= 6; ave += 4) {
                rows.Earlier.push_back(Pass(run, ave, 20, night == 8 && (ave == 1 || ave == 2 || ave == 4) ? 3 : 0));
            }
        }
    }
    for (size_t i = 0; i < rows.Earlier.size(); ++i) {
        rows.Earlier[i].Id = static_cast<std::int64_t>(i + 1);
    }
    for (const int shard : {1, 2, 3, 5}) {
        HistoryRun& run = rows.Runs.emplace_back();
        run.Id = 10 + static_cast<std::int64_t>(rows.Runs.size() - 1);
        run.NightId = 9;
        run.Started = "2026-12-08T21:0" + std::to_string(shard) + ":00";
        run.Ended = shard == 2 ? "2026-12-09T01:30:00" : "2026-12-08T23:00:00";
        run.Machine = machines[rows.Runs.size() - 1];
        run.Shard = std::to_string(shard) + "/5";
        run.Planned = 2;
        run.Retries = 1;
        run.ExitCode = shard == 1 ? 1 : 0;
    }
    HistoryPass hung = Pass(13, 5, 600, 0, 1);
    hung.Outcome = PassOutcome::TimedOut;
    hung.ExitCode.reset();
    rows.Tonight = {Pass(10, 2, 20, 2),  Pass(11, 1, 20),       Pass(11, 3, 2, 5), Pass(11, 3, 20, 0, 2),
                    Pass(12, 4, 2, 5), Pass(12, 4, 20, 0, 2), hung,              Pass(13, 6, 20),
                    Pass(13, 5, 20, 0, 2)};
    return rows;
}

TEST(MorningReport, NightOfShardsOnSeveralMachinesIsOneNightAgainstTheLastWhereverEachAveRan) {
    const std::string html = MorningReportHtml(ShardNights());
    EXPECT_NE(std::string::npos, html.find("<h1>The night of 2026-12-08 21:01:00 on 4 machines</h1>"));
    EXPECT_NE(std::string::npos, html.find("0 new failures, 1 fixed, 1 still failing, 3 flaky, 0 slower, 1 hung."));
    // By night outcome: 3, 4 and 5 passed on their retry; skipped is 8 planned less 6 AVEs.
    test::ExpectSection(html, "night",
                        {"Shard 4/5 did not report.", "\"passed\">5</td>", "\"failed\">1</td>",
                         "\"error\">0</td><td>2</td><td>1</td>", "4 h 29 min", "4 on 4 machines", "QA-D",
                         "1 more attempt for a pass that failed"},
                        {"Shard 1/5", "Shard 5/5", "more shards"});
    test::ExpectSection(html, "new-failures", {"class=\"none\""}, {"Ave002", "Ave003"});
    test::ExpectSection(html, "fixed", {"Ave001", "2026-12-06 21:01:00"}, {"Ave003", "Ave004", "Ave005"});
    test::ExpectSection(html, "still-failing", {"Ave002", "2026-12-07 21:01:00", ">2</td>"}, {"Ave001"});
    test::ExpectSection(html, "flaky",
                        {"Ave003", "Ave004", "Ave005", "failed (5)</span> &rarr; <span class=\"passed\">passed",
                         "timed out</span> &rarr;", "2026-12-07 21:01:00", "none in its last 30 nights"},
                        {"Ave001", "Ave002", "Ave006"});
    test::ExpectSection(html, "slower", {"class=\"none\""}, {});
    test::ExpectSection(html, "hung", {"Ave005, attempt 1 on QA-D: <span class=\"error\">timed out"}, {"attempt 2"});
    test::ExpectSection(html, "passes",
                        {"<th>Machine</th><th class=\"n\">Attempt</th>",
                         "<td><b>Ave003</b></td><td>QA-B</td><td class=\"n\">2</td><td class=\"passed\">",
                         "Ave001, its last 4 nights"},
                        {});
}

// Every shard of four reported, each AVE passed by its night outcome (three on a retry).
void WholeNight(NightRows& rows) {
    rows.Tonight[0].ExitCode = 0;
    for (size_t i = 0; i < rows.Runs.size(); ++i) {
        rows.Runs[i].Shard = std::to_string(i + 1) + "/4";
        rows.Runs[i].ExitCode = 0;
        rows.Runs[i].Planned.reset();
    }
}

TEST(MorningReport, NightOfShardsSaysWhatItsRunsLeftUntold) {
    struct Case {
        const char* name;
        void (*change)(NightRows&);
        std::vector<std::string> present;
        std::vector<std::string> absent;
        int exitCode;  // what a merge of the night ends with
    };
    const Case cases[] = {
        {"a run that never ended leaves the night without an exit code",
         [](NightRows& rows) {
             rows.Runs[1].Ended.clear();
             rows.Runs[1].ExitCode.reset();
         },
         {"<td>2</td><td>&ndash;</td></tr>", "never ended"},
         {},
         1},
        {"many shards missing: the first named, the rest counted",
         [](NightRows& rows) {
             for (HistoryRun& run : rows.Runs) {
                 run.Shard = run.Shard.substr(0, 2) + "40";
             }
         },
         {"Shard 4/40 did not report.", "Shard 36/40 did not report.", "4 more shards did not report."},
         {"Shard 5/40", "Shard 37/40", "Shard 4/5"},
         1},
        {"one run alone tells of its own shard", [](NightRows& rows) { rows.Runs.resize(1); }, {}, {"did not report"}, 1},
        {"a whole night where every AVE passed, flaky ones too", WholeNight, {"\"failed\">0</td>"}, {"did not report"}, 0},
        {"a whole night but for a run that ended with 2",
         [](NightRows& rows) {
             WholeNight(rows);
             rows.Runs[3].ExitCode = 2;
         },
         {},
         {"did not report"},
         1},
        {"a whole night but for an AVE planned and never run",
         [](NightRows& rows) {
             WholeNight(rows);
             rows.Runs[0].Planned = 2;
         },
         {"<td>1</td><td>0</td></tr>"},
         {},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NightRows rows = ShardNights();
        c.change(rows);
        test::ExpectSection(MorningReportHtml(rows), "night", c.present, c.absent);
        EXPECT_EQ(c.exitCode, NightExitCode(rows, FindingsOf(rows)));
    }
}

TEST(MorningReport, UsualSecondsAreOfPassesThatPassedElseOfThoseThatRanToTheirEnd) {
    const auto passes = [](std::initializer_list<std::pair<double, std::int64_t>> figures) {
        std::vector<HistoryPass> list;
        for (const auto& [seconds, exitCode] : figures) {
            list.push_back(Pass(1, 1, seconds, exitCode));
        }
        return list;
    };
    std::vector<HistoryPass> stopped = passes({{900, 0}});
    stopped[0].Outcome = PassOutcome::Stopped;
    EXPECT_EQ(58, UsualSeconds(passes({{58, 0}, {2, 1}, {2, 1}, {2, 1}})));
    EXPECT_EQ(3, UsualSeconds(passes({{2, 1}, {4, 1}})));
    EXPECT_EQ(std::nullopt, UsualSeconds(stopped));
    EXPECT_EQ(std::nullopt, UsualSeconds({}));

    // The history hands the rule all it needs of an AVE: the same figure as from every pass it holds.
    // AVE 7 passes every third time, slower each time, and is sometimes stopped; AVE 8 never passes.
    test::ScratchFolder scratch;
    RunHistory history(Utf8ToWide(AnsiToUtf8(scratch / "history.db")));
    const std::int64_t run = history.AddRun(HistoryRun{});
    std::vector<HistoryPass> all[2];
    for (int i = 0; i < 40; ++i) {
        HistoryPass& pass = all[i % 2].emplace_back(Pass(run, 7 + i % 2, 50.0 + i, i % 6 == 0 ? 0 : 1));
        pass.Outcome = i % 7 == 6 ? PassOutcome::Stopped : pass.Outcome;
        history.AddPass(pass);
        for (std::int32_t ave : {7, 8}) {
            EXPECT_EQ(UsualSeconds(all[ave - 7]), UsualSeconds(history.RecentPasses(ave, kMedianPasses))) << i;
        }
    }
}

TEST(MorningReport, EveryAttemptIsAPassRowAndANightReadBackCarriesThePictureItsHistoryHolds) {
    test::ScratchFolder scratch;
    const std::wstring path = Utf8ToWide(AnsiToUtf8(scratch / "history.db"));
    const std::string picture = scratch / "Ave003-1.png";
    test::WriteBytes(picture, "the box, as a PNG");
    test::RecordingOperator nobody;
    HistoryOperator history(nobody, nullptr, path, L"");
    RunSettings settings;
    settings.Nightly.Retries = "2";
    history.RunStarted(settings);
    PassRecord record;
    record.AveNumber = 3;
    record.Outcome = PassOutcome::Exited;
    for (const long exitCode : {4, 0}) {
        ++record.Ordinal;
        record.Attempt = record.Ordinal;
        record.ExitCode = exitCode;
        record.Seconds = 20.0 + exitCode;
        record.Windows = {"KavFrame.exe (4312): \"Licence\""};
        record.Pictures = {exitCode == 4 ? AnsiToUtf8(picture) : ""};
        history.PassEnded(record);
    }
    history.FinishRun(0);
    // Read where the picture never was, as a merged night's report is made.
    DeleteFileA(picture.c_str());
    RunHistory reader(path);
    const NightRows rows = reader.ReadNight(1);
    ASSERT_EQ(1u, rows.Runs.size());
    EXPECT_EQ(2, rows.Runs[0].Retries);
    EXPECT_EQ(36u, rows.Runs[0].Uid.size());
    ASSERT_EQ(2u, rows.Tonight.size());
    EXPECT_EQ(1, rows.Tonight[0].Attempt);
    EXPECT_EQ(2, rows.Tonight[1].Attempt);
    EXPECT_EQ(Base64Of("the box, as a PNG"), rows.Tonight[0].Windows.at(0).PictureBase64);
    EXPECT_EQ("", rows.Tonight[1].Windows.at(0).PictureBase64);
    const std::string html = MorningReportHtml(rows);
    test::ExpectSection(html, "flaky", {"Ave003", "failed (4)</span> &rarr; <span class=\"passed\">passed"}, {});
    test::ExpectSection(html, "hung", {"Ave003, attempt 1", "src=\"data:image/png;base64,"}, {});
    // The timings of a history: the median of the last ten passes that ran to their end.
    EXPECT_EQ(22.0, HistoryTimings(path).at(3));
}

TEST(MorningReport, TimingsAreTheMediansOfTheLastTenPassesThatRanToTheirEndOfAnOrlentaHistoryAlone) {
    test::ScratchFolder scratch;
    const std::wstring path = Utf8ToWide(AnsiToUtf8(scratch / "history.db"));
    {
        RunHistory history(path);
        const std::int64_t run = history.AddRun(HistoryRun{});
        // AVE 5 took 1 to 14 s, failing or not; its last pass was stopped at 900 s.
        for (int i = 1; i <= 15; ++i) {
            HistoryPass pass = Pass(run, 5, i == 15 ? 900 : i, i % 3);
            pass.Outcome = i == 15 ? PassOutcome::Stopped : pass.Outcome;
            history.AddPass(pass);
        }
        history.AddPass(Pass(run, 6, 42));
    }
    const auto timings = HistoryTimings(path);
    EXPECT_EQ(2u, timings.size());
    EXPECT_EQ(9.5, timings.at(5));
    EXPECT_EQ(42.0, timings.at(6));

    const std::wstring newer = Utf8ToWide(AnsiToUtf8(scratch / "newer.db"));
    test::WriteBytes(scratch / "newer.db", test::ReadBytes(scratch / "history.db"));
    {
        SqliteDatabase db;
        ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(WideToUtf8(newer).c_str(), db.put(), SQLITE_OPEN_READWRITE, nullptr));
        Execute(db.get(), "PRAGMA user_version = 3");
    }
    test::WriteBytes(scratch / "notes.db", "someone's notes");
    const std::pair<std::string, std::string> refused[] = {
        {scratch / "notes.db", " is not an Orlenta history."},
        {scratch / "newer.db", " has the schema of a newer Orlenta (version 3)"},
        {scratch / "none.db", " cannot be read: "}};
    for (const auto& [file, reason] : refused) {
        SCOPED_TRACE(file);
        try {
            HistoryTimings(Utf8ToWide(AnsiToUtf8(file)));
            ADD_FAILURE() << "read";
        } catch (const AppError& error) {
            EXPECT_EQ(AnsiToUtf8(file) + reason, error.Description().substr(0, file.size() + reason.size()));
        }
    }
}

TEST(MorningReport, NightWithoutHistoryOrPassesStillSaysSo) {
    NightRows rows;
    rows.Runs.emplace_back().Planned = 3;
    const std::string html = MorningReportHtml(rows);
    test::ExpectSection(html, "night", {"<td>3</td>"}, {});
    for (const char* section : {"new-failures", "fixed", "still-failing", "flaky", "slower", "hung", "passes"}) {
        test::ExpectSection(html, section, {"class=\"none\""}, {"<table>"});
    }
}

}  // namespace
}  // namespace orlenta
