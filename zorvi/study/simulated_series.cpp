// The simulated magnitudes of a study, drawn with the program's own generator and draw order,
// and the selection and test of one series.
#include <cassert>

#include "driver/select_events.hpp"
#include "driver/simulation.hpp"
#include "random/random.hpp"
#include "stats/stats.hpp"
#include "zorvi/statistics/distributions.hpp"
#include "zorvi/study/internal.hpp"

namespace zorvi {

std::span<const double> series_magnitudes(const SimulatedMagnitudes& simulated, std::size_t k) {
    assert(k < simulated.series);
    return std::span<const double>(simulated.values)
        .subspan(k * simulated.events, simulated.events);
}

void start_generator(std::int32_t seed) {
    random::reset_uniform_state();
    random::reset_gaussian_state();
    random::ranseed(seed);
    double discarded = 0.0;
    random::gasdev(discarded);
}

void draw_series(const EventSeries& events, std::span<double> moved) {
    double z = 0.0;
    driver::move_magnitudes(events.x, events.sx, moved, z);
}

SimulatedMagnitudes simulate_magnitudes(const EventSeries& events, const StudySettings& settings) {
    SimulatedMagnitudes simulated;
    simulated.events = events.x.size();
    simulated.series = settings.series;
    simulated.values.resize(simulated.events * simulated.series);
    start_generator(settings.seed);
    std::span<double> all(simulated.values);
    for (std::size_t k = 0; k < simulated.series; ++k)
        draw_series(events, all.subspan(k * simulated.events, simulated.events));
    return simulated;
}

TrendTest select_and_test(std::span<const double> times, std::span<const double> magnitudes,
                          const StudySettings& settings, std::vector<double>& selected) {
    if (selected.size() < times.size()) selected.resize(times.size());
    TrendTest result;
    result.m = driver::select_events(magnitudes, times, settings.threshold, selected);
    stats::test(settings.start, settings.end, result.m, selected, result.u, result.p);
    return result;
}

Recomputed recompute(const EventSeries& events, const SimulatedMagnitudes& simulated,
                     const StudySettings& settings) {
    std::vector<double> selected;
    Recomputed out;
    const TrendTest observed = select_and_test(events.t, events.x, settings, selected);
    out.m = observed.m;
    out.u = observed.u;
    out.p = observed.p;

    out.msim.reserve(simulated.series);
    out.usim.reserve(simulated.series);
    out.psim.reserve(simulated.series);
    for (std::size_t k = 0; k < simulated.series; ++k) {
        const TrendTest series =
            select_and_test(events.t, series_magnitudes(simulated, k), settings, selected);
        out.msim.push_back(series.m);
        out.usim.push_back(series.u);
        out.psim.push_back(series.p);
    }
    return out;
}

}  // namespace zorvi
