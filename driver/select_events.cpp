// The selection rule: magnitude >= threshold, by an ordered comparison.
#include "driver/select_events.hpp"

#include <cassert>

namespace zorvi::driver {

std::int32_t select_events(std::span<const double> magnitudes, std::span<const double> times,
                           double threshold, std::span<double> selected) {
    assert(times.size() == magnitudes.size() && magnitudes.size() <= selected.size());
    std::int32_t count = 0;
    for (std::size_t i = 0; i < magnitudes.size(); ++i) {
        if (magnitudes[i] >= threshold) {
            selected[static_cast<std::size_t>(count)] = times[i];
            ++count;
        }
    }
    return count;
}

std::int32_t select_events(const EventArray& magnitudes, const EventArray& times,
                           EventArray& selected) {
    return select_events(magnitudes, times, static_cast<double>(threshold), selected);
}

}  // namespace zorvi::driver
