// Uniform and Gaussian deviates, and one whole simulated series (60 deviates, selection, test).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "driver/run_state.hpp"
#include "driver/simulation.hpp"
#include "random/random.hpp"
#include "stats/stats.hpp"

namespace {

using namespace zorvi;

void BM_ran(benchmark::State& state) {
    random::ranseed();
    std::int32_t word = 1;
    for (auto _ : state)
        benchmark::DoNotOptimize(random::ran(word));
}
BENCHMARK(BM_ran);

void BM_gasdev(benchmark::State& state) {
    random::ranseed();
    double z = 0.0;
    for (auto _ : state) {
        random::gasdev(z);
        benchmark::DoNotOptimize(z);
    }
}
BENCHMARK(BM_gasdev);

void BM_cox_lewis_test(benchmark::State& state) {
    driver::EventArray times{};
    for (std::size_t i = 0; i < times.size(); ++i)
        times[i] = 1980.5 + 0.6 * static_cast<double>(i);
    double u = 0.0;
    double p = 0.0;
    for (auto _ : state) {
        stats::test(driver::tstart, driver::tend, 6, times, u, p);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_cox_lewis_test);

// One series as the simulation runs it, on magnitudes like the shipped data's.
void BM_simulated_series(benchmark::State& state) {
    driver::RunState run;
    for (std::size_t i = 0; i < run.t.size(); ++i) {
        run.t[i] = 1980.5 + 0.6 * static_cast<double>(i);
        run.x[i] = i % 10 == 0 ? 120.0 : 80.0;
        run.sx[i] = 12.5;
    }
    random::ranseed();
    for (auto _ : state) {
        driver::simulate_series(run);
        benchmark::DoNotOptimize(run.psim);
    }
}
BENCHMARK(BM_simulated_series);

}  // namespace
