// Option values read strictly: a number whole as written, in the form its option takes;
// column names, sweep grids and class bounds; each value refused with a message that says what
// is allowed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zorvi/events/events.hpp"
#include "zorvi/study/settings.hpp"

namespace zorvi::report {

// An option that cannot be used: its message and status.
struct Refusal {
    int status = 0;
    std::string message;
};

// A refusal of a malformed option (status 2).
Refusal malformed(std::string message);

// `text` read as a decimal number for `option`, or refused, naming `what` and giving an
// `example` of the form.
bool read_decimal(const std::string& text, const char* option, const char* what,
                  const char* example, double& value, Refusal& refusal);

// `text` read as a time for `option`: a decimal year, or an ISO 8601 date or date-time
// (iso_decimal_year), or refused, naming `what` and giving an `example` of the forms.
bool read_time(const std::string& text, const char* option, const char* what, const char* example,
               double& value, Refusal& refusal);

// `text` read as a whole number from `low` to `high` for `option`, or refused.
bool read_whole(const std::string& text, const char* option, const char* what, std::int64_t low,
                std::int64_t high, double& value, Refusal& refusal);

// Three different column names, separated by commas; or two, time and magnitude, when a
// standard error is given (`error_given`).
bool read_columns(const std::string& text, bool error_given, CsvColumns& columns, Refusal& refusal);

// The standard error given to events without one: a decimal number, finite and not negative.
bool read_standard_error(const std::string& text, double& value, Refusal& refusal);

// The prior scale: a decimal number, or inf (any case) for an infinite scale.
bool read_prior_scale(const std::string& text, double& value, Refusal& refusal);

// A grid FIRST LAST STEP for `option`: finite numbers, FIRST before LAST, a positive STEP, and
// at most max_given_sweep_points points. With a `time_example`, FIRST and LAST are times
// (read_time).
bool read_grid(const std::vector<std::string>& texts, const char* option, const char* example,
               SweepRange& range, Refusal& refusal, const char* time_example = nullptr);

// Class bounds: decimal numbers separated by commas, finite and ascending, at most
// max_class_bounds of them.
inline constexpr std::size_t max_class_bounds = 20;
bool read_classes(const std::string& text, std::vector<double>& bounds, Refusal& refusal);

}  // namespace zorvi::report
