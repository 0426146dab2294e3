// Sensitivity sweeps: the observed and the simulated tests repeated at other thresholds and at
// other starts of the interval, on the very simulated magnitudes of a study (common random
// numbers), one simulated series at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "zorvi/statistics/statistics.hpp"

namespace zorvi {

// The run's sweeps: every whole threshold over the categories, and starts a year apart that
// leave at least ten years of record.
inline constexpr double threshold_sweep_low = 64;
inline constexpr double threshold_sweep_high = 137;
inline constexpr double start_sweep_step = 1.0;       // years
inline constexpr double start_sweep_min_span = 10.0;  // years left between a start and the end
inline constexpr std::size_t max_sweep_points = 200;

// Whole thresholds from ceil(low) to floor(high); when there are more than `max_points` (at
// least 2), every k-th of them (k as small as keeps within `max_points`), the last always
// kept. None for an empty or non-finite range.
std::vector<double> whole_thresholds(double low, double high, std::size_t max_points);

// Starts `start`, `start + step`, ... up to the last that leaves at least `min_span` to `end`,
// at most `max_points` of them. None for a step that is not positive or values not finite.
std::vector<double> sweep_starts(double start, double end, double step, double min_span,
                                 std::size_t max_points);
// The last start that `sweep_starts` would give without its cap when the cap cuts the sweep
// short; NaN when the sweep is whole.
double last_start_beyond_cut(double start, double end, double step, double min_span,
                             std::size_t max_points);

// The events and the points of both sweeps. A point selects the events with magnitude >= its
// threshold, drops those before its start when that lies after the main start, and tests the
// rest over [start, end]; at the main point that is the program's own selection and test.
struct SweepSetup {
    std::span<const double> times;       // event times, in file order
    std::span<const double> magnitudes;  // observed magnitudes
    double threshold = 0.0;              // the main point, where the sweeps cross
    double start = 0.0;
    double end = 0.0;
    std::vector<double> thresholds;  // threshold sweep, at `start`; ascending
    std::vector<double> starts;      // start sweep, at `threshold`; ascending, from `start` on
};

struct SweepPoint {
    double threshold = 0.0;
    double start = 0.0;
    // The observed series.
    std::int32_t observed_m = 0;
    double observed_u = 0.0;
    double observed_p = 0.0;
    // The simulated series: shares of all of them, quantiles over those with a number for P.
    std::size_t series = 0;
    std::size_t without_event = 0;
    std::size_t below_05 = 0;
    double share_05 = 0.0;  // below_05 of all series; NaN without a series
    Interval share_05_95;   // its Wilson score 95 % interval
    double p_q025 = 0.0;
    double p_median = 0.0;
    double p_q975 = 0.0;
};

struct Sweeps {
    std::vector<SweepPoint> threshold;
    std::vector<SweepPoint> start;
};

}  // namespace zorvi
