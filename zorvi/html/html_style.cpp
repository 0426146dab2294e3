// The HTML report's style sheet: readable on a laptop and on a phone's width, printed on A4
// without cutting a table or a panel. Every rule is scoped to the report's element, so that
// the report leaves a page around it (a notebook's) as it was.
#include <string>

#include "zorvi/html/html_impl.hpp"

namespace zorvi::detail {
namespace {

// "&" stands for the report's element.
constexpr std::string_view screen_rules = R"(& {
  font-family: system-ui, -apple-system, "Segoe UI", Roboto, "DejaVu Sans", Arial, sans-serif;
  color: #1a1a1a; background: #ffffff; line-height: 1.5;
  max-width: 72rem; margin: 0 auto; padding: 1rem 1.25rem 3rem; box-sizing: border-box;
  -webkit-text-size-adjust: 100%; text-size-adjust: 100%;
}
& h1 { font-size: 1.6rem; line-height: 1.25; margin: 0.5rem 0 0.25rem; overflow-wrap: anywhere; }
& h2 {
  font-size: 1.25rem; margin: 2rem 0 0.5rem; padding-bottom: 0.2rem;
  border-bottom: 1px solid #d0d7de;
}
& p { max-width: 48rem; margin: 0.5rem 0; overflow-wrap: anywhere; }
& .question { color: #555555; margin-top: 0; }
& .answer {
  background: #f3f7fb; border-left: 4px solid #1f4e79; padding: 0.1rem 1rem 0.6rem;
  margin: 1rem 0 1.5rem;
}
& .answer h2 { border-bottom: none; margin-top: 0.6rem; }
& .note { color: #555555; font-size: 0.9em; }
& .table { max-width: 100%; overflow-x: auto; margin: 0.75rem 0 1.25rem; }
& .table:focus-visible { outline: 2px solid #1f4e79; outline-offset: 2px; }
& table {
  border-collapse: collapse; font-size: 0.9rem; font-variant-numeric: tabular-nums;
  min-width: min(100%, 24rem);
}
& caption {
  caption-side: top; text-align: left; font-weight: 600; padding: 0 0 0.35rem;
}
& caption span {
  display: inline-block; position: sticky; left: 0; max-width: calc(100vw - 2.5rem);
}
& table.cells th, & table.cells td { white-space: nowrap; }
& th, & td {
  padding: 0.2rem 0.65rem; border-bottom: 1px solid #e3e3e3; text-align: left;
  vertical-align: top;
}
& tbody th { font-weight: normal; }
& thead th { border-bottom: 2px solid #8c959f; font-weight: 600; white-space: nowrap; }
& .num { text-align: right; white-space: nowrap; }
& .under { padding-left: 1.6rem; }
& .panels {
  display: grid; grid-template-columns: repeat(auto-fit, minmax(min(100%, 26rem), 1fr));
  gap: 1rem 1.5rem; margin: 1rem 0;
}
& figure { margin: 0; }
& svg.panel { display: block; width: 100%; height: auto; max-width: 40rem; }
@media (max-width: 40rem) {
  & { padding: 0.75rem 0.6rem 2rem; }
  & .answer { padding: 0.1rem 0.6rem 0.5rem; border-left-width: 3px; }
  & h1 { font-size: 1.3rem; }
  & table { font-size: 0.82rem; }
  & th, & td { padding: 0.15rem 0.4rem; }
}
@media print {
  & { max-width: none; padding: 0; font-size: 9.5pt; }
  & h2 { break-after: avoid; margin-top: 1.2rem; }
  & .answer { break-inside: avoid; }
  & .table { overflow: visible; break-inside: avoid; }
  & table { font-size: 8.5pt; }
  & thead { display: table-header-group; }
  & tr, & figure, & p { break-inside: avoid; }
  & .panels { grid-template-columns: 1fr 1fr; gap: 0.5rem 1rem; }
}
)";

// Only a whole document sets the printed page.
constexpr std::string_view page_rules = "@page { size: A4; margin: 14mm 12mm; }\n";

}  // namespace

std::string report_style(HtmlForm form) {
    const std::string scope = "." + std::string(report_class);
    std::string out;
    for (char c : screen_rules) {
        if (c == '&')
            out += scope;
        else
            out += c;
    }
    return form == HtmlForm::document ? std::string(page_rules) + out : out;
}

}  // namespace zorvi::detail
