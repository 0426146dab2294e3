// The figure's sweep panels: the observed and the simulated P, and the share of series with
// P < 0.05, against the threshold and against the start of the interval.
#include <algorithm>
#include <cmath>

#include "zorvi/figure/figure.hpp"
#include "zorvi/figure/figure_impl.hpp"
#include "zorvi/figure/label_place.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi::detail {
namespace {

constexpr int x_ticks = 8;

// What sets one sweep apart from the other: its points, where each lies, and its marks.
struct SweepView {
    const std::vector<SweepPoint>* points = nullptr;
    double (*place)(const SweepPoint&) = nullptr;  // the point's place on the x axis
    double main = 0.0;                             // the main point's place
    std::string x_label;
    std::string about;                // "the threshold" or "the start year"
    std::string fixed;                // what stays fixed along the sweep
    std::span<const double> classes;  // class bounds marked along it
    bool class_values = false;        // labelled with their values, not as categories
};

SweepView threshold_view(const FigureData& data) {
    const StudySettings& settings = data.settings();
    SweepView view;
    view.points = &data.sweeps().threshold;
    view.place = [](const SweepPoint& p) { return p.threshold; };
    view.main = settings.threshold;
    view.x_label = settings.magnitude_unit.empty()
                       ? std::string("threshold")
                       : "threshold (" + std::string(settings.magnitude_unit) + ")";
    view.about = "the threshold";
    view.fixed = "events of " + year_text(settings.start) + "–" + year_text(settings.end);
    view.classes = settings.class_bounds;
    view.class_values = settings.own_classes;
    return view;
}

SweepView start_view(const FigureData& data) {
    const StudySettings& settings = data.settings();
    SweepView view;
    view.points = &data.sweeps().start;
    view.place = [](const SweepPoint& p) { return p.start; };
    view.main = settings.start;
    view.x_label = "start of the interval (year)";
    view.about = "the start year";
    view.fixed = selection_text(data) + ", end " + year_text(settings.end);
    return view;
}

// The x scale and axis over the sweep's places.
Scale x_scale(const SweepView& view, const Rect& plot) {
    const double first = view.points->empty() ? 0.0 : view.place(view.points->front());
    const double last = view.points->empty() ? 1.0 : view.place(view.points->back());
    return {first, last > first ? last : first + 1.0, plot.left, plot.right()};
}

std::vector<double> places(const SweepView& view, const Scale& x) {
    std::vector<double> out;
    for (const SweepPoint& point : *view.points)
        out.push_back(x(view.place(point)));
    return out;
}

template <class Field>
std::vector<double> pixels(const SweepView& view, const Scale& y, Field field) {
    std::vector<double> out;
    for (const SweepPoint& point : *view.points)
        out.push_back(y(field(point)));
    return out;
}

// Dotted lines at the class bounds within the sweep, each labelled near the top: right of its
// line first (left near the plot's right edge), then the other side, then lower down. Every
// line is marked before any label is placed.
void add_class_marks(std::string& out, const Rect& plot, const Scale& x, const SweepView& view,
                     PlotMarks& marks) {
    const auto within = [&](double bound) { return bound >= x.data_low && bound <= x.data_high; };
    for (double bound : view.classes)
        if (within(bound)) mark_segment(marks, x(bound), plot.top, x(bound), plot.bottom(), 1);
    for (std::size_t k = 0; k < view.classes.size(); ++k) {
        const double bound = view.classes[k];
        if (!within(bound)) continue;
        const double bx = x(bound);
        add_line(out, bx, plot.top, bx, plot.bottom(), guide_colour, 1, dotted);
        const Anchor side = bx > plot.right() - 30 ? Anchor::end : Anchor::start;
        const std::string label =
            view.class_values ? shortest_text(bound) : "Cat " + std::to_string(k + 1);
        const LabelSpot spot = place_label(
            marks, plot, spots_beside(bx, plot, side, plot.top + 12, note_size), label, note_size);
        add_text(out, spot.x, spot.y, label, spot.anchor, note_size,
                 std::string("fill=\"") + note_colour + "\" " + halo);
    }
}

// Shading over the points where the observed P is below 0.05, each run of them one region
// reaching halfway to the neighbouring points.
void add_observed_significance(std::string& out, const Rect& plot, const SweepView& view,
                               const std::vector<double>& xs) {
    const std::vector<SweepPoint>& points = *view.points;
    const auto significant = [&](std::size_t j) { return points[j].observed_p < significance_05; };
    for (std::size_t j = 0; j < points.size(); ++j) {
        if (!significant(j)) continue;
        const std::size_t first = j;
        while (j + 1 < points.size() && significant(j + 1))
            ++j;
        const double left = first == 0 ? plot.left : (xs[first - 1] + xs[first]) / 2;
        const double right = j + 1 == points.size() ? plot.right() : (xs[j] + xs[j + 1]) / 2;
        add_rect(out, {left, plot.top, right - left, plot.height}, significant_colour);
    }
}

// The main point on a line: a red dot where the sweep passes the run's own settings; drawn,
// or with `marks` only marked.
constexpr double main_point_radius = 4.5;
template <class Field>
void add_main_point(std::string& out, const SweepView& view, const Scale& x, const Scale& y,
                    Field field, PlotMarks* marks = nullptr) {
    for (const SweepPoint& point : *view.points) {
        if (view.place(point) != view.main || !std::isfinite(field(point))) continue;
        if (marks) {
            mark_dot(*marks, x(view.main), y(field(point)), main_point_radius);
        } else {
            add_circle(out, x(view.main), y(field(point)), main_point_radius, observed_colour);
        }
    }
}

// The sweep's scales, axes and pixel places, the y axis from zero.
struct SweepPlot {
    Scale x;
    Scale y;
    std::vector<double> xs;
};

SweepPlot add_sweep_axes(std::string& out, const Rect& plot, const SweepView& view,
                         const AxisSpec& y_axis) {
    const Scale x = x_scale(view, plot);
    const Scale y{0.0, y_axis.ticks.back(), plot.bottom(), plot.top};
    add_axes(out, plot, x, y, axis_over(x.data_low, x.data_high, x_ticks, view.x_label), y_axis);
    return {x, y, places(view, x)};
}

void draw_sweep_p(std::string& out, const PanelFrame& frame, const SweepView& view) {
    const Rect& plot = frame.plot;
    add_heading(out, frame, "P against " + view.about,
                view.fixed + "; band: 2.5–97.5 % of the simulated P");
    add_legend(out, frame,
               {{Symbol::line, observed_colour, "observed"},
                {Symbol::dashed_line, curve_colour, "median"},
                {Symbol::band, band_colour, "95 %"},
                {Symbol::dashed_line, guide_colour, "P = 0.05"},
                {Symbol::dotted_line, observed_colour, "quasi-Poisson"}});
    const auto [x, y, xs] = add_sweep_axes(out, plot, view, axis_over(0.0, p_axis_end, 5, "P"));
    const std::vector<double> low = pixels(view, y, [](const SweepPoint& p) { return p.p_q025; });
    const std::vector<double> high = pixels(view, y, [](const SweepPoint& p) { return p.p_q975; });
    const std::vector<double> median =
        pixels(view, y, [](const SweepPoint& p) { return p.p_median; });
    const auto observed = [](const SweepPoint& p) { return p.observed_p; };
    const std::vector<double> observed_y = pixels(view, y, observed);
    const double y05 = y(significance_05);
    PlotMarks marks;
    mark_band(marks, xs, low, high);
    mark_segment(marks, plot.left, y05, plot.right(), y05, 1.2);
    mark_path(marks, xs, median, 1.5);
    mark_path(marks, xs, observed_y, 2);
    const std::vector<double> quasi_poisson_y =
        pixels(view, y, [](const SweepPoint& p) { return p.quasi_poisson_p; });
    mark_path(marks, xs, quasi_poisson_y, 2);
    add_main_point(out, view, x, y, observed, &marks);

    add_band(out, xs, low, high, band_colour);
    // The observed quasi-Poisson P, which allows for clustering.
    add_polyline(out, xs, quasi_poisson_y, observed_colour, 2, dotted);
    add_class_marks(out, plot, x, view, marks);
    add_line(out, plot.left, y05, plot.right(), y05, guide_colour, 1.2, dashed);
    add_polyline(out, xs, median, curve_colour, 1.5, dashed);
    add_polyline(out, xs, observed_y, observed_colour, 2);
    add_main_point(out, view, x, y, observed);
}

void draw_sweep_share(std::string& out, const PanelFrame& frame, const SweepView& view) {
    const Rect& plot = frame.plot;
    add_heading(out, frame, "Share of series with P < 0.05 against " + view.about,
                view.fixed + "; band: Wilson 95 % interval");
    add_legend(out, frame,
               {{Symbol::line, curve_colour, "share of series"},
                {Symbol::band, significant_colour, "observed P < 0.05"},
                {Symbol::dot, observed_colour, "the run's settings"}});
    double top = 0.0;
    for (const SweepPoint& point : *view.points)
        if (std::isfinite(point.share_05_95.high)) top = std::max(top, point.share_05_95.high);
    const AxisSpec y_axis =
        axis_over(0.0, nice_top(std::max(top, 0.01), 5), 5, "share of all series");
    const auto [x, y, xs] = add_sweep_axes(out, plot, view, y_axis);
    const std::vector<double> low =
        pixels(view, y, [](const SweepPoint& p) { return p.share_05_95.low; });
    const std::vector<double> high =
        pixels(view, y, [](const SweepPoint& p) { return p.share_05_95.high; });
    const auto share = [](const SweepPoint& p) { return p.share_05; };
    const std::vector<double> share_y = pixels(view, y, share);
    PlotMarks marks;
    mark_band(marks, xs, low, high);
    mark_path(marks, xs, share_y, 2);
    add_main_point(out, view, x, y, share, &marks);

    add_observed_significance(out, plot, view, xs);
    add_band(out, xs, low, high, band_colour);
    add_class_marks(out, plot, x, view, marks);
    add_polyline(out, xs, share_y, curve_colour, 2);
    add_main_point(out, view, x, y, share);
}

}  // namespace

void draw_threshold_p(std::string& out, const PanelFrame& frame, const FigureData& data) {
    draw_sweep_p(out, frame, threshold_view(data));
}

void draw_start_p(std::string& out, const PanelFrame& frame, const FigureData& data) {
    draw_sweep_p(out, frame, start_view(data));
}

void draw_threshold_share(std::string& out, const PanelFrame& frame, const FigureData& data) {
    draw_sweep_share(out, frame, threshold_view(data));
}

void draw_start_share(std::string& out, const PanelFrame& frame, const FigureData& data) {
    draw_sweep_share(out, frame, start_view(data));
}

}  // namespace zorvi::detail
