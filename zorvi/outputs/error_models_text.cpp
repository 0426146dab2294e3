// The summary's parts that the posterior error model adds: its settings, both models side by
// side with the prior scale's sensitivity row, and what the model assumes.
#include <cmath>

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

std::string figures_line(std::string label, const ModelFigures& figures) {
    const std::string lead = "  " + label;
    return lead + std::string(lead.size() < label_column ? label_column - lead.size() : 1, ' ') +
           padded_left(scale_text(figures.prior_scale), 9) +
           padded_left(fixed_text(figures.expected_m, 2), 12) +
           padded_left(fixed_text(figures.mean_m, 2), 8) +
           padded_left(percent(figures.below_05.share), 10) + "  " +
           padded_left(interval_text({100.0 * figures.below_05.interval.low,
                                      100.0 * figures.below_05.interval.high},
                                     2),
                       15) +
           padded_left(fixed_text(figures.ratio.median, 3), 8) + "  " +
           interval_text({figures.ratio.q025, figures.ratio.q975}, 3) + "\n";
}

std::string factor_label(const ModelFigures& figures) {
    if (std::isinf(figures.scale_factor)) return "inf, observed";
    return shortest_text(figures.scale_factor) + " theta";
}

}  // namespace

void add_error_model_rows(std::string& out, const Analysis& analysis) {
    const StudySettings& settings = analysis.settings;
    if (settings.error_model != ErrorModel::posterior) return;
    add_row(out, "Error model", "posterior: true magnitudes drawn given the observed ones");
    std::string floor = shortest_text(settings.floor);
    if (!settings.magnitude_unit.empty()) floor += " " + std::string(settings.magnitude_unit);
    add_row(out, "  floor L", floor);
    add_row(out, "  prior scale theta",
            std::isinf(settings.prior_scale) ? std::string("inf (the observed model)")
                                             : with_unit(settings.prior_scale, settings, 4));
}

void add_error_models_section(std::string& out, const Analysis& analysis) {
    const ErrorModelComparison& comparison = analysis.error_models;
    if (comparison.models.empty()) return;
    const std::string header =
        "  model              theta  expected m  mean m  P < 0.05  95 % interval (%)"
        "   ratio  2.5 to 97.5 %\n";
    out += "Error models side by side: the same " + std::to_string(analysis.summary.series) +
           " series of deviates, seed " + std::to_string(analysis.settings.seed) + "\n";
    out += header;
    for (const ModelFigures& figures : comparison.models)
        out += figures_line(std::string(error_model_name(figures.model)), figures);
    out += "Posterior model over the prior scale (theta: the study's prior scale)\n";
    out += header;
    for (const ModelFigures& figures : comparison.prior_scales)
        out += figures_line(factor_label(figures), figures);
    out += wrapped(
        "ratio: the median simulated rate ratio per decade; expected m: the sum of "
        "the events' selection probabilities under the model, in closed form.",
        table_width);
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
