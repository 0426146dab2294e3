// The posterior draw of a study's series: each of the program's deviates mapped to its event's
// true magnitude, or, with a table of the thresholds the study compares magnitudes with, handed
// on as the highest of them it reaches. Both decide every comparison alike (up to the map's
// rounding); the table spares the truncated normal's quantile at every deviate.
#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>

#include "random/random.hpp"
#include "zorvi/study/error_model.hpp"

namespace zorvi {
namespace {

// The grid cell of deviate z (NaN: cell 0).
std::size_t cell_of(double z) {
    constexpr auto last = static_cast<double>(table_cells - 1);
    const double place = (z - table_grid_low) * table_cells_per_unit + 1.0;
    return static_cast<std::size_t>(
        static_cast<std::int64_t>(place > 0.0 ? (place < last ? place : last) : 0.0));
}

// The deviates drawn first, then looked up: the lookups of one series do not wait on each
// other, nor on the generator.
void draw_by_table(const ThresholdTable& table, std::span<double> moved,
                   std::span<double> deviates) {
    const std::span<double> drawn = deviates.empty() ? moved : deviates;
    for (double& z : drawn)
        random::gasdev(z);
    const std::size_t stride = table.thresholds.size() + 1;
    for (std::size_t i = 0; i < moved.size(); ++i) {
        const double z = drawn[i];
        const double* const row = table.deviates.data() + i * stride;
        // From the cell's count on: two steps without a branch cover nearly every deviate,
        // the loop the rest (the last entry, +inf, ends it).
        std::size_t r = table.cells[i * table_cells + cell_of(z)];
        r += static_cast<std::size_t>(row[r] <= z);
        r += static_cast<std::size_t>(row[r] <= z);
        while (row[r] <= z)
            ++r;
        assert(r == 0 || row[r - 1] <= z);
        moved[i] = r == 0 ? table.below_all : table.thresholds[r - 1];
    }
}

}  // namespace

void add_threshold_table(SeriesDraw& draw, std::span<const double> thresholds) {
    constexpr double infinite = std::numeric_limits<double>::infinity();
    ThresholdTable table;
    table.thresholds.assign(thresholds.begin(), thresholds.end());
    std::sort(table.thresholds.begin(), table.thresholds.end());
    table.thresholds.erase(std::unique(table.thresholds.begin(), table.thresholds.end()),
                           table.thresholds.end());
    const std::size_t size = table.thresholds.size();
    if (!draw.posterior || size == 0 || size >= std::numeric_limits<std::uint16_t>::max() ||
        draw.events.size() > max_threshold_table / (size + table_cells / 4))
        return;
    table.below_all = std::nextafter(table.thresholds.front(), -infinite);
    for (const PosteriorEvent& event : draw.events) {
        const std::size_t first = table.deviates.size();
        double previous = -infinite;
        for (double threshold : table.thresholds) {
            const double deviate = selection_deviate(event, threshold);
            // Every deviate reaches a threshold above the floor only when the threshold is
            // lost in the sum low + (threshold - floor) / s (a scale so small that low dwarfs
            // it), while the map still sets those magnitudes at the floor: map every deviate.
            if (deviate == -infinite && threshold > event.floor && event.s > 0.0) return;
            // Kept from decreasing by rounding, so that a search can rely on the order.
            previous = std::max(previous, deviate);
            table.deviates.push_back(previous);
        }
        table.deviates.push_back(infinite);
        const std::span<const double> row(table.deviates.data() + first, size);
        for (std::size_t c = 0; c < table_cells; ++c) {
            // Cell c >= 1 holds deviates from its lower edge on; counted from a hair below it,
            // far more than cell_of's rounding (about 1e-14), every count is surely reached.
            // Cell 0 holds everything below the grid.
            const double edge =
                c == 0 ? -infinite
                       : table_grid_low + static_cast<double>(c - 1) / table_cells_per_unit - 1e-9;
            const auto reached = std::upper_bound(row.begin(), row.end(), edge) - row.begin();
            table.cells.push_back(static_cast<std::uint16_t>(reached));
        }
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
