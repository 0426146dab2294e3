// Option values read strictly: each number must have its option's form as a whole, and is
// then checked against what the option allows.
#include "report/option_values.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "report/options.hpp"
#include "zorvi/sweeps/sweeps.hpp"
#include "zorvi/text/messages.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi::report {
namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Digits from `at` on; how many.
std::size_t skip_digits(std::string_view text, std::size_t& at) {
    const std::size_t first = at;
    while (at < text.size() && is_digit(text[at]))
        ++at;
    return at - first;
}

// A decimal number: an optional sign, digits with an optional point (digits on at least one
// side), an optional exponent. With `whole`: an optional sign and digits only.
bool has_number_form(std::string_view text, bool whole) {
    std::size_t at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    std::size_t digits = skip_digits(text, at);
    if (!whole) {
        if (at < text.size() && text[at] == '.') {
            ++at;
            digits += skip_digits(text, at);
        }
        if (digits > 0 && at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
            ++at;
            if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
            if (skip_digits(text, at) == 0) return false;
        }
    }
    return digits > 0 && at == text.size();
}

// The value of `text` when it has the form; the nearest double, an infinity beyond the
// largest.
std::optional<double> read_number(const std::string& text, bool whole) {
    if (!has_number_form(text, whole)) return std::nullopt;
    return std::strtod(text.c_str(), nullptr);
}

}  // namespace

Refusal malformed(std::string message) {
    return {status_usage, std::move(message)};
}

// `text` read as a decimal number for `option`, or refused, naming `what`.
bool read_decimal(const std::string& text, const char* option, const char* what,
                  const char* example, double& value, Refusal& refusal) {
    const std::optional<double> number = read_number(text, false);
    if (number) {
        value = *number;
        return true;
    }
    refusal =
        malformed(std::string(option) + ": the " + what + " " + detail::quoted_for_message(text) +
                  " is not a decimal number (such as " + example + ")");
    return false;
}

bool read_time(const std::string& text, const char* option, const char* what, const char* example,
               double& value, Refusal& refusal) {
    if (const std::optional<double> number = read_number(text, false)) {
        value = *number;
        return true;
    }
    std::string problem;
    if (iso_decimal_year(text, value, problem)) return true;
    refusal = malformed(std::string(option) + ": the " + what + " " +
                        detail::quoted_for_message(text) + " is " +
                        (looks_like_iso_date(text)
                             ? problem
                             : "not a decimal year or an ISO 8601 date or date-time (such as " +
                                   std::string(example) + ")"));
    return false;
}

// `text` read as a whole number from `low` to `high` for `option`, or refused.
bool read_whole(const std::string& text, const char* option, const char* what, std::int64_t low,
                std::int64_t high, double& value, Refusal& refusal) {
    const std::optional<double> number = read_number(text, true);
    if (!number) {
        refusal = malformed(std::string(option) + ": " + detail::quoted_for_message(text) +
                            " is not a whole number (digits with an optional sign, from " +
                            std::to_string(low) + " to " + std::to_string(high) + ")");
        return false;
    }
    if (!check_whole_setting(*number, option, what, low, high, refusal.message)) {
        refusal.status = status_failed;
        return false;
    }
    value = *number;
    return true;
}

// A column name as the header's cells are compared: without blanks around it, so that
// --columns "when, Mw, se" names the columns when, Mw and se.
std::string column_name(std::string_view name) {
    const std::size_t first = name.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return std::string(name.substr(first, name.find_last_not_of(" \t") - first + 1));
}

