// The morning report: one self-contained HTML page from the rows of a run history; no windows.h.
#pragma once

#include <string>

#include "history/HistoryRows.h"

namespace orlenta {

// UTF-8 HTML with its CSS and SVG inline, pictures as data: URIs, no script and no reference to
// anything outside the page (its content security policy lets the browser load nothing else);
// prints on A4.
std::string MorningReportHtml(const NightRows& rows);

// True when the text begins as this program's reports begin.
bool IsOrlentaReportText(const std::string& beginning);

}  // namespace orlenta
