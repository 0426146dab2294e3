// The HTML report's markup: escaped text, tables with captions and headers, paragraphs, the
// figure's panels and the sections around them.
#include <algorithm>
#include <cctype>

#include "zorvi/html/html_impl.hpp"
#include "zorvi/text/messages.hpp"

namespace zorvi::detail {
namespace {

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A cell that holds a number, as the summary writes numbers: a sign, digits, a point, a
// percent sign after a space; or a value that is not a number.
bool numeric_cell(std::string_view cell) {
    cell = trimmed(cell);
    if (cell == "NaN" || cell == "Infinity" || cell == "-Infinity" || cell == "inf") return true;
    if (cell.ends_with(" %")) cell.remove_suffix(2);
    if (cell.starts_with('-')) cell.remove_prefix(1);
    return !cell.empty() && std::all_of(cell.begin(), cell.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) || c == '.';
    });
}

// Column k holds numbers in every row that has a cell there.
bool numeric_column(const SummaryTable& table, std::size_t k) {
    bool any = false;
    for (const std::vector<std::string>& row : table.rows) {
        if (k >= row.size() || trimmed(row[k]).empty()) continue;
        if (!numeric_cell(row[k])) return false;
        any = true;
    }
    return any;
}

// A table in a box of its own that scrolls it sideways when it is wider than the page; its
// caption stays in view.
void begin_table(std::string& out, std::string_view caption, std::string_view css_class) {
    out += "<div class=\"table\" role=\"region\" tabindex=\"0\" aria-label=\"";
    out += html_text(caption);
    out += "\">\n<table class=\"" + std::string(css_class) + "\">\n<caption><span>";
    out += html_text(caption);
    out += "</span></caption>\n";
}

std::string replaced_all(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Escaped text whose numbers keep their names and units on one line: "u = 1.58", "13.65 %".
std::string kept_together(std::string html) {
    return replaced_all(replaced_all(std::move(html), " = ", "&nbsp;=&nbsp;"), " %", "&nbsp;%");
}

void end_table(std::string& out) {
    out += "</table>\n</div>\n";
}

}  // namespace

std::string html_text(std::string_view text) {
    const std::string visible = visible_text(text);
    std::string out;
    out.reserve(visible.size());
    for (char c : visible) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void add_labelled_table(std::string& out, std::string_view caption,
                        const std::vector<LabelledRow>& rows) {
    // Values aligned on their decimal points when every one is a number.
    const bool numbers = std::all_of(
        rows.begin(), rows.end(), [](const LabelledRow& row) { return numeric_cell(row.value); });
    begin_table(out, caption, "rows");
    out += "<tbody>\n";
    for (const LabelledRow& row : rows) {
        const bool under = row.label.starts_with("  ");
        const std::string label = html_text(trimmed(row.label));
        if (row.value.empty()) {
            out += "<tr><td colspan=\"2\"" + std::string(under ? " class=\"under\"" : "") + ">" +
                   label + "</td></tr>\n";
            continue;
        }
        out += "<tr><th scope=\"row\"" + std::string(under ? " class=\"under\"" : "") + ">" +
               label + "</th><td" + (numbers ? " class=\"num\"" : "") + ">" +
               kept_together(html_text(trimmed(row.value))) + "</td></tr>\n";
    }
    out += "</tbody>\n";
    end_table(out);
}

void add_cell_table(std::string& out, const SummaryTable& table) {
    std::vector<bool> numeric(table.heads.size());
    for (std::size_t k = 0; k < numeric.size(); ++k)
        numeric[k] = numeric_column(table, k);
    const auto cell_class = [&](std::size_t k) {
        return numeric[k] ? std::string(" class=\"num\"") : std::string();
    };
    begin_table(out, table.title, "cells");
    out += "<thead><tr>";
    for (std::size_t k = 0; k < table.heads.size(); ++k) {
        std::size_t span = 1;
        while (k + span < table.heads.size() && table.heads[k + span].empty())
            ++span;
        const std::string spanned =
            span > 1 ? " colspan=\"" + std::to_string(span) + "\"" : std::string();
        out += "<th scope=\"col\"" + spanned + cell_class(k) + ">" + html_text(table.heads[k]) +
               "</th>";
        k += span - 1;
    }
    out += "</tr></thead>\n<tbody>\n";
    for (const std::vector<std::string>& row : table.rows) {
        out += "<tr>";
        for (std::size_t k = 0; k < row.size(); ++k) {
            // The first cell names the row.
            const char* tag = k == 0 ? "th" : "td";
            out += "<" + std::string(tag) + (k == 0 ? " scope=\"row\"" : "") + cell_class(k) + ">" +
                   html_text(trimmed(row[k])) + "</" + tag + ">";
        }
        out += "</tr>\n";
    }
    out += "</tbody>\n";
    end_table(out);
}

void add_paragraph(std::string& out, std::string_view text, std::string_view css_class) {
    out += css_class.empty() ? "<p>" : "<p class=\"" + std::string(css_class) + "\">";
    out += kept_together(html_text(unwrapped(text)));
    out += "</p>\n";
}

void add_row_paragraph(std::string& out, const LabelledRow& row) {
    out += "<p><strong>" + html_text(trimmed(row.label)) + ":</strong> " +
           kept_together(html_text(trimmed(row.value))) + "</p>\n";
}

void add_panels(std::string& out, const Analysis& analysis, std::initializer_list<Panel> panels) {
    out += "<div class=\"panels\">\n";
    for (Panel panel : panels) {
        const std::string svg = render_panel(analysis, panel);
        if (svg.empty()) continue;
        out += "<figure>\n" + svg + "</figure>\n";
    }
    out += "</div>\n";
}

void begin_section(std::string& out, std::string_view id, std::string_view heading) {
    out += "<section id=\"zorvi-" + std::string(id) + "\" aria-labelledby=\"zorvi-" +
           std::string(id) + "-heading\">\n<h2 id=\"zorvi-" + std::string(id) + "-heading\">" +
           html_text(heading) + "</h2>\n";
}

void end_section(std::string& out) {
    out += "</section>\n";
}

}  // namespace zorvi::detail
