// The analysis of a study in one pass over its simulated series: each series drawn once, in
// order, with the program's generator, selected and tested as the program does, then handed to
// every accumulator of the summary, the tests, the fitted trends, the events and the sweeps.
#include <cmath>

#include "zorvi/statistics/distributions.hpp"
#include "zorvi/study/internal.hpp"

namespace zorvi {
namespace {

constexpr std::size_t progress_stride = 1024;  // series between two progress calls
// A binned sample of the relative mean position r in [-1, 1].
constexpr double position_bin_width = 0.00002;

// The other tests' shares and the fitted trend of every series.
struct TrendAccumulator {
    detail::TestDecider decider;
    std::array<std::size_t, trend_test_count> below{};
    // Exact: the rate ratio per decade of every series with a fit. Binned: the relative mean
    // position r, from which the ratio follows and grows with it.
    ValueSample ratios;
};

TrendAccumulator begin_trends(const StudySettings& settings) {
    TrendAccumulator acc;
    acc.decider = detail::make_test_decider(settings.start, settings.end);
    acc.ratios = settings.exact_quantiles() ? exact_sample(settings.series)
                                            : binned_sample(-1.0, 1.0, position_bin_width);
    return acc;
}

// The series' rate ratio per decade when it is wanted or kept (exact quantiles); NaN otherwise.
double add_trends(TrendAccumulator& acc, std::span<const double> times, const TrendTest& test,
                  bool ratio_wanted) {
    const std::array<bool, trend_test_count> below =
        detail::tests_below_05(acc.decider, times, test);
    for (std::size_t k = 0; k < trend_test_count; ++k)
        acc.below[k] += below[k] ? 1u : 0u;
    const double start = acc.decider.start;
    const double end = acc.decider.end;
    const double ratio = acc.ratios.exact || ratio_wanted
                             ? rate_ratio_per_decade(fit_beta(times, start, end))
                             : not_a_number;
    if (acc.ratios.exact) {
        if (!std::isnan(ratio)) add_value(acc.ratios, ratio);
    } else {
        const double r = relative_mean_position(times, start, end);
        if (!std::isnan(r)) add_value(acc.ratios, r);
    }
    return ratio;
}

void finish_trends(TrendAccumulator& acc, std::size_t series, Analysis& analysis) {
    for (std::size_t test = 0; test < trend_test_count; ++test)
        analysis.tests[test].simulated_below_05 = share_of(acc.below[test], series);
    analysis.simulated_fits = acc.ratios.count;
    constexpr std::array<double, 3> levels = {interval_tail, 0.5, 1.0 - interval_tail};
    std::vector<double> q = sample_quantiles(acc.ratios, levels);
    if (!acc.ratios.exact) {
        for (double& value : q)
            value =
                rate_ratio_per_decade(beta_of_position(value, acc.decider.start, acc.decider.end));
    }
    analysis.simulated_ratio = {q[0], q[1], q[2]};
}

}  // namespace

PassSteps without_files() {
    PassSteps steps;
    steps.record = [](std::size_t, const TrendTest& test, double& u, double& p, std::string&) {
        u = test.u;
        p = test.p;
        return true;
    };
    return steps;
}

bool analyse_study(const EventSeries& events, const StudySettings& settings, const PassSteps& steps,
                   Analysis& analysis, std::string& error) {
    analysis = Analysis{};
    analysis.settings = settings;
    detail::analyse_observed(events, analysis);

    detail::SummaryAccumulator summary = detail::begin_summary(events, settings);
    TrendAccumulator trends = begin_trends(settings);
    std::vector<std::size_t> selected_counts(events.x.size(), 0);
    SweepAccumulator sweeps = begin_study_sweeps(events, settings);
    EventCountAccumulator counts =
        begin_event_counts(events.t, events.x, settings.threshold, settings.start);

    detail::ComparisonAccumulator comparison = detail::begin_comparison(events, settings);
    detail::ClusteringAccumulator clustering = detail::begin_clustering(settings);

    // The study asks of a simulated magnitude only whether it reaches its threshold or one of
    // the threshold sweep's: the selection and test, the events' shares, the count band and
    // the start sweep at the study's threshold, the threshold sweep at its own points.
    std::vector<double> thresholds(
        sweeps.bounds.begin(),
        sweeps.bounds.begin() + static_cast<std::ptrdiff_t>(sweeps.threshold_points));
    thresholds.push_back(settings.threshold);
    std::vector<double> selected;
    detail::SeriesAhead ahead;
    detail::start_drawing(ahead, events, settings, thresholds, comparison.active);
    for (std::size_t k = 0; k < settings.series; ++k) {
        const std::span<const double> moved = detail::next_series(ahead);
        const TrendTest test = select_and_test(events.t, moved, settings, selected);
        double file_u = 0.0;
        double file_p = 0.0;
        if (!steps.record(k, test, file_u, file_p, error)) return false;
        detail::add_record(summary, file_u, file_p, steps.records_exact, test.m);
        if (steps.records_read) detail::check_record(summary.summary, k, file_u, file_p, test);

        const auto times =
            std::span<const double>(selected).first(static_cast<std::size_t>(test.m));
        const double ratio = add_trends(trends, times, test, static_cast<bool>(steps.row));
        detail::add_series(clustering, times);
        for (std::size_t i = 0; i < moved.size(); ++i)
            selected_counts[i] += moved[i] >= settings.threshold ? 1u : 0u;  // no branch
        add_series(sweeps, events.t, moved);
        add_series(counts, moved);
        if (comparison.active) detail::add_series(comparison, detail::last_deviates(ahead));
        if (steps.row && !steps.row(k, test, ratio, error)) return false;
        if (steps.progress && (k + 1) % progress_stride == 0) steps.progress(k + 1);
    }
    if (steps.progress) steps.progress(settings.series);

    detail::finish_summary(summary);
    const Summary observed = analysis.summary;  // m, u and P of the observed series
    analysis.summary = summary.summary;
    analysis.summary.m = observed.m;
    analysis.summary.u = observed.u;
    analysis.summary.p = observed.p;
    analysis.simulated_values = std::move(summary.values);
    finish_trends(trends, settings.series, analysis);
    analysis.events = event_rows(events, selected_counts, settings.series, settings.threshold);
    if (settings.draws_posterior()) {
        const SeriesDraw draw = series_draw(events, settings);
        for (std::size_t i = 0; i < analysis.events.size(); ++i)
            analysis.events[i].selection_probability =
                posterior_selection_probability(draw.events[i], settings.threshold);
    }
    for (const EventRow& row : analysis.events)
        analysis.expected_m += row.selection_probability;
    analysis.sensitivity = {finish_sweeps(sweeps, critical_u(interval_tail)),
                            finish_event_counts(counts)};
    detail::finish_clustering(clustering, settings.series, analysis.clustering);
    detail::check_sweeps_clustering(events, settings, analysis.sensitivity.sweeps);
    if (settings.error_model == ErrorModel::posterior)
        detail::finish_comparison(comparison, analysis);
    return true;
}

}  // namespace zorvi
