// The figure's layout arithmetic, and where a panel puts what it marks.
#include <gtest/gtest.h>

#include <string>

#include "report/run_report.hpp"
#include "zorvi/figure/figure_impl.hpp"
#include "zorvi/zorvi.hpp"

namespace {

using namespace zorvi;
using namespace zorvi::report;
using namespace zorvi::detail;

TEST(ReportFigureLayout, GridCellsAndPage) {
    // Three columns of 100 x 50 plots, margins 10/20/30/40: cells of 130 x 120.
    const FigureLayout layout{.columns = 3,
                              .plot_width = 100,
                              .plot_height = 50,
                              .heading_line = 9,
                              .cell = {10, 20, 30, 40},
                              .header = 60,
                              .footer = 25,
                              .side = 5};
    EXPECT_EQ(cell_width(layout), 130.0);
    EXPECT_EQ(cell_height(layout), 120.0);
    struct Case {
        std::size_t index;
        double left, top;
    };
    for (const Case& c : {Case{0, 15, 90}, Case{2, 275, 90}, Case{3, 15, 210}, Case{7, 145, 330}}) {
        const PanelFrame frame = panel_frame(layout, c.index);
        EXPECT_EQ(frame.plot.left, c.left) << c.index;
        EXPECT_EQ(frame.plot.top, c.top) << c.index;
        EXPECT_EQ(frame.plot.width, 100.0);
        EXPECT_EQ(frame.plot.height, 50.0);
        // The heading's three lines from the cell's top, above the plot.
        EXPECT_EQ(frame.title_y, c.top - 30 + 9) << c.index;
        EXPECT_EQ(frame.legend_y, c.top - 30 + 27) << c.index;
    }
    // 7 panels take 3 rows, as do 9; the page adds the sides, header and footer.
    EXPECT_EQ(grid_rows(layout, 7), 3u);
    EXPECT_EQ(grid_rows(layout, 9), 3u);
    EXPECT_EQ(grid_rows(layout, 10), 4u);
    const Rect page = page_rect(layout, 7);
    EXPECT_EQ(page.width, 5 + 3 * 130 + 5.0);
    EXPECT_EQ(page.height, 60 + 3 * 120 + 25.0);
    // The figure's own layout: headings fit above the plot, two columns of 8 panels.
    EXPECT_LT(figure_layout.heading_line * 3, figure_layout.cell.top);
    EXPECT_EQ(grid_rows(figure_layout, 8), 4u);
}

TEST(ReportFigureLayout, ObservedLineStandsWhereTheObservedUIs) {
    // Equal values: one bin around them, and the observed u in its middle.
    Analysis analysis;
    analysis.simulated_values.u.values.assign(10, 0.0);
    analysis.simulated_values.p.values.assign(10, 0.5);
    analysis.summary.series = 10;
    analysis.summary.critical_u_05 = 1.6448536;
    const FigureData data{analysis};
    std::string svg;
    const PanelFrame frame = panel_frame(figure_layout, 0);
    draw_u_histogram(svg, frame, data);
    const std::size_t line = svg.find("id=\"observed-u\"");
    ASSERT_NE(line, std::string::npos);
    const std::size_t x1 = svg.rfind("x1=\"", line);
    ASSERT_NE(x1, std::string::npos);
    // The window is [-0.5, 0.5], widened to whole bins, so 0 lies near the plot's middle.
    EXPECT_NEAR(std::stod(svg.substr(x1 + 4)), frame.plot.centre_x(), 0.05 * frame.plot.width);
}

TEST(ReportFigureLayout, LegendItemsFollowEachOther) {
    std::string svg;
    const PanelFrame frame = panel_frame(figure_layout, 0);
    add_legend(svg, frame,
               {{Symbol::line, observed_colour, "observed"},
                {Symbol::band, band_colour, "simulated 95 %"}});
    // The second label starts after the first label's estimated width.
    const std::size_t first = svg.find("<text x=\"");
    const std::size_t second = svg.find("<text x=\"", first + 1);
    ASSERT_NE(second, std::string::npos);
    const double first_x = std::stod(svg.substr(first + 9));
    const double second_x = std::stod(svg.substr(second + 9));
    EXPECT_GT(second_x, first_x + text_width("observed", note_size));
    // A character of three bytes counts once; a wide letter takes more room than a narrow one.
    EXPECT_LT(text_width("≤", 10), text_width("mm", 10));
    EXPECT_GT(text_width("m", 10), text_width("i", 10));
}

}  // namespace
