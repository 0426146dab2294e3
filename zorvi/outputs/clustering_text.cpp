// The summary's section on clustering: is the Poisson model that every P-value assumes right
// for the selected events? Their counts in bins, the dispersion around the fitted trend, the
// trend tests that allow for clustering, the simulated series, and both sweeps.
#include <cmath>
#include <string>
#include <vector>

#include "zorvi/outputs/outputs.hpp"
#include "zorvi/outputs/summary_text.hpp"
#include "zorvi/outputs/writers.hpp"

namespace zorvi::detail {
namespace {

constexpr int phi_decimals = 2;
constexpr int chi2_decimals = 2;
constexpr int expected_decimals = 2;
constexpr int p_decimals = 4;  // as the sweep tables show P
constexpr std::size_t paragraph_width = 92;
constexpr std::size_t tally_label_width = 19;
constexpr std::size_t tally_width = 8;
constexpr std::size_t test_name_width = 19;
constexpr std::size_t number_column = 13;
constexpr std::size_t place_column = 11;
constexpr std::size_t m_column = 5;
constexpr std::size_t phi_column = 7;
constexpr std::size_t p_column = 17;

const Clustering& clustering_of(const Analysis& analysis) {
    return analysis.clustering;
}

bool check_made(const Analysis& analysis) {
    return clustering_of(analysis).observed.reason.empty();
}

std::string padded_to(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

// "P = 0.0021", or "P < 0.0001" where four decimals would show none.
std::string p_phrase(double p) {
    if (p < 0.00005) return "P < 0.0001";
    return "P = " + fixed_text(p, p_decimals);
}

// What a test that allows for clustering adds in words: its distribution or its size.
std::string test_note(std::size_t index, const ClusteredTrendTest& test) {
    if (!test.reason.empty()) return "not made: " + test.reason;
    if (index == test_quasi_poisson)
        return "t with " + shortest_text(test.df) + " df, beta " + statistic_text(test.estimate) +
               " per year";
    if (index == test_negative_binomial) {
        if (test.poisson_limit)
            return "the Poisson limit (no overdispersion): the Poisson likelihood-ratio test";
        return "size " + fixed_text(test.size, 2) + ", without the trend " +
               (std::isinf(test.size_null) ? std::string("infinite")
                                           : fixed_text(test.size_null, 2));
    }
    return std::to_string(test.permutations) + " permutations of the whole bins";
}

// The permutations leave a partial last bin out, and its events with it.
std::string permutation_note(const Clustering& clustering) {
    const ClusteredTrendTest& test = clustering.tests[test_permutation];
    const BinnedCounts& counts = clustering.counts;
    const BinLayout& layout = counts.layout;
    std::string note = test_note(test_permutation, test);
    if (!test.reason.empty() || layout.whole_bins == layout.bins) return note;
    const std::size_t left_out = counts.counts.back();
    return std::to_string(test.permutations) + " permutations of " +
           std::to_string(layout.whole_bins) + " whole bins; the partial last bin (" +
           std::to_string(left_out) + (left_out == 1 ? " event" : " events") + ") left out";
}

std::string bins_text(const Analysis& analysis) {
    const BinLayout& layout = clustering_of(analysis).counts.layout;
    std::string text = std::to_string(layout.bins);
    if (layout.whole_bins < layout.bins)
        text += ", the last " + fixed_text(layout.last_exposure, 3) + " of a bin long";
    return text + "; " + std::to_string(clustering_of(analysis).counts.events) + " events";
}

// One row of a sweep's clustering table: place, m, phi, the quasi-Poisson P, the Cox-Lewis P,
// note.
std::vector<std::string> sweep_clustering_cells(const ShownPoint& shown) {
    const SweepPoint& point = *shown.point;
    return {shown.place,
            std::to_string(point.observed_m),
            fixed_text(point.phi, phi_decimals),
            fixed_text(point.quasi_poisson_p, p_decimals),
            fixed_text(point.observed_p, p_decimals),
            shown.note};
}

std::vector<std::string> sweep_clustering_heads(std::string place) {
    return {std::move(place), "m", "phi", "quasi-Poisson P", "Cox-Lewis P", "note"};
}

std::string sweep_clustering_line(const std::vector<std::string>& cells, bool heads) {
    std::string line = padded_left(cells[0], place_column) + padded_left(cells[1], m_column) +
                       padded_left(cells[2], phi_column) + padded_left(cells[3], p_column) +
                       padded_left(cells[4], p_column);
    if (!heads && !cells[5].empty()) line += "   " + cells[5];
    return line + '\n';
}

void add_sweep_clustering(std::string& out, const SummaryTable& table) {
    out += table.title + "\n" + sweep_clustering_line(table.heads, true);
    for (const std::vector<std::string>& row : table.rows)
        out += sweep_clustering_line(row, false);
}

}  // namespace

std::string clustering_title(const Analysis& analysis) {
    const StudySettings& settings = analysis.settings;
    return "Clustering: the selected events counted in bins of " +
           shortest_text(settings.bin_width) + " from " + fixed_text(settings.start, 3);
}

std::vector<LabelledRow> clustering_rows(const Analysis& analysis) {
    const DispersionCheck& check = clustering_of(analysis).observed;
    if (!check_made(analysis)) return {{"  the check cannot be made", check.reason}};
    return {
        {"  bins", bins_text(analysis)},
        {"  dispersion phi", fixed_text(check.phi, phi_decimals) + "  (Pearson chi-square " +
                                 fixed_text(check.pearson_chi2, chi2_decimals) + " on " +
                                 shortest_text(check.df) + " df, " + p_phrase(check.p_value) + ")"},
        {"  lag-1 autocorrelation",
         statistic_text(check.autocorrelation_lag1) + "  (of the Pearson residuals, bin to bin)"}};
}

SummaryTable bin_tally_table(const Analysis& analysis) {
    const DispersionCheck& check = clustering_of(analysis).observed;
    SummaryTable table{"Bins by their number of events, observed and expected under the trend",
                       {"events in a bin"},
                       {{"observed bins"}, {"expected bins"}}};
    for (std::size_t k = 0; k < tally_classes; ++k) {
        table.heads.push_back(tally_labels[k]);
        table.rows[0].push_back(std::to_string(check.observed_bins[k]));
        table.rows[1].push_back(fixed_text(check.expected_bins[k], expected_decimals));
    }
    return table;
}

SummaryTable clustering_tests_table(const Analysis& analysis) {
    SummaryTable table{"Trend tests that allow for clustering, on the observed series",
                       {"test", "statistic", "P (rising)", "P two-sided", "note"},
                       {}};
    const Clustering& clustering = clustering_of(analysis);
    for (std::size_t k = 0; k < clustered_test_count; ++k) {
        const ClusteredTrendTest& test = clustering.tests[k];
        table.rows.push_back(
            {std::string(clustered_test_names[k]), statistic_text(test.statistic),
             statistic_text(test.p_value), statistic_text(test.p_value_two_sided),
             k == test_permutation ? permutation_note(clustering) : test_note(k, test)});
    }
    return table;
}

std::vector<LabelledRow> clustering_simulated_rows(const Analysis& analysis) {
    const SimulatedClustering& simulated = clustering_of(analysis).simulated;
    const Summary& summary = analysis.summary;
    const auto share = [](const Share& s) { return share_text(s.count, s.of, s.interval); };
    if (simulated.dispersed.of == 0)
        return {{"  simulated series", "not checked: " + clustering_of(analysis).observed.reason}};
    return {
        {"  simulated series: median phi",
         fixed_text(simulated.phi.median, phi_decimals) +
             "  (2.5 to 97.5 %: " + fixed_text(simulated.phi.q025, phi_decimals) + " to " +
             fixed_text(simulated.phi.q975, phi_decimals) + "; " +
             std::to_string(simulated.checked) + " series with a check)"},
        {"  overdispersed, P < 0.05", share(simulated.dispersed)},
        {"  quasi-Poisson P < 0.05", share(simulated.quasi_poisson_below_05)},
        {"  Cox-Lewis P < 0.05", share_text(summary.below_05, summary.series, summary.share_05)}};
}

std::string clustering_verdict(const Analysis& analysis) {
    const Clustering& clustering = clustering_of(analysis);
    const DispersionCheck& check = clustering.observed;
    if (!check_made(analysis))
        return "The check of clustering cannot be made: " + check.reason +
               ". The P-values above assume that the selected events form a Poisson process.";
    std::string text =
        "The counts vary " + fixed_text(check.phi, phi_decimals) +
        " times as much as a Poisson process with the fitted trend allows (phi; 1 for a "
        "Poisson process; " +
        p_phrase(check.p_value) + ")";
    if (check.p_value < significance_05) {
        text +=
            ": the events cluster, and the Cox-Lewis test and the other tests above, which "
            "assume a Poisson process, overstate the evidence for a trend.";
    } else {
        text += ", within what chance gives for " + std::to_string(check.bins) +
                " bins: the check finds no clustering (with " + std::to_string(check.events) +
                " events it can see only strong clustering).";
    }
    // Like with like: the rising P beside the program's P where the observed trend rises,
    // else the two-sided P beside the Cox-Lewis two-sided P.
    const auto& tests = clustering.tests;
    const bool rising = !(analysis.summary.u < 0.0);
    const auto p_of = [&](std::size_t k) {
        return fixed_text(rising ? tests[k].p_value : tests[k].p_value_two_sided, p_decimals);
    };
    text += std::string(" The tests that allow for clustering give ") +
            (rising ? "P = " : "two-sided P = ") + p_of(test_quasi_poisson) + " (quasi-Poisson), " +
            p_of(test_negative_binomial) + " (negative binomial) and " + p_of(test_permutation) +
            " (permutation), against the Cox-Lewis " +
            (rising ? "P = " + fixed_text(analysis.summary.p, p_decimals)
                    : "two-sided P = " +
                          fixed_text(analysis.tests[test_cox_lewis_two_sided].observed.p_value,
                                     p_decimals)) +
            ".";
    const SimulatedClustering& simulated = clustering.simulated;
    const Summary& summary = analysis.summary;
    const double cox_lewis_share = summary.series == 0 ? not_a_number
                                                       : static_cast<double>(summary.below_05) /
                                                             static_cast<double>(summary.series);
    text += " Over the simulated series " + percent(simulated.quasi_poisson_below_05.share) +
            " find a quasi-Poisson P < 0.05 (in the direction of their fitted trend, as the "
            "program's P) against " +
            percent(cox_lewis_share) + " with the Cox-Lewis test, and " +
            percent(simulated.dispersed.share) + " are themselves overdispersed at 0.05.";
    return text;
}

SummaryTable clustering_threshold_table(const Analysis& analysis) {
    SummaryTable table{"Clustering along the threshold, " + threshold_sweep_title(analysis),
                       sweep_clustering_heads("threshold"),
                       {}};
    for (const ShownPoint& shown : shown_threshold_points(analysis))
        table.rows.push_back(sweep_clustering_cells(shown));
    return table;
}

SummaryTable clustering_start_table(const Analysis& analysis) {
    SummaryTable table{"Clustering along the start, " + start_sweep_title(analysis),
                       sweep_clustering_heads("start"),
                       {}};
    for (const ShownPoint& shown : shown_start_points(analysis))
        table.rows.push_back(sweep_clustering_cells(shown));
    return table;
}

void add_clustering_section(std::string& out, const Analysis& analysis) {
    out += clustering_title(analysis) + "\n";
    for (const LabelledRow& row : clustering_rows(analysis))
        add_row(out, row.label, row.value);
    if (check_made(analysis)) {
        const SummaryTable tally = bin_tally_table(analysis);
        out += tally.title + "\n";
        for (const std::vector<std::string>* cells :
             {&tally.heads, &tally.rows[0], &tally.rows[1]}) {
            std::string line = "  " + padded_to((*cells)[0], tally_label_width);
            for (std::size_t k = 1; k < cells->size(); ++k)
                line += padded_left((*cells)[k], tally_width);
            out += line + "\n";
        }
    }
    const SummaryTable tests = clustering_tests_table(analysis);
    out += tests.title + "\n";
    const auto add_test_line = [&](const std::vector<std::string>& cells) {
        out += "  " + padded_to(cells[0], test_name_width) + padded_left(cells[1], number_column) +
               padded_left(cells[2], number_column) + padded_left(cells[3], number_column) +
               (cells[4].empty() ? "" : "   " + cells[4]) + "\n";
    };
    std::vector<std::string> heads = tests.heads;
    heads.back().clear();  // the notes need no head in the text
    add_test_line(heads);
    for (const std::vector<std::string>& row : tests.rows)
        add_test_line(row);
    for (const LabelledRow& row : clustering_simulated_rows(analysis))
        add_row(out, row.label, row.value);
    out += wrapped(clustering_verdict(analysis), paragraph_width);
    out += '\n';
    add_sweep_clustering(out, clustering_threshold_table(analysis));
    out += '\n';
    add_sweep_clustering(out, clustering_start_table(analysis));
}

}  // namespace zorvi::detail
