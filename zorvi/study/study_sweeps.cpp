// The sweeps of a study: thresholds over the range on the magnitudes' own scale and starts
// over the interval (or the grids the user gives), crossing at the study's own threshold and
// start.
#include <algorithm>
#include <vector>

#include "zorvi/study/internal.hpp"

namespace zorvi {
namespace {

// The thresholds: the user's grid, or an even grid over the sweep's range that holds the
// class bounds where it can; the main threshold always among them, so that the sweeps cross
// at the study itself.
std::vector<double> study_thresholds(const StudySettings& settings, SweepSteps& steps) {
    const SweepRange& given = settings.threshold_sweep;
    std::vector<double> thresholds;
    if (given.given()) {
        thresholds = even_grid(given.first, given.last, given.step, max_given_sweep_points);
    } else {
        std::vector<double> wanted = {settings.threshold};
        wanted.insert(wanted.end(), settings.class_bounds.begin(), settings.class_bounds.end());
        steps.threshold = threshold_step(settings.sweep_low, settings.sweep_high, wanted);
        thresholds = threshold_grid(settings.sweep_low, settings.sweep_high, wanted);
    }
    const auto at = std::lower_bound(thresholds.begin(), thresholds.end(), settings.threshold);
    if (at == thresholds.end() || *at != settings.threshold)
        thresholds.insert(at, settings.threshold);
    return thresholds;
}

// The starts: the user's grid or the interval's own, from the study's start on.
std::vector<double> study_starts(const StudySettings& settings, SweepSteps& steps) {
    const SweepRange& given = settings.start_sweep;
    if (!given.given()) {
        steps.start = start_step(settings.start, settings.end);
        steps.min_span = start_min_span(settings.start, settings.end);
        return start_grid(settings.start, settings.end);
    }
    std::vector<double> starts =
        even_grid(given.first, given.last, given.step, max_given_sweep_points);
    if (starts.empty() || starts.front() != settings.start)
        starts.insert(starts.begin(), settings.start);
    return starts;
}

}  // namespace

SweepAccumulator begin_study_sweeps(const EventSeries& events, const StudySettings& settings) {
    SweepSetup setup;
    setup.times = events.t;
    setup.magnitudes = events.x;
    setup.threshold = settings.threshold;
    setup.start = settings.start;
    setup.end = settings.end;
    setup.thresholds = study_thresholds(settings, setup.steps);
    setup.starts = study_starts(settings, setup.steps);
    return begin_sweeps(setup, settings.series, settings.exact_quantiles());
}

}  // namespace zorvi
