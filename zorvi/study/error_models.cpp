// Both error models side by side on one seed, gathered in the study's own pass: each series'
// deviates, as the drawing thread made them, selected under the observed model and under the
// posterior model at every other prior scale of the sensitivity row, and tested.
#include <bit>
#include <cmath>
#include <cstdint>

#include "stats/stats.hpp"
#include "zorvi/statistics/distributions.hpp"
#include "zorvi/study/error_model.hpp"
#include "zorvi/study/internal.hpp"

namespace zorvi::detail {
namespace {

constexpr double infinite = std::numeric_limits<double>::infinity();
// A binned sample of the relative mean position r in [-1, 1], as in the study's own pass.
constexpr double position_bin_width = 0.00002;
// Relative margin around the critical |u| within which P itself decides: far wider than the
// results field's rounding that as_counted applies near 0.05 (about 2e-8 in P, 1.2e-7 of u).
constexpr double critical_margin = 1e-6;
constexpr std::size_t posterior_models = compared_models - 1;

double observed_expected_m(const EventSeries& events, double threshold) {
    const std::vector<std::size_t> none(events.x.size(), 0);
    double sum = 0.0;
    for (const EventRow& row : event_rows(events, none, 1, threshold))
        sum += row.selection_probability;
    return sum;
}

double posterior_expected_m(const SeriesDraw& draw, double threshold) {
    double sum = 0.0;
    for (const PosteriorEvent& event : draw.events)
        sum += posterior_selection_probability(event, threshold);
    return sum;
}

// Whether the series of m selected times summing to `sum` has P < 0.05 as the study counts it.
bool below_05(const ComparisonAccumulator& acc, std::int32_t m, double sum) {
    const double u = std::fabs(stats::statistic_of_sum(acc.start, acc.end, m, sum));
    if (u > acc.critical.high) return true;
    if (u < acc.critical.low) return false;
    return as_counted(stats::one_sided_p(u)) < significance_05;  // near it, or not a number
}

ModelFigures finish_model(ComparisonAccumulator& acc, std::size_t k, std::size_t series) {
    ModelFigures figures = acc.figures[k];
    figures.mean_m = static_cast<double>(acc.m_total[k]) / static_cast<double>(series);
    figures.below_05 = share_of(acc.below_05[k], series);
    ValueSample& ratios = acc.ratios[k];
    figures.fits = ratios.count;
    constexpr std::array<double, 3> levels = {interval_tail, 0.5, 1.0 - interval_tail};
    std::vector<double> q = sample_quantiles(ratios, levels);
    if (!ratios.exact) {
        for (double& value : q)
            value = rate_ratio_per_decade(beta_of_position(value, acc.start, acc.end));
    }
    figures.ratio = {q[0], q[1], q[2]};
    return figures;
}

// The figures of the study's own pass.
ModelFigures study_figures(const Analysis& analysis) {
    const Summary& summary = analysis.summary;
    ModelFigures figures;
    figures.model = analysis.settings.error_model;
    figures.prior_scale = analysis.settings.prior_scale;
    figures.scale_factor = std::isinf(figures.prior_scale) ? infinite : 1.0;
    figures.expected_m = analysis.expected_m;
    std::uint64_t m_total = 0;
    for (std::size_t m = 0; m < summary.m_counts.size(); ++m)
        m_total += static_cast<std::uint64_t>(m) * summary.m_counts[m];
    figures.mean_m = static_cast<double>(m_total) / static_cast<double>(summary.series);
    figures.below_05 = share_of(summary.below_05, summary.series);
    figures.ratio = analysis.simulated_ratio;
    figures.fits = analysis.simulated_fits;
    return figures;
}

}  // namespace

ComparisonAccumulator begin_comparison(const EventSeries& events, const StudySettings& settings) {
    ComparisonAccumulator acc;
    acc.active = settings.error_model == ErrorModel::posterior && settings.draws_posterior();
    if (!acc.active) return acc;
    acc.threshold = settings.threshold;
    acc.start = settings.start;
    acc.end = settings.end;
    const double critical = critical_u(significance_05);
    acc.critical = {critical * (1.0 - critical_margin), critical * (1.0 + critical_margin)};
    acc.x = events.x;
    acc.sx = events.sx;
    acc.t = events.t;
    for (double t : events.t)
        acc.offset.push_back(t - settings.start);  // as relative_mean_position adds them

    acc.figures[0].scale_factor = infinite;
    acc.figures[0].prior_scale = infinite;
    acc.figures[0].expected_m = observed_expected_m(events, settings.threshold);
    acc.selection_deviates.resize(events.x.size() * posterior_models);
    std::size_t k = 1;
    for (double factor : prior_scale_factors) {
        if (factor == 1.0) continue;  // the study's own pass
        ModelFigures& figures = acc.figures[k];
        figures.model = ErrorModel::posterior;
        figures.scale_factor = factor;
        figures.prior_scale = factor * settings.prior_scale;
        const SeriesDraw draw = posterior_draw(events, settings.floor, figures.prior_scale);
        figures.expected_m = posterior_expected_m(draw, settings.threshold);
        for (std::size_t i = 0; i < draw.events.size(); ++i)
            acc.selection_deviates[i * posterior_models + k - 1] =
                selection_deviate(draw.events[i], settings.threshold);
        ++k;
    }
    for (ValueSample& ratios : acc.ratios)
        ratios = settings.exact_quantiles() ? exact_sample(settings.series)
                                            : binned_sample(-1.0, 1.0, position_bin_width);
    return acc;
}

void add_series(ComparisonAccumulator& acc, std::span<const double> deviates) {
    // Every model at once, the events in position order and without a branch: the counts and
    // both sums of the selected times, each started at +0.0 and given +0.0 by an event not
    // selected, which leaves it as it is, so that each equals bit for bit what the test and
    // the fit form from the selected times.
    std::array<std::uint64_t, compared_models> count{};
    std::array<double, compared_models> sum{};
    std::array<double, compared_models> offset_sum{};
    const double* const critical = acc.selection_deviates.data();
    for (std::size_t i = 0; i < deviates.size(); ++i) {
        const double z = deviates[i];
        std::array<std::uint64_t, compared_models> selected;
        selected[0] = acc.sx[i] * z + acc.x[i] >= acc.threshold;  // as the program moves them
        for (std::size_t k = 1; k < compared_models; ++k)
            selected[k] = z >= critical[i * posterior_models + k - 1];
        const auto t = std::bit_cast<std::uint64_t>(acc.t[i]);
        const auto offset = std::bit_cast<std::uint64_t>(acc.offset[i]);
        for (std::size_t k = 0; k < compared_models; ++k) {
            const std::uint64_t keep = 0 - selected[k];  // every bit, or none
            count[k] += selected[k];
            sum[k] += std::bit_cast<double>(t & keep);
            offset_sum[k] += std::bit_cast<double>(offset & keep);
        }
    }
    const double half = (acc.end - acc.start) / 2.0;
    for (std::size_t k = 0; k < compared_models; ++k) {
        const auto m = static_cast<std::int32_t>(count[k]);
        const auto selected = static_cast<double>(count[k]);
        acc.m_total[k] += static_cast<std::uint64_t>(m);
        if (below_05(acc, m, sum[k])) ++acc.below_05[k];
        if (m == 0) continue;  // no fit
        // relative_mean_position, from its sum.
        const double r = offset_sum[k] / selected / half - 1.0;
        ValueSample& ratios = acc.ratios[k];
        const double value =
            ratios.exact ? rate_ratio_per_decade(beta_of_position(r, acc.start, acc.end)) : r;
        if (!std::isnan(value)) add_value(ratios, value);
    }
}

void finish_comparison(ComparisonAccumulator& acc, Analysis& analysis) {
    const StudySettings& settings = analysis.settings;
    ErrorModelComparison& comparison = analysis.error_models;
    const ModelFigures study = study_figures(analysis);
    if (!acc.active) {
        // An infinite scale: the study's own pass is the observed model.
        ModelFigures observed = study;
        observed.model = ErrorModel::observed;
        comparison.models = {observed, study};
        comparison.prior_scales = {observed};
        return;
    }
    const ModelFigures observed = finish_model(acc, 0, settings.series);
    comparison.models = {observed, study};
    std::size_t next = 1;
    for (double factor : prior_scale_factors)
        comparison.prior_scales.push_back(
            factor == 1.0 ? study : finish_model(acc, next++, settings.series));
    comparison.prior_scales.push_back(observed);
}

}  // namespace zorvi::detail
