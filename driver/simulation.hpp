// The trend test of the observed series and of the simulated series made from it, shared by
// the program and the report that recomputes its results.
#pragma once

#include <span>

#include "driver/run_state.hpp"

namespace zorvi::driver {

// Selects the observed events and tests them: sets tsel, m, u and p from t and x.
void test_observed(RunState& run);

// Draws the one Gaussian deviate that is discarded before the first series.
void discard_first_deviate(RunState& run);

// Moves every magnitude by its own Gaussian deviate scaled with its standard error, one
// deviate per event in position order: moved[i] = sx[i] * z + x[i]. Any number of events;
// `z` is left holding the last deviate drawn.
void move_magnitudes(std::span<const double> x, std::span<const double> sx, std::span<double> moved,
                     double& z);

// The next simulated series: every magnitude moved (60 deviates, in position order), then
// selected and tested like the observed series. Sets z, xsim, tsim, msim, usim and psim;
// reads t, x and sx only.
void simulate_series(RunState& run);

}  // namespace zorvi::driver
