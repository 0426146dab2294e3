// The posterior error model: its truncated normal far into the tails, each event's closed-form
// selection probability against a long study, the limit of an infinite prior scale, the
// comparison on common random numbers, and the refused values of its options.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <numbers>
#include <stop_token>
#include <string>
#include <vector>

#include "random/random.hpp"
#include "report_test_support.hpp"
#include "zorvi/statistics/truncated_normal.hpp"
#include "zorvi/study/error_model.hpp"
#include "zorvi/zorvi.hpp"

namespace {

namespace fs = std::filesystem;
using namespace zorvi::testing;
using namespace zorvi;

// ln(1 - Phi(x)) from the standard library's erfc, and beyond x = 30 from the asymptotic
// series, which is accurate to about 1e-10 there.
double reference_log_upper_tail(double x) {
    if (x < 30.0) return std::log(0.5 * std::erfc(x / std::numbers::sqrt2));
    const double r = 1.0 / (x * x);
    return -0.5 * x * x - std::log(x * std::sqrt(2.0 * std::numbers::pi)) +
           std::log1p(r * (-1.0 + r * (3.0 + r * (-15.0 + r * 105.0))));
}

TEST(ErrorModel, TruncatedNormalHoldsItsTailsFarOut) {
    for (double x : {-8.0, -1.0, 0.0, 2.5, 12.0, 29.0, 31.0, 45.0, 200.0, 1e4})
        EXPECT_NEAR(detail::log_upper_tail(x), reference_log_upper_tail(x),
                    1e-12 * (1.0 + std::fabs(reference_log_upper_tail(x))))
            << x;
    // Each point keeps the deviate's upper tail within the truncated distribution:
    // P(Y > y | Y >= a) = 1 - Phi(z), to about 1e-12 of its logarithm, however far out.
    const std::vector<double> lows = {-40.0, -5.0, -0.3, 0.0, 1.5, 8.0, 36.0, 39.0, 80.0, 1e3};
    const std::vector<double> deviates = {-7.5, -2.0, -0.01, 0.0, 0.7, 3.0, 7.5};
    for (double a : lows) {
        double previous = -std::numeric_limits<double>::infinity();
        for (double z : deviates) {
            const double y = detail::truncated_normal_point(a, z);
            ASSERT_TRUE(std::isfinite(y)) << a << " " << z;
            EXPECT_GE(y, a);
            EXPECT_GE(y, previous) << "not increasing in z at a = " << a;
            previous = y;
            const double tail = reference_log_upper_tail(y) - reference_log_upper_tail(a);
            const double wanted = reference_log_upper_tail(z);
            EXPECT_NEAR(tail, wanted, 1e-9 * (1.0 + std::fabs(wanted)) + 1e-12 * std::fabs(a * a))
                << "a = " << a << ", z = " << z;
            // The inverse map gives the deviate back where y is not crowded against a.
            if (a <= 8.0 && z >= -2.0) {
                EXPECT_NEAR(detail::truncated_normal_deviate(detail::truncated_normal(a), y), z,
                            1e-9 * (1.0 + std::fabs(z)))
                    << "a = " << a << ", z = " << z;
            }
            // The closed-form tail at the point gives the deviate's tail back.
            EXPECT_NEAR(std::log(detail::truncated_upper_tail(a, y)), wanted,
                        1e-9 * (1.0 + std::fabs(wanted)));
        }
    }
    EXPECT_EQ(detail::truncated_normal_point(-std::numeric_limits<double>::infinity(), 1.25), 1.25);
    EXPECT_EQ(detail::truncated_upper_tail(3.0, 2.0), 1.0);
}

StudyControl without_series() {
    StudyControl control;
    control.keep_series = false;
    return control;
}

StudySettings posterior_settings(std::size_t series, double prior_scale) {
    StudySettings settings;
    settings.series = series;
    settings.error_model = ErrorModel::posterior;
    settings.prior_scale = prior_scale;
    return settings;
}

// At the program's threshold on the shipped table: every event's share of 10^5 series agrees
// with its closed-form selection probability within binomial noise, and so does the mean m
// with the expected m. Shares and counts are exact either way: the quantiles come from
// histograms, which spares keeping and sorting every series' P at every sweep point.
TEST(ErrorModel, SelectionSharesFollowTheClosedForm) {
    const EventData data = read_events(shipped_csv);
    const std::size_t n = 100000;
    StudySettings settings = posterior_settings(n, not_a_number);
    settings.exact_limit = 0;
    const Study study = run_study(data, settings, without_series());
    const Analysis& analysis = study.analysis;
    // The smallest landfall is 65 kt: the floor, and the mean excess over it, 1430 / 60 kt.
    EXPECT_EQ(analysis.settings.floor, 65.0);
    EXPECT_NEAR(analysis.settings.prior_scale, 1430.0 / 60.0, 1e-12);
    // On another scale the floor is the smallest magnitude as well, not a whole unit below it.
    const std::vector<double> t = {1990, 2000, 2010}, x = {5.6, 6.2, 7.1}, s = {0.2, 0.2, 0.2};
    StudySettings quakes = posterior_settings(20, not_a_number);
    quakes.threshold = 6;
    const Study small = run_study(events_from(t, x, s), quakes);
    EXPECT_EQ(small.analysis.settings.floor, 5.6);
    EXPECT_NEAR(small.analysis.settings.prior_scale, (0.6 + 1.5) / 3, 1e-12);
    double variance = 0.0;
    double expected = 0.0;
    bool some_undecided = false;
    for (const EventRow& row : analysis.events) {
        const double p = row.selection_probability;
        const double sd = std::sqrt(p * (1.0 - p) / static_cast<double>(n));
        EXPECT_NEAR(row.selected_share, p, 5.0 * sd + 1e-12) << "event at " << row.time;
        some_undecided = some_undecided || (p > 0.05 && p < 0.95);
        variance += p * (1.0 - p);
        expected += p;
    }
    EXPECT_TRUE(some_undecided);
    EXPECT_DOUBLE_EQ(analysis.expected_m, expected);
    const ModelFigures& posterior = analysis.error_models.models.at(1);
    EXPECT_NEAR(posterior.mean_m, expected, 5.0 * std::sqrt(variance / static_cast<double>(n)));
    // Fewer events than the observed model selects: the double counting is gone.
    EXPECT_LT(posterior.expected_m, analysis.error_models.models.at(0).expected_m);
}

// The comparison's observed model is the program's own run, deviate for deviate; a prior
// scale of 10^12 gives it back within the simulation's noise (only the truncation at the
// floor tells them apart), and --prior-scale inf exactly.
TEST(ErrorModel, ObservedModelAndTheInfiniteScaleLimit) {
    const EventData data = read_events(shipped_csv);
    const std::size_t n = 2000;
    const Study observed = run_study(data, StudySettings{});
    const Study far = run_study(data, posterior_settings(n, 1e12), without_series());
    const Study infinite = run_study(data, posterior_settings(n, INFINITY), without_series());

    const ModelFigures& comparison_observed = far.analysis.error_models.models.at(0);
    EXPECT_EQ(comparison_observed.below_05.count, observed.analysis.summary.below_05);
    EXPECT_EQ(comparison_observed.ratio.median, observed.analysis.simulated_ratio.median);
    EXPECT_EQ(comparison_observed.expected_m, observed.analysis.expected_m);
    EXPECT_EQ(far.analysis.error_models.prior_scales.back().below_05.count,
              observed.analysis.summary.below_05);

    const Summary& a = far.analysis.summary;
    const Summary& b = observed.analysis.summary;
    const double share = static_cast<double>(b.below_05) / static_cast<double>(n);
    EXPECT_NEAR(static_cast<double>(a.below_05) / static_cast<double>(n), share,
                2.0 * std::sqrt(share * (1.0 - share) / static_cast<double>(n)));
    double variance = 0.0;  // of m under the observed model
    for (const EventRow& row : observed.analysis.events)
        variance += row.selection_probability * (1.0 - row.selection_probability);
    const double m_noise = 2.0 * std::sqrt(variance / static_cast<double>(n));
    EXPECT_NEAR(far.analysis.expected_m, observed.analysis.expected_m, m_noise);
    EXPECT_NEAR(far.analysis.error_models.models.at(1).mean_m,
                far.analysis.error_models.models.at(0).mean_m, m_noise);
    EXPECT_NEAR(far.analysis.simulated_ratio.median, observed.analysis.simulated_ratio.median,
                0.02);

    EXPECT_EQ(infinite.analysis.summary.below_05, b.below_05);
    EXPECT_EQ(infinite.analysis.summary.m_counts, b.m_counts);
    EXPECT_EQ(infinite.analysis.error_models.prior_scales.size(), 1u);
}

// Every row of the prior-scale sensitivity, gathered in the study's one pass (the study's own
// scale from its table of thresholds, the others from their selection deviates), equals a
// plain second pass over the same deviates: each series drawn again from the seed, each
// model's magnitudes moved as the program moves them or mapped through its truncated normal,
// selected, tested and fitted one model at a time. With exact and with binned quantiles; and a
// stop request ends a posterior study as it goes.
TEST(ErrorModel, OnePassEqualsASecondPassOverTheSameDeviates) {
    const EventData data = read_events(shipped_csv);
    const EventSeries& events = data.events;
    const std::size_t n = events.x.size();
    for (const std::size_t exact_limit : {exact_quantile_limit, std::size_t{100}}) {
        StudySettings asked = posterior_settings(1500, not_a_number);
        asked.threshold = 100.0;
        asked.exact_limit = exact_limit;
        const Study study = run_study(data, asked, without_series());
        const StudySettings& settings = study.analysis.settings;
        const std::vector<ModelFigures>& rows = study.analysis.error_models.prior_scales;
        ASSERT_EQ(rows.size(), 6u);

        std::vector<SeriesDraw> draws;
        std::vector<std::uint64_t> m_total(rows.size(), 0);
        std::vector<std::size_t> below(rows.size(), 0);
        std::vector<ValueSample> ratios;
        for (const ModelFigures& row : rows) {
            if (std::isfinite(row.prior_scale))
                draws.push_back(posterior_draw(events, settings.floor, row.prior_scale));
            else
                draws.emplace_back();
            ratios.push_back(settings.exact_quantiles() ? exact_sample(settings.series)
                                                        : binned_sample(-1.0, 1.0, 0.00002));
        }
        start_generator(settings.seed);
        std::vector<double> z(n);
        std::vector<double> moved(n);
        std::vector<double> selected;
        for (std::size_t k = 0; k < settings.series; ++k) {
            for (double& deviate : z)
                random::gasdev(deviate);
            for (std::size_t j = 0; j < rows.size(); ++j) {
                for (std::size_t i = 0; i < n; ++i)
                    moved[i] = draws[j].posterior ? posterior_magnitude(draws[j].events[i], z[i])
                                                  : events.sx[i] * z[i] + events.x[i];
                const TrendTest test = select_and_test(events.t, moved, settings, selected);
                m_total[j] += static_cast<std::uint64_t>(test.m);
                below[j] += as_counted(test.p) < significance_05 ? 1 : 0;
                const std::span<const double> times(selected.data(),
                                                    static_cast<std::size_t>(test.m));
                const double value =
                    ratios[j].exact
                        ? rate_ratio_per_decade(fit_beta(times, settings.start, settings.end))
                        : relative_mean_position(times, settings.start, settings.end);
                if (!std::isnan(value)) add_value(ratios[j], value);
            }
        }
        for (std::size_t j = 0; j < rows.size(); ++j) {
            SCOPED_TRACE("exact limit " + std::to_string(exact_limit) + ", row " +
                         std::to_string(j));
            EXPECT_EQ(rows[j].mean_m, static_cast<double>(m_total[j]) / 1500.0);
            EXPECT_EQ(rows[j].below_05.count, below[j]);
            EXPECT_EQ(rows[j].fits, ratios[j].count);
            const std::vector<double> q = sample_quantiles(ratios[j], std::vector{0.5});
            EXPECT_EQ(rows[j].ratio.median, ratios[j].exact
                                                ? q[0]
                                                : rate_ratio_per_decade(beta_of_position(
                                                      q[0], settings.start, settings.end)));
        }
    }

    std::stop_source stop;
    StudyControl control = without_series();
    control.stop = stop.get_token();
    std::size_t calls = 0;
    control.progress = [&](std::size_t, std::size_t) {
        if (++calls == 2) stop.request_stop();
    };
    EXPECT_THROW(run_study(data, posterior_settings(max_series, not_a_number), control), Stopped);
    EXPECT_EQ(calls, 2u);
}

// The default and --error-model observed write the same bytes; the posterior model adds its
// rows, keys, table and panel.
TEST(ErrorModel, OutputsOfEachModel) {
    TempDir dir;
    const std::vector<std::string> study = {
        "--data", shipped_csv.string(), "--threshold", "96", "--series", "300", "--csv", "tables"};
    std::vector<std::string> observed = study;
    observed.insert(observed.end(), {"--error-model", "observed"});
    const ProcessResult plain = report_in(dir.path, study);
    ASSERT_EQ(plain.status, 0) << plain.err;
    const std::string figure = read_file(dir.path / "Zorvireport.svg");
    const std::string events = read_file(dir.path / "tables" / "events.csv");
    const ProcessResult same = report_in(dir.path, observed);
    ASSERT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.out, plain.out);
    EXPECT_EQ(read_file(dir.path / "Zorvireport.svg"), figure);
    EXPECT_EQ(read_file(dir.path / "tables" / "events.csv"), events);
    EXPECT_FALSE(fs::exists(dir.path / "tables" / "error_models.csv"));

