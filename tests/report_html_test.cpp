// The HTML report: its numbers are the text summary's, cell by cell; it fetches nothing and
// runs nothing; nothing from the data or the command line changes its markup.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "report_test_support.hpp"
#include "zorvi/zorvi.hpp"

namespace {

namespace fs = std::filesystem;
using namespace zorvi::testing;

// ---------------------------------------------------------------------------------------------
// Reading the page back: its text, its tables, its markup without text.

// The text of a piece of the page: tags dropped, entities read, runs of blanks one space.
std::string text_of(std::string_view html) {
    std::string raw;
    for (std::size_t at = 0; at < html.size(); ++at) {
        if (html[at] == '<') {
            at = html.find('>', at);
            if (at == std::string_view::npos) break;  // a tag never closed
            raw += ' ';
            continue;
        }
        raw += html[at];
    }
    const std::pair<const char*, const char*> entities[] = {{"&lt;", "<"},    {"&gt;", ">"},
                                                            {"&quot;", "\""}, {"&#39;", "'"},
                                                            {"&nbsp;", " "},  {"&amp;", "&"}};
    for (const auto& [entity, character] : entities)
        for (std::size_t at = raw.find(entity); at != std::string::npos;
             at = raw.find(entity, at + 1))
            raw.replace(at, std::string_view(entity).size(), character);
    std::string out;
    for (char c : raw) {
        if (c == ' ' || c == '\n') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// The pieces of `html` between each <tag ...> and its </tag>, outermost first (tags of the
// same name are not nested in the report).
std::vector<std::string> elements(std::string_view html, const std::string& tag) {
    std::vector<std::string> found;
    const std::string open = "<" + tag;
    const std::string close = "</" + tag + ">";
    for (std::size_t at = html.find(open); at != std::string::npos; at = html.find(open, at)) {
        const char next = html[at + open.size()];
        if (next != '>' && next != ' ') {
            ++at;
            continue;
        }
        const std::size_t end = html.find(close, at);
        if (end == std::string_view::npos) break;  // an element never closed
        found.emplace_back(html.substr(at, end - at + close.size()));
        at = end;
    }
    return found;
}

struct HtmlTable {
    std::string caption;
    bool heads = false;                          // column heads; else labelled rows
    std::vector<std::vector<std::string>> rows;  // the body's rows, each cell's text
};

std::vector<HtmlTable> tables_of(const std::string& page) {
    std::vector<HtmlTable> tables;
    for (const std::string& table : elements(page, "table")) {
        HtmlTable parsed{text_of(elements(table, "caption").at(0)),
                         table.find("<thead>") != std::string::npos,
                         {}};
        for (const std::string& row : elements(elements(table, "tbody").at(0), "tr")) {
            std::vector<std::string> cells;
            std::size_t at = 0;
            while ((at = row.find("<t", at + 1)) != std::string::npos) {
                const std::size_t end = row.find("</t", at);
                if (end == std::string::npos) break;
                cells.push_back(text_of(row.substr(at, end - at)));
                at = end;
            }
            parsed.rows.push_back(cells);
        }
        tables.push_back(parsed);
    }
    return tables;
}

// The words of a line for comparing: split at blanks, parentheses dropped, and the joining
// "to" and lone "%" left out, so that "( 0.00 to  0.19 %)" and the cells "0.00", "0.19" agree.
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    std::string word;
    while (in >> word) {
        std::erase_if(word, [](char c) { return c == '(' || c == ')'; });
        if (!word.empty() && word != "to" && word != "%") out.push_back(word);
    }
    return out;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The end of the run of characters from `at` that `belongs` accepts.
template <typename Belongs>
std::size_t run_end(const std::string& text, std::size_t at, Belongs belongs) {
    while (at < text.size() && belongs(text[at]))
        ++at;
    return at;
}

// Every number written in `text`, in order: -?digits(.digits)?(e[-+]?digits)?, the longest at
// each place.
std::vector<std::string> numbers_in(const std::string& text) {
    const auto digit_at = [&](std::size_t at) { return at < text.size() && is_digit(text[at]); };
    std::vector<std::string> out;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text[at] == '-' && digit_at(at + 1) ? at + 1 : at;
        if (!digit_at(end)) {
            ++at;
            continue;
        }
        end = run_end(text, end, is_digit);
        if (end < text.size() && text[end] == '.' && digit_at(end + 1))
            end = run_end(text, end + 1, is_digit);
        if (end < text.size() && text[end] == 'e') {
            std::size_t exponent = end + 1;
            if (exponent < text.size() && (text[exponent] == '-' || text[exponent] == '+'))
                ++exponent;
            if (digit_at(exponent)) end = run_end(text, exponent, is_digit);
        }
        out.push_back(text.substr(at, end - at));
        at = end;
    }
    return out;
}

// The page after its answer, without the figure's panels and note and the style sheet: the
// part that shows the summary's own rows, tables and notes.
std::string evidence_of(std::string page) {
    for (const char* tag : {"style", "svg"})
        for (const std::string& element : elements(page, tag))
            page.erase(page.find(element), element.size());
    const std::size_t note = page.find("<p class=\"note figure-note\">");
    page.erase(note, page.find("</p>", note) - note);
    const std::size_t answer = page.find("<section id=\"zorvi-answer\"");
    const std::size_t after = page.find("</section>", answer);
    return page.substr(after);
}

// Each table of the page against the summary: a labelled row's label and value as the row of
// the text with that label; a table's rows as the lines under its title and heads in the
// text, word for word. Then every number of the summary appears in the page's tables and
// paragraphs as often as in the text, no more and no less.
void expect_same_fields(const std::string& page, const std::string& summary) {
    const std::vector<std::string> lines = lines_of(summary);
    std::size_t compared = 0;
    for (const HtmlTable& table : tables_of(page)) {
        SCOPED_TRACE(table.caption);
        const auto titled = std::find(lines.begin(), lines.end(), table.caption);
        const bool labelled = !table.heads;
        ASSERT_TRUE(labelled || titled != lines.end());
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            const std::vector<std::string>& cells = table.rows[r];
            std::string joined;
            for (const std::string& cell : cells)
                joined += cell + " ";
            if (labelled) {
                const auto line = std::find_if(lines.begin(), lines.end(), [&](const auto& l) {
                    return l.find_first_not_of(' ') == l.find(cells[0]) &&
                           words(l) == words(joined);
                });
                EXPECT_NE(line, lines.end()) << joined;
            } else {
                const std::size_t at = (titled - lines.begin()) + 2 + r;
                ASSERT_LT(at, lines.size());
                EXPECT_EQ(words(lines[at]), words(joined));
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, 50u);
    std::vector<std::string> text_numbers = numbers_in(summary);
    std::vector<std::string> page_numbers = numbers_in(text_of(evidence_of(page)));
    // The title's name comes first in both.
    const std::vector<std::string> title = numbers_in(text_of(elements(page, "h1").at(0)));
    page_numbers.insert(page_numbers.begin(), title.begin(), title.end());
    std::sort(text_numbers.begin(), text_numbers.end());
    std::sort(page_numbers.begin(), page_numbers.end());
    std::vector<std::string> missing;
    std::vector<std::string> extra;
    std::set_difference(text_numbers.begin(), text_numbers.end(), page_numbers.begin(),
                        page_numbers.end(), std::back_inserter(missing));
    std::set_difference(page_numbers.begin(), page_numbers.end(), text_numbers.begin(),
                        text_numbers.end(), std::back_inserter(extra));
    EXPECT_EQ(missing, std::vector<std::string>{}) << "numbers of the summary not on the page";
    EXPECT_EQ(extra, std::vector<std::string>{}) << "numbers on the page not in the summary";
}

TEST(ReportHtml, NumbersAreThoseOfTheSummary) {
    // The shipped run, reported from its results file.
    TempDir dir;
    fs::copy_file(shipped_data_file(), dir.path / data_file_name);
    ASSERT_EQ(run_program({zorvi_binary().string()}, dir.path).status, 0);
    const ProcessResult run = report_in(dir.path, {"--html", "report.html"});
    ASSERT_EQ(run.status, 0) << run.err;
    {
        SCOPED_TRACE("the shipped run");
        expect_same_fields(read_file(dir.path / "report.html"), run.out);
    }
    // A study under the posterior model, through the library: its error models' tables too.
    zorvi::StudySettings settings;
    settings.series = 400;
    settings.threshold = 96;
    settings.error_model = zorvi::ErrorModel::posterior;
    const zorvi::Study study = zorvi::run_study(zorvi::read_events(shipped_csv), settings);
    {
        SCOPED_TRACE("a posterior study");
        expect_same_fields(zorvi::html_report(study), zorvi::summary_text(study));
    }
}

// The shipped run's page: no reference to anything outside it, no script, headings in order,
// a caption on every table, a title and description on every panel.
TEST(ReportHtml, SelfContainedAndAccessible) {
    const zorvi::Study study = zorvi::run_study(zorvi::read_events(shipped_csv));
    const std::string page = zorvi::html_report(study);
    for (const char* reference : {"src=", "href=", "url(", "@import", "<link", "<script", "<img",
                                  "<iframe", "<object", "<embed", "http:", "https:"})
        EXPECT_EQ(page.find(reference), std::string::npos) << reference;
    // No event handler (" onload=", " onclick=", ...) anywhere.
    for (std::size_t at = page.find(" on"); at != std::string::npos;
         at = page.find(" on", at + 1)) {
        const std::size_t end = run_end(page, at + 3, [](char c) { return c >= 'a' && c <= 'z'; });
        EXPECT_FALSE(end > at + 3 && end < page.size() && page[end] == '=')
            << page.substr(at, end - at + 1);
    }

    int level = 0;
    for (std::size_t at = page.find("<h"); at != std::string::npos; at = page.find("<h", at + 1)) {
        if (at + 2 >= page.size() || page[at + 2] < '1' || page[at + 2] > '6') continue;
        const int next = page[at + 2] - '0';
        EXPECT_LE(next, level + 1) << "a heading level skipped at " << at;
        level = next;
    }
    EXPECT_EQ(elements(page, "h1").size(), 1u);
    const std::vector<std::string> tables = elements(page, "table");
    EXPECT_GE(tables.size(), 10u);
    for (const std::string& table : tables)
        EXPECT_NE(table.find("<caption><span>"), std::string::npos);
    const std::vector<std::string> panels = elements(page, "svg");
    EXPECT_EQ(panels.size(), 9u);
    for (const std::string& panel : panels) {
        const std::size_t title = panel.find("<title>");
        EXPECT_EQ(panel.find('\n'), title - 1) << "the title comes first";
        EXPECT_GT(panel.find("</title>") - title, 10u);
        EXPECT_GT(panel.find("</desc>") - panel.find("<desc>"), 30u);
    }
}

// The markup of a report, from its title to its last section: its tags (`<name`, `</name`) and
// their attributes' names (` name="`), without any text or value.
std::vector<std::string> markup_of(const std::string& page) {
    const std::size_t first = page.find("<h1>");
    const std::string body = page.substr(first, page.rfind("</section>") - first);
    const auto name_char = [](char c) { return is_letter(c) || is_digit(c); };
    const auto attribute_char = [](char c) { return is_letter(c) || c == '-'; };
    std::vector<std::string> out;
    for (std::size_t at = 0; at < body.size();) {
        std::size_t end = at;
        if (body[at] == '<') {
            const std::size_t name = at + 1 < body.size() && body[at + 1] == '/' ? at + 2 : at + 1;
            end = run_end(body, name, name_char);
            if (end == name) end = at;
        } else if (std::isspace(static_cast<unsigned char>(body[at]))) {
            end = run_end(body, at + 1, attribute_char);
            end = end > at + 1 && body.compare(end, 2, "=\"") == 0 ? end + 2 : at;
        }
        if (end == at) {
            ++at;
            continue;
        }
        out.push_back(body.substr(at, end - at));
        at = end;
    }
    return out;
}

// Names that would close, open or add markup, in every place the report shows a name: the
// page reads them as text, its markup the same as with plain names.
TEST(ReportHtml, NothingFromTheDataChangesTheMarkup) {
    const std::string hostile =
        "<script>document.title='x'</script>\"><svg onload=alert(1)>'&amp;\xE2\x80\xAE\x1b";
    const zorvi::Study study = zorvi::run_study(zorvi::read_events(shipped_csv), {}, {}, hostile);
    const zorvi::Study plain = zorvi::run_study(zorvi::read_events(shipped_csv), {}, {}, "d.csv");
    const std::string page = zorvi::html_report(study, hostile);
    EXPECT_EQ(markup_of(page), markup_of(zorvi::html_report(plain, "r.dat")));
    const std::string shown =
        "&lt;script&gt;document.title=&#39;x&#39;&lt;/script&gt;&quot;&gt;&lt;svg "
        "onload=alert(1)&gt;&#39;&amp;amp;\\u202e\\x1b";
    EXPECT_NE(page.find("<h1>Zorvi report on " + shown + "</h1>"), std::string::npos);
    EXPECT_NE(page.find("<title>Zorvi report on " + shown + "</title>"), std::string::npos);
    EXPECT_NE(page.find(">" + shown + " (60 events)</td>"), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);

    // A data file of that name (less the slash) given to zorvi-report, and the page in the
    // fragment form a notebook shows: the same.
    TempDir dir;
    std::string name = hostile + ".csv";
    std::replace(name.begin(), name.end(), '/', '|');
    fs::copy_file(shipped_csv, dir.path / name);
    const ProcessResult run =
        report_in(dir.path, {"--data", name, "--series", "20", "--html", "r.html"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string from_file = read_file(dir.path / "r.html");
    EXPECT_EQ(from_file.find("<script"), std::string::npos);
    EXPECT_EQ(from_file.find("<svg onload"), std::string::npos);
    const std::string fragment = zorvi::html_report(study, hostile, zorvi::HtmlForm::fragment);
    EXPECT_TRUE(fragment.starts_with("<div class=\"zorvi-report\">\n<style>\n.zorvi-report {"));
    EXPECT_EQ(markup_of(fragment), markup_of(page));
}

}  // namespace
