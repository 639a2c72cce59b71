// The morning report: one self-contained HTML page from the rows of a run history.
#include "history/MorningReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "history/NightFindings.h"
#include "history/ReportCharts.h"
#include "run/AveChoice.h"
#include "util/Text.h"

namespace orlenta {

namespace {

constexpr const char* kGenerator = "<meta name=\"generator\" content=\"Orlenta morning report\">";

constexpr const char* kStyle = R"(<style>
:root { --passed: #2e7d32; --failed: #c62828; --error: #e65100; --rule: #d0d4d8; }
body { font: 14px/1.45 "Segoe UI", "DejaVu Sans", Arial, sans-serif; color: #1c1f23; margin: 24px auto; max-width: 60rem; padding: 0 16px; }
h1 { font-size: 1.5rem; margin: 0 0 4px; }
h2 { font-size: 1.15rem; margin: 28px 0 8px; padding-bottom: 3px; border-bottom: 2px solid var(--rule); }
h3 { font-size: 1rem; margin: 16px 0 6px; }
.verdict { margin: 0 0 8px; font-size: 1.05rem; }
table { border-collapse: collapse; width: 100%; }
th, td { text-align: left; padding: 3px 8px; border-bottom: 1px solid var(--rule); vertical-align: top; }
th { background: #f1f3f5; font-weight: 600; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
.counts td { font-size: 1.2rem; font-weight: 600; }
.settings th { width: 12rem; background: none; font-weight: normal; color: #555; }
.runs { margin: 8px 0; }
.missing { color: var(--failed); font-weight: 600; margin: 4px 0; }
.none { color: #666; font-style: italic; }
.passed { color: var(--passed); fill: var(--passed); }
.failed { color: var(--failed); fill: var(--failed); }
.error { color: var(--error); fill: var(--error); }
svg text { font-size: 10px; fill: #555; }
svg .axis { stroke: #999; stroke-width: 0.5; }
svg .median { stroke: #1c1f23; stroke-width: 1.2; fill: none; }
.chart { width: 100%; height: auto; display: block; }
.strip { width: 150px; height: 20px; display: block; }
.hung { border: 1px solid var(--rule); padding: 4px 12px 10px; margin: 10px 0; }
.hung pre { white-space: pre-wrap; margin: 4px 0; font-size: 12px; }
.hung img { max-width: 100%; border: 1px solid var(--rule); }
.legend span { margin-right: 14px; }
footer { margin-top: 32px; color: #666; font-size: 12px; }
@page { size: A4; margin: 14mm 12mm; }
@media print {
  body { margin: 0; max-width: none; padding: 0; font-size: 9.5pt; }
  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  h2 { break-after: avoid; }
  tr, .hung, svg { break-inside: avoid; }
  thead { display: table-header-group; }
}
</style>
)";

const HistoryRun kNoRun;

// "2026-12-08T21:04:05" as "2026-12-08 21:04:05".
std::string NightName(const HistoryRun* run) {
    if (run == nullptr) {
        return "never";
    }
    std::string name = run->Started;
    if (name.size() > 10 && name[10] == 'T') {
        name[10] = ' ';
    }
    return name;
}

std::string Cell(const std::string& html, const char* cssClass = nullptr) {
    return cssClass == nullptr ? "<td>" + html + "</td>" : "<td class=\"" + std::string(cssClass) + "\">" + html + "</td>";
}

std::string Heading(const char* id, const char* title) {
    return "<section id=\"" + std::string(id) + "\">\n<h2>" + title + "</h2>\n";
}

std::string OutcomeWord(const HistoryPass& pass) {
    if (pass.Passed()) {
        return "passed";
    }
    return pass.RanToItsEnd() ? "failed" : OutcomeName(pass.Outcome);
}

std::string ExitCodeText(const HistoryPass& pass) {
    return pass.ExitCode ? std::to_string(*pass.ExitCode) : "&ndash;";
}

std::string OutcomeCell(const HistoryPass& pass) {
    std::string word = Html(OutcomeWord(pass));
    if (!pass.Reason.empty()) {
        word += ": " + Html(pass.Reason);
    }
    return Cell(word, OutcomeClass(pass));
}

std::string AveCell(const HistoryPass& pass) { return "<td><b>" + AveName(pass.Ave) + "</b></td>"; }

std::string MachineOf(const NightRows& rows, const HistoryPass& pass) {
    const HistoryRun* run = rows.Runs.size() == 1 ? &rows.Runs.front() : RunOf(rows, pass.RunId);
    return run == nullptr ? std::string() : run->Machine;
}

// A table of some AVEs of tonight, or a line that says there are none.
template <typename Row>
std::string Table(const NightFindings& findings, const std::vector<size_t>& which, const std::string& head,
                  const char* none, Row row) {
    if (which.empty()) {
        return "<p class=\"none\">" + std::string(none) + "</p>\n";
    }
    std::string html = "<table>\n<thead><tr>" + head + "</tr></thead>\n<tbody>\n";
    for (const size_t index : which) {
        html += "<tr>" + row(findings.Aves[index]) + "</tr>\n";
    }
    return html + "</tbody>\n</table>\n";
}

std::string LimitText(const HistoryRun& run) {
    return run.TimeLimitMinutes ? std::to_string(*run.TimeLimitMinutes) + " minutes a pass" : "none";
}

std::string RetriesText(const HistoryRun& run) {
    return run.Retries ? std::to_string(*run.Retries) + (*run.Retries == 1 ? " more attempt" : " more attempts") +
                             " for a pass that failed"
                       : "none";
}

// A run among several: its shard and machine.
std::string RunName(const HistoryRun& run) {
    return run.Shard.empty() ? run.Machine : "shard " + run.Shard + " on " + run.Machine;
}

std::string SettingsTable(const std::vector<std::pair<std::string, std::string>>& settings) {
    std::string html = "<table class=\"settings\">\n<tbody>\n";
    for (const auto& [name, value] : settings) {
        html += "<tr><th>" + name + "</th><td>" + value + "</td></tr>\n";
    }
    return html + "</tbody>\n</table>\n";
}

// One run: its settings as they always were, and its retries when it had some.
std::string RunSettings(const HistoryRun& run, const NightFindings& findings) {
    std::vector<std::pair<std::string, std::string>> settings = {
        {"Started", NightName(&run)},
        {"Duration", DurationText(findings.Seconds)},
        {"Machine and user", run.Machine + ", " + run.User},
        {"AVE numbers", run.Aves + (run.Shard.empty() ? "" : " (shard " + run.Shard + ")")},
        {"Analysis types", run.AnalysisTypes},
        {"Time limit", LimitText(run)},
        {"AVE folder", run.AveFolder},
        {"Installation folder", run.InstallationFolder},
        {"Testing folder", run.TestingFolder},
    };
    if (run.Retries) {
        settings.insert(settings.begin() + 6, {"Retries", RetriesText(run)});
    }
    for (auto& setting : settings) {
        setting.second = Html(setting.second);
    }
    return SettingsTable(settings);
}

// Several runs: each run's line, then each setting once when the runs share it, else run by run.
std::string NightSettings(const NightRows& rows, const NightFindings& findings) {
    std::string html = SettingsTable({{"Started", Html(NightName(findings.FirstRun))},
                                      {"Duration", Html(DurationText(findings.Seconds))},
                                      {"Runs", std::to_string(rows.Runs.size()) + " on " +
                                                   std::to_string(findings.Machines) +
                                                   (findings.Machines == 1 ? " machine" : " machines")}});
    html += "<table class=\"runs\">\n<thead><tr><th>Shard</th><th>Machine and user</th><th>Started</th>"
            "<th class=\"n\">Duration</th><th class=\"n\">Planned</th><th class=\"n\">Exit code</th></tr></thead>\n"
            "<tbody>\n";
    for (const HistoryRun& run : rows.Runs) {
        html += "<tr>" + Cell(run.Shard.empty() ? "&ndash;" : Html(run.Shard)) +
                Cell(Html(run.Machine + ", " + run.User)) + Cell(Html(NightName(&run))) +
                Cell(run.Ended.empty() ? "never ended" : DurationText(run.Seconds), "n") +
                Cell(run.Planned ? std::to_string(*run.Planned) : "&ndash;", "n") +
                Cell(run.ExitCode ? std::to_string(*run.ExitCode) : "&ndash;", "n") + "</tr>\n";
    }
    html += "</tbody>\n</table>\n";
    using Setting = std::string (*)(const HistoryRun&);
    const std::pair<const char*, Setting> settings[] = {
        {"AVE numbers", [](const HistoryRun& run) { return run.Aves; }},
        {"Analysis types", [](const HistoryRun& run) { return run.AnalysisTypes; }},
        {"Time limit", LimitText},
        {"Retries", RetriesText},
        {"AVE folder", [](const HistoryRun& run) { return run.AveFolder; }},
        {"Installation folder", [](const HistoryRun& run) { return run.InstallationFolder; }},
        {"Testing folder", [](const HistoryRun& run) { return run.TestingFolder; }},
    };
    std::vector<std::pair<std::string, std::string>> shown;
    for (const auto& [name, of] : settings) {
        const Setting setting = of;  // clang before 16 lets no lambda capture a structured binding
        const std::string first = setting(rows.Runs.front());
        const bool shared = std::all_of(rows.Runs.begin(), rows.Runs.end(),
                                        [&](const HistoryRun& run) { return setting(run) == first; });
        std::string value = shared ? Html(first) : std::string();
        for (size_t i = 0; !shared && i < rows.Runs.size(); ++i) {
            value += (i == 0 ? "" : "<br>") + Html(RunName(rows.Runs[i]) + ": " + setting(rows.Runs[i]));
        }
        shown.emplace_back(name, value);
    }
    return html + SettingsTable(shown);
}

std::string NightSection(const NightRows& rows, const NightFindings& findings) {
    std::string html = Heading("night", "The night");
    for (const std::string& shard : findings.MissingShards) {
        html += "<p class=\"missing\">Shard " + Html(shard) + " did not report.</p>\n";
    }
    if (findings.MoreMissingShards > 0) {
        html += "<p class=\"missing\">" + std::to_string(findings.MoreMissingShards) + " more " +
                (findings.MoreMissingShards == 1 ? "shard" : "shards") + " did not report.</p>\n";
    }
    html += "<table class=\"counts\">\n<thead><tr><th>Passed</th><th>Failed</th><th>Errors</th><th>Skipped</th>"
            "<th>Exit code</th></tr></thead>\n<tbody><tr>" +
            Cell(std::to_string(findings.Passed), "passed") + Cell(std::to_string(findings.Failed), "failed") +
            Cell(std::to_string(findings.Errors), "error") + Cell(std::to_string(findings.Skipped)) +
            Cell(findings.ExitCode ? std::to_string(*findings.ExitCode) : "&ndash;") + "</tr></tbody>\n</table>\n";
    html += rows.Runs.size() > 1 ? NightSettings(rows, findings)
                                 : RunSettings(rows.Runs.empty() ? kNoRun : rows.Runs.front(), findings);
    return html + "</section>\n";
}

// Tonight's attempts of an AVE, oldest first: "failed (3) → passed".
std::string AttemptsText(const AveStanding& ave) {
    std::string html;
    for (const HistoryPass* attempt : ave.Attempts) {
        html += std::string(html.empty() ? "" : " &rarr; ") + "<span class=\"" + OutcomeClass(*attempt) + "\">" +
                Html(OutcomeWord(*attempt)) +
                (attempt->ExitCode && *attempt->ExitCode != 0 ? " (" + std::to_string(*attempt->ExitCode) + ")" : "") +
                "</span>";
    }
    return html;
}

std::string ChangeSections(const NightFindings& findings) {
    std::string html = Heading("new-failures", "New failures");
    html += Table(findings, findings.NewFailures,
                  "<th>AVE</th><th>Tonight</th><th class=\"n\">Exit code</th><th>Last passing night</th>",
                  "No AVE fails tonight that passed the last time it ran.", [](const AveStanding& ave) {
                      return AveCell(*ave.Tonight) + OutcomeCell(*ave.Tonight) +
                             Cell(ExitCodeText(*ave.Tonight), "n") +
                             Cell(ave.Last == nullptr ? "never ran before" : NightName(ave.LastPassedNight));
                  });
    html += "</section>\n" + Heading("fixed", "Fixed");
    html += Table(findings, findings.Fixed,
                  "<th>AVE</th><th class=\"n\">Exit code</th><th>Last time</th><th class=\"n\">Its exit code</th>"
                  "<th>Last passing night before</th>",
                  "No AVE passes tonight that failed the last time it ran.", [](const AveStanding& ave) {
                      return AveCell(*ave.Tonight) + Cell(ExitCodeText(*ave.Tonight), "n") + OutcomeCell(*ave.Last) +
                             Cell(ExitCodeText(*ave.Last), "n") + Cell(NightName(ave.LastPassedNight));
                  });
    html += "</section>\n" + Heading("still-failing", "Still failing");
    html += Table(findings, findings.StillFailing,
                  "<th>AVE</th><th>Tonight</th><th class=\"n\">Exit code</th><th>Failing since</th>"
                  "<th class=\"n\">Nights</th><th>Last passing night</th>",
                  "No AVE has failed two nights in a row.", [](const AveStanding& ave) {
                      return AveCell(*ave.Tonight) + OutcomeCell(*ave.Tonight) +
                             Cell(ExitCodeText(*ave.Tonight), "n") + Cell(NightName(ave.FailingSince)) +
                             Cell(std::to_string(ave.FailingNights), "n") + Cell(NightName(ave.LastPassedNight));
                  });
    html += "</section>\n" + Heading("flaky", "Flaky");
    html += "<p>Passed tonight only on a retry, or turned between passing and not passing at least " +
            std::to_string(kFlakyFlips) + " times in its last " + std::to_string(kStripNights) +
            " nights, tonight's included.</p>\n";
    html += Table(findings, findings.Flaky,
                  "<th>AVE</th><th>Tonight's attempts</th><th class=\"n\">Turns</th><th>Last " +
                      std::to_string(kStripNights) + " nights</th><th>Last failing night</th>",
                  "No AVE passed only on a retry or kept turning between passing and failing.",
                  [](const AveStanding& ave) {
                      return AveCell(*ave.Tonight) + Cell(AttemptsText(ave)) + Cell(std::to_string(ave.Flips), "n") +
                             Cell(RunStrip(ave)) +
                             Cell(ave.LastFailedNight == nullptr ? "none in its last " + std::to_string(kStripNights) +
                                                                       " nights"
                                                                 : NightName(ave.LastFailedNight));
                  });
    html += "</section>\n" + Heading("slower", "Slower");
    html += "<p>At least " + std::to_string(static_cast<int>(std::lround((kSlowerFactor - 1) * 100))) +
            " % and at least " + std::to_string(static_cast<int>(kSlowerSeconds)) +
            " s slower than the median of the AVE's last " + std::to_string(kMedianPasses) +
            " passes that passed (of those that ran to their end, when none passed).</p>\n";
    html += Table(findings, findings.Slower,
                  "<th>AVE</th><th class=\"n\">Tonight</th><th class=\"n\">Median</th><th class=\"n\">Slower by</th>",
                  "No pass is slower than its AVE usually is.", [](const AveStanding& ave) {
                      const double tonight = ave.Timed->Seconds;
                      char percent[32];
                      std::snprintf(percent, sizeof percent, " (%.0f %%)", (tonight / *ave.Median - 1) * 100);
                      return AveCell(*ave.Timed) + Cell(DurationText(tonight), "n") +
                             Cell(DurationText(*ave.Median), "n") +
                             Cell(DurationText(tonight - *ave.Median) + percent, "n");
                  });
    return html + "</section>\n";
}

std::string HungSection(const NightRows& rows, const NightFindings& findings) {
    std::string html = Heading("hung", "Hung passes");
    if (findings.Hung.empty()) {
        return html + "<p class=\"none\">No pass timed out, was stopped or left processes running.</p>\n</section>\n";
    }
    for (const HistoryPass* hung : findings.Hung) {
        const HistoryPass& pass = *hung;
        const std::string where = (findings.Retried ? ", attempt " + std::to_string(pass.Attempt) : std::string()) +
                                  (findings.Machines > 1 ? " on " + Html(MachineOf(rows, pass)) : std::string());
        html += "<div class=\"hung\">\n<h3>" + AveName(pass.Ave) + where + ": <span class=\"" + OutcomeClass(pass) +
                "\">" + Html(OutcomeWord(pass)) + "</span> after " + DurationText(pass.Seconds) + "</h3>\n";
        if (pass.Windows.empty() && (pass.Outcome == PassOutcome::TimedOut || pass.Outcome == PassOutcome::Stopped)) {
            html += "<p class=\"none\">No window of its processes was showing.</p>\n";
        }
        for (const HungWindow& window : pass.Windows) {
            html += "<pre>" + Html(window.Text) + "</pre>\n";
            if (!window.PictureBase64.empty()) {
                html += "<img alt=\"" + Html(window.Text) + "\" src=\"data:image/png;base64," +
                        Html(window.PictureBase64) + "\">\n";
            }
            if (!window.Picture.empty()) {
                html += "<p>Picture: " + Html(window.Picture) +
                        (window.PictureNote.empty() ? "" : " (" + Html(window.PictureNote) + ")") + "</p>\n";
            }
        }
        if (!pass.LeftRunning.empty()) {
            html += "<p>Left running, and ended: ";
            for (size_t i = 0; i < pass.LeftRunning.size(); ++i) {
                html += (i == 0 ? "" : ", ") + Html(pass.LeftRunning[i]);
            }
            html += "</p>\n";
        }
        html += "</div>\n";
    }
    return html + "</section>\n";
}

// Every attempt, each AVE's together; its median and strip beside its night outcome.
std::string PassesSection(const NightRows& rows, const NightFindings& findings) {
    std::string html = Heading("durations", "Durations tonight");
    html += "<p class=\"legend\"><span class=\"passed\">&#9632; passed</span><span class=\"failed\">&#9632; failed"
            "</span><span class=\"error\">&#9632; timed out, stopped or could not start</span><span>&#9472; the "
            "AVE's median</span></p>\n" +
            DurationChart(findings) + "</section>\n";
    html += Heading("passes", "Every pass");
    if (findings.Aves.empty()) {
        return html + "<p class=\"none\">No pass ran.</p>\n</section>\n";
    }
    const bool machines = findings.Machines > 1;
    html += std::string("<table>\n<thead><tr><th>AVE</th>") + (machines ? "<th>Machine</th>" : "") +
            (findings.Retried ? "<th class=\"n\">Attempt</th>" : "") +
            "<th>Outcome</th><th class=\"n\">Exit code</th><th class=\"n\">Duration</th><th class=\"n\">Median</th>"
            "<th>Last " + std::to_string(kStripNights) + " nights</th></tr></thead>\n<tbody>\n";
    for (const AveStanding& ave : findings.Aves) {
        for (const HistoryPass* pass : ave.Attempts) {
            const bool outcome = pass == ave.Tonight;
            html += "<tr>" + AveCell(*pass) + (machines ? Cell(Html(MachineOf(rows, *pass))) : std::string()) +
                    (findings.Retried ? Cell(std::to_string(pass->Attempt), "n") : std::string()) + OutcomeCell(*pass) +
                    Cell(ExitCodeText(*pass), "n") + Cell(DurationText(pass->Seconds), "n") +
                    Cell(outcome && ave.Median ? DurationText(*ave.Median) : "&ndash;", "n") +
                    Cell(outcome ? RunStrip(ave) : std::string()) + "</tr>\n";
        }
    }
    return html + "</tbody>\n</table>\n</section>\n";
}

std::string Verdict(const NightFindings& findings) {
    const auto part = [](size_t count, const char* what) { return std::to_string(count) + " " + what; };
    return "<p class=\"verdict\">" +
           part(findings.NewFailures.size(), findings.NewFailures.size() == 1 ? "new failure" : "new failures") + ", " +
           part(findings.Fixed.size(), "fixed") + ", " + part(findings.StillFailing.size(), "still failing") + ", " +
           part(findings.Flaky.size(), "flaky") + ", " + part(findings.Slower.size(), "slower") + ", " +
           part(findings.Hung.size(), "hung") + ".</p>\n";
}

}  // namespace

std::string MorningReportHtml(const NightRows& rows) {
    const NightFindings findings = FindingsOf(rows);
    const HistoryRun& first = findings.FirstRun == nullptr ? kNoRun : *findings.FirstRun;
    const std::string title = "The night of " + NightName(&first) + " on " +
                              (findings.Machines > 1 ? std::to_string(findings.Machines) + " machines" : first.Machine);
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n" + std::string(kGenerator) +
                       "\n<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src data:; "
                       "style-src 'unsafe-inline'\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>Orlenta: " +
                       Html(title) + "</title>\n" + kStyle + "</head>\n<body>\n<header>\n<h1>" + Html(title) +
                       "</h1>\n" + Verdict(findings) + "</header>\n";
    html += NightSection(rows, findings);
    html += ChangeSections(findings);
    html += HungSection(rows, findings);
    html += PassesSection(rows, findings);
    return html + "<footer>Made by Orlenta from its run history " +
           (rows.Runs.size() > 1 ? "when the night's shards were merged" : "at the end of the run") +
           ".</footer>\n</body>\n</html>\n";
}

bool IsOrlentaReportText(const std::string& beginning) {
    return beginning.rfind("<!DOCTYPE html>", 0) == 0 && beginning.find(kGenerator) != std::string::npos;
}

}  // namespace orlenta
