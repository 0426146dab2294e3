// Rendering speed of reals (free format and F16.8) and of whole result records.
#include <array>
#include <cmath>
#include <cstdint>

#include <benchmark/benchmark.h>

#include "textio/textio.hpp"

namespace {

using namespace zorvi::textio;

constexpr std::size_t value_count = 1024;

// Values like the program's: statistics around [-3, 3], P-values in (0, 1), some small
// enough for the exponent form.
std::array<double, value_count> sample_values() {
    std::array<double, value_count> values{};
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    for (std::size_t i = 0; i < value_count; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const double unit = static_cast<double>(state >> 11) * 0x1.0p-53;
        switch (i % 4) {
            case 0:
                values[i] = 6.0 * unit - 3.0;
                break;
            case 1:
                values[i] = unit;
                break;
            case 2:
                values[i] = unit * 1e-3;
                break;
            default:
                values[i] = (unit - 0.5) * 1e4;
                break;
        }
    }
    return values;
}

void free_real(benchmark::State& state) {
    const auto values = sample_values();
    char field[free_real_width];
    std::size_t i = 0;
    for (auto _ : state) {
        format_free_real_to(field, values[i++ % value_count]);
        benchmark::DoNotOptimize(field);
    }
}
BENCHMARK(free_real);

void fixed_16_8(benchmark::State& state) {
    const auto values = sample_values();
    char field[16];
    std::size_t i = 0;
    for (auto _ : state) {
        format_fixed_to(field, values[i++ % value_count], 16, 8);
        benchmark::DoNotOptimize(field);
    }
}
BENCHMARK(fixed_16_8);

void free_int(benchmark::State& state) {
    char field[free_int_width];
    std::int32_t value = -1000;
    for (auto _ : state) {
        format_free_int_to(field, value++);
        benchmark::DoNotOptimize(field);
    }
}
BENCHMARK(free_int);

// One results-file record, "(2(1x,f16.8))", through a unit buffered onto /dev/null.
void result_record(benchmark::State& state) {
    const auto values = sample_values();
    const Locus locus{"bench", 1};
    open_unit(1, "/dev/null", OpenStatus::unknown, locus);
    std::size_t i = 0;
    for (auto _ : state) {
        write_edited(1, locus, "(2(1x,f16.8))",
                     {values[i % value_count], values[(i + 1) % value_count]});
        i += 2;
    }
    release_unit(1, locus);
}
BENCHMARK(result_record);

}  // namespace
