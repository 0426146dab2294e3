// The analysis of a study beyond the summary: the size of the trend in the observed and the
// simulated series, the other tests, the detectable trend and the deciding events.
#include <algorithm>
#include <cmath>

#include "report/report.hpp"

namespace zorvi::report {
namespace {

// The observed series: its fit, its tests with their estimates, the detectable trend.
void analyse_observed(const EventSeries& events, Analysis& analysis) {
    const StudySettings& settings = analysis.settings;
    std::vector<double> selected;
    const TrendTest observed = select_and_test(events.t, events.x, settings, selected);
    const auto times =
        std::span<const double>(selected).first(static_cast<std::size_t>(observed.m));

    analysis.observed_fit = fit_trend(times, settings.start, settings.end);
    const TestStatistics statistics =
        trend_test_statistics(times, observed, settings.start, settings.end);
    const Estimate ratio = {rate_ratio_per_decade(analysis.observed_fit.beta),
                            {rate_ratio_per_decade(analysis.observed_fit.beta_95.low),
                             rate_ratio_per_decade(analysis.observed_fit.beta_95.high)}};
    analysis.tests.resize(trend_test_count);
    for (std::size_t test = 0; test < trend_test_count; ++test) {
        analysis.tests[test].name = trend_test_names[test];
        analysis.tests[test].observed = statistics[test];
    }
    analysis.tests[test_cox_lewis].estimate = ratio;
    analysis.tests[test_cox_lewis_two_sided].estimate = ratio;
    analysis.tests[test_mil_hdbk_189].estimate =
        mil_hdbk_189_shape(times, settings.start, settings.end);

    analysis.detectable_beta = detectable_beta(observed.m, settings.end - settings.start,
                                               analysis.summary.critical_u_05, detection_power);
}

// Every simulated series: each test's P, and the fitted trend.
void analyse_simulated(const EventSeries& events, const SimulatedMagnitudes& simulated,
                       Analysis& analysis) {
    const StudySettings& settings = analysis.settings;
    std::vector<double> selected;
    std::array<std::size_t, trend_test_count> below{};
    analysis.simulated_beta.assign(simulated.series, not_a_number);
    analysis.simulated_tests.reserve(simulated.series);
    for (std::size_t k = 0; k < simulated.series; ++k) {
        const TrendTest series =
            select_and_test(events.t, series_magnitudes(simulated, k), settings, selected);
        const auto times =
            std::span<const double>(selected).first(static_cast<std::size_t>(series.m));
        const TestStatistics statistics =
            trend_test_statistics(times, series, settings.start, settings.end);
        for (std::size_t test = 0; test < trend_test_count; ++test)
            if (statistics[test].p_value < significance_05) ++below[test];
        analysis.simulated_beta[k] = fit_beta(times, settings.start, settings.end);
        analysis.simulated_tests.push_back(series);
    }
    for (std::size_t test = 0; test < trend_test_count; ++test)
        analysis.tests[test].simulated_below_05 = share_of(below[test], simulated.series);

    std::vector<double> ratios;
    ratios.reserve(simulated.series);
    for (double beta : analysis.simulated_beta)
        if (!std::isnan(beta)) ratios.push_back(rate_ratio_per_decade(beta));
    std::sort(ratios.begin(), ratios.end());
    analysis.simulated_fits = ratios.size();
    analysis.simulated_ratio = {quantile_of_sorted(ratios, interval_tail),
                                quantile_of_sorted(ratios, 0.5),
                                quantile_of_sorted(ratios, 1.0 - interval_tail)};
}

}  // namespace

Share share_of(std::size_t count, std::size_t of) {
    Share share;
    share.count = count;
    share.of = of;
    if (of == 0) return share;
    share.share = static_cast<double>(count) / static_cast<double>(of);
    share.interval = wilson_interval(count, of, critical_u(interval_tail));
    return share;
}

Analysis analyse(const Summary& summary, const EventSeries& events,
                 const SimulatedMagnitudes& simulated, const StudySettings& settings) {
    Analysis analysis;
    analysis.settings = settings;
    analysis.summary = summary;
    analyse_observed(events, analysis);
    analyse_simulated(events, simulated, analysis);
    analysis.events = event_rows(events, simulated, settings.threshold);
    for (const EventRow& row : analysis.events)
        analysis.expected_m += row.selection_probability;
    return analysis;
}

}  // namespace zorvi::report
