// The morning report's pictures as inline SVG, and the HTML text helpers they share with it.
#include "history/ReportCharts.h"

#include <algorithm>
#include <cstdio>

#include "run/AveChoice.h"
#include "util/Text.h"

namespace orlenta {

namespace {

// Coordinates to a tenth, which is finer than any screen or printer shows at these sizes.
std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    std::string number = text;
    if (number.size() > 2 && number.compare(number.size() - 2, 2, ".0") == 0) {
        number.resize(number.size() - 2);
    }
    return number;
}

}  // namespace

std::string Html(std::string_view utf8) {
    std::string escaped;
    escaped.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            case '\'': escaped += "&#39;"; break;
            default: escaped += (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') ? ' ' : c;
        }
    }
    return escaped;
}

const char* OutcomeClass(const HistoryPass& pass) {
    return pass.Passed() ? "passed" : pass.RanToItsEnd() ? "failed" : "error";
}

std::string DurationChart(const NightFindings& findings) {
    constexpr double kWidth = 720;
    constexpr double kHeight = 150;
    constexpr double kTop = 16;  // room for the scale's label
    const size_t count = findings.Aves.size();
    if (count == 0) {
        return "<p>No pass ran.</p>\n";
    }
    double longest = 0;
    for (const AveStanding& ave : findings.Aves) {
        longest = std::max({longest, ave.Tonight->Seconds, ave.Median.value_or(0)});
    }
    longest = std::max(longest, 0.1);
    const double step = kWidth / static_cast<double>(count);
    const double bar = std::max(step * 0.8, 0.2);
    const auto heightOf = [&](double seconds) { return (kHeight - kTop) * seconds / longest; };
    std::string svg = "<svg class=\"chart\" viewBox=\"0 0 " + Number(kWidth) + " " + Number(kHeight + 2) +
                      "\" role=\"img\" aria-label=\"Durations of tonight's passes\">\n"
                      "<text x=\"0\" y=\"11\">" + Html(DurationText(longest)) + "</text>\n"
                      "<line class=\"axis\" x1=\"0\" y1=\"" + Number(kTop) + "\" x2=\"" + Number(kWidth) + "\" y2=\"" +
                      Number(kTop) + "\"/>\n";
    std::string medians;
    for (size_t i = 0; i < count; ++i) {
        const AveStanding& ave = findings.Aves[i];
        const double x = static_cast<double>(i) * step;
        const double h = std::max(heightOf(ave.Tonight->Seconds), 0.5);
        svg += "<rect class=\"" + std::string(OutcomeClass(*ave.Tonight)) + "\" x=\"" + Number(x) + "\" y=\"" +
               Number(kHeight - h) + "\" width=\"" + Number(bar) + "\" height=\"" + Number(h) + "\"><title>" +
               AveName(ave.Tonight->Ave) + ": " + Html(DurationText(ave.Tonight->Seconds)) +
               (ave.Median ? ", median " + Html(DurationText(*ave.Median)) : std::string()) + "</title></rect>\n";
        if (ave.Median) {
            const double y = kHeight - heightOf(*ave.Median);
            medians += "M" + Number(x) + " " + Number(y) + "h" + Number(bar);
        }
    }
    if (!medians.empty()) {
        svg += "<path class=\"median\" d=\"" + medians + "\"/>\n";
    }
    return svg + "<line class=\"axis\" x1=\"0\" y1=\"" + Number(kHeight) + "\" x2=\"" + Number(kWidth) + "\" y2=\"" +
           Number(kHeight) + "\"/>\n</svg>\n";
}

std::string RunStrip(const AveStanding& standing) {
    constexpr double kMark = 4;
    constexpr double kPitch = 5;
    constexpr double kHeight = 20;
    double longest = 0;
    for (const HistoryPass* pass : standing.Strip) {
        longest = std::max(longest, pass->Seconds);
    }
    // One path per outcome keeps a night of thousands of AVEs small.
    std::string paths[3];
    const char* classes[3] = {"passed", "failed", "error"};
    const double offset = static_cast<double>(kStripNights - standing.Strip.size()) * kPitch;
    for (size_t i = 0; i < standing.Strip.size(); ++i) {
        const HistoryPass& pass = *standing.Strip[i];
        const double h = longest > 0 ? std::max(kHeight * pass.Seconds / longest, 2.0) : 2.0;
        const size_t kind = pass.Passed() ? 0 : pass.RanToItsEnd() ? 1 : 2;
        paths[kind] += "M" + Number(offset + static_cast<double>(i) * kPitch) + " " + Number(kHeight - h) + "h" +
                       Number(kMark) + "v" + Number(h) + "h-" + Number(kMark) + "z";
    }
    std::string svg = "<svg class=\"strip\" viewBox=\"0 0 " + Number(kStripNights * kPitch) + " " + Number(kHeight) +
                      "\" role=\"img\" aria-label=\"" + AveName(standing.Tonight->Ave) + ", its last " +
                      std::to_string(standing.Strip.size()) +
                      (standing.Strip.size() == 1 ? " night\">" : " nights\">");
    for (size_t kind = 0; kind < 3; ++kind) {
        if (!paths[kind].empty()) {
            svg += "<path class=\"" + std::string(classes[kind]) + "\" d=\"" + paths[kind] + "\"/>";
        }
    }
    return svg + "</svg>";
}

}  // namespace orlenta
