// Values gathered one at a time, kept whole for exact quantiles or counted in a histogram.
#include <cassert>
#include <cmath>

#include "zorvi/statistics/distributions.hpp"
#include "zorvi/statistics/trend.hpp"

namespace zorvi {
namespace {

// Type 7 from a histogram: the order statistic of rank h (0-based, fractional) with each
// bin's values spread evenly over it, the i-th of n at (i + 1/2) / n of its width.
double binned_quantile(const ValueSample& sample, double q) {
    const double h = static_cast<double>(sample.count - 1) * q;
    double below = 0.0;  // values in the bins before k
    for (std::size_t k = 0; k < sample.bins.size(); ++k) {
        const double in_bin = sample.bins[k];
        if (h < below + in_bin)
            return bin_start(sample, k) + sample.width * (h - below + 0.5) / in_bin;
        below += in_bin;
    }
    return bin_start(sample, sample.bins.size());  // h at the very last value
}

}  // namespace

ValueSample exact_sample(std::size_t expected) {
    ValueSample sample;
    sample.values.reserve(expected);
    return sample;
}

ValueSample binned_sample(double low, double high, double width) {
    assert(width > 0 && low <= high);
    ValueSample sample;
    sample.exact = false;
    sample.width = width;
    sample.per_width = 1.0 / width;
    sample.low = std::floor(low / width) * width;
    const double bins = std::ceil((high - sample.low) / width);
    sample.bins.assign(static_cast<std::size_t>(std::fmax(bins, 1.0)), 0);
    return sample;
}

double bin_start(const ValueSample& sample, std::size_t k) {
    return sample.low + sample.width * static_cast<double>(k);
}

std::vector<double> sample_quantiles(ValueSample& sample, std::span<const double> qs) {
    if (sample.exact) return quantiles_in_place(sample.values, qs);
    std::vector<double> out;
    for (double q : qs)
        out.push_back(sample.count == 0 ? not_a_number : binned_quantile(sample, q));
    return out;
}

}  // namespace zorvi
