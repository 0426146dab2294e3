// vkutil throughput: each routine against a plain sequential loop that does the same job and
// also returns a new std::vector. Items are result elements, so the reports give time per
// element; compare a routine with its `plain_` twin at the same n.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "vkutil/vkutil.hpp"

namespace {

std::vector<double> ramp(std::size_t n) {
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = 1.0 + 1e-9 * static_cast<double>(i % 1000);
    }
    return v;
}

// Ten coefficients, as in the program's own use of the vector form.
const std::vector<double> coefficients = {-1.26551223, 1.00002368, 0.37409196,  0.09678418,
                                          -0.18628806, 0.27886807, -1.13520398, 1.48851587,
                                          -0.82215223, 0.17087277};

void finish(benchmark::State& state, std::size_t n) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(n));
}

void arth_d(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(vkutil::arth_d(0.5, 0.25, n).data());
    }
    finish(state, n);
}

void plain_arth(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        std::vector<double> a(n);
        a[0] = 0.5;
        for (std::size_t k = 1; k < n; ++k) {
            a[k] = a[k - 1] + 0.25;
        }
        benchmark::DoNotOptimize(a.data());
    }
    finish(state, n);
}

void geop_d(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(vkutil::geop_d(1.0, 0.9999999, n).data());
    }
    finish(state, n);
}

void plain_geop(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        std::vector<double> g(n);
        g[0] = 1.0;
        for (std::size_t k = 1; k < n; ++k) {
            g[k] = g[k - 1] * 0.9999999;
        }
        benchmark::DoNotOptimize(g.data());
    }
    finish(state, n);
}

void cumsum_r(benchmark::State& state) {
    const std::vector<double> v = ramp(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(vkutil::cumsum_r(v).data());
    }
    finish(state, v.size());
}

void plain_cumsum(benchmark::State& state) {
    const std::vector<double> v = ramp(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::vector<double> r(v.size());
        double s = 0.0;
        for (std::size_t i = 0; i < v.size(); ++i) {
            r[i] = s = s + v[i];
        }
        benchmark::DoNotOptimize(r.data());
    }
    finish(state, v.size());
}

void cumprod(benchmark::State& state) {
    const std::vector<double> v = ramp(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(vkutil::cumprod(v).data());
    }
    finish(state, v.size());
}

void plain_cumprod(benchmark::State& state) {
    const std::vector<double> v = ramp(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::vector<double> r(v.size());
        double p = 1.0;
        for (std::size_t i = 0; i < v.size(); ++i) {
            r[i] = p = p * v[i];
        }
        benchmark::DoNotOptimize(r.data());
    }
    finish(state, v.size());
}

// n points, ten coefficients: Horner across the array.
void poly_rrv(benchmark::State& state) {
    const std::vector<double> x = ramp(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(vkutil::poly_rrv(x, coefficients).data());
    }
    finish(state, x.size());
}

void plain_poly(benchmark::State& state) {
    const std::vector<double> x = ramp(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::vector<double> r(x.size());
        for (std::size_t j = 0; j < x.size(); ++j) {
            double v = coefficients.back();
            for (std::size_t i = coefficients.size() - 1; i-- > 0;) {
                v = x[j] * v + coefficients[i];
            }
            r[j] = v;
        }
        benchmark::DoNotOptimize(r.data());
    }
    finish(state, x.size());
}

// n result elements: n / 10 rows, 10 columns.
constexpr std::size_t outer_cols = 10;

void outerprod_d(benchmark::State& state) {
    const std::vector<double> a = ramp(static_cast<std::size_t>(state.range(0)) / outer_cols);
    const std::vector<double> b = ramp(outer_cols);
    for (auto _ : state) {
        benchmark::DoNotOptimize(vkutil::outerprod_d(a, b).elements().data());
    }
    finish(state, a.size() * b.size());
}

void plain_outerprod(benchmark::State& state) {
    const std::vector<double> a = ramp(static_cast<std::size_t>(state.range(0)) / outer_cols);
    const std::vector<double> b = ramp(outer_cols);
    for (auto _ : state) {
        std::vector<double> m(a.size() * b.size());
        std::size_t at = 0;
        for (const double bj : b) {
            for (const double ai : a) {
                m[at++] = ai * bj;
            }
        }
        benchmark::DoNotOptimize(m.data());
    }
    finish(state, a.size() * b.size());
}

// n source values scattered over n destination elements by a fixed pseudo-random index.
std::vector<std::int32_t> scatter_index(std::size_t n) {
    std::vector<std::int32_t> index(n);
    std::uint32_t s = 12345;
    for (auto& i : index) {
        s = s * 1664525u + 1013904223u;
        i = static_cast<std::int32_t>(s % n) + 1;
    }
    return index;
}

void scatter_add_d(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> source = ramp(n);
    const std::vector<std::int32_t> index = scatter_index(n);
    std::vector<double> destination(n, 0.0);
    for (auto _ : state) {
        vkutil::scatter_add_d(destination, source, index);
        benchmark::DoNotOptimize(destination.data());
    }
    finish(state, n);
}

void plain_scatter_add(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<double> source = ramp(n);
    const std::vector<std::int32_t> index = scatter_index(n);
    std::vector<double> destination(n, 0.0);
    for (auto _ : state) {
        for (std::size_t j = 0; j < n; ++j) {
            const std::int32_t i = index[j];
            if (i >= 1 && static_cast<std::size_t>(i) <= n) destination[i - 1] += source[j];
        }
        benchmark::DoNotOptimize(destination.data());
    }
    finish(state, n);
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1'000)->Arg(100'000)->Arg(10'000'000)->Unit(benchmark::kMicrosecond);
}

}  // namespace

BENCHMARK(arth_d)->Apply(sizes);
BENCHMARK(plain_arth)->Apply(sizes);
BENCHMARK(geop_d)->Apply(sizes);
BENCHMARK(plain_geop)->Apply(sizes);
BENCHMARK(cumsum_r)->Apply(sizes);
BENCHMARK(plain_cumsum)->Apply(sizes);
BENCHMARK(cumprod)->Apply(sizes);
BENCHMARK(plain_cumprod)->Apply(sizes);
BENCHMARK(poly_rrv)->Apply(sizes);
BENCHMARK(plain_poly)->Apply(sizes);
BENCHMARK(outerprod_d)->Apply(sizes);
BENCHMARK(plain_outerprod)->Apply(sizes);
BENCHMARK(scatter_add_d)->Apply(sizes);
BENCHMARK(plain_scatter_add)->Apply(sizes);
