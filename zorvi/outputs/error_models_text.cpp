// The summary's parts that the posterior error model adds: its settings, both models side by
// side with the prior scale's sensitivity row, and what the model assumes.
#include <cmath>
#include <utility>
#include <vector>

#include "zorvi/outputs/outputs.hpp"
#include "zorvi/outputs/summary_text.hpp"
#include "zorvi/study/error_model.hpp"

namespace zorvi::detail {
namespace {

constexpr std::size_t label_column = 16;
constexpr std::size_t table_width = 88;

std::string with_unit(double value, const StudySettings& settings, int decimals) {
    std::string text = fixed_text(value, decimals);
    if (!settings.magnitude_unit.empty()) {
        text += ' ';
        text += settings.magnitude_unit;
    }
    return text;
}

std::string scale_text(double scale) {
    return std::isinf(scale) ? std::string("inf") : fixed_text(scale, 2);
}

// The cells of one model's row: label, theta, expected m, mean m, the share with P < 0.05 and
// its interval in %, the median ratio and its 2.5 to 97.5 % range.
std::vector<std::string> figures_cells(std::string label, const ModelFigures& figures) {
    return {std::move(label),
            scale_text(figures.prior_scale),
            fixed_text(figures.expected_m, 2),
            fixed_text(figures.mean_m, 2),
            percent(figures.below_05.share),
            interval_text(
                {100.0 * figures.below_05.interval.low, 100.0 * figures.below_05.interval.high}, 2),
            fixed_text(figures.ratio.median, 3),
            interval_text({figures.ratio.q025, figures.ratio.q975}, 3)};
}

std::string figures_line(const std::vector<std::string>& cells) {
    const std::string lead = "  " + cells[0];
    return lead + std::string(lead.size() < label_column ? label_column - lead.size() : 1, ' ') +
           padded_left(cells[1], 9) + padded_left(cells[2], 12) + padded_left(cells[3], 8) +
           padded_left(cells[4], 10) + "  " + padded_left(cells[5], 15) + padded_left(cells[6], 8) +
           "  " + cells[7] + "\n";
}

std::vector<std::string> model_heads(std::string first) {
    return {std::move(first),    "theta", "expected m",   "mean m", "P < 0.05",
            "95 % interval (%)", "ratio", "2.5 to 97.5 %"};
}

std::string factor_label(const ModelFigures& figures) {
    if (std::isinf(figures.scale_factor)) return "inf, observed";
    return shortest_text(figures.scale_factor) + " theta";
}

}  // namespace

std::vector<LabelledRow> error_model_rows(const Analysis& analysis) {
    const StudySettings& settings = analysis.settings;
    if (settings.error_model != ErrorModel::posterior) return {};
    return {{"Error model", "posterior: true magnitudes drawn given the observed ones"},
            {"  floor L", shortest_text(settings.floor) + unit_suffix(settings)},
            {"  prior scale theta", std::isinf(settings.prior_scale)
                                        ? std::string("inf (the observed model)")
                                        : with_unit(settings.prior_scale, settings, 4)}};
}

SummaryTable error_models_table(const Analysis& analysis) {
    SummaryTable table{"Error models side by side: the same " +
                           std::to_string(analysis.summary.series) + " series of deviates, seed " +
                           std::to_string(analysis.settings.seed),
                       model_heads("model"),
                       {}};
    for (const ModelFigures& figures : analysis.error_models.models)
        table.rows.push_back(figures_cells(std::string(error_model_name(figures.model)), figures));
    return table;
}

SummaryTable prior_scale_table(const Analysis& analysis) {
    SummaryTable table{"Posterior model over the prior scale (theta: the study's prior scale)",
                       model_heads("prior scale"),
                       {}};
    for (const ModelFigures& figures : analysis.error_models.prior_scales)
        table.rows.push_back(figures_cells(factor_label(figures), figures));
    return table;
}

void add_error_models_section(std::string& out, const Analysis& analysis) {
    if (analysis.error_models.models.empty()) return;
    const std::string header =
        "  model              theta  expected m  mean m  P < 0.05  95 % interval (%)"
        "   ratio  2.5 to 97.5 %\n";
    for (const SummaryTable& table : {error_models_table(analysis), prior_scale_table(analysis)}) {
        out += table.title + "\n" + header;
        for (const std::vector<std::string>& row : table.rows)
            out += figures_line(row);
    }
    out += wrapped(error_models_legend, table_width);
}

std::string error_model_note() {
    return wrapped(
        "The posterior error model assumes that each magnitude's error is Gaussian with the "
        "given standard error, independent from event to event and of the true magnitude, and "
        "that the true magnitudes above the floor L follow an exponential distribution, "
        "density proportional to exp(-x / theta); each event's true magnitude given its "
        "observation x is then a normal of mean x - sx^2 / theta and deviation sx, truncated "
        "below at L, and its selection probability is that distribution's upper tail at the "
        "threshold. By default theta is the mean excess of the observed magnitudes over L, "
        "the estimate that would be exact for error-free magnitudes above a floor at L: it "
        "overstates theta by about the gap between L and the smallest true magnitude, and "
        "takes the catalogue as complete above L; the sensitivity row shows how much the "
        "figures depend on it. The model does not describe errors shared over an era (a "
        "change of practice that moves every magnitude of a decade together), the rounding of "
        "the magnitudes to 5 kt, or errors in the times.",
        table_width);
}

}  // namespace zorvi::detail
