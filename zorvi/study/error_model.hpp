// The posterior error model. An observed magnitude already carries one draw of its error; where
// weak events far outnumber strong ones, an observation near the threshold is more often a
// weaker event measured high. The posterior model draws each event's true magnitude from its
// distribution given the observation, under an exponential population of true magnitudes above
// a floor L (density proportional to exp(-x / theta) for x >= L) and a Gaussian error of the
// event's standard error s: a normal of mean x - s^2 / theta and deviation s, truncated below
// at L. Each series uses the program's deviates in the program's order, one per event, mapped
// through that distribution's quantile (in a study, to the highest of its thresholds reached:
// ThresholdTable), so that both models on one seed differ only by the model.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zorvi/events/events.hpp"
#include "zorvi/statistics/truncated_normal.hpp"
#include "zorvi/study/analysis.hpp"
#include "zorvi/study/settings.hpp"

namespace zorvi {

// "observed" or "posterior".
std::string_view error_model_name(ErrorModel model);

// The default floor: the smallest magnitude, on whatever scale the magnitudes are.
double default_floor(const EventSeries& events);
// The default prior scale: the mean excess of the magnitudes over `floor`, the exponential
// scale's maximum-likelihood estimate were the magnitudes the true ones.
double estimated_prior_scale(const EventSeries& events, double floor);

// For the posterior model: sets the floor and the prior scale that `settings` leaves NaN from
// the data, and checks them (a finite floor at or below every magnitude, a positive scale; an
// infinite one is the observed model). Nothing to do for the observed model. False, with
// `error` naming the first event below the floor in `source`, and the settings as `names` do.
[[nodiscard]] bool resolve_error_model(const EventData& data, std::string_view source,
                                       StudySettings& settings, std::string& error,
                                       const ArgumentNames& names = command_line_names);

// What the posterior draw needs of one event (standard errors are checked not negative): its
// magnitude is x + s (y - shift), that is L + s (y - low), with y the standard normal
// truncated below at `low` = (L - x) / s + shift, shift = s / theta.
struct PosteriorEvent {
    double x = 0.0;
    double s = 0.0;  // the standard error
    double shift = 0.0;
    double low = 0.0;
    detail::TruncatedNormal truncated;  // at `low`
    double floor = 0.0;
};
// The posterior draw by thresholds. A study compares a simulated magnitude only with a few
// thresholds (its own and the threshold sweep's), and under the posterior model "true magnitude
// >= T" is exactly "deviate >= the event's selection deviate for T". So each deviate is handed
// on as the highest of those thresholds it reaches (just below the lowest when it reaches none)
// instead of the magnitude itself: every comparison the study makes comes out as with the mapped
// magnitude, up to its rounding, and no deviate needs the truncated normal's quantile.
struct ThresholdTable {
    std::vector<double> thresholds;  // ascending, distinct
    double below_all = 0.0;          // the magnitude that reaches none of them
    // [i * (thresholds.size() + 1) + j]: event i's selection deviate for threshold j, not
    // decreasing in j, then +inf; a deviate reaches the thresholds whose deviate is at most it.
    std::vector<double> deviates;
    // [i * table_cells + c]: how many of event i's deviates a deviate surely reaches in cell c
    // of an even grid over [-8, 8], from which a step or two finds the rest.
    std::vector<std::uint16_t> cells;
};
inline constexpr double table_grid_low = -8.0;  // cell 0: below it; the last: above its end
inline constexpr double table_cells_per_unit = 64.0;
inline constexpr std::size_t table_cells = 16 * 64 + 1;
// Beyond this many table entries (events x (thresholds + cells / 4)) the draw maps every
// deviate instead.
inline constexpr std::size_t max_threshold_table = std::size_t{1} << 22;

// How a study's series draw their magnitudes: the program's model, or the posterior one.
struct SeriesDraw {
    bool posterior = false;
    std::vector<PosteriorEvent> events;
    ThresholdTable table;  // empty: every deviate mapped to its magnitude
};
SeriesDraw posterior_draw(const EventSeries& events, double floor, double prior_scale);
// The draw of `settings`: the posterior one when it draws true magnitudes.
SeriesDraw series_draw(const EventSeries& events, const StudySettings& settings);

// The true magnitude of `event` at the program's deviate `z`.
double posterior_magnitude(const PosteriorEvent& event, double z);
// For a posterior `draw`: the table of the only thresholds its magnitudes are compared with,
// unless it would grow beyond max_threshold_table entries.
void add_threshold_table(SeriesDraw& draw, std::span<const double> thresholds);
// The next series' magnitudes under `draw`: one deviate per event in position order, as the
// program draws them; with a table, the highest threshold each reaches. For a posterior draw,
// `deviates`, unless empty, receives the deviates themselves.
void draw_series(const EventSeries& events, const SeriesDraw& draw, std::span<double> moved,
                 std::span<double> deviates = {});

// P(true magnitude >= threshold) under the posterior model, in closed form.
double posterior_selection_probability(const PosteriorEvent& event, double threshold);
// The lowest deviate at which the event's true magnitude reaches the threshold (the map from
// deviates to magnitudes increases): -inf when it always does, +inf when it never does.
double selection_deviate(const PosteriorEvent& event, double threshold);

}  // namespace zorvi

namespace zorvi::detail {

// The prior scales of the sensitivity row, as multiples of the study's; the observed model
// (an infinite scale) follows them.
inline constexpr std::array<double, 5> prior_scale_factors = {0.5, 0.75, 1.0, 1.5, 2.0};

// Both models side by side on the study's seed, and the posterior model over the prior scales,
// gathered in the study's own pass from the very deviates its series are drawn with: the
// observed model and the posterior model at every other scale of the sensitivity row.
inline constexpr std::size_t compared_models = prior_scale_factors.size();
struct ComparisonAccumulator {
    bool active = false;  // a posterior study with a finite scale
    double threshold = 0.0;
    double start = 0.0;
    double end = 0.0;
    Interval critical;  // |u| beyond: P < 0.05 surely; within: P itself decides
    // Per event: x, sx, t, t - start, and for models 1.. their selection deviates at
    // [i * (compared_models - 1) + k - 1]. Model 0 is the observed model.
    std::vector<double> x, sx, t, offset, selection_deviates;
    std::array<ModelFigures, compared_models> figures;
    std::array<std::uint64_t, compared_models> m_total{};
    std::array<std::size_t, compared_models> below_05{};
    // Exact: every rate ratio per decade. Binned: the relative mean position r.
    std::array<ValueSample, compared_models> ratios;
};
ComparisonAccumulator begin_comparison(const EventSeries& events, const StudySettings& settings);
// One series from its deviates, one per event in position order.
void add_series(ComparisonAccumulator& acc, std::span<const double> deviates);
// The comparison into `analysis`, which holds the study's own figures under the posterior
// model (the study's scale), reused as they are.
void finish_comparison(ComparisonAccumulator& acc, Analysis& analysis);

}  // namespace zorvi::detail
