// A study's settings: the program's fixed run as the defaults (the same values as the
// program's own), their checks, and how the outputs name the magnitudes.
#include <algorithm>
#include <cmath>
#include <string>

#include "driver/run_state.hpp"
#include "random/random.hpp"
#include "zorvi/study/settings.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi {

static_assert(program_threshold == static_cast<double>(driver::threshold));
static_assert(program_start == driver::tstart);
static_assert(program_end == driver::tend);
static_assert(program_series == static_cast<std::size_t>(driver::nsim));
static_assert(program_seed == random::fixed_seed);

bool check_settings(const StudySettings& settings, std::string& error, const ArgumentNames& names) {
    const auto named = [&](std::string_view name) { return std::string(name) + ": "; };
    if (!std::isfinite(settings.threshold)) {
        error = named(names.threshold) + "the threshold must be a finite number";
    } else if (!std::isfinite(settings.start) || !std::isfinite(settings.end) ||
               !(settings.start < settings.end)) {
        error = named(names.interval) + "the start " + detail::shortest_text(settings.start) +
                " must be a finite number before the end " + detail::shortest_text(settings.end);
    } else if (!std::isfinite(settings.end - settings.start)) {
        error = named(names.interval) + "the start " + detail::shortest_text(settings.start) +
                " and the end " + detail::shortest_text(settings.end) +
                " lie too far apart; the width, end - start, must be a finite number";
    } else if (settings.series < 1 || settings.series > max_series) {
        error = named(names.series) + "the number of series must be from 1 to " +
                std::to_string(max_series);
    } else if (settings.start_sweep.given() && !(settings.start_sweep.first >= settings.start &&
                                                 settings.start_sweep.last < settings.end)) {
        error = named(names.start_sweep) + "the starts " +
                detail::shortest_text(settings.start_sweep.first) + " to " +
                detail::shortest_text(settings.start_sweep.last) +
                " must lie within the interval, from its start " +
                detail::shortest_text(settings.start) + " to before its end " +
                detail::shortest_text(settings.end);
    } else if (settings.bin_width_given &&
               !check_bin_width(settings.start, settings.end, settings.bin_width, error)) {
        error = named(names.bin_width) + error;
    } else {
        return true;
    }
    return false;
}

bool check_bin_width(double start, double end, double width, std::string& error) {
    if (bin_count(start, end, width) >= 2) return true;
    error = "the bin width " + detail::shortest_text(width) +
            " must be a finite positive number that gives 2 to " + std::to_string(max_bins) +
            " bins over the interval " + detail::shortest_text(start) + " to " +
            detail::shortest_text(end);
    return false;
}

bool check_whole_setting(double value, std::string_view name, std::string_view what,
                         std::int64_t low, std::int64_t high, std::string& error) {
    if (value == std::floor(value) && value >= static_cast<double>(low) &&
        value <= static_cast<double>(high))
        return true;
    error = std::string(name) + ": the " + std::string(what) + " must be a whole number from " +
            std::to_string(low) + " to " + std::to_string(high);
    return false;
}

void describe_magnitudes(const EventSeries& events, bool shipped_winds, StudySettings& settings) {
    if (shipped_winds || events.x.empty()) return;
    settings.magnitude_unit = "";
    if (!settings.own_classes) settings.class_bounds.clear();
    settings.sweep_low = *std::min_element(events.x.begin(), events.x.end());
    settings.sweep_high = *std::max_element(events.x.begin(), events.x.end());
}

}  // namespace zorvi