bool read_columns(const std::string& text, bool error_given, CsvColumns& columns,
                  Refusal& refusal) {
    std::vector<std::string> names;
    for (std::size_t at = 0;;) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        names.push_back(column_name(std::string_view(text).substr(at, comma - at)));
        if (comma == text.size()) break;
        at = comma + 1;
    }
    const std::string quoted = detail::quoted_for_message(text);
    const std::string allowed =
        "; name the time, magnitude and standard-error columns, TIME,MAG,SE (TIME,MAG with "
        "--se X)";
    if (names.size() != 3 && !(names.size() == 2 && error_given)) {
        refusal = malformed("--columns: " + quoted + " names " + std::to_string(names.size()) +
                            (names.size() == 1 ? " column" : " columns") + allowed);
        return false;
    }
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (names[k].empty()) {
            refusal = malformed("--columns: " + quoted + " leaves column " + std::to_string(k + 1) +
                                " without a name" + allowed);
            return false;
        }
        if (std::find(names.begin(), names.begin() + k, names[k]) != names.begin() + k) {
            refusal = {status_failed, "--columns: " + quoted + " names the column " +
                                          detail::quoted_for_message(names[k]) + " twice; name " +
                                          (names.size() == 3 ? "three" : "two") +
                                          " different columns"};
            return false;
        }
    }
    names.resize(3);  // no standard-error column: an empty name
    columns = {names[0], names[1], names[2]};
    return true;
}

bool read_standard_error(const std::string& text, double& value, Refusal& refusal) {
    if (!read_decimal(text, "--se", "standard error", "12.5 or 0.2", value, refusal)) return false;
    if (check_given_error(value, refusal.message)) return true;
    refusal.status = status_failed;
    return false;
}

bool read_prior_scale(const std::string& text, double& value, Refusal& refusal) {
    std::string word = text;
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (word == "inf" || word == "infinity") {
        value = std::numeric_limits<double>::infinity();
        return true;
    }
    if (!read_decimal(text, "--prior-scale", "prior scale", "20.5 or inf", value, refusal))
        return false;
    if (value > 0.0) return true;
    refusal = {status_failed,
               "--prior-scale: the prior scale must be a positive number, or inf "
               "for the observed model"};
    return false;
}

bool read_grid(const std::vector<std::string>& texts, const char* option, const char* example,
               SweepRange& range, Refusal& refusal, const char* time_example) {
    const auto read_end = [&](const std::string& text, const char* what, double& value) {
        return time_example ? read_time(text, option, what, time_example, value, refusal)
                            : read_decimal(text, option, what, example, value, refusal);
    };
    if (!read_end(texts[0], "first value", range.first) ||
        !read_end(texts[1], "last value", range.last) ||
        !read_decimal(texts[2], option, "step", example, range.step, refusal))
        return false;
    const std::string values = detail::shortest_text(range.first) + " to " +
                               detail::shortest_text(range.last) + " in steps of " +
                               detail::shortest_text(range.step);
    if (!std::isfinite(range.first) || !std::isfinite(range.last) || !std::isfinite(range.step) ||
        !(range.first < range.last) || !(range.step > 0)) {
        refusal = {status_failed, std::string(option) + ": " + values +
                                      "; give finite numbers, the first below the last, "
                                      "and a step above 0"};
        return false;
    }
    const double count = even_grid_count(range.first, range.last, range.step);
    if (!(count <= static_cast<double>(max_given_sweep_points))) {
        refusal = {status_failed,
                   std::string(option) + ": " + values + " gives " + detail::shortest_text(count) +
                       " points; a sweep holds at most " + std::to_string(max_given_sweep_points)};
        return false;
    }
    return true;
}

bool read_classes(const std::string& text, std::vector<double>& bounds, Refusal& refusal) {
    bounds.clear();
    for (std::size_t at = 0;;) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        const std::string item = column_name(std::string_view(text).substr(at, comma - at));
        double bound = 0.0;
        if (!read_decimal(item, "--classes", "bound", "6.5", bound, refusal)) return false;
        bounds.push_back(bound);
        if (comma == text.size()) break;
        at = comma + 1;
    }
    const std::string quoted = detail::quoted_for_message(text);
    if (bounds.size() > max_class_bounds) {
        refusal = {status_failed, "--classes: " + quoted + " gives " +
                                      std::to_string(bounds.size()) + " bounds; at most " +
                                      std::to_string(max_class_bounds)};
        return false;
    }
    const bool finite =
        std::all_of(bounds.begin(), bounds.end(), [](double b) { return std::isfinite(b); });
    if (!finite ||
        std::adjacent_find(bounds.begin(), bounds.end(), std::greater_equal<>()) != bounds.end()) {
        refusal = {status_failed,
                   "--classes: " + quoted + "; give finite bounds in rising order, A,B,..."};
        return false;
    }
    return true;
}

}  // namespace zorvi::report
