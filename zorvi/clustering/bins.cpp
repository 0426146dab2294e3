// The bins of an interval and the events counted in them.
#include <cassert>
#include <cmath>
#include <limits>

#include "zorvi/clustering/clustering.hpp"

namespace zorvi {
namespace {

constexpr double epsilon = std::numeric_limits<double>::epsilon();

// How far (B - A) / W may lie from a whole number and still be taken as one: the rounding of
// A, B, their difference and the division.
double ratio_tolerance(double start, double end, double width) {
    return 8.0 * epsilon * (std::fabs(start) + std::fabs(end) + (end - start)) / width;
}

// The number of bins, and whether the last is whole; 0 bins for a width or an interval that
// is not a finite positive number, or for more than max_bins.
std::size_t bins_of(double start, double end, double width, bool& last_whole) {
    last_whole = true;
    if (!(std::isfinite(start) && std::isfinite(end) && std::isfinite(width) && width > 0.0))
        return 0;
    const double length = end - start;
    if (!(std::isfinite(length) && length > 0.0)) return 0;
    const double ratio = length / width;
    if (!(ratio <= static_cast<double>(max_bins) + 1.0)) return 0;
    const double nearest = std::round(ratio);
    double bins = std::ceil(ratio);
    if (std::fabs(ratio - nearest) <= ratio_tolerance(start, end, width)) {
        bins = nearest;
    } else {
        last_whole = false;
    }
    if (bins < 1.0) {  // a width beyond the interval many times over
        bins = 1.0;
        last_whole = false;
    }
    if (bins > static_cast<double>(max_bins)) return 0;
    return static_cast<std::size_t>(bins);
}

}  // namespace

std::size_t bin_count(double start, double end, double width) {
    bool last_whole = true;
    return bins_of(start, end, width, last_whole);
}

BinLayout bin_layout(double start, double end, double width) {
    BinLayout layout;
    layout.start = start;
    layout.end = end;
    layout.width = width;
    bool last_whole = true;
    layout.bins = bins_of(start, end, width, last_whole);
    if (layout.bins == 0) return layout;
    layout.whole_bins = last_whole ? layout.bins : layout.bins - 1;
    layout.last_exposure = last_whole ? 1.0 : (end - bin_lower(layout, layout.bins - 1)) / width;
    return layout;
}

double bin_lower(const BinLayout& layout, std::size_t k) {
    return layout.start + static_cast<double>(k) * layout.width;
}

double bin_upper(const BinLayout& layout, std::size_t k) {
    return k + 1 >= layout.bins ? layout.end : bin_lower(layout, k + 1);
}

std::size_t bin_of(const BinLayout& layout, double time) {
    assert(layout.bins > 0);
    const std::size_t last = layout.bins - 1;
    const double place = (time - layout.start) / layout.width;
    std::size_t k = !(place >= 0.0)                      ? 0
                    : place >= static_cast<double>(last) ? last
                                                         : static_cast<std::size_t>(place);
    // The division may round across an edge: the edges themselves decide.
    while (k < last && time >= bin_lower(layout, k + 1))
        ++k;
    while (k > 0 && time < bin_lower(layout, k))
        --k;
    return k;
}

BinnedCounts count_in_bins(std::span<const double> times, const BinLayout& layout) {
    assert(layout.bins > 0);
    BinnedCounts out;
    out.layout = layout;
    const std::size_t bins = layout.bins;
    out.lower.reserve(bins);
    out.upper.reserve(bins);
    out.exposure.reserve(bins);
    out.centre.reserve(bins);
    for (std::size_t k = 0; k < bins; ++k) {
        const double lower = bin_lower(layout, k);
        const double upper = bin_upper(layout, k);
        out.lower.push_back(lower);
        out.upper.push_back(upper);
        out.exposure.push_back(k < layout.whole_bins ? 1.0 : layout.last_exposure);
        out.centre.push_back(lower + (upper - lower) / 2.0);
    }
    out.counts.assign(bins, 0);
    for (double t : times)
        ++out.counts[bin_of(layout, t)];
    out.events = times.size();
    return out;
}

}  // namespace zorvi
