// Internal to the statistics: the standard normal distribution truncated below, its quantile
// at a given deviate and its upper tails, accurate far into the tail (log-space there).
#pragma once

namespace zorvi::detail {

// ln(1 - Phi(x)), accurate for any x; -inf for x = +inf.
double log_upper_tail(double x);

// The point y >= a of the standard normal truncated below at `a` that corresponds to the
// standard normal deviate `z`: its upper tail equals z's, P(Y > y | Y >= a) = 1 - Phi(z), so
// that y = Phi^-1(Phi(a) + (1 - Phi(a)) Phi(z)). Increasing in z; y = z when a = -inf.
double truncated_normal_point(double a, double z);

// P(Y >= b | Y >= a) for a standard normal Y: (1 - Phi(b)) / (1 - Phi(a)), 1 for b <= a.
double truncated_upper_tail(double a, double b);

}  // namespace zorvi::detail
