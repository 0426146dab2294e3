// The HTML report as a page: the document around it, its title, the answer first and then
// the sections of the analysis.
#include <string>

#include "zorvi/html/html.hpp"
#include "zorvi/html/html_impl.hpp"

namespace zorvi {
namespace {

using namespace detail;

// Nothing may be fetched and no script run, whatever a page holds: the styles within it are
// all it needs.
constexpr std::string_view content_policy =
    "default-src 'none'; style-src 'unsafe-inline'; base-uri 'none'; form-action 'none'";

constexpr std::string_view question =
    "Does the rate of the selected events change over the interval, and how far does the "
    "answer depend on the uncertainty of their magnitudes?";

void add_body(std::string& out, const Analysis& analysis, const ReportNames& names) {
    out += "<h1>" + html_text("Zorvi report on " + names.results) + "</h1>\n";
    add_paragraph(out, question, "question");
    out +=
        "<section id=\"zorvi-answer\" class=\"answer\" aria-labelledby=\"zorvi-answer-heading\">"
        "\n<h2 id=\"zorvi-answer-heading\">The answer</h2>\n";
    for (const std::string& paragraph : answer_paragraphs(analysis))
        add_paragraph(out, paragraph);
    end_section(out);
    add_study_section(out, analysis, names);
    add_simulated_section(out, analysis);
    add_trend_html(out, analysis);
    add_tests_html(out, analysis);
    add_events_html(out, analysis);
    add_error_models_html(out, analysis);
    add_sweeps_html(out, analysis);
    add_clustering_html(out, analysis);
    add_check_html(out, analysis, names);
    add_methods_html(out, analysis);
}

}  // namespace

std::string format_html(const Analysis& analysis, const ReportNames& names, HtmlForm form) {
    std::string out;
    out.reserve(512 * 1024);
    if (form == HtmlForm::document) {
        out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
        out += "<meta http-equiv=\"Content-Security-Policy\" content=\"" +
               std::string(content_policy) + "\">\n";
        out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
        out += "<title>" + html_text("Zorvi report on " + names.results) + "</title>\n";
        out += "<style>\n" + report_style(form) + "</style>\n</head>\n<body>\n";
        out += "<main class=\"" + std::string(report_class) + "\">\n";
    } else {
        out += "<div class=\"" + std::string(report_class) + "\">\n<style>\n" + report_style(form) +
               "</style>\n";
    }
    add_body(out, analysis, names);
    out += form == HtmlForm::document ? "</main>\n</body>\n</html>\n" : "</div>\n";
    return out;
}

}  // namespace zorvi
