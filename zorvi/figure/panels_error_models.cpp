// The figure's error-model panel: the share of series with P < 0.05 under the posterior model
// against its prior scale, with the observed model (an infinite scale) marked at the right.
#include <algorithm>
#include <cmath>

#include "zorvi/figure/figure.hpp"
#include "zorvi/figure/figure_impl.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi::detail {
namespace {

constexpr double axis_low = 0.25;       // prior scale over the study's
constexpr double observed_place = 2.6;  // where the infinite scale stands
constexpr double axis_high = 2.85;
constexpr double point_radius = 3.5;

// The share and its Wilson interval at `place`, as a dot on a vertical bar.
void add_share_point(std::string& out, const Scale& x, const Scale& y, double place,
                     const Share& share, const char* colour) {
    const double px_ = x(place);
    if (std::isfinite(share.interval.low) && std::isfinite(share.interval.high))
        add_line(out, px_, y(share.interval.low), px_, y(share.interval.high), colour, 1.5);
    if (std::isfinite(share.share)) add_circle(out, px_, y(share.share), point_radius, colour);
}

}  // namespace

void draw_prior_scale_share(std::string& out, const PanelFrame& frame, const FigureData& data) {
    const Rect& plot = frame.plot;
    const std::vector<ModelFigures>& scales = data.analysis.error_models.prior_scales;
    const StudySettings& settings = data.settings();
    std::string theta = fixed_text(settings.prior_scale, 2);
    if (!settings.magnitude_unit.empty()) theta += " " + std::string(settings.magnitude_unit);
    add_heading(out, frame, "Share of series with P < 0.05 against the prior scale",
                "posterior model at multiples of theta = " + theta + "; bars: Wilson 95 %");
    add_legend(out, frame,
               {{Symbol::line, curve_colour, "posterior model"},
                {Symbol::dot, observed_colour, "observed model (∞)"}});
    double top = 0.0;
    for (const ModelFigures& figures : scales)
        if (std::isfinite(figures.below_05.interval.high))
            top = std::max(top, figures.below_05.interval.high);
    const AxisSpec y_axis =
        axis_over(0.0, nice_top(std::max(top, 0.01), 5), 5, "share of all series");
    const Scale x{axis_low, axis_high, plot.left, plot.right()};
    const Scale y{0.0, y_axis.ticks.back(), plot.bottom(), plot.top};
    AxisSpec x_axis{{0.5, 1.0, 1.5, 2.0}, 1, "prior scale / theta"};
    add_axes(out, plot, x, y, x_axis, y_axis);
    add_line(out, x(observed_place), plot.bottom(), x(observed_place), plot.bottom() + 5,
             guide_colour, 1);
    add_text(out, x(observed_place), plot.bottom() + tick_label_drop, "∞", Anchor::middle,
             label_size);

    std::vector<double> xs;
    std::vector<double> ys;
    for (const ModelFigures& figures : scales) {
        if (figures.model == ErrorModel::observed) {
            const double share_y = y(figures.below_05.share);
            add_line(out, plot.left, share_y, plot.right(), share_y, observed_colour, 1, dotted);
            add_share_point(out, x, y, observed_place, figures.below_05, observed_colour);
            continue;
        }
        xs.push_back(x(figures.scale_factor));
        ys.push_back(y(figures.below_05.share));
        add_share_point(out, x, y, figures.scale_factor, figures.below_05, curve_colour);
    }
    add_polyline(out, xs, ys, curve_colour, 2);
}

}  // namespace zorvi::detail
