// Number texts and axis steps for the summary and the figure.
#include <array>
#include <charconv>
#include <cmath>

#include "zorvi/text/number_text.hpp"

namespace zorvi::detail {

std::string fixed_text(double value, int decimals) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    std::array<char, 400> buffer;  // the largest double has 309 integer digits
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::fixed, decimals);
    if (ec != std::errc()) return "?";
    std::string text(buffer.data(), end);
    // "-0.00" reads as a sign where there is none to show.
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

double nice_step(double span, int parts) {
    const double raw = span / parts;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double scaled = raw / power;  // in [1, 10)
    // Steps of 1, 2, 2.5, 5 and 10: the first that is at least the raw step.
    constexpr std::array<double, 5> mantissas = {1.0, 2.0, 2.5, 5.0, 10.0};
    for (double mantissa : mantissas) {
        if (scaled <= mantissa * (1.0 + 1e-9)) return mantissa * power;
    }
    return 10.0 * power;
}

int decimals_for_step(double step) {
    int decimals = 0;
    // A step such as 0.25 needs two decimals; allow for the step's own rounding.
    while (decimals < 10) {
        const double scaled = step * std::pow(10.0, decimals);
        if (std::fabs(scaled - std::round(scaled)) < 1e-6 * scaled) break;
        ++decimals;
    }
    return decimals;
}

std::vector<double> ticks_between(double low, double high, double step) {
    std::vector<double> ticks;
    const double slack = step * 1e-9;  // a tick on the bound despite rounding
    const double first = std::ceil((low - slack) / step);
    const double last = std::floor((high + slack) / step);
    for (double k = first; k <= last; k += 1.0) {
        const double tick = k * step;
        ticks.push_back(tick == 0.0 ? 0.0 : tick);  // no negative zero
    }
    return ticks;
}

std::string shortest_text(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    std::array<char, 32> buffer;  // the shortest form of a double is at most 24 characters
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return ec == std::errc() ? std::string(buffer.data(), end) : std::string("?");
}

}  // namespace zorvi::detail
