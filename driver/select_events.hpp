// The selection rule shared by the observed and the simulated series.
#pragma once

#include <cstdint>
#include <span>

#include "driver/run_state.hpp"

namespace zorvi::driver {

// Copies the times of the events with magnitude >= threshold, in position order, to the front
// of `selected` and returns their count. NaN magnitudes are never selected; positions of
// `selected` beyond the count are left as they were. Any number of events: times.size() ==
// magnitudes.size() <= selected.size().
std::int32_t select_events(std::span<const double> magnitudes, std::span<const double> times,
                           double threshold, std::span<double> selected);

// The program's selection: its 60 events at its threshold.
std::int32_t select_events(const EventArray& magnitudes, const EventArray& times,
                           EventArray& selected);

}  // namespace zorvi::driver
