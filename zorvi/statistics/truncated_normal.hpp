// Internal to the statistics: the standard normal distribution truncated below, its quantile
// at a given deviate and its upper tails, accurate far into the tail (log-space there).
#pragma once

namespace zorvi::detail {

// ln(1 - Phi(x)), accurate for any x; -inf for x = +inf.
double log_upper_tail(double x);

// The standard normal truncated below at `low`, its tails there worked out once.
struct TruncatedNormal {
    double low = 0.0;
    double below = 0.0;      // Phi(low)
    double above = 1.0;      // 1 - Phi(low)
    double log_above = 0.0;  // ln(1 - Phi(low))
};
TruncatedNormal truncated_normal(double low);

// The point y >= a of the standard normal truncated below at `a` that corresponds to the
// standard normal deviate `z`: its upper tail equals z's, P(Y > y | Y >= a) = 1 - Phi(z), so
// that y = Phi^-1(Phi(a) + (1 - Phi(a)) Phi(z)). Increasing in z; y = z when a = -inf.
double truncated_normal_point(const TruncatedNormal& truncated, double z);
double truncated_normal_point(double a, double z);
// The deviate z whose point is `y`, the inverse of truncated_normal_point: -inf for y <= a.
double truncated_normal_deviate(const TruncatedNormal& truncated, double y);

// P(Y >= b | Y >= a) for a standard normal Y: (1 - Phi(b)) / (1 - Phi(a)), 1 for b <= a.
double truncated_upper_tail(double a, double b);

}  // namespace zorvi::detail
