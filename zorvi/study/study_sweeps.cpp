// The sweeps of a study: every whole threshold of its range and starts a year apart, crossing
// at the study's own threshold and start.
#include <algorithm>

#include "zorvi/study/internal.hpp"

namespace zorvi {

SweepAccumulator begin_study_sweeps(const EventSeries& events, const StudySettings& settings) {
    SweepSetup setup;
    setup.times = events.t;
    setup.magnitudes = events.x;
    setup.threshold = settings.threshold;
    setup.start = settings.start;
    setup.end = settings.end;
    setup.thresholds = whole_thresholds(settings.sweep_low, settings.sweep_high, max_sweep_points);
    // The main threshold is always a point, so that the sweeps cross at the study itself.
    const auto at =
        std::lower_bound(setup.thresholds.begin(), setup.thresholds.end(), settings.threshold);
    if (at == setup.thresholds.end() || *at != settings.threshold)
        setup.thresholds.insert(at, settings.threshold);
    setup.starts = sweep_starts(settings.start, settings.end, start_sweep_step,
                                start_sweep_min_span, max_sweep_points);
    if (setup.starts.empty()) setup.starts.push_back(settings.start);
    return begin_sweeps(setup, settings.series, settings.exact_quantiles());
}

}  // namespace zorvi
