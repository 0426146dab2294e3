// The complementary error function, for one value and for an array.
#include <cmath>

#include "stats/erfcc_table.hpp"
#include "stats/stats.hpp"
#include "vkutil/vkutil.hpp"

namespace zorvi::stats {

using detail::erfcc_coefficients;

double erfcc_s(double x) {
    const double z = std::fabs(x);
    const double t = 1.0 / (1.0 + 0.5 * z);
    const double q = vkutil::poly_rr(t, erfcc_coefficients);
    double r = std::exp(q - z * z) * t;
    if (x < 0.0) r = 2.0 - r;  // strict: -0 and NaN are not reflected
    return r;
}

std::vector<double> erfcc_v(std::span<const double> x, std::size_t stride) {
    const std::size_t n = x.empty() ? 0 : (x.size() - 1) / stride + 1;
    std::vector<double> zv(n);
    std::vector<double> tv(n);
    for (std::size_t j = 0; j < n; ++j)
        zv[j] = std::fabs(x[j * stride]);
    for (std::size_t j = 0; j < n; ++j)
        tv[j] = 1.0 / (1.0 + 0.5 * zv[j]);
    const std::vector<double> qv = vkutil::poly_rrv(tv, erfcc_coefficients);
    std::vector<double> r(n);
    for (std::size_t j = 0; j < n; ++j)
        r[j] = std::exp(qv[j] - zv[j] * zv[j]) * tv[j];
    // Reflection only once every value is known, with the same strict test as erfcc_s.
    for (std::size_t j = 0; j < n; ++j) {
        if (x[j * stride] < 0.0) r[j] = 2.0 - r[j];
    }
    return r;
}

}  // namespace zorvi::stats
