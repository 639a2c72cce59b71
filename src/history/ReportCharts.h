// The morning report's pictures as inline SVG, and the HTML text helpers they share with it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "history/NightFindings.h"

namespace orlenta {

// UTF-8 text for an element or a quoted attribute, with what HTML reserves written as references.
std::string Html(std::string_view utf8);

// The CSS class of a pass's outcome: "passed", "failed" (a non-zero exit code) or "error".
const char* OutcomeClass(const HistoryPass& pass);

// Tonight's durations, one bar an AVE (its last attempt) in the order they ran, coloured by outcome, with a tick at
// each AVE's median.
std::string DurationChart(const NightFindings& findings);

// One AVE's last nights, one mark a night (tonight's at the right), coloured by its outcome, its height by
// the duration of its last attempt against the longest of them.
std::string RunStrip(const AveStanding& standing);

}  // namespace orlenta
