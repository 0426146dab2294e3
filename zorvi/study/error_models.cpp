// Both error models side by side on one seed: a second pass over the very same deviates of the
// program's generator, each series' deviates mapped through the observed model and through the
// posterior model at every prior scale of the sensitivity row, selected and tested.
#include <cmath>
#include <cstdint>

#include "random/random.hpp"
#include "zorvi/statistics/distributions.hpp"
#include "zorvi/study/error_model.hpp"
#include "zorvi/study/internal.hpp"

namespace zorvi::detail {
namespace {

constexpr double infinite = std::numeric_limits<double>::infinity();
// A binned sample of the relative mean position r in [-1, 1], as in the study's own pass.
constexpr double position_bin_width = 0.00002;

// One model of the second pass and what it gathers.
struct ModelPass {
    ModelFigures figures;
    // The posterior model: each event's selection deviate, selected when its deviate reaches
    // it. None: the observed model, which moves the magnitudes as the program does.
    std::vector<double> selection_deviates;
    std::uint64_t m_total = 0;
    std::size_t below_05 = 0;
    // Exact: every rate ratio per decade. Binned: the relative mean position r.
    ValueSample ratios;
};

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

ModelPass begin_model(const EventSeries& events, const StudySettings& settings, double factor) {
    ModelPass pass;
    ModelFigures& figures = pass.figures;
    figures.scale_factor = factor;
    if (std::isinf(factor)) {
        figures.prior_scale = infinite;
        figures.expected_m = observed_expected_m(events, settings.threshold);
    } else {
        figures.model = ErrorModel::posterior;
        figures.prior_scale = factor * settings.prior_scale;
        const SeriesDraw draw = posterior_draw(events, settings.floor, figures.prior_scale);
        figures.expected_m = posterior_expected_m(draw, settings.threshold);
        for (const PosteriorEvent& event : draw.events)
            pass.selection_deviates.push_back(selection_deviate(event, settings.threshold));
    }
    pass.ratios = settings.exact_quantiles() ? exact_sample(settings.series)
                                             : binned_sample(-1.0, 1.0, position_bin_width);
    return pass;
}

// Only the selection at the study's threshold matters here: under the posterior model an event
// is selected when its deviate reaches its selection deviate, which spares mapping every
// deviate to a magnitude; `moved` then holds the margin, selected at 0.
void add_series(ModelPass& pass, const EventSeries& events, const StudySettings& settings,
                const StudySettings& by_margin, std::span<const double> deviates,
                std::vector<double>& moved, std::vector<double>& selected) {
    const bool posterior = !pass.selection_deviates.empty();
    if (posterior) {
        for (std::size_t i = 0; i < deviates.size(); ++i)
            moved[i] = deviates[i] - pass.selection_deviates[i];
    } else {
        for (std::size_t i = 0; i < deviates.size(); ++i)
            moved[i] = events.sx[i] * deviates[i] + events.x[i];  // as the program moves them
    }
    const TrendTest test =
        select_and_test(events.t, moved, posterior ? by_margin : settings, selected);
    pass.m_total += static_cast<std::uint64_t>(test.m);
    if (as_counted(test.p) < significance_05) ++pass.below_05;
    const auto times = std::span<const double>(selected).first(static_cast<std::size_t>(test.m));
    const double value = pass.ratios.exact
                             ? rate_ratio_per_decade(fit_beta(times, settings.start, settings.end))
                             : relative_mean_position(times, settings.start, settings.end);
    if (!std::isnan(value)) add_value(pass.ratios, value);
}

ModelFigures finish_model(ModelPass& pass, const StudySettings& settings) {
    ModelFigures figures = pass.figures;
    const auto series = static_cast<double>(settings.series);
    figures.mean_m = static_cast<double>(pass.m_total) / series;
    figures.below_05 = share_of(pass.below_05, settings.series);
    figures.fits = pass.ratios.count;
    constexpr std::array<double, 3> levels = {interval_tail, 0.5, 1.0 - interval_tail};
    std::vector<double> q = sample_quantiles(pass.ratios, levels);
    if (!pass.ratios.exact) {
        for (double& value : q)
            value = rate_ratio_per_decade(beta_of_position(value, settings.start, settings.end));
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

void compare_error_models(const EventSeries& events, Analysis& analysis) {
    const StudySettings& settings = analysis.settings;
    ErrorModelComparison& comparison = analysis.error_models;
    const ModelFigures study = study_figures(analysis);
    if (!settings.draws_posterior()) {
        // An infinite scale: the study's own pass is the observed model.
        ModelFigures observed = study;
        observed.model = ErrorModel::observed;
        comparison.models = {observed, study};
        comparison.prior_scales = {observed};
        return;
    }

    std::vector<ModelPass> passes;
    passes.push_back(begin_model(events, settings, infinite));
    for (double factor : prior_scale_factors)
        if (factor != 1.0) passes.push_back(begin_model(events, settings, factor));

    const std::size_t n = events.x.size();
    std::vector<double> deviates(n);
    std::vector<double> moved(n);
    std::vector<double> selected;
    StudySettings by_margin = settings;
    by_margin.threshold = 0.0;
    start_generator(settings.seed);
    for (std::size_t k = 0; k < settings.series; ++k) {
        for (double& z : deviates)
            random::gasdev(z);
        for (ModelPass& pass : passes)
            add_series(pass, events, settings, by_margin, deviates, moved, selected);
    }

    std::vector<ModelFigures> others;
    for (ModelPass& pass : passes)
        others.push_back(finish_model(pass, settings));
    const ModelFigures& observed = others.front();
    comparison.models = {observed, study};
    std::size_t next = 1;
    for (double factor : prior_scale_factors)
        comparison.prior_scales.push_back(factor == 1.0 ? study : others[next++]);
    comparison.prior_scales.push_back(observed);
}

}  // namespace zorvi::detail
