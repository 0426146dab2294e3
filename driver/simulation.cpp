// The observed test and one simulated series, in the draw order that makes runs repeatable.
#include "driver/simulation.hpp"

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

void simulate_series(RunState& run) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(nevent); ++i) {
        random::gasdev(run.z);
        // The product first, then the observed magnitude added to it.
        run.xsim[i] = run.sx[i] * run.z + run.x[i];
    }
    run.msim = select_events(run.xsim, run.t, run.tsim);
    stats::test(tstart, tend, run.msim, run.tsim, run.usim, run.psim);
}

}  // namespace zorvi::driver
