// The selection rule shared by the observed and the simulated series.
#pragma once

#include <cstdint>

#include "driver/run_state.hpp"

namespace zorvi::driver {

// Copies the times of the events with magnitude >= threshold, in position order, to the front
// of `selected` and returns their count. NaN magnitudes are never selected; positions of
// `selected` beyond the count are left as they were.
std::int32_t select_events(const EventArray& magnitudes, const EventArray& times,
                           EventArray& selected);

}  // namespace zorvi::driver
