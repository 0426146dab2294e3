// The analysis of a study: every number its outputs show, as plain data.
#pragma once

#include <cstddef>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "zorvi/clustering/clustering.hpp"
#include "zorvi/events/events.hpp"
#include "zorvi/statistics/statistics.hpp"
#include "zorvi/statistics/trend.hpp"
#include "zorvi/study/settings.hpp"
#include "zorvi/sweeps/sweeps.hpp"

namespace zorvi {

// Series per number of selected events m, from m = 0 to the largest m of any series.
using MCounts = std::vector<std::size_t>;

struct Summary {
    std::size_t series = 0;
    std::size_t without_event = 0;  // records whose u or P is NaN
    // Observed series, recomputed.
    std::int32_t m = 0;
    double u = 0.0;
    double p = 0.0;
    // Simulated u, over the records with a number for u.
    double u_mean = 0.0;
    double u_sd = 0.0;
    double u_q025 = 0.0;
    double u_median = 0.0;
    double u_q975 = 0.0;
    // Shares of all series with P below 0.05 and 0.10; a NaN P is never below.
    std::size_t below_05 = 0;
    Interval share_05;
    std::size_t below_10 = 0;
    Interval share_10;
    double critical_u_05 = 0.0;  // |u| at which P = 0.05
    MCounts m_counts;            // over the recomputed series
    // Records whose (u, P) differ from the recomputed ones as the results file shows them.
    std::size_t mismatches = 0;
    std::size_t first_mismatch = 0;  // 0-based series index of the first
};

// What the results file's field shows for `value`, read back as a reader finds it.
double as_in_results_field(double value);
// True when `file_value` and `value` agree to the results file's 8 decimals: the field shows
// the same for both.
bool same_in_results_field(double file_value, double value);
// `p` where it decides a count below 0.05 or 0.10 as the results file shows it: within the
// field's rounding of either, as the field shows it, elsewhere p itself.
double as_counted(double p);

// The summary of a results file against its recomputed series, as a pass makes it.
Summary summarise(const Results& results, const Recomputed& recomputed);

// At one threshold and start: the events at or after the start, in time order, with the
// observed and the simulated cumulative count of selected events at each event's time. The
// simulated band is known at up to `max_band_positions` of the events, every one when there
// are no more, so that its histograms stay small for any number of events.
inline constexpr std::size_t max_band_positions = 500;
inline constexpr std::size_t max_count_bins = 4096;
struct EventCounts {
    std::vector<std::size_t> order;      // the events at or after the start, by time
    std::vector<double> times;           // their times, ascending
    std::vector<std::int32_t> observed;  // observed selected events at or before times[k]
    std::vector<std::size_t> band_at;    // the positions k where the band is known, ascending
    std::vector<double> low;             // simulated count there: 2.5 % quantile
    std::vector<double> median;          //   median
    std::vector<double> high;            //   97.5 % quantile
};

// The sweeps around the study's threshold and start, and the selected events against time.
struct Sensitivity {
    Sweeps sweeps;
    EventCounts counts;
};

// One event of the data file and how often the simulation selects it.
struct EventRow {
    double time = 0.0;
    double magnitude = 0.0;
    double standard_error = 0.0;
    bool selected_observed = false;
    double selected_share = 0.0;         // of the simulated series
    double selection_probability = 0.0;  // Phi((x - threshold) / |sx|)
};
// `selected[i]`: the simulated series, of `series`, that select event i.
std::vector<EventRow> event_rows(const EventSeries& events, std::span<const std::size_t> selected,
                                 std::size_t series, double threshold);

// One row of the tests table: the observed series, and the simulated series' share with P
// below 0.05.
struct TestRow {
    TestName name;
    TestStatistic observed;
    Estimate estimate;  // Cox-Lewis: the rate ratio per decade; MIL-HDBK-189: the shape
    Share simulated_below_05;
};

// The simulated u and P as the results file shows them (the P of the series with one).
struct SimulatedValues {
    ValueSample u;
    ValueSample p;
};

// One error model's figures over the study's series, on the study's seed.
struct ModelFigures {
    ErrorModel model = ErrorModel::observed;
    double scale_factor = not_a_number;  // the prior scale over the study's; inf: observed
    double prior_scale = not_a_number;   // theta; inf for the observed model
    double expected_m = not_a_number;    // the sum of the selection probabilities
    double mean_m = not_a_number;        // over the simulated series
    Share below_05;                      // series with P < 0.05
    Quantiles ratio;                     // the simulated rate ratio per decade
    std::size_t fits = 0;                // series with a rate ratio
};

// Asked for with the posterior model: both models side by side (observed, then posterior), and
// the posterior model at the prior scales of detail::prior_scale_factors, then the observed.
struct ErrorModelComparison {
    std::vector<ModelFigures> models;
    std::vector<ModelFigures> prior_scales;
};

// The trend tests that allow for clustering, in this order.
inline constexpr std::size_t test_quasi_poisson = 0;
inline constexpr std::size_t test_negative_binomial = 1;
inline constexpr std::size_t test_permutation = 2;
inline constexpr std::size_t clustered_test_count = 3;
inline constexpr std::array<std::string_view, clustered_test_count> clustered_test_names = {
    "quasi-Poisson", "negative binomial", "permutation"};

// The check of clustering over the simulated series: phi of each with a check, and the shares
// of all series whose dispersion test and whose quasi-Poisson test (P in the direction of the
// fitted trend, as the program's P) find P < 0.05.
struct SimulatedClustering {
    std::size_t checked = 0;  // series whose check could be made
    Quantiles phi;
    Share dispersed;
    Share quasi_poisson_below_05;
};

// Is the Poisson model right? The observed series' selected events counted in bins of the
// settings' width from the interval's start, their dispersion around the log-linear trend,
// the trend tests that allow for clustering, and the check over the simulated series.
struct Clustering {
    BinnedCounts counts;  // none when the width gives no bins to count in
    DispersionCheck observed;
    std::array<ClusteredTrendTest, clustered_test_count> tests;
    SimulatedClustering simulated;
};

struct Analysis {
    StudySettings settings;
    Summary summary;
    TrendFit observed_fit;
    std::vector<TestRow> tests;  // in the order of trend_test_names
    double detectable_beta = not_a_number;
    Quantiles simulated_ratio;       // of the rate ratio per decade
    std::size_t simulated_fits = 0;  // series with a beta
    std::vector<EventRow> events;
    double expected_m = 0.0;
    Sensitivity sensitivity;
    SimulatedValues simulated_values;
    ErrorModelComparison error_models;  // empty under the observed model
    EventNotes input;                   // the times as written and the given standard error
    Clustering clustering;
};

}  // namespace zorvi
