// The run's state: event arrays, counts and results, one static instance for the whole run.
#pragma once

#include <array>
#include <cstdint>

namespace zorvi::driver {

inline constexpr std::int32_t nevent = 60;  // events read; capacity of every event array
inline constexpr std::int32_t nsim = 2000;  // simulated series
inline constexpr float threshold = 113.0f;  // lowest magnitude that selects an event
inline constexpr double tstart = 1980.417;  // observation interval, decimal years
inline constexpr double tend = 2018.917;

// Every element starts as this marker, so that a value the data file leaves unassigned shows.
inline constexpr double missing_real = -999.0;
inline constexpr std::int32_t missing_int = -999;

using EventArray = std::array<double, nevent>;

constexpr EventArray missing_events() {
    EventArray a{};
    a.fill(missing_real);
    return a;
}

struct RunState {
    // Observed series, as read.
    EventArray t = missing_events();   // times, decimal years
    EventArray x = missing_events();   // magnitudes
    EventArray sx = missing_events();  // standard errors of the magnitudes
    // Observed result.
    EventArray tsel = missing_events();
    std::int32_t m = missing_int;
    double u = missing_real;
    double p = missing_real;
    // Current simulated series.
    double z = missing_real;
    EventArray xsim = missing_events();
    EventArray tsim = missing_events();
    std::int32_t msim = missing_int;
    double usim = missing_real;
    double psim = missing_real;
};

}  // namespace zorvi::driver
