// Uniform and Gaussian deviates, and one whole simulated series (60 deviates, selection, test).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "driver/run_state.hpp"
#include "driver/select_events.hpp"
#include "random/random.hpp"
#include "stats/stats.hpp"

namespace {

using namespace zorvi;

void BM_ran(benchmark::State& state) {
    random::ranseed();
    std::int32_t word = 1;
    for (auto _ : state) benchmark::DoNotOptimize(random::ran(word));
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
    for (std::size_t i = 0; i < times.size(); ++i) times[i] = 1980.5 + 0.6 * static_cast<double>(i);
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
    driver::EventArray t{};
    driver::EventArray x{};
    driver::EventArray sx{};
    for (std::size_t i = 0; i < t.size(); ++i) {
        t[i] = 1980.5 + 0.6 * static_cast<double>(i);
        x[i] = i % 10 == 0 ? 120.0 : 80.0;
        sx[i] = 12.5;
    }
    driver::EventArray xsim{};
    driver::EventArray tsim{};
    random::ranseed();
    double z = 0.0;
    double u = 0.0;
    double p = 0.0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < x.size(); ++i) {
            random::gasdev(z);
            xsim[i] = sx[i] * z + x[i];
        }
        const std::int32_t m = driver::select_events(xsim, t, tsim);
        stats::test(driver::tstart, driver::tend, m, tsim, u, p);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_simulated_series);

}  // namespace
