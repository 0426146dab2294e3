// The report as one HTML page: the answer in plain words first, then one section per part of
// the analysis with its tables and figure panels. Self-contained (styles inline, no script,
// nothing fetched), and every text from the data or the command line escaped.
#pragma once

#include <string>

#include "zorvi/outputs/outputs.hpp"
#include "zorvi/study/analysis.hpp"

namespace zorvi {

// A whole HTML5 document; or the same report as one element, its styles scoped to it, to
// show inside another page (a notebook's output, say).
enum class HtmlForm { document, fragment };

// The report on the analysis, its numbers written as the text summary writes them.
std::string format_html(const Analysis& analysis, const ReportNames& names,
                        HtmlForm form = HtmlForm::document);

}  // namespace zorvi
