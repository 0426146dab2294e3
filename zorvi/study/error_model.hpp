// The posterior error model. An observed magnitude already carries one draw of its error; where
// weak events far outnumber strong ones, an observation near the threshold is more often a
// weaker event measured high. The posterior model draws each event's true magnitude from its
// distribution given the observation, under an exponential population of true magnitudes above
// a floor L (density proportional to exp(-x / theta) for x >= L) and a Gaussian error of the
// event's standard error s: a normal of mean x - s^2 / theta and deviation s, truncated below
// at L. Each series uses the program's deviates in the program's order, one per event, mapped
// through that distribution's quantile, so that both models on one seed differ only by the
// model.
#pragma once

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

// The default floor: the smallest magnitude rounded down to a whole unit.
double default_floor(const EventSeries& events);
// The default prior scale: the mean excess of the magnitudes over `floor`, the exponential
// scale's maximum-likelihood estimate were the magnitudes the true ones.
double estimated_prior_scale(const EventSeries& events, double floor);

// For the posterior model: sets the floor and the prior scale that `settings` leaves NaN from
// the data, and checks them (a finite floor at or below every magnitude, a positive scale; an
// infinite one is the observed model). Nothing to do for the observed model. False, with
// `error` naming the first event below the floor in `source`.
[[nodiscard]] bool resolve_error_model(const EventData& data, std::string_view source,
                                       StudySettings& settings, std::string& error);

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
// How a study's series draw their magnitudes: the program's model, or the posterior one.
struct SeriesDraw {
    bool posterior = false;
    std::vector<PosteriorEvent> events;
};
SeriesDraw posterior_draw(const EventSeries& events, double floor, double prior_scale);
// The draw of `settings`: the posterior one when it draws true magnitudes.
SeriesDraw series_draw(const EventSeries& events, const StudySettings& settings);

// The true magnitude of `event` at the program's deviate `z`.
double posterior_magnitude(const PosteriorEvent& event, double z);
// The next series' magnitudes under `draw`: one deviate per event in position order, as the
// program draws them.
void draw_series(const EventSeries& events, const SeriesDraw& draw, std::span<double> moved);

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

// Both models side by side on the study's seed, and the posterior model over the prior scales:
// a second pass over the very same deviates. `analysis` holds the study's own pass under the
// posterior model, whose figures it reuses.
void compare_error_models(const EventSeries& events, Analysis& analysis);

}  // namespace zorvi::detail
