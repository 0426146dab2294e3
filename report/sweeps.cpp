// The sensitivity sweeps: the observed test and every simulated series repeated at other
// thresholds and other starts, reusing the run's own simulated magnitudes for every point.
#include <algorithm>
#include <cassert>
#include <cmath>

#include "report/report.hpp"
#include "stats/stats.hpp"

namespace zorvi::report {
namespace {

using Window = SweepAccumulator::Window;

// Copies the times of the events with magnitude >= threshold, in position order, to the front
// of `selected` and returns their count; the program's selection rule.
std::int32_t select_events(std::span<const double> magnitudes, std::span<const double> times,
                           double threshold, std::span<double> selected) {
    std::int32_t count = 0;
    for (std::size_t i = 0; i < magnitudes.size(); ++i) {
        if (magnitudes[i] >= threshold) {
            selected[static_cast<std::size_t>(count)] = times[i];
            ++count;
        }
    }
    return count;
}

// The window of events at or after `start`, made once and shared by every point there.
std::size_t window_for(SweepAccumulator& sweeps, std::span<const double> times, double start) {
    for (std::size_t w = 0; w < sweeps.windows.size(); ++w)
        if (sweeps.windows[w].start == start) return w;
    Window window;
    window.start = start;
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (times[i] >= start) {
            window.events.push_back(i);
            window.times.push_back(times[i]);
        }
    }
    window.magnitudes.resize(window.events.size());
    sweeps.windows.push_back(std::move(window));
    return sweeps.windows.size() - 1;
}

void gather_magnitudes(SweepAccumulator& sweeps, std::span<const double> magnitudes) {
    for (Window& window : sweeps.windows) {
        for (std::size_t k = 0; k < window.events.size(); ++k)
            window.magnitudes[k] = magnitudes[window.events[k]];
    }
}

// Selects and tests the magnitudes gathered for point `j`'s window.
void test_point(SweepAccumulator& sweeps, std::size_t j, std::int32_t& m, double& u, double& p) {
    const SweepPoint& point = sweeps.points[j];
    const Window& window = sweeps.windows[sweeps.window_of[j]];
    m = select_events(window.magnitudes, window.times, point.threshold, sweeps.selected);
    stats::test(point.start, sweeps.end, m, sweeps.selected, u, p);
}

void add_point(SweepAccumulator& sweeps, std::span<const double> times, double threshold,
               double start) {
    SweepPoint point;
    point.threshold = threshold;
    point.start = start;
    sweeps.points.push_back(point);
    sweeps.window_of.push_back(window_for(sweeps, times, start));
}

}  // namespace

std::vector<double> whole_thresholds(double low, double high, std::size_t max_points) {
    std::vector<double> all;
    for (double t = std::ceil(low); t <= std::floor(high); t += 1.0)
        all.push_back(t);
    if (max_points == 0 || all.size() <= max_points) return all;
    // Every k-th from the first, then the last: at most ceil((n - 1) / k) + 1 points.
    std::size_t k = 1;
    while ((all.size() - 1 + k - 1) / k + 1 > max_points)
        ++k;
    std::vector<double> thinned;
    for (std::size_t i = 0; i + 1 < all.size(); i += k)
        thinned.push_back(all[i]);
    thinned.push_back(all.back());
    return thinned;
}

std::vector<double> sweep_starts(double start, double end, double step, double min_span) {
    std::vector<double> starts;
    // Each start from the first by one multiplication, so that errors do not accumulate.
    for (double k = 0.0;; k += 1.0) {
        const double s = start + k * step;
        if (!(end - s >= min_span)) break;
        starts.push_back(s);
    }
    return starts;
}

SweepAccumulator begin_sweeps(const SweepSetup& setup) {
    assert(setup.times.size() == setup.magnitudes.size());
    SweepAccumulator sweeps;
    sweeps.end = setup.end;
    for (double threshold : setup.thresholds)
        add_point(sweeps, setup.times, threshold, setup.start);
    sweeps.threshold_points = sweeps.points.size();
    for (double start : setup.starts)
        add_point(sweeps, setup.times, setup.threshold, start);
    sweeps.p_values.resize(sweeps.points.size());
    sweeps.selected.resize(setup.times.size());

    gather_magnitudes(sweeps, setup.magnitudes);
    for (std::size_t j = 0; j < sweeps.points.size(); ++j) {
        SweepPoint& point = sweeps.points[j];
        test_point(sweeps, j, point.observed_m, point.observed_u, point.observed_p);
    }
    return sweeps;
}

void add_series(SweepAccumulator& sweeps, std::span<const double> magnitudes) {
    gather_magnitudes(sweeps, magnitudes);
    for (std::size_t j = 0; j < sweeps.points.size(); ++j) {
        std::int32_t m = 0;
        double u = 0.0;
        double p = 0.0;
        test_point(sweeps, j, m, u, p);
        SweepPoint& point = sweeps.points[j];
        ++point.series;
        if (std::isnan(p)) {
            ++point.without_event;
            continue;
        }
        sweeps.p_values[j].push_back(p);
        if (p < significance_05) ++point.below_05;
    }
}

Sweeps finish_sweeps(SweepAccumulator& sweeps, double z) {
    Sweeps out;
    for (std::size_t j = 0; j < sweeps.points.size(); ++j) {
        SweepPoint point = sweeps.points[j];
        point.share_05 = wilson_interval(point.below_05, point.series, z);
        std::vector<double>& p = sweeps.p_values[j];
        point.p_q025 = quantile_in_place(p, interval_tail);
        point.p_median = quantile_in_place(p, 0.5);
        point.p_q975 = quantile_in_place(p, 1.0 - interval_tail);
        (j < sweeps.threshold_points ? out.threshold : out.start).push_back(point);
    }
    return out;
}

Sensitivity analyse_sensitivity(std::span<const double> times, std::span<const double> magnitudes,
                                std::span<const double> simulated, double threshold, double start,
                                double end) {
    SweepSetup setup;
    setup.times = times;
    setup.magnitudes = magnitudes;
    setup.threshold = threshold;
    setup.start = start;
    setup.end = end;
    setup.thresholds =
        whole_thresholds(threshold_sweep_low, threshold_sweep_high, max_sweep_points);
    setup.starts = sweep_starts(start, end, start_sweep_step, start_sweep_min_span);
    SweepAccumulator sweeps = begin_sweeps(setup);
    EventCountAccumulator events = begin_event_counts(times, magnitudes, threshold, start);
    const std::size_t n = times.size();
    for (std::size_t offset = 0; n > 0 && offset + n <= simulated.size(); offset += n) {
        add_series(sweeps, simulated.subspan(offset, n));
        add_series(events, simulated.subspan(offset, n));
    }
    return {finish_sweeps(sweeps, critical_u(interval_tail)), finish_event_counts(events)};
}

}  // namespace zorvi::report
