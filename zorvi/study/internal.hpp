// Internal to the study: the accumulators of the one-pass study and the series drawn ahead.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "zorvi/study/error_model.hpp"
#include "zorvi/study/study.hpp"
#include "zorvi/sweeps/accumulator.hpp"

namespace zorvi {

// Accumulates the counts one simulated series at a time, like SweepAccumulator.
struct EventCountAccumulator {
    double threshold = 0.0;
    // [j * width + count / count_bin]: series, per band position. Counts are kept whole up to
    // max_count_bins values and in bins of count_bin beyond, so that memory stays bounded
    // however many events there are.
    std::vector<std::size_t> histogram;
    std::size_t count_bin = 1;
    std::size_t width = 1;
    std::size_t series = 0;
    EventCounts counts;  // the observed part, filled at the start
};

EventCountAccumulator begin_event_counts(std::span<const double> times,
                                         std::span<const double> magnitudes, double threshold,
                                         double start);
void add_series(EventCountAccumulator& counts, std::span<const double> magnitudes);
EventCounts finish_event_counts(EventCountAccumulator& counts);

// The sweeps' points around the study's threshold and start, and their accumulators.
SweepAccumulator begin_study_sweeps(const EventSeries& events, const StudySettings& settings);

}  // namespace zorvi

namespace zorvi::detail {

// The observed series of `analysis.settings`: its m, u and P in the summary, its fitted trend,
// its tests and the detectable trend.
void analyse_observed(const EventSeries& events, Analysis& analysis);

// The simulated magnitudes of a study drawn ahead on a second thread (series_ahead.cpp).
struct SeriesAhead {
    std::size_t width = 0;         // events a series
    std::size_t block_series = 0;  // series a block
    std::array<std::vector<double>, 2> blocks;
    // Under the posterior model, each block's deviates as well, for the models compared.
    std::array<std::vector<double>, 2> deviate_blocks;
    std::array<std::size_t, 2> filled{};  // series drawn into each block, 0 while it is free
    std::size_t slot = 0;                 // the caller's block
    std::size_t available = 0;            // series in it
    std::size_t position = 0;             // the next of them
    bool stopping = false;
    // Set when no second thread could be started: the caller draws each series itself.
    const EventSeries* drawn_here = nullptr;
    SeriesDraw draw;  // the error model's draw
    std::mutex mutex;
    std::condition_variable changed;
    std::thread drawer;
    ~SeriesAhead();  // stops the drawer and waits for it
};
// Starts drawing the series of `settings` from a freshly started generator; `events` and
// `settings` must outlive `ahead`. `thresholds`: every threshold the magnitudes are compared
// with (>=), the only thing asked of them; `keep_deviates`: keep the posterior draw's deviates.
void start_drawing(SeriesAhead& ahead, const EventSeries& events, const StudySettings& settings,
                   std::span<const double> thresholds, bool keep_deviates);
// The magnitudes of the next series, valid until the call after next.
std::span<const double> next_series(SeriesAhead& ahead);
// The deviates of the series next_series returned last, when kept; as long valid.
std::span<const double> last_deviates(const SeriesAhead& ahead);

// The check of clustering: the observed series' (observed.cpp calls it), every simulated
// series' in the study's pass, and the observed series' at every sweep point.
void analyse_observed_clustering(std::span<const double> times, const StudySettings& settings,
                                 Clustering& clustering);
struct ClusteringAccumulator {
    DispersionDecider decider;
    ValueSample phi;  // of the series with a check
    std::size_t dispersed = 0;
    std::size_t quasi_poisson_below = 0;
};
ClusteringAccumulator begin_clustering(const StudySettings& settings);
void add_series(ClusteringAccumulator& acc, std::span<const double> times);  // selected times
void finish_clustering(ClusteringAccumulator& acc, std::size_t series, Clustering& clustering);
void check_sweeps_clustering(const EventSeries& events, const StudySettings& settings,
                             Sweeps& sweeps);

// The simulated series as the results file shows them.
struct SummaryAccumulator {
    Summary summary;
    SimulatedValues values;
    double u_sum = 0.0;  // binned: the moments, by Welford's updating for the deviation
    double u_welford_mean = 0.0;
    double u_welford_squares = 0.0;
};

SummaryAccumulator begin_summary(const EventSeries& events, const StudySettings& settings);
// A record's u and P as the file shows them, or (`exact` false) u and P themselves.
void add_record(SummaryAccumulator& acc, double u, double p, bool exact, std::int32_t m);
// Counts the record as a mismatch unless it shows the recomputed test.
void check_record(Summary& summary, std::size_t k, double u, double p, const TrendTest& test);
void finish_summary(SummaryAccumulator& acc);

}  // namespace zorvi::detail
