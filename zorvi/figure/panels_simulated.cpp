// The figure's panels of the simulated series as the results file lists them: the histogram
// of u and the empirical distribution function of P.
#include <algorithm>
#include <cmath>
#include <limits>

#include "zorvi/figure/figure.hpp"
#include "zorvi/figure/figure_impl.hpp"
#include "zorvi/figure/label_place.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi::detail {
namespace {

constexpr int histogram_bins = 50;    // about this many bins over the range of u
constexpr double min_u_window = 1.0;  // narrowest range of u shown

// Histogram bins: `count` bins of `width` from `start`, which is a multiple of `width`.
struct Bins {
    double start = 0.0;
    double width = 1.0;
    std::vector<std::size_t> counts;
    double end() const { return start + width * static_cast<double>(counts.size()); }
};

Bins bin_values(const std::vector<double>& values, double low, double high) {
    Bins bins;
    bins.width = nice_step(high - low, histogram_bins);
    bins.start = std::floor(low / bins.width) * bins.width;
    const auto count = static_cast<std::size_t>(std::floor((high - bins.start) / bins.width)) + 1;
    bins.counts.assign(count, 0);
    for (double v : values) {
        const double place = std::floor((v - bins.start) / bins.width);
        const auto index =
            static_cast<std::size_t>(std::clamp(place, 0.0, static_cast<double>(count - 1)));
        ++bins.counts[index];
    }
    return bins;
}

// The bins of a sample: its values counted, or its histogram's fine bins counted at their
// centres.
Bins bin_sample(const ValueSample& sample, double low, double high) {
    if (sample.exact) {
        std::vector<double> finite;
        for (double v : sample.values)
            if (std::isfinite(v)) finite.push_back(v);
        return bin_values(finite, low, high);
    }
    Bins bins = bin_values({}, low, high);
    const double last = static_cast<double>(bins.counts.size() - 1);
    for (std::size_t k = 0; k < sample.bins.size(); ++k) {
        if (sample.bins[k] == 0) continue;
        const double centre = bin_start(sample, k) + sample.width / 2;
        const double place = std::clamp(std::floor((centre - bins.start) / bins.width), 0.0, last);
        bins.counts[static_cast<std::size_t>(place)] += sample.bins[k];
    }
    return bins;
}

// The extremes of a sample's finite values, or of its histogram's occupied bins; false when
// it has none.
bool sample_range(const ValueSample& sample, double& low, double& high) {
    low = std::numeric_limits<double>::infinity();
    high = -low;
    if (sample.exact) {
        for (double v : sample.values) {
            if (!std::isfinite(v)) continue;
            low = std::min(low, v);
            high = std::max(high, v);
        }
    } else {
        for (std::size_t k = 0; k < sample.bins.size(); ++k) {
            if (sample.bins[k] == 0) continue;
            low = std::min(low, bin_start(sample, k));
            high = std::max(high, bin_start(sample, k + 1));
        }
    }
    return low <= high;
}

// The range of u shown: the values, the observed u, and the critical value on each side that
// the values or the observed u reach; at least `min_u_window` wide.
Interval u_window(const ValueSample& sample, double observed, double critical) {
    double low = 0.0;
    double high = 0.0;
    if (!sample_range(sample, low, high)) {
        low = -critical;
        high = critical;
    }
    if (std::isfinite(observed)) {
        low = std::min(low, observed);
        high = std::max(high, observed);
    }
    if (high > 0) high = std::max(high, critical);
    if (low < 0) low = std::min(low, -critical);
    if (high - low < min_u_window) {  // nearly alike: widen around the middle
        const double middle = low + 0.5 * (high - low);
        low = middle - 0.5 * min_u_window;
        high = middle + 0.5 * min_u_window;
    }
    return {low, high};
}

void add_bars(std::string& out, const Rect& plot, const Bins& bins, const Scale& x, const Scale& y,
              PlotMarks& marks) {
    for (std::size_t k = 0; k < bins.counts.size(); ++k) {
        if (bins.counts[k] == 0) continue;
        const double left = x(bins.start + bins.width * static_cast<double>(k));
        const double right = x(bins.start + bins.width * static_cast<double>(k + 1));
        const double top = y(static_cast<double>(bins.counts[k]));
        add_rect(out, {left, top, right - left, plot.bottom() - top}, bar_colour,
                 "stroke=\"#ffffff\" stroke-width=\"0.5\"");
        marks.boxes.push_back({left, top, right, plot.bottom()});
    }
}

}  // namespace

