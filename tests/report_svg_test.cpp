// The report's figure: a well-formed SVG document that marks the observed values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "report/run_report.hpp"
#include "report_test_support.hpp"
#include "zorvi/zorvi.hpp"

namespace {

using namespace zorvi;
using namespace zorvi::report;
using zorvi::testing::nan;
using zorvi::testing::TempDir;

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

// The figure of these results, with no events and no sweeps unless given.
std::string render(const Results& results, const Summary& summary, const EventCounts& counts = {},
                   const Sweeps& sweeps = {}) {
    Analysis analysis;
    analysis.summary = summary;
    analysis.sensitivity = {sweeps, counts};
    analysis.simulated_values.u.values = results.u;
    for (double p : results.p)
        if (!std::isnan(p)) analysis.simulated_values.p.values.push_back(p);
    return render_svg(analysis);
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The tags of an XML text without the character data between them.
std::string markup_only(const std::string& xml) {
    std::string tags;
    bool inside = false;
    for (char c : xml) {
        inside = c == '<' || (inside && c != '>');
        if (inside || c == '>') tags += c;
    }
    return tags;
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
    const std::string svg = render(results, summary_for(results, 1.5832579991, 0.0566813));
    EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u);
    EXPECT_NE(svg.find("id=\"observed-u\""), std::string::npos);
    EXPECT_NE(svg.find(">observed u = 1.583</text>"), std::string::npos);
    EXPECT_NE(svg.find("id=\"observed-p\""), std::string::npos);
    EXPECT_NE(svg.find(">observed P = 0.0567</text>"), std::string::npos);
    EXPECT_NE(svg.find("|u| = 1.645"), std::string::npos);
    EXPECT_NE(svg.find("<rect "), std::string::npos);       // bars
    EXPECT_NE(svg.find("<path d=\"M"), std::string::npos);  // the distribution function
    // One group per panel, each with its own id.
    EXPECT_EQ(occurrences(svg, "<g id=\"panel-"), 9u);
    for (const char* id : {"panel-u-histogram", "panel-p-distribution", "panel-cumulative-count",
                           "panel-selection-shares", "panel-threshold-p", "panel-start-p",
                           "panel-threshold-share", "panel-start-share", "panel-bin-tally"})
        EXPECT_EQ(occurrences(svg, std::string("id=\"") + id + "\""), 1u) << id;
    if (!have_xmllint()) GTEST_SKIP() << "xmllint not installed";
    EXPECT_TRUE(well_formed(svg));
}

TEST(ReportSvg, SeriesWithoutEventsStillGiveAWellFormedFigure) {
    Results results;
    results.u.assign(5, nan);
    results.p.assign(5, nan);
    // Sweep points beyond every magnitude: no observed P and no simulated quantiles.
    SweepPoint beyond;
    beyond.threshold = 150;
    beyond.observed_p = beyond.observed_u = nan;
    beyond.p_q025 = beyond.p_median = beyond.p_q975 = nan;
    beyond.series = 5;
    beyond.without_event = 5;
    SweepPoint further = beyond;
    further.threshold = 151;
    Sweeps sweeps;
    sweeps.threshold = {beyond, further};
    sweeps.start = {beyond};
    EventCounts counts;
    counts.order = {0};
    counts.times = {2000.5};
    counts.observed = {0};
    counts.band_at = {0};
    counts.low = counts.median = counts.high = {0.0};
    const std::string svg = render(results, summary_for(results, nan, nan), counts, sweeps);
    EXPECT_NE(svg.find("No series had a selected event"), std::string::npos);
    EXPECT_EQ(svg.find("id=\"observed-u\""), std::string::npos);  // nothing to mark
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(markup_only(svg).find("NaN"), std::string::npos);  // no coordinate is NaN
    EXPECT_NE(svg.find("data-last-step=\"0\""), std::string::npos);
    if (!have_xmllint()) GTEST_SKIP() << "xmllint not installed";
    EXPECT_TRUE(well_formed(svg));
}

}  // namespace
