// The figure: a page title, then the panels in a grid, each in its own group, written as a
// standalone SVG document.
#include <algorithm>
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
    Panel panel;
    const char* id;
    DrawPanel draw;
};

// The panels in reading order, filling the grid row by row: a panel is one entry here.
constexpr std::array<PanelEntry, 9> panels = {{
    {Panel::u_histogram, "panel-u-histogram", draw_u_histogram},
    {Panel::p_distribution, "panel-p-distribution", draw_p_distribution},
    {Panel::cumulative_count, "panel-cumulative-count", draw_cumulative_count},
    {Panel::selection_shares, "panel-selection-shares", draw_selection_shares},
    {Panel::threshold_p, "panel-threshold-p", draw_threshold_p},
    {Panel::start_p, "panel-start-p", draw_start_p},
    {Panel::threshold_share, "panel-threshold-share", draw_threshold_share},
    {Panel::start_share, "panel-start-share", draw_start_share},
    {Panel::bin_tally, "panel-bin-tally", draw_bin_tally},
}};
// The posterior error model adds its panel after the others.
constexpr PanelEntry prior_scale_panel = {Panel::prior_scale_share, "panel-prior-scale-share",
                                          draw_prior_scale_share};

std::vector<PanelEntry> shown_panels(const Analysis& analysis) {
    std::vector<PanelEntry> shown(panels.begin(), panels.end());
    if (!analysis.error_models.prior_scales.empty()) shown.push_back(prior_scale_panel);
    return shown;
}

constexpr const char* font_family = "DejaVu Sans, Arial, Helvetica, sans-serif";

// A panel drawn alone: a page of one cell, without the figure's title and note.
constexpr FigureLayout single_panel = [] {
    FigureLayout layout = figure_layout;
    layout.columns = 1;
    layout.header = 0;
    layout.footer = 0;
    layout.side = 0;
    return layout;
}();

// What an inline panel says to a reader who does not see it: its caption and its legend.
std::string description(const PanelText& text) {
    std::string out = text.caption;
    for (std::size_t k = 0; k < text.legend.size(); ++k)
        out += (k == 0 ? ". Legend: " : "; ") + text.legend[k];
    return text.legend.empty() ? out : out + ".";
}

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
    add_text(out, page.centre_x(), page.bottom() - figure_layout.footer * 0.45,
             figure_note(data.analysis), Anchor::middle, label_size,
             std::string("fill=\"") + note_colour + "\"");
}

}  // namespace

std::string figure_note(const Analysis& analysis) {
    return "Red: the observed series. Blue: the simulated series. Dashed in the histogram: |u| = " +
           fixed_text(analysis.summary.critical_u_05, 3) + ", where the one-sided P is 0.05.";
}

std::string render_panel(const Analysis& analysis, Panel panel) {
    const std::vector<PanelEntry> shown = shown_panels(analysis);
    const auto entry = std::find_if(shown.begin(), shown.end(),
                                    [&](const PanelEntry& e) { return e.panel == panel; });
    if (entry == shown.end()) return {};
    PanelText text;
    PanelFrame frame = panel_frame(single_panel, 0);
    frame.text = &text;
    std::string body;
    entry->draw(body, frame, FigureData{analysis});
    const Rect page = page_rect(single_panel, 1);
    std::string out;
    append(out, {"<svg class=\"panel\" role=\"img\" width=\"", px(page.width), "\" height=\"",
                 px(page.height), "\" viewBox=\"0 0 ", px(page.width), " ", px(page.height),
                 "\" font-family=\"", font_family, "\">\n<title>", escaped(text.title),
                 "</title>\n<desc>", escaped(description(text)), "</desc>\n"});
    out += body;
    out += "</svg>\n";
    return out;
}

std::string render_svg(const Analysis& analysis) {
    const FigureData data{analysis};
    const std::vector<PanelEntry> shown = shown_panels(analysis);
    const Rect page = page_rect(figure_layout, shown.size());
    std::string out;
    out.reserve(256 * 1024);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    append(out, {"<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"", px(page.width),
                 "\" height=\"", px(page.height), "\" viewBox=\"0 0 ", px(page.width), " ",
                 px(page.height), "\" font-family=\"", font_family, "\">\n"});
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
