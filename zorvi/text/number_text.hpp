// Numbers as text, for the summary, the figure and the messages: shortest and fixed-point
// forms, and the steps and ticks of an axis.
#pragma once

#include <string>
#include <vector>

namespace zorvi::detail {

// `value` in fixed-point notation with `decimals` decimals, correctly rounded; "NaN",
// "Infinity" or "-Infinity" for the non-finite values. A negative value that rounds to zero
// shows no minus sign.
std::string fixed_text(double value, int decimals);

// An event's time in decimal years as the summary's tables and the figure show it: three
// decimals, about nine hours.
inline constexpr int time_decimals = 3;

// A "nice" step (1, 2, 2.5 or 5 times a power of ten) close to `span / parts`; span > 0.
double nice_step(double span, int parts);

// Decimals enough to tell apart multiples of `step`.
int decimals_for_step(double step);

// Multiples of `step` from the first at or above `low` to the last at or below `high`.
std::vector<double> ticks_between(double low, double high, double step);

// The shortest text that reads back as `value` ("113", "12.5").
std::string shortest_text(double value);

}  // namespace zorvi::detail
