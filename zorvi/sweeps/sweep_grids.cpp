// The points of the sweeps: evenly spaced grids on the data's own scale and span, each point
// worked out from whole numbers so that a grid of written decimals holds them as written.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "zorvi/sweeps/sweeps.hpp"

namespace zorvi {
namespace {

constexpr double exact_whole = 9007199254740992.0;  // 2^53: every whole double up to it is exact
constexpr std::array<double, 3> mantissas = {1.0, 2.0, 5.0};

// A grid as whole numbers over a power of ten: point k is (first + k step) / scale, and the
// division rounds once, so 5 + 27 × 0.05 is the double of 6.35 itself.
struct ScaledGrid {
    double first = 0.0;
    double step = 1.0;
    double scale = 1.0;
    double count = 0.0;
    double at(double k) const { return (first + k * step) / scale; }
};

bool is_whole_exact(double v) {
    return std::fabs(v) < exact_whole && v == std::round(v);
}

// The smallest power of ten, up to 10^15, that makes `value` whole as a written decimal; 0
// when there is none (the value then has no short decimal form, or is too large).
double decimal_scale(double value) {
    double scale = 1.0;
    for (int d = 0; d <= 15; ++d, scale *= 10.0) {
        const double units = std::round(value * scale);
        if (std::fabs(units) < exact_whole && units / scale == value) return scale;
    }
    return 0.0;
}

// The number of points from `first_units` by `step_units` up to `last`, corrected by a step
// either way where the quotient rounded (bounded, so far from zero it cannot loop).
double count_up_to(const ScaledGrid& grid, double last) {
    double n = std::floor((last * grid.scale - grid.first) / grid.step);
    if (!std::isfinite(n)) return 0.0;
    for (int k = 0; k < 2 && grid.at(n + 1.0) <= last; ++k)
        n += 1.0;
    for (int k = 0; k < 2 && n >= 0.0 && grid.at(n) > last; ++k)
        n -= 1.0;
    return std::max(0.0, n + 1.0);
}

// first, first + step, ... up to last, in whole units where the three are short decimals.
ScaledGrid even_within(double first, double last, double step) {
    ScaledGrid grid;
    const double scale = std::max(decimal_scale(first), decimal_scale(step));
    if (scale > 0.0 && decimal_scale(first) > 0.0 && decimal_scale(step) > 0.0 &&
        is_whole_exact(std::round(last * scale))) {
        grid = {std::round(first * scale), std::round(step * scale), scale, 0.0};
    } else {
        grid = {first, step, 1.0, 0.0};
    }
    grid.count = count_up_to(grid, last);
    return grid;
}

// The multiples of `mantissa` × 10^`power` within [low, high].
ScaledGrid multiples_within(double low, double high, double mantissa, int power) {
    ScaledGrid grid{0.0, mantissa * std::pow(10.0, std::max(power, 0)),
                    std::pow(10.0, std::max(-power, 0)), 0.0};
    if (!is_whole_exact(std::round(low * grid.scale)) ||
        !is_whole_exact(std::round(high * grid.scale))) {
        grid = {0.0, mantissa * std::pow(10.0, power), 1.0, 0.0};  // plain doubles, far out
    }
    double n = std::ceil(low * grid.scale / grid.step);
    for (int k = 0; k < 2 && grid.at(n - 1.0) >= low; ++k)
        n -= 1.0;
    for (int k = 0; k < 2 && grid.at(n) < low; ++k)
        n += 1.0;
    grid.first = n * grid.step;
    grid.count = count_up_to(grid, high);
    return grid;
}

bool holds(const ScaledGrid& grid, double value) {
    const double k = std::round((value * grid.scale - grid.first) / grid.step);
    return k >= 0.0 && k < grid.count && grid.at(k) == value;
}

// The points of a grid, at most `max_points`; far from zero two steps may round to one
// double, which is kept once.
std::vector<double> points_of(const ScaledGrid& grid, std::size_t max_points) {
    std::vector<double> points;
    for (double k = 0.0; k < grid.count && points.size() < max_points; k += 1.0) {
        const double v = grid.at(k);
        if (points.empty() || v > points.back()) points.push_back(v);
    }
    return points;
}

// log10 of high - low, also where the difference overflows.
double log10_span(double low, double high) {
    const double span = high - low;
    return std::isfinite(span) ? std::log10(span)
                               : std::log10(high / 2 - low / 2) + std::log10(2.0);
}

void insert_point(std::vector<double>& points, double value) {
    const auto at = std::lower_bound(points.begin(), points.end(), value);
    if (at == points.end() || *at != value) points.insert(at, value);
}

}  // namespace

double even_grid_count(double first, double last, double step) {
    if (!std::isfinite(first) || !std::isfinite(last) || !(step > 0) || !std::isfinite(step) ||
        last < first)
        return 0.0;
    return even_within(first, last, step).count;
}

std::vector<double> even_grid(double first, double last, double step, std::size_t max_points) {
    if (even_grid_count(first, last, step) == 0.0) return {};
    return points_of(even_within(first, last, step), max_points);
}

namespace {

// Of the grids of multiples of 1, 2 or 5 × 10^k that hold 50 to 200 points within [low, high],
// the coarsest that holds every `wanted` value in the range; else the coarsest that holds the
// first of them; else the coarsest. False when none has 50 to 200 (an empty or non-finite
// range).
bool threshold_grid_of(double low, double high, std::span<const double> wanted,
                       ScaledGrid& chosen) {
    if (!std::isfinite(low) || !std::isfinite(high) || !(low < high)) return false;
    const auto held = [&](const ScaledGrid& grid, std::span<const double> values) {
        return std::all_of(values.begin(), values.end(),
                           [&](double v) { return !(v >= low && v <= high) || holds(grid, v); });
    };
    int best = -1;  // how much of `wanted` the chosen grid holds: 0, its first, or all
    // From coarse to fine over the powers from the span's own down past span / 200.
    const int top = static_cast<int>(std::floor(log10_span(low, high)));
    for (int power = top; power >= top - 4 && best < 2; --power) {
        for (auto mantissa = mantissas.rbegin(); mantissa != mantissas.rend() && best < 2;
             ++mantissa) {
            const ScaledGrid grid = multiples_within(low, high, *mantissa, power);
            if (!(grid.count >= static_cast<double>(min_threshold_points) &&
                  grid.count <= static_cast<double>(max_sweep_points)))
                continue;
            const int fit = held(grid, wanted)                                                  ? 2
                            : held(grid, wanted.first(std::min<std::size_t>(1, wanted.size()))) ? 1
                                                                                                : 0;
            if (fit > best) {
                chosen = grid;
                best = fit;
            }
        }
    }
    return best >= 0;
}

}  // namespace

double threshold_step(double low, double high, std::span<const double> wanted) {
    ScaledGrid grid;
    return threshold_grid_of(low, high, wanted, grid) ? grid.step / grid.scale : not_a_number;
}

std::vector<double> threshold_grid(double low, double high, std::span<const double> wanted) {
    std::vector<double> points;
    ScaledGrid grid;
    if (threshold_grid_of(low, high, wanted, grid)) {
        points = points_of(grid, max_sweep_points);
    } else {
        if (std::isfinite(low)) points.push_back(low);
        if (std::isfinite(high) && high > low) points.push_back(high);
    }
    for (double v : wanted)
        if (v >= low && v <= high) insert_point(points, v);
    return points;
}

double start_min_span(double start, double end) {
    return std::min(start_sweep_min_span, (end - start) / 2);
}

double start_step(double start, double end) {
    const double last = end - start_min_span(start, end);
    if (!std::isfinite(last) || !std::isfinite(start) || !(last >= start)) return 1.0;
    const int first_power = std::max(
        0,
        static_cast<int>(std::floor(std::log10(std::max(1.0, (last - start) / max_sweep_points)))));
    for (int power = first_power; power <= first_power + 2; ++power) {
        for (double mantissa : mantissas) {
            const double step = mantissa * std::pow(10.0, power);
            if (even_grid_count(start, last, step) <= static_cast<double>(max_sweep_points))
                return step;
        }
    }
    return std::pow(10.0, first_power + 3);  // not reached: 10^(k+1) gives at most ~20
}

std::vector<double> start_grid(double start, double end) {
    const double min_span = start_min_span(start, end);
    const double step = start_step(start, end);
    std::vector<double> starts;
    if (!std::isfinite(start) || !std::isfinite(end)) return starts;
    // Each start from the first by one multiplication, so that errors do not accumulate; the
    // one-year steps of the shipped run are 1980.417 + k exactly as before.
    for (double k = 0.0; starts.size() < max_given_sweep_points; k += 1.0) {
        const double s = start + k * step;
        if (!(end - s >= min_span)) break;
        starts.push_back(s);
    }
    if (starts.empty()) starts.push_back(start);
    return starts;
}

}  // namespace zorvi
