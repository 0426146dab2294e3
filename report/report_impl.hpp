// Internal to the report: number texts and axis ticks shared by the summary and the figure,
// and the distributions and root finder shared by the statistics.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "report/report.hpp"

namespace zorvi::report::detail {

// `value` in fixed-point notation with `decimals` decimals, correctly rounded; "NaN",
// "Infinity" or "-Infinity" for the non-finite values. A negative value that rounds to zero
// shows no minus sign.
std::string fixed_text(double value, int decimals);

// A "nice" step (1, 2, 2.5 or 5 times a power of ten) close to `span / parts`; span > 0.
double nice_step(double span, int parts);

// Decimals enough to tell apart multiples of `step`.
int decimals_for_step(double step);

// Multiples of `step` from the first at or above `low` to the last at or below `high`.
std::vector<double> ticks_between(double low, double high, double step);

// Rows of the text summary: a label padded to `label_width`, then the value.
inline constexpr std::size_t label_width = 34;
void add_row(std::string& out, std::string_view label, std::string_view value);
std::string padded_left(std::string text, std::size_t width);
std::string percent(double share);                                  // "13.65 %"
std::string interval_text(const Interval& interval, int decimals);  // "low to high"
// "273 of 2000 = 13.65 %  (95 % interval 12.22 % to 15.22 %)"
std::string share_text(std::size_t count, std::size_t series, const Interval& interval);
// `text` broken into lines of at most `width` characters at its spaces, ending in a line end.
std::string wrapped(std::string_view text, std::size_t width);
// The shortest text that reads back as `value` ("113", "12.5").
std::string shortest_text(double value);

// The sections of the summary that go beyond the simulated u: the size of the trend, the
// tests side by side, the deciding events.
void add_trend_section(std::string& out, const Analysis& analysis);
void add_tests_section(std::string& out, const Analysis& analysis);
void add_events_section(std::string& out, const Analysis& analysis);
// The sweep tables: every 5th threshold with the class bounds and the main threshold, and
// every 5th start.
void add_sweep_sections(std::string& out, const Analysis& analysis);

// Distribution functions; a NaN argument gives NaN, an infinite one the limit.
double normal_cdf(double z);                            // Phi(z)
double normal_upper_tail(double z);                     // 1 - Phi(z), exact far into the tail
double normal_quantile(double q);                       // z with Phi(z) = q
double chi_squared_cdf(double x, double freedom);       // lower tail
double chi_squared_quantile(double q, double freedom);  // x with lower tail q

// The root of `f` in [low, high], where f(low) <= 0 <= f(high) and f is continuous; to
// within a few units in the last place.
double root_between(const std::function<double(double)>& f, double low, double high);

// The root of an increasing `f` in [low, high] by Newton's method from `guess`; `f` returns
// its value and its derivative.
double newton_root(const std::function<std::pair<double, double>(double)>& f, double guess,
                   double low, double high);

// Renames a file written whole to its final name, replacing what was there. False, with
// `error` saying why and the written file removed, when it cannot.
bool move_into_place(const std::filesystem::path& temporary, const std::filesystem::path& path,
                     std::string& error);

// Turns the SVG figure into a PNG beside it with rsvg-convert, written whole or not at all.
// False, with `error` saying why, when rsvg-convert is missing or fails.
bool convert_to_png(const std::filesystem::path& svg, const std::filesystem::path& png,
                    std::string& error);

}  // namespace zorvi::report::detail
