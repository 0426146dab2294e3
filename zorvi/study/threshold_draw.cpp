// The posterior draw of a study's series: each of the program's deviates mapped to its event's
// true magnitude, or, with a table of the thresholds the study compares magnitudes with, handed
// on as the highest of them it reaches. Both decide every comparison alike (up to the map's
// rounding); the table spares the truncated normal's quantile at every deviate.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "random/random.hpp"
#include "zorvi/study/error_model.hpp"

namespace zorvi {
namespace {

// How many of `row` (not decreasing) are at most z, from a guess that is usually right or off
// by one or two.
std::size_t reached_from(const double* row, std::size_t size, double z, double guess) {
    const double last = static_cast<double>(size);
    std::size_t r = static_cast<std::size_t>(
        static_cast<std::int64_t>(guess > 0.0 ? (guess < last ? guess : last) : 0.0));
    while (r < size && row[r] <= z)
        ++r;
    while (r > 0 && row[r - 1] > z)
        --r;
    return r;
}

void draw_by_table(const ThresholdTable& table, std::span<double> moved,
                   std::span<double> deviates) {
    const std::size_t size = table.thresholds.size();
    double z = 0.0;
    for (std::size_t i = 0; i < moved.size(); ++i) {
        random::gasdev(z);
        if (!deviates.empty()) deviates[i] = z;
        const double guess = (z - table.origin[i]) * table.per_step[i] + table.lead[i];
        const std::size_t r = reached_from(table.deviates.data() + i * size, size, z, guess);
        moved[i] = r == 0 ? table.below_all : table.thresholds[r - 1];
    }
}

}  // namespace

void add_threshold_table(SeriesDraw& draw, std::span<const double> thresholds) {
    ThresholdTable table;
    table.thresholds.assign(thresholds.begin(), thresholds.end());
    std::sort(table.thresholds.begin(), table.thresholds.end());
    table.thresholds.erase(std::unique(table.thresholds.begin(), table.thresholds.end()),
                           table.thresholds.end());
    const std::size_t size = table.thresholds.size();
    if (!draw.posterior || size == 0 || draw.events.size() > max_threshold_table / size) return;
    table.below_all =
        std::nextafter(table.thresholds.front(), -std::numeric_limits<double>::infinity());
    for (const PosteriorEvent& event : draw.events) {
        const std::size_t first = table.deviates.size();
        double previous = -std::numeric_limits<double>::infinity();
        for (double threshold : table.thresholds) {
            // Kept from decreasing by rounding, so that a search can rely on the order.
            previous = std::max(previous, selection_deviate(event, threshold));
            table.deviates.push_back(previous);
        }
        // The guess: even steps between the first and the last finite deviate.
        const std::span<const double> row(table.deviates.data() + first, size);
        const auto finite = [](double d) { return std::isfinite(d); };
        const auto low = std::find_if(row.begin(), row.end(), finite);
        const auto high = std::find_if(row.rbegin(), row.rend(), finite);
        const auto always = static_cast<double>(low - row.begin());  // the -inf ones
        if (low == row.end()) {
            table.origin.push_back(0.0);
            table.per_step.push_back(0.0);
            table.lead.push_back(always);
            continue;
        }
        const auto steps = static_cast<double>((row.rend() - high) - 1 - (low - row.begin()));
        const double spacing = steps > 0.0 ? (*high - *low) / steps : 0.0;
        table.origin.push_back(*low);
        table.per_step.push_back(spacing > 0.0 ? 1.0 / spacing : 0.0);
        table.lead.push_back(always + 1.0);
    }
    draw.table = std::move(table);
}

void draw_series(const EventSeries& events, const SeriesDraw& draw, std::span<double> moved,
                 std::span<double> deviates) {
    if (!draw.posterior) {
        draw_series(events, moved);
        return;
    }
    if (!draw.table.thresholds.empty()) {
        draw_by_table(draw.table, moved, deviates);
        return;
    }
    double z = 0.0;
    for (std::size_t i = 0; i < draw.events.size(); ++i) {
        random::gasdev(z);
        if (!deviates.empty()) deviates[i] = z;
        moved[i] = posterior_magnitude(draw.events[i], z);
    }
}

}  // namespace zorvi
