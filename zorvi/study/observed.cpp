// The analysis of the observed series: the size of its trend, the other tests, the detectable
// trend.
#include "zorvi/statistics/distributions.hpp"
#include "zorvi/study/internal.hpp"

namespace zorvi {

void detail::analyse_observed(const EventSeries& events, Analysis& analysis) {
    const StudySettings& settings = analysis.settings;
    std::vector<double> selected;
    const TrendTest observed = select_and_test(events.t, events.x, settings, selected);
    const auto times =
        std::span<const double>(selected).first(static_cast<std::size_t>(observed.m));
    analysis.summary.m = observed.m;
    analysis.summary.u = observed.u;
    analysis.summary.p = observed.p;

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

    analyse_observed_clustering(times, settings, analysis.clustering);
    analysis.detectable_beta = detectable_beta(observed.m, settings.end - settings.start,
                                               critical_u(significance_05), detection_power);
}

}  // namespace zorvi
