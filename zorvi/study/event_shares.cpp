// Which events decide: how often the simulation selects each event, beside the probability
// that its magnitude, moved by its own uncertainty, reaches the threshold.
#include <cmath>

#include "zorvi/statistics/distributions.hpp"
#include "zorvi/study/internal.hpp"

namespace zorvi {
namespace {

// Phi((x - threshold) / |sx|): the chance that x + sx z >= threshold for a standard normal z.
double selection_probability(double x, double sx, double threshold) {
    if (sx == 0.0) return x >= threshold ? 1.0 : 0.0;
    return detail::normal_cdf((x - threshold) / std::fabs(sx));
}

}  // namespace

std::vector<EventRow> event_rows(const EventSeries& events, std::span<const std::size_t> selected,
                                 std::size_t series, double threshold) {
    std::vector<EventRow> rows;
    rows.reserve(events.x.size());
    for (std::size_t i = 0; i < events.x.size(); ++i) {
        EventRow row;
        row.time = events.t[i];
        row.magnitude = events.x[i];
        row.standard_error = events.sx[i];
        row.selected_observed = events.x[i] >= threshold;
        row.selected_share = series == 0
                                 ? not_a_number
                                 : static_cast<double>(selected[i]) / static_cast<double>(series);
        row.selection_probability = selection_probability(events.x[i], events.sx[i], threshold);
        rows.push_back(row);
    }
    return rows;
}

}  // namespace zorvi
