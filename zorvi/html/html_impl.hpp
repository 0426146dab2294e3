// Internal to the HTML report: escaping, the markup of its tables, paragraphs and panels, its
// sections and its style sheet.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "zorvi/figure/figure.hpp"
#include "zorvi/html/html.hpp"
#include "zorvi/outputs/summary_text.hpp"

namespace zorvi::detail {

// Text as HTML, for an element's content or a quoted attribute's value: markup characters as
// entities (& < > " '), bytes that are not UTF-8 as U+FFFD, and nothing invisible
// (visible_text).
std::string html_text(std::string_view text);

// A table of labelled rows: a row header and a value each, a row under another indented.
void add_labelled_table(std::string& out, std::string_view caption,
                        const std::vector<LabelledRow>& rows);
// A table with column heads; columns whose cells are all numbers are aligned right. A wide
// table scrolls within its own box on a narrow screen.
void add_cell_table(std::string& out, const SummaryTable& table);
// A paragraph of text (wrapped text is joined again); `css_class` may be empty.
void add_paragraph(std::string& out, std::string_view text, std::string_view css_class = {});
// A labelled row as a paragraph: the label in bold, then the value.
void add_row_paragraph(std::string& out, const LabelledRow& row);
// The panels that the analysis shows, side by side as the width allows.
void add_panels(std::string& out, const Analysis& analysis, std::initializer_list<Panel> panels);

// A section with its heading; the id is the page's own anchor for it.
void begin_section(std::string& out, std::string_view id, std::string_view heading);
void end_section(std::string& out);

// The answer in plain words: the observed test, how far it holds under the magnitudes'
// errors, the size of the trend, what the other tests say, and what the check of clustering
// says.
std::vector<std::string> answer_paragraphs(const Analysis& analysis);

// The sections after the answer, in order.
void add_study_section(std::string& out, const Analysis& analysis, const ReportNames& names);
void add_simulated_section(std::string& out, const Analysis& analysis);
void add_trend_html(std::string& out, const Analysis& analysis);
void add_tests_html(std::string& out, const Analysis& analysis);
void add_events_html(std::string& out, const Analysis& analysis);
void add_error_models_html(std::string& out, const Analysis& analysis);
void add_sweeps_html(std::string& out, const Analysis& analysis);
void add_clustering_html(std::string& out, const Analysis& analysis);
void add_check_html(std::string& out, const Analysis& analysis, const ReportNames& names);
void add_methods_html(std::string& out, const Analysis& analysis);

// The style sheet, every rule scoped to the report's element; the page's print margins only
// in a whole document.
std::string report_style(HtmlForm form);
// The class of the report's element.
inline constexpr std::string_view report_class = "zorvi-report";

}  // namespace zorvi::detail
