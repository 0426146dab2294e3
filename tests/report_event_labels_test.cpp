// Events named by their labels: read from a CSV table's column, shown in every output at most
// 40 characters long with nothing invisible, and never as markup.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "report_test_support.hpp"
#include "zorvi/zorvi.hpp"

namespace {

namespace fs = std::filesystem;
using namespace zorvi::testing;

struct Label {
    std::string cell;   // as the CSV file holds it
    std::string shown;  // in the text, the JSON and the CSV tables
    std::string html;   // in the HTML page and the figure's tooltips
};

// Each event at the threshold with a wide error: every one decides, in about half the series.
const std::vector<Label> labels = {
    {"Harvey", "Harvey", "Harvey"},
    {"\"<script>document.title='x'</script>\"", "<script>document.title='x'</script>",
     "&lt;script&gt;document.title=&#39;x&#39;&lt;/script&gt;"},
    {"\"\"\"><svg onload=alert(1)>\"", "\"><svg onload=alert(1)>",
     "&quot;&gt;&lt;svg onload=alert(1)&gt;"},
    {std::string(45, 'L'), std::string(39, 'L') + "\xE2\x80\xA6",
     std::string(39, 'L') + "\xE2\x80\xA6"},
    {"\"bell\x07 and\tnew\nline\"", "bell\\x07 and\\tnew\\nline", "bell\\x07 and\\tnew\\nline"},
    {"bad\xff utf-8", "bad\xEF\xBF\xBD utf-8", "bad\xEF\xBF\xBD utf-8"},
    {"\xE2\x80\xAE"
     "reversed",
     "\\u202ereversed", "\\u202ereversed"},
};

// The labels' column, named as markup.
const std::string label_column = "<i>name</i>";

std::string table_text() {
    std::string csv = "time,mag,se," + label_column + "\n";
    for (std::size_t k = 0; k < labels.size(); ++k)
        csv += std::to_string(1985 + 4 * k) + ".5,100,10," + labels[k].cell + "\n";
    return csv;
}

TEST(ReportEventLabels, EveryOutputShowsThemSafely) {
    TempDir dir;
    write_file(dir.path / "named.csv", table_text());
    zorvi::ReadOptions read;
    read.columns = {"time", "mag", "se"};
    read.labels = label_column;
    zorvi::StudySettings settings;
    settings.threshold = 100;
    settings.series = 200;
    const zorvi::Study study =
        zorvi::run_study(zorvi::read_events(dir.path / "named.csv", read), settings);
    const std::string summary = zorvi::summary_text(study);
    const nlohmann::json events = nlohmann::json::parse(zorvi::json_text(study))["events"];
    const std::string csv = zorvi::csv_text(zorvi::tables(study)[1]);
    const std::string svg = zorvi::svg_figure(study);
    const std::string page = zorvi::html_report(study);
    EXPECT_NE(summary.find("Phi((x - 100) / sx)  <i>name</i>\n"), std::string::npos) << summary;
    EXPECT_NE(page.find("<th scope=\"col\">&lt;i&gt;name&lt;/i&gt;</th></tr></thead>"),
              std::string::npos);
    ASSERT_EQ(events.size(), labels.size());
    for (std::size_t k = 0; k < labels.size(); ++k) {
        const Label& label = labels[k];
        SCOPED_TRACE(label.shown);
        EXPECT_NE(summary.find(" %  " + label.shown + "\n"), std::string::npos);
        EXPECT_EQ(events[k]["label"], label.shown);
        EXPECT_NE(page.find("<td>" + label.html + "</td></tr>"), std::string::npos);
        // The figure leaves an apostrophe as it is: its attributes are in double quotes.
        std::string tooltip = label.html;
        for (std::size_t at; (at = tooltip.find("&#39;")) != std::string::npos;)
            tooltip.replace(at, 5, "'");
        EXPECT_NE(
            svg.find("<title>" + tooltip + " (" + std::to_string(1985 + 4 * k) + ".500)</title>"),
            std::string::npos);
    }
    EXPECT_TRUE(csv.starts_with("time,label,magnitude,"));
    EXPECT_NE(csv.find(",<script>document.title='x'</script>,100,"), std::string::npos);
    EXPECT_NE(csv.find(",\"\"\"><svg onload=alert(1)>\",100,"), std::string::npos);
    // Nothing of the labels is markup in the page or the figure.
    for (const std::string& text : {page, svg}) {
        EXPECT_EQ(text.find("<script"), std::string::npos);
        EXPECT_EQ(text.find("<svg onload"), std::string::npos);
        EXPECT_EQ(text.find("<i>"), std::string::npos);
    }
}

TEST(ReportEventLabels, TheColumnIsFoundOrRefused) {
    struct Case {
        std::string header;
        std::string asked;  // the label column asked for; empty: the default
        std::string first;  // the first event's label; empty: no labels
        std::string error;
    };
    const std::vector<Case> cases = {
        {"t,x,s,name", "", "A", ""},
        {"t,x,s,other", "", "", ""},       // no column called name: no labels
        {"t,x,s,name,name", "", "A", ""},  // the first of two
        {"t,x,s,other", "other", "A", ""},
        {"t,x,s,name", "t", "1990.5", ""},  // any column, a value's among them
        {"t,x,s,name", "nope", "",
         "l.csv, line 1: no column 'nope' in the header (t, x, s, name); --labels COLUMN names "
         "the column of the labels"},
        {"t,x,s,a,a", "a", "", "l.csv, line 1: the header names the column 'a' more than once"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header + " / " + c.asked);
        const std::size_t extra = std::count(c.header.begin(), c.header.end(), ',') - 2;
        std::string cells;
        for (std::size_t k = 0; k < extra; ++k)
            cells += k == 0 ? ",A" : ",B";
        zorvi::EventData data;
        std::string error;
        zorvi::CsvReading reading;
        reading.columns = {"t", "x", "s"};
        reading.labels = c.asked;
        const bool read = zorvi::parse_csv_events(c.header + "\n1990.5,100,10" + cells + "\n",
                                                  "l.csv", reading, data, error);
        EXPECT_EQ(read, c.error.empty());
        EXPECT_EQ(error, c.error);
        if (!read) continue;
        EXPECT_EQ(data.notes.labels.empty(), c.first.empty());
        if (!c.first.empty()) {
            EXPECT_EQ(data.notes.labels.at(0), c.first);
        }
    }
}

}  // namespace
