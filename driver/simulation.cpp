// The observed test and one simulated series, in the draw order that makes runs repeatable.
#include "driver/simulation.hpp"

#include <cassert>
#include <cstddef>

#include "driver/select_events.hpp"
#include "random/random.hpp"
#include "stats/stats.hpp"

namespace zorvi::driver {

void test_observed(RunState& run) {
    run.m = select_events(run.x, run.t, run.tsel);
    stats::test(tstart, tend, run.m, run.tsel, run.u, run.p);
}

void discard_first_deviate(RunState& run) {
    random::gasdev(run.z);
}

void move_magnitudes(std::span<const double> x, std::span<const double> sx, std::span<double> moved,
                     double& z) {
    assert(sx.size() == x.size() && moved.size() == x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        random::gasdev(z);
        // The product first, then the observed magnitude added to it.
        moved[i] = sx[i] * z + x[i];
    }
}

void simulate_series(RunState& run) {
    move_magnitudes(run.x, run.sx, run.xsim, run.z);
    run.msim = select_events(run.xsim, run.t, run.tsim);
    stats::test(tstart, tend, run.msim, run.tsim, run.usim, run.psim);
}

}  // namespace zorvi::driver
