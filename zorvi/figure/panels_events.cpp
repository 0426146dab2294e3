// The figure's panels of the events against time: the cumulative count of the selected events
// and each event's selection share.
#include <algorithm>
#include <cmath>

#include "zorvi/figure/figure.hpp"
#include "zorvi/figure/figure_impl.hpp"
#include "zorvi/figure/label_place.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi::detail {
namespace {

constexpr int curve_points = 120;  // samples of the fitted curve over the interval
constexpr int time_ticks = 8;      // about this many ticks on a time axis

// A step function that is 0 until times[0] and values[k] from times[k] on, as pixel points
// over the interval.
struct Steps {
    std::vector<double> x;
    std::vector<double> y;
};

template <class Values>
Steps steps_over(const std::vector<double>& times, const Values& values, const Scale& x,
                 const Scale& y) {
    Steps steps;
    double level = y(0.0);
    steps.x.push_back(x.pixel_low);
    steps.y.push_back(level);
    for (std::size_t k = 0; k < times.size(); ++k) {
        steps.x.push_back(x(times[k]));
        steps.y.push_back(level);
        level = y(static_cast<double>(values[k]));
        steps.x.push_back(x(times[k]));
        steps.y.push_back(level);
    }
    steps.x.push_back(x.pixel_high);
    steps.y.push_back(level);
    return steps;
}

// The expected count of a log-linear rate with `beta` per year, given `m` events over
// [start, end]: m (exp(beta (t - start)) - 1) / (exp(beta (end - start)) - 1).
double log_linear_count(double t, double m, double beta, double start, double end) {
    if (beta == 0.0) return m * (t - start) / (end - start);
    return m * std::expm1(beta * (t - start)) / std::expm1(beta * (end - start));
}

void add_fitted_curve(std::string& out, const StudySettings& settings, double m, double beta,
                      const Scale& x, const Scale& y, PlotMarks& marks) {
    std::vector<double> xs;
    std::vector<double> ys;
    for (int k = 0; k <= curve_points; ++k) {
        const double t = settings.start + (settings.end - settings.start) * k / curve_points;
        xs.push_back(x(t));
        ys.push_back(y(log_linear_count(t, m, beta, settings.start, settings.end)));
    }
    add_polyline(out, xs, ys, fitted_colour, 1.8);
    mark_path(marks, xs, ys, 1.8);
}

// The simulated band as steps at the events where it is known.
void add_count_band(std::string& out, const EventCounts& counts, const Scale& x, const Scale& y,
                    PlotMarks& marks) {
    std::vector<double> times;
    for (std::size_t k : counts.band_at)
        times.push_back(counts.times[k]);
    const Steps high = steps_over(times, counts.high, x, y);
    const Steps low = steps_over(times, counts.low, x, y);
    add_band(out, high.x, low.y, high.y, band_colour);
    mark_band(marks, high.x, low.y, high.y);
}

Scale time_scale(const FigureData& data, const Rect& plot) {
    return {data.settings().start, data.settings().end, plot.left, plot.right()};
}

AxisSpec time_axis(const FigureData& data) {
    return axis_over(data.settings().start, data.settings().end, time_ticks, "year");
}

std::string colour_attribute(const char* colour) {
    return std::string("fill=\"") + colour + "\"";
}

}  // namespace

void draw_cumulative_count(std::string& out, const PanelFrame& frame, const FigureData& data) {
    const Rect& plot = frame.plot;
    const EventCounts& counts = data.counts();
    const double beta = data.analysis.observed_fit.beta;
    const std::int32_t m = counts.observed.empty() ? 0 : counts.observed.back();
    add_heading(out, frame, "Cumulative count of selected events",
                "events with " + selection_text(data) + " up to each time; band: 95 % of series");
    std::vector<LegendItem> legend = {{Symbol::line, observed_colour, "observed"},
                                      {Symbol::dashed_line, guide_colour, "constant rate"}};
    if (std::isfinite(beta)) legend.push_back({Symbol::line, fitted_colour, "log-linear"});
    legend.push_back({Symbol::band, band_colour, "simulated 95 %"});
    add_legend(out, frame, legend);

    double top = m;
    for (double h : counts.high)
        top = std::max(top, h);
    const AxisSpec y_axis = count_axis(top, 5, "selected events");
    const Scale x = time_scale(data, plot);
    const Scale y{0.0, y_axis.ticks.back(), plot.bottom(), plot.top};
    add_axes(out, plot, x, y, time_axis(data), y_axis);

    PlotMarks marks;
    if (!counts.high.empty()) add_count_band(out, counts, x, y, marks);
    add_line(out, plot.left, y(0.0), plot.right(), y(m), guide_colour, 1.4, dashed);
    mark_segment(marks, plot.left, y(0.0), plot.right(), y(m), 1.4);
    if (std::isfinite(beta)) add_fitted_curve(out, data.settings(), m, beta, x, y, marks);

    const Steps observed = steps_over(counts.times, counts.observed, x, y);
    add_polyline(out, observed.x, observed.y, observed_colour, 2,
                 "id=\"cumulative-observed\" data-last-step=\"" + std::to_string(m) + "\"");
    mark_path(marks, observed.x, observed.y, 2);
    // At the end of the curve: above its last step, below it, then in the empty lower right
    // corner under the curves, then further left along the top.
    const std::string label = "m = " + std::to_string(m);
    const double right = plot.right() - 4;
    const std::vector<LabelSpot> spots = {
        {right, y(m) - 6, Anchor::end},
        {right, y(m) + label_size + 6, Anchor::end},
        {right, plot.bottom() - 6, Anchor::end},
        {plot.left + 6, plot.top + label_size + 4, Anchor::start}};
    const LabelSpot spot = place_label(marks, plot, spots, label, label_size);
    add_text(out, spot.x, spot.y, label, spot.anchor, label_size,
             colour_attribute(observed_colour) + " " + halo);
}

void draw_selection_shares(std::string& out, const PanelFrame& frame, const FigureData& data) {
    const Rect& plot = frame.plot;
    add_heading(out, frame, "Selection share of each event",
                "share of the " + std::to_string(data.summary().series) +
                    " series in which the event has " + selection_text(data));
    add_legend(out, frame,
               {{Symbol::dot, observed_colour, "selected in the observed series"},
                {Symbol::dot, curve_colour, "not selected"}});

    const Scale x = time_scale(data, plot);
    const Scale y{0.0, 1.0, plot.bottom(), plot.top};
    add_axes(out, plot, x, y, time_axis(data), axis_over(0.0, 1.0, 5, "share of series"));
    // The events outside the interval have no place on it. An event with a label names itself
    // when the pointer rests on it.
    const std::vector<std::string>& labels = data.analysis.input.labels;
    for (std::size_t i = 0; i < data.analysis.events.size(); ++i) {
        const EventRow& event = data.analysis.events[i];
        if (!(event.time >= data.settings().start && event.time <= data.settings().end)) continue;
        if (std::isnan(event.selected_share)) continue;
        const char* colour = event.selected_observed ? observed_colour : curve_colour;
        const double sx = x(event.time);
        add_line(out, sx, y(0.0), sx, y(event.selected_share), colour, 1.3);
        const std::string tooltip =
            labels.empty() || labels[i].empty()
                ? std::string()
                : labels[i] + " (" + fixed_text(event.time, time_decimals) + ")";
        add_circle(out, sx, y(event.selected_share), 3, colour, tooltip);
    }
}

}  // namespace zorvi::detail
