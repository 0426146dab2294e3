// The selection rule: magnitude >= threshold, by an ordered comparison.
#include "driver/select_events.hpp"

namespace zorvi::driver {

std::int32_t select_events(const EventArray& magnitudes, const EventArray& times,
                           EventArray& selected) {
    std::int32_t count = 0;
    for (std::size_t i = 0; i < magnitudes.size(); ++i) {
        if (magnitudes[i] >= static_cast<double>(threshold)) {
            selected[static_cast<std::size_t>(count)] = times[i];
            ++count;
        }
    }
    return count;
}

}  // namespace zorvi::driver
