// Internal to the figure: labels placed next to data where their boxes touch no line, marker,
// band edge or other label of the plot.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "zorvi/figure/figure_impl.hpp"

namespace zorvi::detail {

struct Box {
    double left = 0.0, top = 0.0, right = 0.0, bottom = 0.0;
};

// What a label must keep clear of in one plot: stroked segments (with their width), filled
// boxes (bars, dots) and the labels placed so far.
struct PlotMarks {
    struct Segment {
        double x1, y1, x2, y2, half_width;
    };
    std::vector<Segment> segments;
    std::vector<Box> boxes;
};

void mark_segment(PlotMarks& marks, double x1, double y1, double x2, double y2, double width);
// A path through (x[k], y[k]), broken where y is not a number, as add_polyline draws it.
void mark_path(PlotMarks& marks, const std::vector<double>& x, const std::vector<double>& y,
               double width);
// The outline of a band between two lines, as add_band fills it.
void mark_band(PlotMarks& marks, const std::vector<double>& x, const std::vector<double>& low,
               const std::vector<double>& high);
void mark_dot(PlotMarks& marks, double x, double y, double r);

// Where a label's text goes: its anchor point on the baseline, and its alignment there.
struct LabelSpot {
    double x = 0.0, y = 0.0;
    Anchor anchor = Anchor::start;
};

// The box a label's text covers, its white outline included.
Box label_box(const LabelSpot& spot, std::string_view text, int size);
// True when `box` lies within the plot and meets none of `marks`.
bool box_is_free(const Box& box, const PlotMarks& marks, const Rect& plot);

// The first of `spots` whose label box is free; without one, the first spot of a scan over
// the plot (rows from the top, each from the right) that is; without that, spots[0]. The
// chosen box joins `marks`, so that later labels keep clear of it.
LabelSpot place_label(PlotMarks& marks, const Rect& plot, std::span<const LabelSpot> spots,
                      std::string_view text, int size);

// Spots beside a vertical line at x: on `side` first, then on the other, each from the height
// `first_y` down the plot a line at a time.
std::vector<LabelSpot> spots_beside(double x, const Rect& plot, Anchor side, double first_y,
                                    int size);

}  // namespace zorvi::detail
