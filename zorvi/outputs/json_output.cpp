// The summary as one JSON document. Each top-level section is built by one function from the
// analysis; a new section is one more function and one more entry in `sections`.
#include <array>
#include <cmath>
#include <nlohmann/json.hpp>

#include "driver/run_files.hpp"
#include "zorvi/outputs/outputs.hpp"
#include "zorvi/outputs/summary_text.hpp"
#include "zorvi/outputs/writers.hpp"
#include "zorvi/study/error_model.hpp"
#include "zorvi/text/messages.hpp"

namespace zorvi {
namespace {

// Keys keep the order in which they are added.
using Json = nlohmann::ordered_json;

// NaN and the infinities print as null.
Json estimate_json(const Estimate& estimate) {
    return {{"estimate", estimate.value},
            {"conf_low", estimate.interval.low},
            {"conf_high", estimate.interval.high}};
}

Json share_json(const Share& share) {
    return {{"count", share.count},
            {"of", share.of},
            {"share", share.share},
            {"conf_low", share.interval.low},
            {"conf_high", share.interval.high}};
}

Json share_json(std::size_t count, std::size_t of, const Interval& interval) {
    return share_json(
        {count, of, of == 0 ? not_a_number : static_cast<double>(count) / of, interval});
}

// A file name as the document carries it: bytes that are not UTF-8 become U+FFFD.
Json name_json(const std::string& name) {
    return detail::valid_utf8(name);
}

Json name_or_null(const std::string& name) {
    return name.empty() ? Json(nullptr) : name_json(name);
}

Json files_json(const Analysis&, const ReportNames& names) {
    return {{"results", name_json(names.results)},
            {"data", name_json(names.data)},
            {"figure", name_or_null(names.figure)}};
}

Json settings_json(const Analysis& analysis, const ReportNames&) {
    const StudySettings& settings = analysis.settings;
    return {{"events", analysis.events.size()},
            {"threshold", settings.threshold},
            {"start", settings.start},
            {"end", settings.end},
            {"series", settings.series},
            {"seed", settings.seed},
            {"quantiles", settings.exact_quantiles() ? "exact" : "histogram"}};
}

// The standard error given to the events without one, after the other settings: absent when
// none was given.
void add_given_error_settings(Json& json, const EventNotes& input) {
    if (std::isnan(input.given_error)) return;
    json["given_standard_error"] = input.given_error;
    json["events_given_standard_error"] = input.took_given_error;
}

// The posterior model's settings, after the others: absent under the observed model.
void add_error_model_settings(Json& json, const StudySettings& settings) {
    if (settings.error_model != ErrorModel::posterior) return;
    json["error_model"] = error_model_name(settings.error_model);
    json["floor"] = settings.floor;
    // An infinite scale, the observed model, is written as the string "inf".
    json["prior_scale"] =
        std::isinf(settings.prior_scale) ? Json("inf") : Json(settings.prior_scale);
}

Json model_figures_json(const ModelFigures& figures) {
    return {
        {"model", error_model_name(figures.model)},
        {"prior_scale", std::isinf(figures.prior_scale) ? Json("inf") : Json(figures.prior_scale)},
        {"scale_factor",
         std::isinf(figures.scale_factor) ? Json("inf") : Json(figures.scale_factor)},
        {"expected_m", figures.expected_m},
        {"mean_m", figures.mean_m},
        {"share_p_below_005", share_json(figures.below_05)},
        {"rate_ratio_per_decade",
         {{"median", figures.ratio.median},
          {"q025", figures.ratio.q025},
          {"q975", figures.ratio.q975},
          {"series", figures.fits}}}};
}

// Both error models side by side, and the prior scale's sensitivity row; absent under the
// observed model.
void add_error_models(Json& document, const Analysis& analysis) {
    const ErrorModelComparison& comparison = analysis.error_models;
    if (comparison.models.empty()) return;
    Json models = Json::array();
    for (const ModelFigures& figures : comparison.models)
        models.push_back(model_figures_json(figures));
    Json scales = Json::array();
    for (const ModelFigures& figures : comparison.prior_scales)
        scales.push_back(model_figures_json(figures));
    document["error_models"] = models;
    document["prior_scale_sensitivity"] = scales;
}

Json observed_tests_json(const Analysis& analysis) {
    Json tests = Json::array();
    for (const TestRow& row : analysis.tests) {
        Json test = {{"method", row.name.method},
                     {"alternative", row.name.alternative},
                     {"statistic", row.observed.statistic},
                     {"p_value", row.observed.p_value}};
        if (!row.name.estimate_of.empty()) {
            test["estimate_of"] = row.name.estimate_of;
            test["estimate"] = row.estimate.value;
            test["conf_low"] = row.estimate.interval.low;
            test["conf_high"] = row.estimate.interval.high;
        }
        tests.push_back(test);
    }
    return tests;
}

Json observed_json(const Analysis& analysis, const ReportNames&) {
    const Summary& summary = analysis.summary;
    const TrendFit& fit = analysis.observed_fit;
    return {{"m", summary.m},
            {"u", summary.u},
            {"p", summary.p},
            {"p_two_sided", analysis.tests[test_cox_lewis_two_sided].observed.p_value},
            {"beta_per_year", estimate_json({fit.beta, fit.beta_95})},
            {"rate_ratio_per_decade", estimate_json(analysis.tests[test_cox_lewis].estimate)},
            {"tests", observed_tests_json(analysis)},
            {"detectable_rate_ratio_per_decade", rate_ratio_per_decade(analysis.detectable_beta)},
            {"detection",
             {{"power", detection_power},
              {"significance", significance_05},
              {"method", exact_power(summary.m) ? "exact" : "normal approximation"}}}};
}

Json m_counts_json(const Summary& summary) {
    Json counts = Json::array();
    for (std::size_t m = 0; m < summary.m_counts.size(); ++m)
        if (summary.m_counts[m] != 0) counts.push_back({{"m", m}, {"series", summary.m_counts[m]}});
    return counts;
}

Json simulated_json(const Analysis& analysis, const ReportNames&) {
    const Summary& summary = analysis.summary;
    Json tests = Json::array();
    for (const TestRow& row : analysis.tests) {
        tests.push_back({{"method", row.name.method},
                         {"alternative", row.name.alternative},
                         {"share_p_below_005", share_json(row.simulated_below_05)}});
    }
    return {{"series", summary.series},
            {"without_event", summary.without_event},
            {"u",
             {{"mean", summary.u_mean},
              {"sd", summary.u_sd},
              {"q025", summary.u_q025},
              {"median", summary.u_median},
              {"q975", summary.u_q975}}},
            {"critical_u_005", summary.critical_u_05},
            {"share_p_below_005", share_json(summary.below_05, summary.series, summary.share_05)},
            {"share_p_below_010", share_json(summary.below_10, summary.series, summary.share_10)},
            {"m_counts", m_counts_json(summary)},
            {"rate_ratio_per_decade",
             {{"median", analysis.simulated_ratio.median},
              {"q025", analysis.simulated_ratio.q025},
              {"q975", analysis.simulated_ratio.q975},
              {"series", analysis.simulated_fits}}},
            {"tests", tests}};
}

Json expected_m_json(const Analysis& analysis, const ReportNames&) {
    return analysis.expected_m;
}

// Each event; its time also as written, when the times were ISO 8601 times, and its label,
// when the events have labels.
Json events_json(const Analysis& analysis, const ReportNames&) {
    const std::vector<std::string>& written = analysis.input.times_written;
    Json events = Json::array();
    for (std::size_t i = 0; i < analysis.events.size(); ++i) {
        const EventRow& row = analysis.events[i];
        Json event = {{"time", row.time}};
        if (!written.empty()) event["time_written"] = detail::valid_utf8(written[i]);
        if (!analysis.input.labels.empty()) event["label"] = analysis.input.labels[i];
        event["magnitude"] = row.magnitude;
        event["stderr"] = row.standard_error;
        event["selected_observed"] = row.selected_observed;
        event["selected_share"] = row.selected_share;
        event["selection_probability"] = row.selection_probability;
        events.push_back(std::move(event));
    }
    return events;
}

Json check_json(const Analysis& analysis, const ReportNames&) {
    const Summary& summary = analysis.summary;
    const Json first_line = summary.mismatches == 0
                                ? Json(nullptr)
                                : Json(driver::results_header_records + summary.first_mismatch + 1);
    return {{"records", summary.series},
            {"mismatches", summary.mismatches},
            {"first_mismatch_line", first_line}};
}

// One point of a sweep, placed by `place_key` ("threshold" or "start").
Json sweep_point_json(const SweepPoint& point, const char* place_key) {
    return {{place_key, std::string_view(place_key) == "threshold" ? point.threshold : point.start},
            {"observed_m", point.observed_m},
            {"observed_u", point.observed_u},
            {"observed_p", point.observed_p},
            {"share_p_below_005", point.share_05},
            {"share_conf_low", point.share_05_95.low},
            {"share_conf_high", point.share_05_95.high},
            {"p_q025", point.p_q025},
            {"p_median", point.p_median},
            {"p_q975", point.p_q975},
            {"series_without_event", point.without_event},
            {"phi", point.phi},
            {"quasi_poisson_p", point.quasi_poisson_p}};
}

Json sweeps_json(const Analysis& analysis, const ReportNames&) {
    const Sweeps& sweeps = analysis.sensitivity.sweeps;
    Json threshold = Json::array();
    for (const SweepPoint& point : sweeps.threshold)
        threshold.push_back(sweep_point_json(point, "threshold"));
    Json start = Json::array();
    for (const SweepPoint& point : sweeps.start)
        start.push_back(sweep_point_json(point, "start"));
    const Json json = {{"threshold", threshold}, {"start_year", start}};
    return json;
}

// A reason a check or test cannot be made, or null when it was made.
Json reason_json(const std::string& reason) {
    return reason.empty() ? Json(nullptr) : Json(reason);
}

Json bins_json(const BinnedCounts& counts, const DispersionCheck& check) {
    Json bins = Json::array();
    for (std::size_t k = 0; k < counts.counts.size(); ++k) {
        bins.push_back({{"start", counts.lower[k]},
                        {"end", counts.upper[k]},
                        {"exposure", counts.exposure[k]},
                        {"centre", counts.centre[k]},
                        {"count", counts.counts[k]},
                        {"fitted_mean", check.fitted.empty() ? not_a_number : check.fitted[k]}});
    }
    return bins;
}

Json clustered_test_json(std::size_t index, const ClusteredTrendTest& test) {
    Json json = {{"method", clustered_test_names[index]},
                 {"statistic", test.statistic},
                 {"p_value", test.p_value},
                 {"p_value_two_sided", test.p_value_two_sided}};
    if (index == test_quasi_poisson) {
        json["df"] = test.df;
        json["estimate"] = test.estimate;
        json["standard_error"] = test.standard_error;
    } else if (index == test_negative_binomial) {
        // An infinite size, the Poisson limit, is written as the string "inf".
        const auto size = [](double value) { return std::isinf(value) ? Json("inf") : Json(value); };
        json["size"] = size(test.size);
        json["size_without_trend"] = size(test.size_null);
        json["poisson_limit"] = test.poisson_limit;
    } else {
        json["permutations"] = test.permutations;
    }
    json["reason"] = reason_json(test.reason);
    return json;
}

Json clustering_json(const Analysis& analysis, const ReportNames&) {
    const Clustering& clustering = analysis.clustering;
    const DispersionCheck& check = clustering.observed;
    Json table = Json::array();
    for (std::size_t k = 0; k < tally_classes; ++k) {
        table.push_back({{"events", tally_labels[k]},
                         {"observed", check.observed_bins[k]},
                         {"expected", check.expected_bins[k]}});
    }
    Json tests = Json::array();
    for (std::size_t k = 0; k < clustered_test_count; ++k)
        tests.push_back(clustered_test_json(k, clustering.tests[k]));
    const SimulatedClustering& simulated = clustering.simulated;
    return {{"bin_width", analysis.settings.bin_width},
            {"bins", bins_json(clustering.counts, check)},
            {"observed",
             {{"reason", reason_json(check.reason)},
              {"events", check.events},
              {"beta_per_year", check.beta},
              {"standard_error", check.standard_error},
              {"pearson_chi2", check.pearson_chi2},
              {"df", check.df},
              {"phi", check.phi},
              {"p_value", check.p_value},
              {"autocorrelation_lag1", check.autocorrelation_lag1},
              {"table", table},
              {"tests", tests}}},
            {"simulated",
             {{"series_checked", simulated.checked},
              {"phi_median", simulated.phi.median},
              {"phi_q025", simulated.phi.q025},
              {"phi_q975", simulated.phi.q975},
              {"share_dispersed", share_json(simulated.dispersed)},
              {"share_quasi_poisson_p_below_005", share_json(simulated.quasi_poisson_below_05)}}}};
}

struct JsonSection {
    const char* key;
    Json (*build)(const Analysis&, const ReportNames&);
};

constexpr std::array<JsonSection, 9> sections = {{
    {"files", files_json},
    {"settings", settings_json},
    {"observed", observed_json},
    {"simulated", simulated_json},
    {"expected_m", expected_m_json},
    {"events", events_json},
    {"sweeps", sweeps_json},
    {"check", check_json},
    {"clustering", clustering_json},
}};

}  // namespace

std::string format_json(const Analysis& analysis, const ReportNames& names) {
    Json document = Json::object();
    for (const JsonSection& section : sections)
        document[section.key] = section.build(analysis, names);
    add_error_model_settings(document["settings"], analysis.settings);
    add_given_error_settings(document["settings"], analysis.input);
    add_error_models(document, analysis);
    return document.dump(2) + "\n";
}

}  // namespace zorvi
