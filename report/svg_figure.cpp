// The figure: a histogram of the simulated u and the empirical distribution function of the
// simulated P, side by side, written as a standalone SVG document.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "report/report.hpp"
#include "report/report_impl.hpp"

namespace zorvi::report {
namespace {

using detail::fixed_text;

// Page and panel geometry, in pixels.
constexpr double page_width = 1000;
constexpr double page_height = 480;
constexpr double panel_top = 100;
constexpr double panel_width = 370;
constexpr double panel_height = 290;
constexpr double histogram_left = 80;
constexpr double distribution_left = 570;

constexpr int histogram_bins = 50;    // about this many bins over the range of u
constexpr double min_u_window = 1.0;  // narrowest range of u shown
constexpr double p_axis_end = 0.5;    // P never exceeds 0.500000015

constexpr const char* bar_colour = "#7fa7cf";
constexpr const char* curve_colour = "#1f4e79";
constexpr const char* observed_colour = "#c0392b";
constexpr const char* guide_colour = "#333333";
constexpr const char* grid_colour = "#e3e3e3";
// Labels drawn over the plot keep a white outline, so that lines under them do not cut them.
constexpr const char* halo = "stroke=\"#ffffff\" stroke-width=\"3\" paint-order=\"stroke\"";

struct Panel {
    double left, top, width, height;
    double right() const { return left + width; }
    double bottom() const { return top + height; }
};

// Maps a data interval onto a pixel interval.
struct Scale {
    double data_low, data_high, pixel_low, pixel_high;
    double operator()(double v) const {
        return pixel_low + (v - data_low) / (data_high - data_low) * (pixel_high - pixel_low);
    }
};

std::string px(double v) {
    return fixed_text(v, 2);
}

// Appends the parts in order: one growing string, no temporaries between the parts.
void append(std::string& out, std::initializer_list<std::string_view> parts) {
    for (std::string_view part : parts)
        out += part;
}

std::string escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

enum class Anchor { start, middle, end };

void add_text(std::string& out, double x, double y, std::string_view text, Anchor anchor, int size,
              std::string_view extra = {}) {
    static constexpr const char* anchors[] = {"start", "middle", "end"};
    append(out, {"<text x=\"", px(x), "\" y=\"", px(y), "\" text-anchor=\"",
                 anchors[static_cast<int>(anchor)], "\" font-size=\"", std::to_string(size), "\""});
    if (!extra.empty()) append(out, {" ", extra});
    append(out, {">", escaped(text), "</text>\n"});
}

void add_line(std::string& out, double x1, double y1, double x2, double y2, std::string_view colour,
              double width, std::string_view extra = {}) {
    append(out, {"<line x1=\"", px(x1), "\" y1=\"", px(y1), "\" x2=\"", px(x2), "\" y2=\"", px(y2),
                 "\" stroke=\"", colour, "\" stroke-width=\"", px(width), "\""});
    if (!extra.empty()) append(out, {" ", extra});
    out += "/>\n";
}

struct AxisSpec {
    std::vector<double> ticks;
    int decimals = 0;
    std::string label;
};

// Frame, grid lines across the panel at the y ticks, tick marks, tick labels, axis labels.
void add_axes(std::string& out, const Panel& panel, const Scale& x, const Scale& y,
              const AxisSpec& x_axis, const AxisSpec& y_axis) {
    for (double tick : y_axis.ticks) {
        const double py = y(tick);
        add_line(out, panel.left, py, panel.right(), py, grid_colour, 1);
        add_line(out, panel.left - 5, py, panel.left, py, guide_colour, 1);
        add_text(out, panel.left - 8, py + 4, fixed_text(tick, y_axis.decimals), Anchor::end, 12);
    }
    for (double tick : x_axis.ticks) {
        const double px_ = x(tick);
        add_line(out, px_, panel.bottom(), px_, panel.bottom() + 5, guide_colour, 1);
        add_text(out, px_, panel.bottom() + 20, fixed_text(tick, x_axis.decimals), Anchor::middle,
                 12);
    }
    add_line(out, panel.left, panel.top, panel.left, panel.bottom(), guide_colour, 1);
    add_line(out, panel.left, panel.bottom(), panel.right(), panel.bottom(), guide_colour, 1);
    add_text(out, panel.left + panel.width / 2, panel.bottom() + 44, x_axis.label, Anchor::middle,
             13);
    const double label_x = panel.left - 52;
    const double label_y = panel.top + panel.height / 2;
    add_text(out, label_x, label_y, y_axis.label, Anchor::middle, 13,
             "transform=\"rotate(-90 " + px(label_x) + " " + px(label_y) + ")\"");
}

AxisSpec axis_over(double low, double high, int parts, std::string label) {
    const double step = detail::nice_step(high - low, parts);
    return {detail::ticks_between(low, high, step), detail::decimals_for_step(step),
            std::move(label)};
}

// A label beside a vertical marker line, on the side with more room.
Anchor side_of(double x, const Panel& panel) {
    return x > panel.left + panel.width / 2 ? Anchor::end : Anchor::start;
}
double beside(double x, Anchor anchor) {
    return anchor == Anchor::end ? x - 5 : x + 5;
}

// Histogram bins: `count` bins of `width` from `start`, which is a multiple of `width`.
struct Bins {
    double start = 0.0;
    double width = 1.0;
    std::vector<std::size_t> counts;
    double end() const { return start + width * static_cast<double>(counts.size()); }
};

Bins bin_values(const std::vector<double>& values, double low, double high) {
    Bins bins;
    bins.width = detail::nice_step(high - low, histogram_bins);
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

// The observed value: a solid line across the panel at x, labelled on its roomier side.
void add_observed_marker(std::string& out, const Panel& panel, double x, const char* id,
                         const std::string& label) {
    add_line(out, x, panel.top, x, panel.bottom(), observed_colour, 2,
             std::string("id=\"") + id + "\"");
    const Anchor anchor = side_of(x, panel);
    add_text(out, beside(x, anchor), panel.top + 30, label, anchor, 12,
             std::string("fill=\"") + observed_colour + "\"");
}

void add_histogram(std::string& out, const Results& results, const Summary& summary) {
    const Panel panel{histogram_left, panel_top, panel_width, panel_height};
    add_text(out, panel.left + panel.width / 2, panel.top - 16, "Simulated u: histogram",
             Anchor::middle, 15, "font-weight=\"bold\"");

    std::vector<double> values;
    for (double u : results.u)
        if (std::isfinite(u)) values.push_back(u);

    // Step 1: the range covers the values, the observed u and the critical value on each side
    // that the values or the observed u reach.
    const double critical = summary.critical_u_05;
    double low = values.empty() ? -critical : *std::min_element(values.begin(), values.end());
    double high = values.empty() ? critical : *std::max_element(values.begin(), values.end());
    if (std::isfinite(summary.u)) {
        low = std::min(low, summary.u);
        high = std::max(high, summary.u);
    }
    if (high > 0) high = std::max(high, critical);
    if (low < 0) low = std::min(low, -critical);
    if (high - low < min_u_window) {  // nearly alike: widen around the middle
        const double middle = low + 0.5 * (high - low);
        low = middle - 0.5 * min_u_window;
        high = middle + 0.5 * min_u_window;
    }

    // Step 2: bins and scales.
    const Bins bins = bin_values(values, low, high);
    const std::size_t tallest = *std::max_element(bins.counts.begin(), bins.counts.end());
    // Counts are whole: a step of at least one series.
    const double count_step =
        std::ceil(detail::nice_step(std::max(1.0, static_cast<double>(tallest)), 5));
    const double count_top =
        std::max(1.0, std::ceil(static_cast<double>(tallest) / count_step)) * count_step;
    const Scale x{bins.start, bins.end(), panel.left, panel.right()};
    const Scale y{0.0, count_top, panel.bottom(), panel.top};
    const AxisSpec y_axis{detail::ticks_between(0.0, count_top, count_step), 0, "number of series"};
    const std::string x_label = "u (Cox–Lewis statistic), bins of width " +
                                fixed_text(bins.width, detail::decimals_for_step(bins.width));
    add_axes(out, panel, x, y, axis_over(bins.start, bins.end(), 6, x_label), y_axis);

    // Step 3: the bars.
    for (std::size_t k = 0; k < bins.counts.size(); ++k) {
        if (bins.counts[k] == 0) continue;
        const double left = x(bins.start + bins.width * static_cast<double>(k));
        const double right = x(bins.start + bins.width * static_cast<double>(k + 1));
        const double top = y(static_cast<double>(bins.counts[k]));
        append(out, {"<rect x=\"", px(left), "\" y=\"", px(top), "\" width=\"", px(right - left),
                     "\" height=\"", px(panel.bottom() - top), "\" fill=\"", bar_colour,
                     "\" stroke=\"#ffffff\" stroke-width=\"0.5\"/>\n"});
    }
    if (values.empty()) {
        add_text(out, panel.left + panel.width / 2, panel.top + panel.height / 2,
                 "No series had a selected event", Anchor::middle, 13);
    }

    // Step 4: the critical values, dashed, and the observed u, in red.
    for (double c : {-critical, critical}) {
        if (c < bins.start || c > bins.end()) continue;
        const double cx = x(c);
        add_line(out, cx, panel.top, cx, panel.bottom(), guide_colour, 1.2,
                 "stroke-dasharray=\"5 4\"");
        add_text(out, beside(cx, Anchor::start), panel.top + 12, "P = 0.05", Anchor::start, 11,
                 halo);
    }
    if (std::isfinite(summary.u)) {
        add_observed_marker(out, panel, x(summary.u), "observed-u",
                            "observed u = " + fixed_text(summary.u, 3));
    }
}

void add_distribution(std::string& out, const Results& results, const Summary& summary) {
    const Panel panel{distribution_left, panel_top, panel_width, panel_height};
    add_text(out, panel.left + panel.width / 2, panel.top - 16,
             "Simulated P: empirical distribution", Anchor::middle, 15, "font-weight=\"bold\"");

    const Scale x{0.0, p_axis_end, panel.left, panel.right()};
    const Scale y{0.0, 1.0, panel.bottom(), panel.top};
    add_axes(out, panel, x, y, axis_over(0.0, p_axis_end, 5, "P"),
             axis_over(0.0, 1.0, 5, "share of series with P ≤ x"));

    // The step curve over all series: a series without a number for P never counts.
    std::vector<double> values;
    for (double p : results.p)
        if (!std::isnan(p)) values.push_back(p);
    std::sort(values.begin(), values.end());
    const double series = std::max<double>(1.0, static_cast<double>(results.p.size()));
    auto clamp_x = [&](double p) { return x(std::clamp(p, 0.0, p_axis_end)); };

    std::string path;
    append(path, {"M", px(panel.left), " ", px(panel.bottom())});
    std::size_t at_or_below_05 = 0;
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (values[k] <= significance_05) at_or_below_05 = k + 1;
        if (k + 1 < values.size() && values[k + 1] == values[k]) continue;
        append(path,
               {"H", px(clamp_x(values[k])), "V", px(y(static_cast<double>(k + 1) / series))});
    }
    append(path, {"H", px(panel.right())});
    append(out, {"<path d=\"", path, "\" fill=\"none\" stroke=\"", curve_colour,
                 "\" stroke-width=\"1.8\"/>\n"});

    // 0.05, dashed, with the share of series below it.
    const double gx = x(significance_05);
    const double gy = y(static_cast<double>(at_or_below_05) / series);
    add_line(out, gx, panel.top, gx, panel.bottom(), guide_colour, 1.2, "stroke-dasharray=\"5 4\"");
    add_line(out, panel.left, gy, gx, gy, guide_colour, 1, "stroke-dasharray=\"2 3\"");
    const double share = static_cast<double>(summary.below_05) / series;
    // Below the guide and right of 0.05 the rising curve leaves room for the label.
    add_text(out, gx + 6, std::min(panel.bottom() - 6, gy + 16),
             fixed_text(100.0 * share, 1) + " % of series below P = 0.05", Anchor::start, 11, halo);

    if (std::isfinite(summary.p)) {
        add_observed_marker(out, panel, clamp_x(summary.p), "observed-p",
                            "observed P = " + fixed_text(summary.p, 4));
    }
}

}  // namespace

std::string render_svg(const Results& results, const Summary& summary) {
    std::string out;
    out.reserve(64 * 1024);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    append(out,
           {"<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"", px(page_width), "\" height=\"",
            px(page_height), "\" viewBox=\"0 0 ", px(page_width), " ", px(page_height),
            "\" font-family=\"DejaVu Sans, Arial, Helvetica, sans-serif\">\n"});
    out += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";

    add_text(out, page_width / 2, 32,
             "Zorvi: Cox–Lewis test over " + std::to_string(summary.series) + " simulated series",
             Anchor::middle, 19, "font-weight=\"bold\"");
    add_text(out, page_width / 2, 56,
             "observed m = " + std::to_string(summary.m) + ", u = " + fixed_text(summary.u, 3) +
                 ", P = " + fixed_text(summary.p, 4) + "   ·   " +
                 std::to_string(summary.without_event) + " series without a selected event",
             Anchor::middle, 13, "fill=\"#444444\"");

    add_histogram(out, results, summary);
    add_distribution(out, results, summary);

    add_text(out, page_width / 2, page_height - 14,
             "Dashed: |u| = " + fixed_text(summary.critical_u_05, 3) +
                 ", where the one-sided P is 0.05, and P = 0.05. Red: the observed series.",
             Anchor::middle, 12, "fill=\"#444444\"");
    out += "</svg>\n";
    return out;
}

}  // namespace zorvi::report
