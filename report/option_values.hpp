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

// `text` read as a whole number from `low` to `high` for `option`, or refused.
bool read_whole(const std::string& text, const char* option, const char* what, std::int64_t low,
                std::int64_t high, double& value, Refusal& refusal);

// Three different column names, separated by commas.
bool read_columns(const std::string& text, CsvColumns& columns, Refusal& refusal);

// The prior scale: a decimal number, or inf (any case) for an infinite scale.
bool read_prior_scale(const std::string& text, double& value, Refusal& refusal);

// A grid FIRST LAST STEP for `option`: finite numbers, FIRST before LAST, a positive STEP, and
// at most max_given_sweep_points points.
bool read_grid(const std::vector<std::string>& texts, const char* option, const char* example,
               SweepRange& range, Refusal& refusal);

// Class bounds: decimal numbers separated by commas, finite and ascending, at most
// max_class_bounds of them.
inline constexpr std::size_t max_class_bounds = 20;
bool read_classes(const std::string& text, std::vector<double>& bounds, Refusal& refusal);

}  // namespace zorvi::report
