// The clustering checks against R: the dispersion of the binned counts, the quasi-Poisson and
// negative binomial trend tests on the shipped data, the negative binomial's Poisson limit, the
// permutation test against its exact distribution, and the refused inputs.
#include <gtest/gtest.h>

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/students_t.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stop_token>
#include <string>
#include <vector>

#include "report_test_support.hpp"
#include "zorvi/zorvi.hpp"

namespace {

using namespace zorvi::testing;

constexpr double start = 1980.417;
constexpr double end = 2018.917;

std::vector<double> shipped_times_at(double threshold) {
    const zorvi::EventData data = zorvi::read_events(shipped_csv);
    std::vector<double> times;
    for (std::size_t i = 0; i < data.events.t.size(); ++i)
        if (data.events.x[i] >= threshold) times.push_back(data.events.t[i]);
    return times;
}

std::vector<double> times_of(std::initializer_list<double> times) {
    return times;
}

// To 6 significant digits, and more: the fits agree with R to rounding of its tolerance.
void expect_close(double actual, double expected, const char* what) {
    EXPECT_NEAR(actual, expected, 2e-7 * std::fabs(expected)) << what;
}

// R 4.2.2 with MASS 7.3, on data/us-hurricane-landfalls-1980-2018.csv:
//   A <- 1980.417; B <- 2018.917; K <- ceiling(B - A)
//   lo <- A + 0:(K-1); hi <- pmin(A + 1:K, B); exposure <- hi - lo; centre <- (lo + hi) / 2
//   t <- d$time_decimal_year[d$max_wind_kt >= threshold]
//   y <- tabulate(pmin(floor(t - A), K - 1) + 1, K)
//   ctl <- glm.control(epsilon = 1e-14, maxit = 100)
//   fit <- glm(y ~ centre + offset(log(exposure)), family = poisson, control = ctl)
//   x2 <- sum(residuals(fit, "pearson")^2); pchisq(x2, df.residual(fit), lower.tail = FALSE)
//   acf(residuals(fit, "pearson"), plot = FALSE)$acf[2]
//   sum(dpois(0, fitted(fit))), sum(dpois(1, ...)), sum(dpois(2, ...)),
//   sum(ppois(2, fitted(fit), lower.tail = FALSE))
//   qp <- glm(y ~ centre + offset(log(exposure)), family = quasipoisson, control = ctl)
//   tq <- coef(summary(qp))[2, 3]; pt(tq, 37, lower.tail = FALSE); 2 * pt(-abs(tq), 37)
//   nb1 <- glm.nb(y ~ centre + offset(log(exposure)), control = ctl)
//   nb0 <- glm.nb(y ~ 1 + offset(log(exposure)), control = ctl)
//   a <- anova(nb0, nb1); a[2, "LR stat."]; a[2, "Pr(Chi)"]
//   pnorm(sign(coef(nb1)[2]) * sqrt(a[2, "LR stat."]), lower.tail = FALSE)
struct RReference {
    double threshold;
    double chi2, dispersion_p, autocorrelation, beta, standard_error;
    double expected_0, expected_1, expected_2, expected_3;
    double t, t_p, t_p_two_sided, qp_standard_error;
    double lr, lr_p, lr_p_two_sided, nb_beta, nb_standard_error, size, size_null;
};
constexpr RReference r_reference[] = {
    {64,
     66.71948915,
     0.001957158386,
     0.2204796498,
     0.00709737328778,
     0.0116415035797,
     8.490457768,
     12.81605896,
     9.813842958,
     7.879640319,  //
     0.4540075524,
     0.3262377291,
     0.6524754582,
     0.0156327207543,  //
     0.2812470756,
     0.2979425009,
     0.5958850019,
     0.00807553008248,
     0.0149360436055,
     2.332796223,
     2.302944332},
    {102,         66.83001548,   0.001903517614, 0.3235105593,    0.0585614325184, 0.0305486003201,
     29.83132236, 7.594607238,   1.347920622,    0.2261497768,     //
     1.426380709, 0.08107119812, 0.1621423962,   0.0410559622419,  //
     2.124480047, 0.07248098329, 0.1449619666,   0.0680228385358, 0.0453366235271, 0.2231204814,
     0.1674196532},
    {113,         43.19818338,   0.2235111491, 0.04562043931,   0.065881034904,  0.0425703910128,
     33.61491363, 4.823388648,   0.5124145443, 0.04928318129,    //
     1.432256803, 0.08023253442, 0.1604650688, 0.0459980603891,  //
     2.250303908, 0.06679408221, 0.1335881644, 0.0627731104116, 0.0445667324121, 1.213878143,
     0.5138110746},
};

TEST(Clustering, ShippedDataAgreeWithR) {
    for (const RReference& r : r_reference) {
        SCOPED_TRACE(r.threshold);
        const std::vector<double> times = shipped_times_at(r.threshold);
        const zorvi::DispersionCheck check = zorvi::dispersion(times, start, end);
        ASSERT_EQ(check.reason, "");
        EXPECT_EQ(check.bins, 39u);
        EXPECT_EQ(check.df, 37.0);
        expect_close(check.pearson_chi2, r.chi2, "chi2");
        expect_close(check.phi, r.chi2 / 37, "phi");
        expect_close(check.p_value, r.dispersion_p, "dispersion P");
        expect_close(check.autocorrelation_lag1, r.autocorrelation, "autocorrelation");
        expect_close(check.beta, r.beta, "beta");
        expect_close(check.standard_error, r.standard_error, "standard error");
        const double expected[] = {r.expected_0, r.expected_1, r.expected_2, r.expected_3};
        for (std::size_t k = 0; k < zorvi::tally_classes; ++k)
            expect_close(check.expected_bins[k], expected[k], zorvi::tally_labels[k]);

        const zorvi::ClusteredTrendTest qp = zorvi::quasi_poisson_trend(times, start, end);
        expect_close(qp.statistic, r.t, "t");
        EXPECT_EQ(qp.df, 37.0);
        expect_close(qp.p_value, r.t_p, "quasi-Poisson P");
        expect_close(qp.p_value_two_sided, r.t_p_two_sided, "quasi-Poisson two-sided P");
        expect_close(qp.standard_error, r.qp_standard_error, "quasi-Poisson standard error");

        const zorvi::ClusteredTrendTest nb = zorvi::negative_binomial_trend(times, start, end);
        ASSERT_EQ(nb.reason, "");
        EXPECT_FALSE(nb.poisson_limit);
        expect_close(nb.statistic, r.lr, "likelihood ratio");
        expect_close(nb.p_value, r.lr_p, "negative binomial P");
        expect_close(nb.p_value_two_sided, r.lr_p_two_sided, "negative binomial two-sided P");
        expect_close(nb.estimate, r.nb_beta, "negative binomial beta");
        expect_close(nb.standard_error, r.nb_standard_error, "negative binomial standard error");
        expect_close(nb.size, r.size, "size");
        expect_close(nb.size_null, r.size_null, "size without the trend");
    }
    // The observed bins with 0, 1, 2 and >= 3 events (R: table(pmin(y, 3))).
    const zorvi::DispersionCheck at_102 = zorvi::dispersion(shipped_times_at(102), start, end);
    EXPECT_EQ(at_102.observed_bins, (std::array<std::size_t, 4>{33, 3, 1, 2}));
}

// Counts closer to even than a Poisson process gives: the likelihood rises with the size
// towards the Poisson model, and the test is the Poisson likelihood-ratio test. R:
//   y <- c(1, 1, 2, 1, 1, 1, 2, 1, 2, 2); centre <- 0:9 + 0.5
//   anova(glm(y ~ 1, poisson), glm(y ~ centre, poisson), test = "LRT")$Deviance[2]
//   # 0.4255626204; glm.nb(y ~ centre) stops with "iteration limit reached", theta 181700
// A plain second implementation of the dispersion check: the counts in bins as R makes them,
// the Poisson fit by iteratively reweighted least squares, P from Boost's distributions.
struct PlainCheck {
    bool made = false;
    double phi = 0.0;
    bool dispersed = false;
    bool quasi_poisson_below = false;  // P in the direction of the trend
};

PlainCheck plain_check(const std::vector<double>& times) {
    constexpr std::size_t bins = 39;
    std::vector<double> y(bins, 0.0), exposure(bins), centre(bins);
    for (std::size_t k = 0; k < bins; ++k) {
        const double low = start + static_cast<double>(k);
        const double high = std::min(low + 1.0, end);
        exposure[k] = high - low;
        centre[k] = (low + high) / 2.0 - (start + end) / 2.0;
    }
    for (double t : times)
        y[std::min<std::size_t>(static_cast<std::size_t>(std::floor(t - start)), bins - 1)] += 1;
    const double n = static_cast<double>(times.size());
    PlainCheck out;
    if (times.empty() || y.front() == n || y.back() == n) return out;
    double alpha = std::log(n / 38.5), beta = 0.0;
    double w = 0, wx = 0, wxx = 0;
    std::vector<double> mu(bins);
    for (int step = 0; step < 100; ++step) {
        double wz = 0, wxz = 0;
        w = wx = wxx = 0;
        for (std::size_t k = 0; k < bins; ++k) {
            mu[k] = exposure[k] * std::exp(alpha + beta * centre[k]);
            const double z = alpha + beta * centre[k] + (y[k] - mu[k]) / mu[k];
            w += mu[k], wx += mu[k] * centre[k], wxx += mu[k] * centre[k] * centre[k];
            wz += mu[k] * z, wxz += mu[k] * centre[k] * z;
        }
        const double det = w * wxx - wx * wx;
        const double next_alpha = (wxx * wz - wx * wxz) / det;
        const double next_beta = (w * wxz - wx * wz) / det;
        const bool settled =
            std::fabs(next_beta - beta) < 1e-15 && std::fabs(next_alpha - alpha) < 1e-13;
        alpha = next_alpha, beta = next_beta;
        if (settled) break;
    }
    double chi2 = 0;
    for (std::size_t k = 0; k < bins; ++k) {
        mu[k] = exposure[k] * std::exp(alpha + beta * centre[k]);
        chi2 += (y[k] - mu[k]) * (y[k] - mu[k]) / mu[k];
    }
    const double df = bins - 2;
    const double standard_error = std::sqrt(w / (w * wxx - wx * wx));
    const double t = beta / (standard_error * std::sqrt(chi2 / df));
    out.made = true;
    out.phi = chi2 / df;
    out.dispersed = cdf(complement(boost::math::chi_squared(df), chi2)) < 0.05;
    out.quasi_poisson_below = cdf(complement(boost::math::students_t(df), std::fabs(t))) < 0.05;
    return out;
}

// Every simulated series of the shipped study checked again by the plain implementation: the
// same shares, the same median phi. The sweeps' main point is the observed check itself.
TEST(Clustering, SimulatedSharesAgreeWithAPlainImplementation) {
    const zorvi::EventData data = zorvi::read_events(shipped_csv);
    zorvi::StudySettings settings;
    zorvi::StudyControl control;
    control.keep_series = false;
    const zorvi::Analysis analysis = zorvi::run_study(data, settings, control).analysis;
    const zorvi::SimulatedMagnitudes simulated = simulate_magnitudes(data.events, settings);
    std::size_t dispersed = 0, below = 0;
    std::vector<double> phis;
    for (std::size_t k = 0; k < settings.series; ++k) {
        const auto magnitudes = series_magnitudes(simulated, k);
        std::vector<double> times;
        for (std::size_t i = 0; i < magnitudes.size(); ++i)
            if (magnitudes[i] >= settings.threshold) times.push_back(data.events.t[i]);
        const PlainCheck check = plain_check(times);
        if (!check.made) continue;
        phis.push_back(check.phi);
        dispersed += check.dispersed;
        below += check.quasi_poisson_below;
    }
    const zorvi::SimulatedClustering& clustering = analysis.clustering.simulated;
    EXPECT_EQ(clustering.checked, phis.size());
    EXPECT_EQ(clustering.dispersed.count, dispersed);
    EXPECT_EQ(clustering.quasi_poisson_below_05.count, below);
    EXPECT_EQ(clustering.dispersed.of, settings.series);
    std::sort(phis.begin(), phis.end());
    EXPECT_NEAR(clustering.phi.median, zorvi::quantile_of_sorted(phis, 0.5), 1e-9);
    EXPECT_NEAR(clustering.phi.q025, zorvi::quantile_of_sorted(phis, 0.025), 1e-9);
    EXPECT_NEAR(clustering.phi.q975, zorvi::quantile_of_sorted(phis, 0.975), 1e-9);

    const zorvi::Clustering& observed = analysis.clustering;
    for (const zorvi::SweepPoint& point : analysis.sensitivity.sweeps.threshold) {
        if (point.threshold != settings.threshold) continue;
        EXPECT_EQ(point.phi, observed.observed.phi);
        const zorvi::ClusteredTrendTest& qp = observed.tests[zorvi::test_quasi_poisson];
        EXPECT_EQ(point.quasi_poisson_p, qp.p_value);  // a rising trend: the one-sided P
    }
}

TEST(Clustering, NegativeBinomialWithoutOverdispersionIsThePoissonLimit) {
    const std::vector<int> counts = {1, 1, 2, 1, 1, 1, 2, 1, 2, 2};
    std::vector<double> times;
    for (std::size_t k = 0; k < counts.size(); ++k)
        for (int j = 0; j < counts[k]; ++j)
            times.push_back(static_cast<double>(k) + 0.25 + 0.5 * j);
    const zorvi::ClusteredTrendTest nb = zorvi::negative_binomial_trend(times, 0, 10);
    ASSERT_EQ(nb.reason, "");
    EXPECT_TRUE(nb.poisson_limit);
    EXPECT_EQ(nb.size, std::numeric_limits<double>::infinity());
    EXPECT_EQ(nb.size_null, std::numeric_limits<double>::infinity());
    expect_close(nb.statistic, 0.4255626204, "Poisson likelihood ratio");
    const zorvi::DispersionCheck check = zorvi::dispersion(times, 0, 10);
    EXPECT_LT(check.phi, 1.0);
    expect_close(nb.estimate, check.beta, "the Poisson fit's beta");
    expect_close(nb.standard_error, check.standard_error, "the Poisson fit's standard error");
}

// Six whole bins and a half bin: the permutation P against the exact P over every distinct
// arrangement of the whole bins' counts, each as likely under permutation; the partial bin's
// event is left out.
TEST(Clustering, PermutationPIsNearItsExactValue) {
    const std::vector<int> counts = {0, 1, 0, 2, 0, 1};
    std::vector<double> times = {6.25};  // in the half bin [6, 6.5)
    for (std::size_t k = 0; k < counts.size(); ++k)
        for (int j = 0; j < counts[k]; ++j)
            times.push_back(static_cast<double>(k) + 0.5);
    const auto index_sum = [](const std::vector<int>& y) {
        int sum = 0;
        for (std::size_t k = 0; k < y.size(); ++k)
            sum += static_cast<int>(k) * y[k];
        return sum;
    };
    const int observed = index_sum(counts);
    const int centre2 = 5 * 4;  // (K_w - 1) times the events: twice the mean of the sum
    std::vector<int> arrangement = counts;
    std::sort(arrangement.begin(), arrangement.end());
    int all = 0, as_large = 0, as_far = 0;
    do {
        ++all;
        as_large += index_sum(arrangement) >= observed;
        as_far +=
            std::abs(2 * index_sum(arrangement) - centre2) >= std::abs(2 * observed - centre2);
    } while (std::next_permutation(arrangement.begin(), arrangement.end()));
    ASSERT_EQ(all, 60);

    const zorvi::ClusteredTrendTest test = zorvi::permutation_trend(times, 0, 6.5);
    EXPECT_EQ(test.permutations, 9999u);
    EXPECT_EQ(test.statistic, 1.5 + 2 * 3.5 + 5.5);    // sum c_k y_k over the whole bins
    const double error = 4 * std::sqrt(0.25 / 10000);  // four standard errors at most
    EXPECT_NEAR(test.p_value, static_cast<double>(as_large) / all, error);
    EXPECT_NEAR(test.p_value_two_sided, static_cast<double>(as_far) / all, error);
    // Its own generator: the same seed gives the same P, another seed another draw.
    EXPECT_EQ(zorvi::permutation_trend(times, 0, 6.5).p_value, test.p_value);
    EXPECT_NE(zorvi::permutation_trend(times, 0, 6.5, 1, 9999, 7).p_value, test.p_value);

    // Looked at between blocks of 65536 / 3 permutations (three bins have events), without a
    // change to the draws; a stop requested ends the test at the next look.
    std::vector<std::size_t> looks;
    std::stop_source stop;
    zorvi::PermutationControl control{[&](std::size_t done, std::size_t total) {
                                          looks.push_back(done);
                                          EXPECT_EQ(total, 100000u);
                                      },
                                      stop.get_token()};
    EXPECT_EQ(zorvi::permutation_trend(times, 0, 6.5, 1, 100000, 1, control).p_value,
              zorvi::permutation_trend(times, 0, 6.5, 1, 100000, 1).p_value);
    EXPECT_EQ(looks, (std::vector<std::size_t>{21845, 43690, 65535, 87380}));
    control.progress = [&](std::size_t, std::size_t) { stop.request_stop(); };
    try {
        zorvi::permutation_trend(times, 0, 6.5, 1, 100000, 1, control);
        ADD_FAILURE() << "a stopped permutation test returned";
    } catch (const zorvi::Stopped& stopped) {
        EXPECT_STREQ(stopped.what(),
                     "the permutation test was stopped after 21845 of 100000 permutations");
    }
}

TEST(Clustering, BinsAndTheChecksThatCannotBeMade) {
    // A bin of the exact width from an edge; an event at the end in the last bin.
    const zorvi::BinnedCounts bins = zorvi::binned_counts(times_of({0.0, 1.0, 2.5, 2.5}), 0, 2.5);
    EXPECT_EQ(bins.counts, (std::vector<std::size_t>{1, 1, 2}));
    EXPECT_EQ(bins.exposure, (std::vector<double>{1, 1, 0.5}));
    EXPECT_EQ(bins.centre, (std::vector<double>{0.5, 1.5, 2.25}));
    // A ratio within rounding of a whole number: no sliver of a last bin.
    EXPECT_EQ(zorvi::binned_counts({}, 0.1, 0.7, 0.2).counts.size(), 3u);
    EXPECT_EQ(zorvi::binned_counts({}, start, end, 0.5).exposure.back(), 1.0);

    struct Unmade {
        std::vector<double> times;
        double end;
        const char* reason;
    };
    const Unmade unmade[] = {
        {{0.5, 1.5}, 2, "fewer than 3 bins"},
        {{}, 10, "no selected event"},
        {{0.1, 0.7},
         10,
         "the Poisson fit has no finite maximum: every event lies in the first or "
         "in the last bin"},
    };
    for (const Unmade& u : unmade) {
        SCOPED_TRACE(u.reason);
        const zorvi::DispersionCheck check = zorvi::dispersion(u.times, 0, u.end);
        EXPECT_EQ(check.reason, u.reason);
        EXPECT_TRUE(std::isnan(check.phi));
        EXPECT_EQ(zorvi::quasi_poisson_trend(u.times, 0, u.end).reason, u.reason);
        EXPECT_EQ(zorvi::negative_binomial_trend(u.times, 0, u.end).reason, u.reason);
        EXPECT_TRUE(std::isnan(zorvi::quasi_poisson_trend(u.times, 0, u.end).p_value));
    }
}

TEST(Clustering, RefusedInputs) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::string bins =
        " must be a finite positive number that gives 2 to 1000000 bins over "
        "the interval 0 to 10";
    struct Refused {
        double width;
        const char* text;  // as the message shows it
    };
    const Refused refused[] = {
        {0, "0"},        {-1, "-1"}, {nan, "NaN"}, {inf, "Infinity"}, {10, "10"},  // one bin
        {1e-6, "1e-06"},                                                           // 10^7 bins
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.text);
        try {
            (void)zorvi::dispersion(times_of({1.0}), 0, 10, r.width);
            ADD_FAILURE() << "not refused";
        } catch (const zorvi::Error& error) {
            EXPECT_EQ(error.what(), "the bin width " + std::string(r.text) + bins);
        }
    }
    EXPECT_EQ(zorvi::binned_counts({}, 0, 10, 6).counts.size(), 2u);  // the fewest allowed
    EXPECT_THROW((void)zorvi::quasi_poisson_trend(times_of({11.0}), 0, 10),
                 zorvi::Error);  // outside
    EXPECT_THROW((void)zorvi::permutation_trend(times_of({1.0}), 0, 10, 1, 0), zorvi::Error);
}

}  // namespace
