// The text summary's rows: a label column, right-aligned numbers, percentages and shares.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "zorvi/outputs/outputs.hpp"
#include "zorvi/outputs/summary_text.hpp"
#include "zorvi/outputs/writers.hpp"

namespace zorvi::detail {
namespace {

constexpr int statistic_decimals = 5;
constexpr int ratio_decimals = 3;

}  // namespace

std::string padded_left(std::string text, std::size_t width) {
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
}

void add_row(std::string& out, std::string_view label, std::string_view value) {
    std::string line(label);
    if (line.size() < label_width) line.append(label_width - line.size(), ' ');
    line += value;
    out += line;
    out += '\n';
}

std::string unit_suffix(const StudySettings& settings) {
    std::string unit;  // built in steps: g++ 12 warns wrongly on " " + string
    if (!settings.magnitude_unit.empty()) {
        unit = " ";
        unit += settings.magnitude_unit;
    }
    return unit;
}

std::string unwrapped(std::string_view text) {
    std::string out(text);
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    std::replace(out.begin(), out.end(), '\n', ' ');
    return out;
}

std::string percent(double share) {
    return fixed_text(100.0 * share, 2) + " %";
}

std::string statistic_text(double value) {
    return fixed_text(value, statistic_decimals);
}

std::string ratio_text(double value) {
    return fixed_text(value, ratio_decimals);
}

std::string ratio_interval_text(const Interval& interval) {
    return interval_text(interval, ratio_decimals);
}

std::string ratio_with_interval(const Estimate& ratio) {
    return ratio_text(ratio.value) + "  (95 % profile interval " +
           ratio_interval_text(ratio.interval) + ")";
}

std::string interval_text(const Interval& interval, int decimals) {
    return fixed_text(interval.low, decimals) + " to " + fixed_text(interval.high, decimals);
}

std::string share_text(std::size_t count, std::size_t series, const Interval& interval) {
    const double share = series == 0 ? 0.0 : static_cast<double>(count) / series;
    return std::to_string(count) + " of " + std::to_string(series) + " = " + percent(share) +
           "  (95 % interval " + percent(interval.low) + " to " + percent(interval.high) + ")";
}

std::string wrapped(std::string_view text, std::size_t width) {
    std::string out;
    std::size_t line_length = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find(' ', pos), text.size());
        const std::string_view word = text.substr(pos, end - pos);
        if (line_length > 0 && line_length + 1 + word.size() > width) {
            out += '\n';
            line_length = 0;
        } else if (line_length > 0) {
            out += ' ';
            ++line_length;
        }
        out += word;
        line_length += word.size();
        pos = end + 1;
    }
    return out + '\n';
}

}  // namespace zorvi::detail
