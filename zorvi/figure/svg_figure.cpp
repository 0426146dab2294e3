// The figure: a page title, then the panels in a grid, each in its own group, written as a
// standalone SVG document.
#include <array>
#include <string>
#include <vector>

#include "zorvi/figure/figure.hpp"
#include "zorvi/figure/figure_impl.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi {
namespace {

using namespace detail;

struct PanelEntry {
    const char* id;
    DrawPanel draw;
};

// The panels in reading order, filling the grid row by row: a panel is one entry here.
constexpr std::array<PanelEntry, 8> panels = {{
    {"panel-u-histogram", draw_u_histogram},
    {"panel-p-distribution", draw_p_distribution},
    {"panel-cumulative-count", draw_cumulative_count},
    {"panel-selection-shares", draw_selection_shares},
    {"panel-threshold-p", draw_threshold_p},
    {"panel-start-p", draw_start_p},
    {"panel-threshold-share", draw_threshold_share},
    {"panel-start-share", draw_start_share},
}};

void add_page_heading(std::string& out, const Rect& page, const FigureData& data) {
    const Summary& summary = data.summary();
    const FigureLayout& layout = figure_layout;
    add_text(out, page.centre_x(), layout.header * 0.4,
             "Zorvi: Cox–Lewis test over " + std::to_string(summary.series) + " simulated series",
             Anchor::middle, 19, "font-weight=\"bold\"");
    add_text(out, page.centre_x(), layout.header * 0.72,
             "observed m = " + std::to_string(summary.m) + ", u = " + fixed_text(summary.u, 3) +
                 ", P = " + fixed_text(summary.p, 4) + "   ·   " +
                 std::to_string(summary.without_event) + " series without a selected event",
             Anchor::middle, 13, std::string("fill=\"") + note_colour + "\"");
}

void add_page_note(std::string& out, const Rect& page, const FigureData& data) {
    add_text(
        out, page.centre_x(), page.bottom() - figure_layout.footer * 0.45,
        "Red: the observed series. Blue: the simulated series. Dashed in the histogram: |u| = " +
            fixed_text(data.summary().critical_u_05, 3) + ", where the one-sided P is 0.05.",
        Anchor::middle, label_size, std::string("fill=\"") + note_colour + "\"");
}

}  // namespace

std::string render_svg(const Analysis& analysis) {
    const FigureData data{analysis};
    // The posterior error model adds its panel after the others.
    std::vector<PanelEntry> shown(panels.begin(), panels.end());
    if (!analysis.error_models.prior_scales.empty())
        shown.push_back({"panel-prior-scale-share", draw_prior_scale_share});
    const Rect page = page_rect(figure_layout, shown.size());
    std::string out;
    out.reserve(256 * 1024);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    append(out,
           {"<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"", px(page.width), "\" height=\"",
            px(page.height), "\" viewBox=\"0 0 ", px(page.width), " ", px(page.height),
            "\" font-family=\"DejaVu Sans, Arial, Helvetica, sans-serif\">\n"});
    out += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    add_page_heading(out, page, data);
    for (std::size_t k = 0; k < shown.size(); ++k) {
        append(out, {"<g id=\"", shown[k].id, "\">\n"});
        shown[k].draw(out, panel_frame(figure_layout, k), data);
        out += "</g>\n";
    }
    add_page_note(out, page, data);
    out += "</svg>\n";
    return out;
}

}  // namespace zorvi
