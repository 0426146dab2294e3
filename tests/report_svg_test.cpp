// The report's figure: a well-formed SVG document that marks the observed values.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>

#include "report/report.hpp"
#include "test_support.hpp"

namespace {

using namespace zorvi::report;
using zorvi::testing::TempDir;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

bool have_xmllint() {
    return std::system("xmllint --version >/dev/null 2>&1") == 0;
}

// True when xmllint reads `svg` as well-formed XML.
bool well_formed(const std::string& svg) {
    TempDir dir;
    const auto path = dir.path / "figure.svg";
    zorvi::testing::write_file(path, svg);
    const std::string command = "xmllint --noout '" + path.string() + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

Summary summary_for(const Results& results, double u, double p) {
    Recomputed recomputed;
    recomputed.m = 6;
    recomputed.u = u;
    recomputed.p = p;
    recomputed.usim = results.u;
    recomputed.psim = results.p;
    recomputed.msim.assign(results.u.size(), 6);
    return summarise(results, recomputed);
}

Results spread_results() {
    Results results;
    for (int k = 0; k < 200; ++k) {
        const double u = -1.0 + 0.02 * k;
        results.u.push_back(u);
        results.p.push_back(0.5 * (1.0 - 0.002 * k));
    }
    return results;
}

TEST(ReportSvg, MarksTheObservedValuesAndTheCriticalValue) {
    const Results results = spread_results();
    const std::string svg = render_svg(results, summary_for(results, 1.5832579991, 0.0566813));
    EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u);
    EXPECT_NE(svg.find("id=\"observed-u\""), std::string::npos);
    EXPECT_NE(svg.find(">observed u = 1.583</text>"), std::string::npos);
    EXPECT_NE(svg.find("id=\"observed-p\""), std::string::npos);
    EXPECT_NE(svg.find(">observed P = 0.0567</text>"), std::string::npos);
    EXPECT_NE(svg.find("|u| = 1.645"), std::string::npos);
    EXPECT_NE(svg.find("<rect "), std::string::npos);       // bars
    EXPECT_NE(svg.find("<path d=\"M"), std::string::npos);  // the distribution function
    if (!have_xmllint()) GTEST_SKIP() << "xmllint not installed";
    EXPECT_TRUE(well_formed(svg));
}

TEST(ReportSvg, ObservedLineStandsWhereTheObservedUIs) {
    // Equal values: one bin around them, and the observed u in its middle.
    Results results;
    results.u.assign(10, 0.0);
    results.p.assign(10, 0.5);
    const std::string svg = render_svg(results, summary_for(results, 0.0, 0.500000015));
    const std::size_t line = svg.find("id=\"observed-u\"");
    ASSERT_NE(line, std::string::npos);
    const std::size_t start = svg.rfind("<line", line);
    const std::string element = svg.substr(start, line - start);
    // The histogram panel spans x = 80 to 450; the window is [-0.5, 0.5], widened to whole
    // bins, so 0 lies near its middle.
    const std::size_t x1 = element.find("x1=\"");
    ASSERT_NE(x1, std::string::npos);
    const double x = std::stod(element.substr(x1 + 4));
    EXPECT_NEAR(x, 80.0 + 370.0 / 2, 0.05 * 370.0);
}

TEST(ReportSvg, SeriesWithoutEventsStillGiveAWellFormedFigure) {
    Results results;
    results.u.assign(5, nan);
    results.p.assign(5, nan);
    const std::string svg = render_svg(results, summary_for(results, nan, nan));
    EXPECT_NE(svg.find("No series had a selected event"), std::string::npos);
    EXPECT_EQ(svg.find("id=\"observed-u\""), std::string::npos);  // nothing to mark
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    if (!have_xmllint()) GTEST_SKIP() << "xmllint not installed";
    EXPECT_TRUE(well_formed(svg));
}

}  // namespace
