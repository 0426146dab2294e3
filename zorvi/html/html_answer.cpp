// The answer in plain words, at the top of the HTML report: what the observed series shows,
// how far that holds when the magnitudes move within their errors, how large the trend is,
// what the other tests say and whether the events cluster. Every number is written by the
// summary's own functions.
#include <cmath>
#include <string>
#include <vector>

#include "zorvi/html/html_impl.hpp"
#include "zorvi/statistics/trend.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi::detail {
namespace {

// The level the tests are read at, and the shares of the simulated series at which the
// answer reads as robust: nearly all series (or nearly none) agree with the observed one.
constexpr double level = 0.05;
constexpr double nearly_all = 0.95;
constexpr double nearly_none = 0.05;

std::string direction(double u) {
    if (u > 0) return "a rising rate";
    if (u < 0) return "a falling rate";
    return "no trend either way";
}

std::string selection(const Analysis& analysis) {
    const StudySettings& settings = analysis.settings;
    return "magnitude at least " + shortest_text(settings.threshold) + unit_suffix(settings) +
           " within " + shortest_text(settings.start) + " to " + shortest_text(settings.end);
}

std::string observed_paragraph(const Analysis& analysis) {
    const Summary& summary = analysis.summary;
    const std::string events = std::to_string(analysis.events.size());
    if (summary.m == 0 || std::isnan(summary.u))
        return "Of the " + events + " events, none has " + selection(analysis) +
               ": the observed series has no event to test.";
    return "Of the " + events + " events, m = " + std::to_string(summary.m) + " have " +
           selection(analysis) + ". The Cox-Lewis test gives u = " + statistic_text(summary.u) +
           ", " + direction(summary.u) + ", with one-sided P = " + statistic_text(summary.p) +
           (summary.p < level ? ": below 0.05." : ": not below 0.05.");
}

// What the share of simulated series with P < 0.05 says about the observed answer.
std::string robustness_verdict(double observed_p, double share) {
    if (observed_p < level) {
        if (share >= nearly_all)
            return "Nearly every series keeps P below 0.05: the finding is robust to the "
                   "magnitude errors.";
        if (share < 0.5) return "Most series lose it: the finding depends on the magnitude errors.";
        return "Most series keep it, but not nearly all.";
    }
    if (share <= nearly_none)
        return "Hardly any series reaches it: that the test finds no trend at 0.05 does not "
               "depend on the magnitude errors.";
    if (share >= 0.5) return "Most series reach it: the answer depends on the magnitude errors.";
    return "A minority of the series reaches it: the observed answer holds in most series, not "
           "in all.";
}

std::string robustness_paragraph(const Analysis& analysis) {
    const Summary& summary = analysis.summary;
    const bool posterior = analysis.settings.draws_posterior();
    std::string text = posterior ? "With each true magnitude drawn given its observation"
                                 : "With each magnitude moved by a Gaussian deviate scaled with "
                                   "its standard error";
    text += ", P < 0.05 in " + share_text(summary.below_05, summary.series, summary.share_05) +
            " of the simulated series; their median u is " + statistic_text(summary.u_median) + ".";
    if (summary.m == 0 || std::isnan(summary.p) || summary.series == 0) return text;
    const double share = static_cast<double>(summary.below_05) / summary.series;
    return text + " " + robustness_verdict(summary.p, share);
}

std::string size_paragraph(const Analysis& analysis) {
    const std::string detectable = ratio_text(rate_ratio_per_decade(analysis.detectable_beta));
    const Estimate& ratio = analysis.tests[test_cox_lewis].estimate;
    return "The rate fitted to the observed series changes by a factor of " +
           ratio_text(ratio.value) + " per decade (95 % profile interval " +
           ratio_interval_text(ratio.interval) +
           "); with m = " + std::to_string(analysis.summary.m) +
           " events the test would find a factor of " + detectable +
           " per decade with probability 0.8 at 0.05.";
}

std::string test_name(const TestRow& row) {
    return std::string(row.name.method) + " (" + std::string(row.name.alternative) + ")";
}

// "A", "A and B", "A, B and C".
std::string listed(const std::vector<std::string>& items) {
    std::string out;
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (k > 0) out += k + 1 == items.size() ? " and " : ", ";
        out += items[k];
    }
    return out;
}

std::string other_tests_paragraph(const Analysis& analysis) {
    std::string text = "The other tests:";
    std::vector<std::string> below;
    std::vector<std::string> not_below;
    for (std::size_t k = 0; k < analysis.tests.size(); ++k) {
        if (k == test_cox_lewis) continue;
        const TestRow& row = analysis.tests[k];
        text += (below.size() + not_below.size() == 0 ? " " : "; ") + test_name(row) +
                " P = " + statistic_text(row.observed.p_value);
        if (std::isnan(row.observed.p_value)) continue;
        (row.observed.p_value < level ? below : not_below).push_back(test_name(row));
    }
    text += ".";
    if (below.empty() && not_below.empty()) return text;
    const bool observed_below = analysis.summary.p < level;
    const std::vector<std::string>& differ = observed_below ? not_below : below;
    if (differ.empty()) return text + " They agree with the one-sided Cox-Lewis test at 0.05.";
    return text + " " + listed(differ) + (differ.size() == 1 ? " gives" : " give") +
           (observed_below ? " P of 0.05 or more" : " P below 0.05") +
           ", unlike the one-sided Cox-Lewis test.";
}

}  // namespace

std::vector<std::string> answer_paragraphs(const Analysis& analysis) {
    std::vector<std::string> paragraphs = {observed_paragraph(analysis),
                                           robustness_paragraph(analysis)};
    if (analysis.summary.m > 0 && !std::isnan(analysis.detectable_beta))
        paragraphs.push_back(size_paragraph(analysis));
    paragraphs.push_back(other_tests_paragraph(analysis));
    paragraphs.push_back(clustering_verdict(analysis));
    return paragraphs;
}

}  // namespace zorvi::detail