void draw_u_histogram(std::string& out, const PanelFrame& frame, const FigureData& data) {
    const Rect& plot = frame.plot;
    const Summary& summary = data.summary();
    add_heading(out, frame, "Simulated u: histogram",
                "Cox–Lewis statistic of each simulated series; positive: a rising rate");

    const ValueSample& values = data.simulated().u;
    const double critical = summary.critical_u_05;
    const Interval window = u_window(values, summary.u, critical);
    const Bins bins = bin_sample(values, window.low, window.high);

    const std::size_t tallest = *std::max_element(bins.counts.begin(), bins.counts.end());
    const AxisSpec y_axis = count_axis(static_cast<double>(tallest), 5, "number of series");
    const Scale x{bins.start, bins.end(), plot.left, plot.right()};
    const Scale y{0.0, y_axis.ticks.back(), plot.bottom(), plot.top};
    const std::string x_label =
        "u, bins of width " + fixed_text(bins.width, decimals_for_step(bins.width));
    add_axes(out, plot, x, y, axis_over(bins.start, bins.end(), 6, x_label), y_axis);
    PlotMarks marks;
    add_bars(out, plot, bins, x, y, marks);
    if (tallest == 0) {
        add_text(out, plot.centre_x(), plot.centre_y(), "No series had a selected event",
                 Anchor::middle, label_size + 1);
    }

    // The critical values, dashed, and the observed u, in red; every line known before any
    // label is placed. Each "P = 0.05" goes right of its line at the top first.
    const auto shown = [&](double c) { return c >= bins.start && c <= bins.end(); };
    for (double c : {-critical, critical})
        if (shown(c)) mark_segment(marks, x(c), plot.top, x(c), plot.bottom(), 1.2);
    if (std::isfinite(summary.u))
        mark_segment(marks, x(summary.u), plot.top, x(summary.u), plot.bottom(), 2);
    for (double c : {-critical, critical}) {
        if (!shown(c)) continue;
        const double cx = x(c);
        add_line(out, cx, plot.top, cx, plot.bottom(), guide_colour, 1.2, dashed);
        const LabelSpot spot = place_label(
            marks, plot, spots_beside(cx, plot, Anchor::start, plot.top + 12, note_size),
            "P = 0.05", note_size);
        add_text(out, spot.x, spot.y, "P = 0.05", spot.anchor, note_size, halo);
    }
    if (std::isfinite(summary.u)) {
        add_observed_marker(out, plot, x(summary.u), "observed-u",
                            "observed u = " + fixed_text(summary.u, 3), marks);
    }
}

void draw_p_distribution(std::string& out, const PanelFrame& frame, const FigureData& data) {
    const Rect& plot = frame.plot;
    const Summary& summary = data.summary();
    add_heading(out, frame, "Simulated P: empirical distribution",
                "share of all series with P ≤ x; a series without an event never counts");

    const Scale x{0.0, p_axis_end, plot.left, plot.right()};
    const Scale y{0.0, 1.0, plot.bottom(), plot.top};
    add_axes(out, plot, x, y, axis_over(0.0, p_axis_end, 5, "P"),
             axis_over(0.0, 1.0, 5, "share of series with P ≤ x"));

    const double series = std::max<double>(1.0, static_cast<double>(summary.series));
    auto clamp_x = [&](double p) { return x(std::clamp(p, 0.0, p_axis_end)); };

    std::string path;
    append(path, {"M", px(plot.left), " ", px(plot.bottom())});
    PlotMarks marks;
    double path_x = plot.left;  // the curve's last point, for its marks
    double path_y = plot.bottom();
    const auto mark_step = [&](double to_x, double to_y) {
        mark_segment(marks, path_x, path_y, to_x, path_y, 1.8);
        mark_segment(marks, to_x, path_y, to_x, to_y, 1.8);
        path_x = to_x;
        path_y = to_y;
    };
    // A step up at every value, or at the end of every occupied bin of a histogram.
    std::size_t at_or_below_05 = 0;
    const auto step = [&](double p, std::size_t so_far) {
        if (p <= significance_05) at_or_below_05 = so_far;
        append(path, {"H", px(clamp_x(p)), "V", px(y(static_cast<double>(so_far) / series))});
        mark_step(clamp_x(p), y(static_cast<double>(so_far) / series));
    };
    const ValueSample& sample = data.simulated().p;
    std::size_t so_far = 0;
    if (sample.exact) {
        std::vector<double> values = sample.values;
        std::sort(values.begin(), values.end());
        for (std::size_t k = 0; k < values.size(); ++k) {
            if (k + 1 < values.size() && values[k + 1] == values[k]) continue;
            step(values[k], k + 1);
        }
    } else {
        for (std::size_t k = 0; k < sample.bins.size(); ++k) {
            if (sample.bins[k] == 0) continue;
            so_far += sample.bins[k];
            step(bin_start(sample, k + 1), so_far);
        }
    }
    append(path, {"H", px(plot.right())});
    mark_segment(marks, path_x, path_y, plot.right(), path_y, 1.8);
    append(out, {"<path d=\"", path, "\" fill=\"none\" stroke=\"", curve_colour,
                 "\" stroke-width=\"1.8\"/>\n"});

    // 0.05, dashed, with the share of series below it.
    const double gx = x(significance_05);
    const double gy = y(static_cast<double>(at_or_below_05) / series);
    add_line(out, gx, plot.top, gx, plot.bottom(), guide_colour, 1.2, dashed);
    add_line(out, plot.left, gy, gx, gy, guide_colour, 1, dotted);
    mark_segment(marks, gx, plot.top, gx, plot.bottom(), 1.2);
    mark_segment(marks, plot.left, gy, gx, gy, 1);
    if (std::isfinite(summary.p))
        mark_segment(marks, clamp_x(summary.p), plot.top, clamp_x(summary.p), plot.bottom(), 2);
    const double share = static_cast<double>(summary.below_05) / series;
    // Below the guide and right of 0.05 first, where the rising curve usually leaves room;
    // then beside the 0.05 line from the foot of the plot up, right of it before left.
    const std::string note = fixed_text(100.0 * share, 1) + " % of series below P = 0.05";
    std::vector<LabelSpot> spots = {{gx + 6, std::min(plot.bottom() - 6, gy + 16), Anchor::start}};
    for (double ny = plot.bottom() - 6; ny > plot.top; ny -= note_size + 4)
        spots.push_back({gx + 6, ny, Anchor::start});
    const LabelSpot spot = place_label(marks, plot, spots, note, note_size);
    add_text(out, spot.x, spot.y, note, spot.anchor, note_size, halo);

    if (std::isfinite(summary.p)) {
        add_observed_marker(out, plot, clamp_x(summary.p), "observed-p",
                            "observed P = " + fixed_text(summary.p, 4), marks);
    }
}

}  // namespace zorvi::detail
