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

// The sweeps' grids. Thresholds: multiples of a step of 1, 2 or 5 × 10^k, the range holding
// 50 to 200 of them (whole knots over the hurricane categories). Starts: from the study's
// start a year apart, or 1, 2 or 5 × 10^k years apart where a year apart would give more than
// 200, up to the last start that leaves ten years to the end (half the interval for one
// shorter than twenty years). A grid given by the user holds at most 1000 points.
inline constexpr std::size_t min_threshold_points = 50;
inline constexpr std::size_t max_sweep_points = 200;
inline constexpr std::size_t max_given_sweep_points = 1000;
inline constexpr double start_sweep_min_span = 10.0;  // years left between a start and the end

// first, first + step, ... up to last, at most `max_points`; each point from whole numbers over
// a power of ten when first and step are short decimals, so that 5 + 27 × 0.05 is 6.35 as
// written. None for values not finite, a step that is not positive, or last before first.
std::vector<double> even_grid(double first, double last, double step, std::size_t max_points);
// The number of points of even_grid without a cap (it may be vast); 0 when it has none.
double even_grid_count(double first, double last, double step);

// The threshold sweep's step over [low, high]: the coarsest whose grid holds every `wanted`
// value within the range (the study's threshold first, then the class bounds), else the
// coarsest that holds the first, else the coarsest; NaN for a range that is empty or not
// finite.
double threshold_step(double low, double high, std::span<const double> wanted);
// That grid, with the `wanted` values within the range added where it misses them; for an
// empty range, its ends and the wanted values within it.
std::vector<double> threshold_grid(double low, double high, std::span<const double> wanted);

// The span every start leaves to the end, its step, and the starts from `start` on (at least
// `start` itself).
double start_min_span(double start, double end);
double start_step(double start, double end);
std::vector<double> start_grid(double start, double end);

// How the sweeps' grids were made, for the outputs to say.
struct SweepSteps {
    double threshold = not_a_number;  // NaN: given, or no even grid
    double start = not_a_number;      // NaN: given
    double min_span = not_a_number;
};

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
    SweepSteps steps;
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
    // The observed series' counts in bins from the point's own start: their dispersion phi and
    // the quasi-Poisson P in the direction of the fitted trend; NaN where the check cannot be
    // made.
    double phi = not_a_number;
    double quasi_poisson_p = not_a_number;
};

struct Sweeps {
    std::vector<SweepPoint> threshold;
    std::vector<SweepPoint> start;
    SweepSteps steps;
};

}  // namespace zorvi
