// Coefficients of the complementary error function approximation, constant term first:
// erfc(x) ~ t * exp(-x^2 + sum c[i] t^i) with t = 1 / (1 + x / 2) (Chebyshev fit, |error|
// < 1.2e-7).
#pragma once

#include <array>

namespace zorvi::stats::detail {

inline constexpr std::array<double, 10> erfcc_coefficients = {
    -1.26551223, 1.00002368,  0.37409196, 0.09678418,  -0.18628806,
    0.27886807,  -1.13520398, 1.48851587, -0.82215223, 0.17087277,
};

}  // namespace zorvi::stats::detail
