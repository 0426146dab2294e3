// The check of clustering in a study: the observed series' counts, their dispersion and the
// trend tests that allow for it; every simulated series' dispersion and quasi-Poisson decision
// in the study's one pass; and the observed check at every point of the sweeps.
#include <cmath>

#include "zorvi/study/internal.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi {
namespace {

// Beyond the exact quantiles' limit, phi in bins of this width up to the limit (the last bin
// holds every larger phi).
constexpr double phi_bin_width = 0.001;
constexpr double phi_limit = 100.0;
constexpr std::array<double, 3> quantile_levels = {interval_tail, 0.5, 1.0 - interval_tail};

// Why a width gives no bins to count in: the settings allow any other failure no further.
std::string too_many_bins(const StudySettings& settings) {
    return "more than " + std::to_string(max_bins) + " bins of width " +
           detail::shortest_text(settings.bin_width) + " in the interval";
}

// The observed check at one sweep point: phi and the quasi-Poisson P of `times` in the bins of
// `decider`.
void check_point(DispersionDecider& decider, std::span<const double> times, SweepPoint& point) {
    const SeriesDispersion check = decide_dispersion(decider, times);
    point.phi = check.phi;
    const std::size_t bins = decider.layout.bins;
    if (bins >= min_bins_for_check)
        point.quasi_poisson_p = own_direction_p(check.t, static_cast<double>(bins - 2));
}

DispersionDecider decider_from(const StudySettings& settings, double start) {
    return make_dispersion_decider(bin_layout(start, settings.end, settings.bin_width));
}

}  // namespace

void detail::analyse_observed_clustering(std::span<const double> times,
                                         const StudySettings& settings, Clustering& clustering) {
    const BinLayout layout = bin_layout(settings.start, settings.end, settings.bin_width);
    if (layout.bins == 0) {
        clustering.observed.reason = too_many_bins(settings);
        for (ClusteredTrendTest& test : clustering.tests)
            test.reason = clustering.observed.reason;
        return;
    }
    clustering.counts = count_in_bins(times, layout);
    clustering.observed = check_dispersion(clustering.counts);
    clustering.tests[test_quasi_poisson] = quasi_poisson_test(clustering.observed);
    clustering.tests[test_negative_binomial] = negative_binomial_test(clustering.counts);
    clustering.tests[test_permutation] =
        permutation_test(clustering.counts, default_permutations, settings.seed);
}

detail::ClusteringAccumulator detail::begin_clustering(const StudySettings& settings) {
    ClusteringAccumulator acc;
    acc.decider = decider_from(settings, settings.start);
    acc.phi = settings.exact_quantiles() ? exact_sample(settings.series)
                                         : binned_sample(0.0, phi_limit, phi_bin_width);
    return acc;
}

void detail::add_series(ClusteringAccumulator& acc, std::span<const double> times) {
    const SeriesDispersion check = decide_dispersion(acc.decider, times);
    if (!std::isnan(check.phi)) add_value(acc.phi, check.phi);
    acc.dispersed += check.dispersed ? 1u : 0u;
    acc.quasi_poisson_below += check.quasi_poisson_below ? 1u : 0u;
}

void detail::finish_clustering(ClusteringAccumulator& acc, std::size_t series,
                               Clustering& clustering) {
    SimulatedClustering& simulated = clustering.simulated;
    simulated.checked = acc.phi.count;
    const std::vector<double> q = sample_quantiles(acc.phi, quantile_levels);
    simulated.phi = {q[0], q[1], q[2]};
    // Too few bins for any check: no share at all, rather than none of the series.
    const std::size_t of = acc.decider.layout.bins >= min_bins_for_check ? series : 0;
    simulated.dispersed = share_of(acc.dispersed, of);
    simulated.quasi_poisson_below_05 = share_of(acc.quasi_poisson_below, of);
}

void detail::check_sweeps_clustering(const EventSeries& events, const StudySettings& settings,
                                     Sweeps& sweeps) {
    std::vector<double> times;
    DispersionDecider at_start = decider_from(settings, settings.start);
    for (SweepPoint& point : sweeps.threshold) {
        times.clear();
        for (std::size_t i = 0; i < events.t.size(); ++i)
            if (events.x[i] >= point.threshold) times.push_back(events.t[i]);
        check_point(at_start, times, point);
    }
    for (SweepPoint& point : sweeps.start) {
        times.clear();
        for (std::size_t i = 0; i < events.t.size(); ++i)
            if (events.x[i] >= settings.threshold &&
                (point.start == settings.start || events.t[i] >= point.start))
                times.push_back(events.t[i]);
        DispersionDecider decider = decider_from(settings, point.start);
        check_point(decider, times, point);
    }
}

}  // namespace zorvi
