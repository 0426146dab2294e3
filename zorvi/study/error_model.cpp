// The posterior error model's settings from the data, and its draw: the program's deviates
// mapped through each event's truncated normal.
#include "zorvi/study/error_model.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "zorvi/statistics/truncated_normal.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi {

std::string_view error_model_name(ErrorModel model) {
    return model == ErrorModel::posterior ? "posterior" : "observed";
}

double default_floor(const EventSeries& events) {
    if (events.x.empty()) return not_a_number;
    return *std::min_element(events.x.begin(), events.x.end());
}

double estimated_prior_scale(const EventSeries& events, double floor) {
    if (events.x.empty()) return not_a_number;
    // Each excess divided first, so that the sum stays finite for any finite magnitudes.
    const double n = static_cast<double>(events.x.size());
    double mean = 0.0;
    for (double x : events.x)
        mean += (x - floor) / n;
    return mean;
}

bool resolve_error_model(const EventData& data, std::string_view source, StudySettings& settings,
                         std::string& error, const ArgumentNames& names) {
    if (settings.error_model != ErrorModel::posterior) return true;
    const EventSeries& events = data.events;
    const std::string floor_name = std::string(names.floor) + ": ";
    const std::string scale_name = std::string(names.prior_scale) + ": ";
    if (std::isnan(settings.floor)) settings.floor = default_floor(events);
    if (!std::isfinite(settings.floor)) {
        error = floor_name + "the floor must be a finite number";
        return false;
    }
    for (std::size_t i = 0; i < events.x.size(); ++i) {
        if (events.x[i] >= settings.floor) continue;
        error = event_place(data, source, i) + "the magnitude " +
                detail::shortest_text(events.x[i]) + " lies below the floor " +
                detail::shortest_text(settings.floor) +
                "; the posterior model needs every magnitude at or above it (" +
                std::string(names.give_floor) + " sets it)";
        return false;
    }
    if (std::isnan(settings.prior_scale)) {
        settings.prior_scale = estimated_prior_scale(events, settings.floor);
        if (!(settings.prior_scale > 0.0 && std::isfinite(settings.prior_scale))) {
            error = scale_name + "the mean excess of the magnitudes over the floor " +
                    detail::shortest_text(settings.floor) + " is " +
                    detail::shortest_text(settings.prior_scale) +
                    ", not a positive finite number; give the prior scale with " +
                    std::string(names.give_prior_scale);
            return false;
        }
    }
    if (!(settings.prior_scale > 0.0)) {
        error =
            scale_name + "the prior scale must be a positive number (inf for the observed model)";
        return false;
    }
    return true;
}

SeriesDraw posterior_draw(const EventSeries& events, double floor, double prior_scale) {
    SeriesDraw draw;
    draw.posterior = true;
    draw.events.reserve(events.x.size());
    for (std::size_t i = 0; i < events.x.size(); ++i) {
        PosteriorEvent event;
        event.x = events.x[i];
        event.s = events.sx[i];
        event.shift = event.s / prior_scale;
        event.low = event.s == 0.0 ? 0.0 : (floor - event.x) / event.s + event.shift;
        event.truncated = detail::truncated_normal(event.low);
        event.floor = floor;
        draw.events.push_back(event);
    }
    return draw;
}

SeriesDraw series_draw(const EventSeries& events, const StudySettings& settings) {
    if (!settings.draws_posterior()) return {};
    return posterior_draw(events, settings.floor, settings.prior_scale);
}

double posterior_magnitude(const PosteriorEvent& event, double z) {
    if (event.s == 0.0) return event.x;
    if (std::isinf(event.low)) return event.floor;  // a scale too small for a double
    // x + s (y - shift) = L + s (y - low): never below L.
    const double y = detail::truncated_normal_point(event.truncated, z);
    return std::max(event.floor, event.floor + event.s * (y - event.low));
}

double posterior_selection_probability(const PosteriorEvent& event, double threshold) {
    if (event.s == 0.0) return event.x >= threshold ? 1.0 : 0.0;
    if (threshold <= event.floor) return 1.0;
    if (std::isinf(event.low)) return 0.0;  // every true magnitude at L
    return detail::truncated_upper_tail(event.low, event.low + (threshold - event.floor) / event.s);
}

}  // namespace zorvi

namespace zorvi {

double selection_deviate(const PosteriorEvent& event, double threshold) {
    constexpr double infinite = std::numeric_limits<double>::infinity();
    if (event.s == 0.0) return event.x >= threshold ? -infinite : infinite;
    if (threshold <= event.floor) return -infinite;
    if (std::isinf(event.low)) return infinite;
    return detail::truncated_normal_deviate(event.truncated,
                                            event.low + (threshold - event.floor) / event.s);
}

}  // namespace zorvi
