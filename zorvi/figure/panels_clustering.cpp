// The figure's clustering panel: how many bins hold 0, 1, 2 and 3 or more of the observed
// selected events, against how many a Poisson process with the fitted trend gives.
#include <algorithm>
#include <cmath>

#include "zorvi/figure/figure.hpp"
#include "zorvi/figure/figure_impl.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi::detail {
namespace {

constexpr double bar_share = 0.6;  // of a category's width
constexpr double expected_radius = 4.5;
constexpr const char* category_labels[tally_classes] = {"0", "1", "2", "≥ 3"};

// A check made: a fit with its expected counts, not a reason.
bool check_made(const DispersionCheck& check) {
    return check.reason.empty() && !check.fitted.empty();
}

std::string caption_of(const FigureData& data) {
    const DispersionCheck& check = data.analysis.clustering.observed;
    const StudySettings& settings = data.settings();
    std::string caption =
        "bins of " + shortest_text(settings.bin_width) + " from " + year_text(settings.start);
    if (!check_made(check)) return caption;
    return caption + "; φ = " + fixed_text(check.phi, 2) +
           ", dispersion P = " + fixed_text(check.p_value, 4);
}

}  // namespace

void draw_bin_tally(std::string& out, const PanelFrame& frame, const FigureData& data) {
    const Rect& plot = frame.plot;
    const DispersionCheck& check = data.analysis.clustering.observed;
    add_heading(out, frame, "Bins with 0, 1, 2 and ≥ 3 selected events", caption_of(data));
    add_legend(out, frame,
               {{Symbol::band, observed_colour, "observed"},
                {Symbol::dot, fitted_colour, "expected (Poisson, fitted trend)"}});
    double top = 0.0;
    for (std::size_t k = 0; k < tally_classes; ++k) {
        top = std::max(top, static_cast<double>(check.observed_bins[k]));
        if (std::isfinite(check.expected_bins[k])) top = std::max(top, check.expected_bins[k]);
    }
    const AxisSpec y_axis = count_axis(top, 5, "bins");
    const Scale x{-0.5, tally_classes - 0.5, plot.left, plot.right()};
    const Scale y{0.0, y_axis.ticks.back(), plot.bottom(), plot.top};
    add_axes(out, plot, x, y, AxisSpec{{}, 0, "events in a bin"}, y_axis);
    for (std::size_t k = 0; k < tally_classes; ++k) {
        const double centre = x(static_cast<double>(k));
        add_line(out, centre, plot.bottom(), centre, plot.bottom() + 5, guide_colour, 1);
        add_text(out, centre, plot.bottom() + tick_label_drop, category_labels[k], Anchor::middle,
                 label_size);
    }
    if (!check_made(check)) {
        add_text(out, plot.centre_x(), plot.centre_y(),
                 "not made" + (check.reason.empty() ? std::string() : ": " + check.reason),
                 Anchor::middle, label_size, std::string("fill=\"") + note_colour + "\"");
        return;
    }
    const double bar_width = (x(1.0) - x(0.0)) * bar_share;
    for (std::size_t k = 0; k < tally_classes; ++k) {
        const double centre = x(static_cast<double>(k));
        const double bar_top = y(static_cast<double>(check.observed_bins[k]));
        add_rect(out, {centre - bar_width / 2, bar_top, bar_width, plot.bottom() - bar_top},
                 observed_colour, "fill-opacity=\"0.75\"");
    }
    for (std::size_t k = 0; k < tally_classes; ++k)
        add_circle(out, x(static_cast<double>(k)), y(check.expected_bins[k]), expected_radius,
                   fitted_colour);
}

}  // namespace zorvi::detail
