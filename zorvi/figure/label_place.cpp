// Label placement: candidate spots tried in a fixed order, the first whose box meets nothing
// taken, so that the same analysis always gives the same figure.
#include "zorvi/figure/label_place.hpp"

#include <algorithm>
#include <cmath>

namespace zorvi::detail {
namespace {

constexpr double halo_width = 1.5;  // the white outline around a label's glyphs
constexpr double ascent = 0.8;      // of the font size, above the baseline
constexpr double descent = 0.25;    // below it
constexpr double inset = 1.0;       // kept between a label and the plot's frame
constexpr double scan_step = 6.0;   // pixels between the spots of the scan

bool boxes_meet(const Box& a, const Box& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Whether the segment, widened by its half width, meets the box: the segment clipped to the
// widened box (Liang-Barsky) leaves something.
bool segment_meets(const PlotMarks::Segment& s, const Box& box) {
    const double left = box.left - s.half_width, right = box.right + s.half_width;
    const double top = box.top - s.half_width, bottom = box.bottom + s.half_width;
    const double dx = s.x2 - s.x1, dy = s.y2 - s.y1;
    double t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {s.x1 - left, right - s.x1, s.y1 - top, bottom - s.y1};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0) {
            if (q[k] < 0.0) return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0.0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
        if (t0 > t1) return false;
    }
    return true;
}

// Spots over the whole plot, rows from the top and each row from the right, where data are
// drawn least often (curves rise to the right, bars stand on the axis).
std::vector<LabelSpot> scan_spots(const Rect& plot, int size) {
    std::vector<LabelSpot> spots;
    for (double y = plot.top + ascent * size + 3; y < plot.bottom(); y += scan_step)
        for (double x = plot.right() - 4; x > plot.left; x -= scan_step)
            spots.push_back({x, y, Anchor::end});
    return spots;
}

}  // namespace

void mark_segment(PlotMarks& marks, double x1, double y1, double x2, double y2, double width) {
    if (std::isfinite(x1) && std::isfinite(y1) && std::isfinite(x2) && std::isfinite(y2))
        marks.segments.push_back({x1, y1, x2, y2, width / 2});
}

void mark_path(PlotMarks& marks, const std::vector<double>& x, const std::vector<double>& y,
               double width) {
    for (std::size_t k = 0; k < x.size(); ++k) {
        if (k + 1 < x.size()) mark_segment(marks, x[k], y[k], x[k + 1], y[k + 1], width);
        if (k + 1 == x.size() && k == 0) mark_segment(marks, x[k], y[k], x[k], y[k], width);
    }
}

void mark_band(PlotMarks& marks, const std::vector<double>& x, const std::vector<double>& low,
               const std::vector<double>& high) {
    mark_path(marks, x, low, 0.0);
    mark_path(marks, x, high, 0.0);
    // The ends of each run where both lines are numbers close the region.
    for (std::size_t k = 0; k < x.size(); ++k) {
        const bool here = std::isfinite(low[k]) && std::isfinite(high[k]);
        const bool before = k > 0 && std::isfinite(low[k - 1]) && std::isfinite(high[k - 1]);
        const bool after =
            k + 1 < x.size() && std::isfinite(low[k + 1]) && std::isfinite(high[k + 1]);
        if (here && (!before || !after)) mark_segment(marks, x[k], low[k], x[k], high[k], 0.0);
    }
}

void mark_dot(PlotMarks& marks, double x, double y, double r) {
    marks.boxes.push_back({x - r, y - r, x + r, y + r});
}

Box label_box(const LabelSpot& spot, std::string_view text, int size) {
    const double width = text_width(text, size);
    const double left = spot.anchor == Anchor::start    ? spot.x
                        : spot.anchor == Anchor::middle ? spot.x - width / 2
                                                        : spot.x - width;
    return {left - halo_width, spot.y - ascent * size - halo_width, left + width + halo_width,
            spot.y + descent * size + halo_width};
}

bool box_is_free(const Box& box, const PlotMarks& marks, const Rect& plot) {
    if (box.left < plot.left + inset || box.right > plot.right() - inset ||
        box.top < plot.top + inset || box.bottom > plot.bottom() - inset)
        return false;
    for (const Box& other : marks.boxes)
        if (boxes_meet(box, other)) return false;
    for (const PlotMarks::Segment& s : marks.segments)
        if (segment_meets(s, box)) return false;
    return true;
}

LabelSpot place_label(PlotMarks& marks, const Rect& plot, std::span<const LabelSpot> spots,
                      std::string_view text, int size) {
    const auto free = [&](const LabelSpot& spot) {
        return box_is_free(label_box(spot, text, size), marks, plot);
    };
    LabelSpot chosen =
        spots.empty() ? LabelSpot{plot.right() - 4, plot.top + 14, Anchor::end} : spots.front();
    const auto found = std::find_if(spots.begin(), spots.end(), free);
    if (found != spots.end()) {
        chosen = *found;
    } else {
        const std::vector<LabelSpot> scan = scan_spots(plot, size);
        const auto scanned = std::find_if(scan.begin(), scan.end(), free);
        if (scanned != scan.end()) chosen = *scanned;
    }
    marks.boxes.push_back(label_box(chosen, text, size));
    return chosen;
}

std::vector<LabelSpot> spots_beside(double x, const Rect& plot, Anchor side, double first_y,
                                    int size) {
    std::vector<LabelSpot> spots;
    const Anchor other = side == Anchor::end ? Anchor::start : Anchor::end;
    for (Anchor anchor : {side, other})
        for (double y = first_y; y < plot.bottom(); y += size + 4)
            spots.push_back({beside(x, anchor), y, anchor});
    return spots;
}

}  // namespace zorvi::detail
