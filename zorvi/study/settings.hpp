// What a study selects and tests, and how it simulates its series: the program's own values by
// default; and the program's generator, selection and test applied to any series of events.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zorvi/clustering/clustering.hpp"
#include "zorvi/events/events.hpp"
#include "zorvi/statistics/statistics.hpp"

namespace zorvi {

// The program's fixed run: its threshold, test interval, number of series and seed word.
inline constexpr double program_threshold = 113.0;
inline constexpr double program_start = 1980.417;
inline constexpr double program_end = 2018.917;
inline constexpr std::size_t program_series = 2000;
inline constexpr std::int32_t program_seed = -206761862;

// Saffir-Simpson category bounds (kt): the shipped magnitudes' classes.
inline constexpr std::array<double, 5> category_bounds = {64, 83, 96, 113, 137};

// Up to this many series every quantile is exact (type 7, from every value); beyond it the
// quantiles come from histograms (ValueSample), while counts and shares stay exact.
inline constexpr std::size_t exact_quantile_limit = 100000;
inline constexpr std::size_t max_series = 1000000000;

// How each series draws its magnitudes (error_model.hpp): the program's model moves every
// observed magnitude by its error; the posterior model draws every event's true magnitude
// given its observation, under an exponential population above a floor.
enum class ErrorModel { observed, posterior };

// A sweep's grid as the user gives it: first, first + step, ... up to last. A step of 0: none
// given, the grid follows from the data.
struct SweepRange {
    double first = 0.0;
    double last = 0.0;
    double step = 0.0;
    bool given() const { return step > 0; }
};

// What is selected and tested, and how the series are simulated; the program's own values by
// default.
struct StudySettings {
    double threshold = program_threshold;  // lowest magnitude selected
    double start = program_start;          // test interval, decimal years
    double end = program_end;
    std::size_t series = program_series;
    std::int32_t seed = program_seed;  // seed word of the program's generator
    // How the outputs name the magnitudes: their unit, and the lower bounds of their classes
    // (class 1, 2, ...) marked along the threshold sweep.
    std::string_view magnitude_unit = "kt";
    std::vector<double> class_bounds{category_bounds.begin(), category_bounds.end()};
    bool own_classes = false;  // the user's bounds, labelled with their values
    // The threshold sweep's range, in whole units: the categories by default.
    double sweep_low = category_bounds.front();
    double sweep_high = category_bounds.back();
    // Grids of the user's own for the threshold and the start sweeps.
    SweepRange threshold_sweep;
    SweepRange start_sweep;
    std::size_t exact_limit = exact_quantile_limit;
    bool exact_quantiles() const { return series <= exact_limit; }
    // The width of the bins the selected events are counted in, from the interval's start, for
    // the check of clustering. A width given must give 2 to max_bins bins; with the default,
    // an interval that gives too few or too many says so in place of the check.
    double bin_width = default_bin_width;
    bool bin_width_given = false;
    // The posterior model's floor L and prior scale theta: NaN until set from the data (the
    // smallest magnitude; the mean excess over L). An infinite scale is the
    // observed model.
    ErrorModel error_model = ErrorModel::observed;
    double floor = not_a_number;
    double prior_scale = not_a_number;
    // True when the series draw true magnitudes: the posterior model with a finite scale.
    bool draws_posterior() const {
        return error_model == ErrorModel::posterior && std::isfinite(prior_scale);
    }
};

// The settings a study may be given: a finite threshold, an interval whose start lies before
// its end, a number of series from 1 to max_series, starts of a given start sweep within the
// interval and before its end, a bin width given that gives 2 to max_bins bins. False, with
// `error` saying what is allowed and naming the setting as `names` do.
[[nodiscard]] bool check_settings(const StudySettings& settings, std::string& error,
                                  const ArgumentNames& names = command_line_names);

// A count or seed given as a number, as a face reads it: a whole number from `low` to `high`,
// or false with `error` naming the setting (`name`) and saying what is allowed.
[[nodiscard]] bool check_whole_setting(double value, std::string_view name, std::string_view what,
                                       std::int64_t low, std::int64_t high, std::string& error);

// A bin width for [start, end]: a finite positive number that gives 2 to max_bins bins. False,
// with `error` saying so.
[[nodiscard]] bool check_bin_width(double start, double end, double width, std::string& error);

// How the outputs name the magnitudes: the shipped table's winds keep the defaults (kt, the
// hurricane categories and their range); other data have no unit, no classes, and a
// threshold sweep over their own range.
void describe_magnitudes(const EventSeries& events, bool shipped_winds, StudySettings& settings);

// The simulated magnitudes of every series, series-major: series k, event i at
// values[k * events + i].
struct SimulatedMagnitudes {
    std::size_t events = 0;
    std::size_t series = 0;
    std::vector<double> values;
};

// The magnitudes of series k (0-based).
std::span<const double> series_magnitudes(const SimulatedMagnitudes& simulated, std::size_t k);

// Starts the program's generator afresh from `seed` and draws the deviate a run discards
// before its first series. The generator state is program-wide.
void start_generator(std::int32_t seed);

// The next series' magnitudes, one deviate per event in position order, as the program draws
// them; moved.size() == events.x.size().
void draw_series(const EventSeries& events, std::span<double> moved);

// Every series of `settings`, from a freshly started generator: the program's own magnitudes
// when the events and settings are the program's.
SimulatedMagnitudes simulate_magnitudes(const EventSeries& events, const StudySettings& settings);

// Selects the events of `magnitudes` (times from `times`, position order) and tests them, as
// the program does. `selected` is working space, resized as needed.
TrendTest select_and_test(std::span<const double> times, std::span<const double> magnitudes,
                          const StudySettings& settings, std::vector<double>& selected);

// The observed series and the simulated series, recomputed from the data file with the
// program's own selection, test and generator.
struct Recomputed {
    std::int32_t m = 0;
    double u = 0.0;
    double p = 0.0;
    std::vector<std::int32_t> msim;
    std::vector<double> usim;
    std::vector<double> psim;
};

// The observed test and the test of every simulated series.
Recomputed recompute(const EventSeries& events, const SimulatedMagnitudes& simulated,
                     const StudySettings& settings);

}  // namespace zorvi