    std::vector<std::string> posterior = study;
    posterior.insert(posterior.end(), {"--error-model", "posterior", "--json"});
    const ProcessResult json = report_in(dir.path, posterior);
    ASSERT_EQ(json.status, 0) << json.err;
    const nlohmann::json document = nlohmann::json::parse(json.out);
    EXPECT_EQ(document["settings"]["error_model"], "posterior");
    EXPECT_EQ(document["settings"]["floor"], 65.0);
    EXPECT_EQ(document["error_models"].size(), 2u);
    EXPECT_EQ(document["error_models"][0]["model"], "observed");
    EXPECT_EQ(document["prior_scale_sensitivity"].size(), 6u);
    EXPECT_EQ(document["prior_scale_sensitivity"][5]["prior_scale"], "inf");
    EXPECT_NE(read_file(dir.path / "Zorvireport.svg").find("panel-prior-scale-share"),
              std::string::npos);
    const std::string table = read_file(dir.path / "tables" / "error_models.csv");
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 9);
    // Regression: the comparison's name was written as TRUE, a literal taken for a truth value.
    EXPECT_NE(table.find("\nmodels,observed,"), std::string::npos) << table;
    EXPECT_NE(table.find("\nprior_scale,posterior,"), std::string::npos) << table;
}

TEST(ErrorModel, RefusedValuesSayWhatIsAllowed) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string message;
        std::string data = "d.dat";
    };
    const std::string usage = "\nRun with --help for the options.\n";
    const std::string positive =
        "--prior-scale: the prior scale must be a positive number, or inf for the observed "
        "model\n";
    const std::vector<Case> cases = {
        {{"--error-model", "prior"},
         2,
         "--error-model: 'prior' is not an error model; use observed or posterior" + usage},
        {{"--floor", "60"}, 2, "--floor applies to --error-model posterior only" + usage},
        {{"--error-model", "observed", "--prior-scale", "9"},
         2,
         "--prior-scale applies to --error-model posterior only" + usage},
        {{"--error-model", "posterior", "--prior-scale", "nan"},
         2,
         "--prior-scale: the prior scale 'nan' is not a decimal number (such as 20.5 or inf)" +
             usage},
        {{"--error-model", "posterior", "--floor", "low"},
         2,
         "--floor: the floor 'low' is not a decimal number (such as 64 or 6.5)" + usage},
        {{"--error-model", "posterior", "--prior-scale", "-3"}, 1, positive},
        {{"--error-model", "posterior", "--prior-scale", "0"}, 1, positive},
        {{"--error-model", "posterior", "--floor", "-1e999"},
         1,
         "--floor: the floor must be a finite number\n"},
        {{"--error-model", "posterior", "--floor", "95"},
         1,
         "d.dat, line 3 (event 3): the magnitude 90 lies below the floor 95; the posterior "
         "model needs every magnitude at or above it (--floor X sets it)\n"},
        {{"--error-model", "posterior", "--floor", "120"},
         1,
         "--prior-scale: the mean excess of the magnitudes over the floor 120 is 0, not a "
         "positive finite number; give the prior scale with --prior-scale X\n",
         "top.dat"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        write_file(dir.path / "d.dat", "1990.5 100 5\n2000.5 120 5\n2010.5 90 5\n");
        write_file(dir.path / "top.dat", "1990.5 120 5\n2000.5 120 5\n");
        std::vector<std::string> arguments = {"--data", c.data};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const ProcessResult result = report_in(dir.path, arguments);
        EXPECT_EQ(result.status, c.status) << c.message;
        EXPECT_EQ(result.err, "zorvi-report: " + c.message);
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(fs::exists(dir.path / "study-results.dat")) << c.message;
    }
}

}  // namespace
