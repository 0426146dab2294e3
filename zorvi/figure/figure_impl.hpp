// Internal to the report's figure: the page layout, the drawing primitives and the panels.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "zorvi/figure/figure.hpp"

namespace zorvi::detail {

// What the panels show: the analysis of the study, the simulated series as its results file
// shows them among it.
struct FigureData {
    const Analysis& analysis;
    const StudySettings& settings() const { return analysis.settings; }
    const Summary& summary() const { return analysis.summary; }
    const Sweeps& sweeps() const { return analysis.sensitivity.sweeps; }
    const EventCounts& counts() const { return analysis.sensitivity.counts; }
    const SimulatedValues& simulated() const { return analysis.simulated_values; }
};

// ---------------------------------------------------------------------------------------------
// Layout: every position on the page follows from one description.

struct Rect {
    double left = 0.0, top = 0.0, width = 0.0, height = 0.0;
    double right() const { return left + width; }
    double bottom() const { return top + height; }
    double centre_x() const { return left + width / 2; }
    double centre_y() const { return top + height / 2; }
};

struct Margins {
    double left = 0.0, right = 0.0, top = 0.0, bottom = 0.0;
};

// Panels fill a grid of equal cells, row by row; each cell holds a plot with room around it
// for the heading (title, caption and legend lines above) and the axes (left and below).
struct FigureLayout {
    std::size_t columns = 2;
    double plot_width = 420;
    double plot_height = 210;
    double heading_line = 17;  // baseline spacing of the heading's three lines
    Margins cell{82, 34, 62, 58};
    double header = 78;  // page title and subtitle
    double footer = 30;  // page note
    double side = 10;    // page margin, left and right
};

inline constexpr FigureLayout figure_layout{};

// What a panel says in words: its heading and its legend's labels, kept for an inline panel's
// title and description.
struct PanelText {
    std::string title;
    std::string caption;
    std::vector<std::string> legend;
};

// A panel's place: its plot and the baselines of its heading lines; and where to keep its
// words, when they are wanted.
struct PanelFrame {
    Rect plot;
    double title_y = 0.0;
    double caption_y = 0.0;
    double legend_y = 0.0;
    PanelText* text = nullptr;
};

double cell_width(const FigureLayout& layout);
double cell_height(const FigureLayout& layout);
std::size_t grid_rows(const FigureLayout& layout, std::size_t panels);
PanelFrame panel_frame(const FigureLayout& layout, std::size_t index);
Rect page_rect(const FigureLayout& layout, std::size_t panels);

// ---------------------------------------------------------------------------------------------
// Drawing primitives: SVG elements appended to one growing string.

// The end of every axis of P: P never exceeds 0.500000015.
inline constexpr double p_axis_end = 0.5;

inline constexpr const char* band_colour = "#c6dbef";
inline constexpr const char* bar_colour = "#7fa7cf";
inline constexpr const char* curve_colour = "#1f4e79";
inline constexpr const char* observed_colour = "#c0392b";
inline constexpr const char* fitted_colour = "#7b3294";
inline constexpr const char* significant_colour = "#f7dcd7";  // behind the observed P < 0.05
inline constexpr const char* guide_colour = "#333333";
inline constexpr const char* note_colour = "#555555";
inline constexpr const char* grid_colour = "#e3e3e3";
inline constexpr const char* dashed = "stroke-dasharray=\"5 4\"";
inline constexpr const char* dotted = "stroke-dasharray=\"2 3\"";
// Labels drawn over the plot keep a white outline, so that lines under them do not cut them.
inline constexpr const char* halo = "stroke=\"#ffffff\" stroke-width=\"3\" paint-order=\"stroke\"";

// From the plot's bottom edge to a tick label's baseline.
inline constexpr double tick_label_drop = 20;

inline constexpr int title_size = 14;
inline constexpr int label_size = 12;
inline constexpr int note_size = 11;

// Maps a data interval onto a pixel interval.
struct Scale {
    double data_low, data_high, pixel_low, pixel_high;
    double operator()(double v) const {
        return pixel_low + (v - data_low) / (data_high - data_low) * (pixel_high - pixel_low);
    }
};

enum class Anchor { start, middle, end };

std::string px(double v);
void append(std::string& out, std::initializer_list<std::string_view> parts);
std::string escaped(std::string_view text);
// Width of a text in pixels, estimated from its characters (on the wide side of the fonts).
double text_width(std::string_view text, int size);

void add_text(std::string& out, double x, double y, std::string_view text, Anchor anchor, int size,
              std::string_view extra = {});
void add_line(std::string& out, double x1, double y1, double x2, double y2, std::string_view colour,
              double width, std::string_view extra = {});
void add_rect(std::string& out, const Rect& rect, std::string_view fill,
              std::string_view extra = {});
// A circle; with a `tooltip`, the text a viewer shows when the pointer rests on it.
void add_circle(std::string& out, double x, double y, double r, std::string_view fill,
                std::string_view tooltip = {});
// A path of straight segments through the points (x[k], y[k]), already in pixels; broken
// where y is not a number.
void add_polyline(std::string& out, const std::vector<double>& x, const std::vector<double>& y,
                  std::string_view colour, double width, std::string_view extra = {});
// The region between two lines over the same x, already in pixels; broken where either is not
// a number.
void add_band(std::string& out, const std::vector<double>& x, const std::vector<double>& low,
              const std::vector<double>& high, std::string_view fill);

struct AxisSpec {
    std::vector<double> ticks;
    int decimals = 0;
    std::string label;
};

// Ticks at a nice step over [low, high], about `parts` of them.
AxisSpec axis_over(double low, double high, int parts, std::string label);
// The smallest multiple of a nice step at or above `high`, for an axis from zero.
double nice_top(double high, int parts);
// Whole-number ticks from zero to the first tick at or above `high` (at least 1).
AxisSpec count_axis(double high, int parts, std::string label);
// Frame, grid lines across the plot at the y ticks, tick marks, tick labels, axis labels.
void add_axes(std::string& out, const Rect& plot, const Scale& x, const Scale& y,
              const AxisSpec& x_axis, const AxisSpec& y_axis);

// The panel's title, and a caption line under it in a quieter colour; both kept in the
// frame's text.
void add_heading(std::string& out, const PanelFrame& frame, std::string_view title,
                 std::string_view caption);

enum class Symbol { line, dashed_line, dotted_line, band, dot };
struct LegendItem {
    Symbol symbol;
    const char* colour;
    std::string label;
};
// One row of legend items on the legend line, left to right; their labels kept in the
// frame's text.
void add_legend(std::string& out, const PanelFrame& frame, const std::vector<LegendItem>& items);

// "magnitude ≥ 113 kt": the main selection rule, in words.
std::string selection_text(const FigureData& data);
// A decimal year with the decimals it has: "1980.417", "1985".
std::string year_text(double year);

// A label beside a vertical marker line at x, on the side of the plot with more room.
Anchor side_of(double x, const Rect& plot);
double beside(double x, Anchor anchor);
// The observed value: a solid line across the plot at x, labelled beside it where the label
// meets nothing of `marks` (label_place.hpp), its roomier side first.
struct PlotMarks;
void add_observed_marker(std::string& out, const Rect& plot, double x, std::string_view id,
                         const std::string& label, PlotMarks& marks);

// ---------------------------------------------------------------------------------------------
// The panels: each draws itself, heading included, into its frame.

using DrawPanel = void (*)(std::string& out, const PanelFrame& frame, const FigureData& data);

void draw_u_histogram(std::string& out, const PanelFrame& frame, const FigureData& data);
void draw_p_distribution(std::string& out, const PanelFrame& frame, const FigureData& data);
void draw_cumulative_count(std::string& out, const PanelFrame& frame, const FigureData& data);
void draw_selection_shares(std::string& out, const PanelFrame& frame, const FigureData& data);
void draw_threshold_p(std::string& out, const PanelFrame& frame, const FigureData& data);
void draw_start_p(std::string& out, const PanelFrame& frame, const FigureData& data);
void draw_threshold_share(std::string& out, const PanelFrame& frame, const FigureData& data);
void draw_start_share(std::string& out, const PanelFrame& frame, const FigureData& data);
// The bins with 0, 1, 2 and 3 or more observed events, against a Poisson process's.
void draw_bin_tally(std::string& out, const PanelFrame& frame, const FigureData& data);
// Under the posterior error model only.
void draw_prior_scale_share(std::string& out, const PanelFrame& frame, const FigureData& data);

}  // namespace zorvi::detail
