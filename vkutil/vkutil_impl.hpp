// Helpers shared inside vkutil: storage, wrap-around integers, explicit complex arithmetic,
// the blocked polynomial scheme and the halve-and-recurse running scan.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <span>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "vkutil/vkutil.hpp"

namespace vkutil::detail {

// Storage failures end the process through the text layer; these never return.
[[noreturn]] void fail_out_of_memory();
[[noreturn]] void fail_size_overflow();

// A new array of n value-initialised elements; on failure the process ends as above.
template <class T>
std::vector<T> new_array(std::size_t n) {
    try {
        return std::vector<T>(n);
    } catch (const std::bad_alloc&) {
        fail_out_of_memory();
    } catch (const std::length_error&) {
        fail_size_overflow();
    }
}

// The longest array whose positions and counts a 32-bit signed integer holds.
inline constexpr std::size_t max_length = std::numeric_limits<std::int32_t>::max();

// A new max(rows, 0) × max(cols, 0) matrix of value-initialised elements. A count beyond
// max_length is handed to Matrix's constructor without storage, so that it stops there
// ("Matrix: more than 2147483647 elements") before any storage is sought.
template <class T>
Matrix<T> new_matrix(std::int32_t rows, std::int32_t cols) {
    const std::size_t r = rows > 0 ? static_cast<std::size_t>(rows) : 0;
    const std::size_t c = cols > 0 ? static_cast<std::size_t>(cols) : 0;
    std::vector<T> elements = r * c > max_length ? std::vector<T>() : new_array<T>(r * c);
    return Matrix<T>(static_cast<std::int32_t>(r), static_cast<std::int32_t>(c),
                     std::move(elements));
}

// Stops through vkerror: "<routine>: array longer than 32-bit positions can count".
[[noreturn]] void fail_length(std::string_view routine);

// Stops as above when `values` is longer than `longest`, before the routine reads or changes
// anything.
template <class T>
void check_length(std::span<T> values, std::string_view routine,
                  std::size_t longest = max_length) {
    if (values.size() > longest) fail_length(routine);
}

// A span's length as the module's 32-bit count, checked as above.
template <class T>
std::int32_t length_of(std::span<T> values, std::string_view routine) {
    check_length(values, routine);
    return static_cast<std::int32_t>(values.size());
}

// 32-bit integer arithmetic that wraps around modulo 2^32.
inline std::int32_t wrap_add(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
inline std::int32_t wrap_sub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
inline std::int32_t wrap_mul(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// Real and complex arithmetic under one set of names, so that one template serves both. The
// complex product is (re·re' − im·im', re·im' + im·re'), each part rounded to the kind.
inline double plus(double a, double b) {
    return a + b;
}
inline double times(double a, double b) {
    return a * b;
}
inline double square(double a) {
    return a * a;
}

template <class F>
std::complex<F> plus(std::complex<F> a, std::complex<F> b) {
    return {a.real() + b.real(), a.imag() + b.imag()};
}
template <class F>
std::complex<F> times(std::complex<F> a, std::complex<F> b) {
    const F re = a.real() * b.real() - a.imag() * b.imag();
    const F im = a.real() * b.imag() + a.imag() * b.real();
    return {re, im};
}
// (re² − im², (2·re)·im)
template <class F>
std::complex<F> square(std::complex<F> a) {
    const F re = a.real() * a.real() - a.imag() * a.imag();
    const F im = F(2) * a.real() * a.imag();
    return {re, im};
}

// The same operations as function objects, for the generic routines.
struct Plus {
    template <class T>
    T operator()(T a, T b) const {
        return plus(a, b);
    }
};
struct Times {
    template <class T>
    T operator()(T a, T b) const {
        return times(a, b);
    }
};
struct Square {
    template <class T>
    T operator()(T a) const {
        return square(a);
    }
};

// Fewer coefficients than this: Horner's rule; from here on the blocked or recursive schemes.
inline constexpr std::size_t poly_blocked_from = 8;

// The blocked scheme on work(1..n) holding the coefficients, with room for work(n + 1).
// At each level: work(n + 1) := 0; work(k) := work(2k − 1) + p·work(2k) for k = 1..(n + 1)/2;
// then p := p² until one value is left. Caller guarantees n ≥ 2 and work.size() ≥ n + 1.
template <class T>
T poly_blocked(T x, std::span<T> work, std::size_t n) {
    T p = x;
    for (;;) {
        work[n] = T{};
        const std::size_t half = (n + 1) / 2;
        for (std::size_t k = 0; k < half; ++k) {
            work[k] = plus(work[2 * k], times(p, work[2 * k + 1]));
        }
        if (half == 1) return work[0];
        p = times(p, p);
        n = half;
    }
}

// Running scans that halve and recurse. `Ops` describes one scan with a parameter (seed or
// base) handed down the recursion:
//   recursive_from              length from which the scan halves and recurses
//   first(p, v1)                element 1
//   step(p, prev, v)            each later element of the plain recurrence
//   pair(p, v_odd, v_even)      the element k of the halved input from inputs 2k − 1 and 2k
//   next(p)                     the parameter of the halved scan
//   odd(p, prev, v)             an odd position from 3 on, after the halved scan is in place
// The halved result r'(k) is the element 2k. Every level works on contiguous runs.

// `out` receives the scan of `in`; the two may be the same array. `scratch` holds the halved
// arrays of all deeper levels: at least n/2 + n/4 + … elements while the halves are long
// enough to recurse.
template <class Ops, class T, class P>
void scan_into(std::span<const T> in, std::span<T> out, std::span<T> scratch, P param) {
    const std::size_t n = in.size();
    if (n == 0) return;
    if (n < Ops::recursive_from) {
        T prev = Ops::first(param, in[0]);
        out[0] = prev;
        for (std::size_t i = 1; i < n; ++i) {
            prev = Ops::step(param, prev, in[i]);
            out[i] = prev;
        }
        return;
    }
    // Step 1: halve the input pairwise into the scratch.
    const std::size_t half = n / 2;
    const std::span<T> reduced = scratch.first(half);
    for (std::size_t k = 0; k < half; ++k) {
        reduced[k] = Ops::pair(param, in[2 * k], in[2 * k + 1]);
    }
    // Step 2: scan the halved input in place.
    scan_into<Ops, T, P>(reduced, reduced, scratch.subspan(half), Ops::next(param));
    // Step 3: element 1, the even positions from the halved scan, each odd one from its left
    // neighbour. Writing out(2k) before reading in(2k + 1) is safe when in and out coincide.
    out[0] = Ops::first(param, in[0]);
    for (std::size_t k = 0; k < half; ++k) {
        out[2 * k + 1] = reduced[k];
        if (2 * k + 2 < n) out[2 * k + 2] = Ops::odd(param, out[2 * k + 1], in[2 * k + 2]);
    }
}

// The scan of `in` as a new array, with no storage beyond the result: the top level halves
// into the result's upper half and lends the lower half to the deeper levels as scratch
// (they need n/4 + n/8 + … < n − n/2 elements). The final pass reads halved element k
// (at n − n/2 + k) before it writes positions 2k + 1 and 2k + 2, which lie at or below it.
template <class Ops, class T, class P>
std::vector<T> scan(std::span<const T> in, P param) {
    const std::size_t n = in.size();
    std::vector<T> out = new_array<T>(n);
    if (n < Ops::recursive_from) {
        scan_into<Ops, T, P>(in, out, {}, param);
        return out;
    }
    const std::size_t half = n / 2;
    const std::span<T> reduced = std::span<T>(out).last(half);
    for (std::size_t k = 0; k < half; ++k) {
        reduced[k] = Ops::pair(param, in[2 * k], in[2 * k + 1]);
    }
    scan_into<Ops, T, P>(reduced, reduced, std::span<T>(out).first(n - half), Ops::next(param));
    const T first = Ops::first(param, in[0]);
    for (std::size_t k = 0; k < half; ++k) {
        const T even = reduced[k];
        out[2 * k + 1] = even;
        if (2 * k + 2 < n) out[2 * k + 2] = Ops::odd(param, even, in[2 * k + 2]);
    }
    out[0] = first;
    return out;
}

}  // namespace vkutil::detail
