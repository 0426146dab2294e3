// vkutil: the module's routines, in the order of the public header.
#include "vkutil/vkutil.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "textio/textio.hpp"
#include "vkutil/vkutil_impl.hpp"

namespace vkutil {

namespace textio = zorvi::textio;

namespace detail {

void fail_out_of_memory() {
    textio::fail_os("Out of memory");
}

void fail_size_overflow() {
    textio::fail_runtime("Integer overflow when calculating the amount of memory to allocate");
}

}  // namespace detail

using detail::length_of;
using detail::new_array;
using detail::new_matrix;

// =============================================================================================
// Polynomial evaluation

namespace {

// Coefficient counts up to this are evaluated with `work` on the stack.
constexpr std::size_t stack_work_size = 32;

// One point, either scheme. `work` has room for n + 1 values when n ≥ 8; `enter` turns a
// coefficient into the point's kind.
template <class T, class C, class Enter>
T poly_point(T x, std::span<const C> coefficients, std::span<T> work, Enter enter) {
    const std::size_t n = coefficients.size();
    if (n == 0) return T{};
    if (n < detail::poly_blocked_from) {
        T r = enter(coefficients[n - 1]);
        for (std::size_t i = n - 1; i-- > 0;) {
            r = detail::plus(detail::times(x, r), enter(coefficients[i]));
        }
        return r;
    }
    for (std::size_t i = 0; i < n; ++i)
        work[i] = enter(coefficients[i]);
    return detail::poly_blocked(x, work, n);
}

// The scalar members: `work` on the stack for short arrays, else a new array.
template <class T, class C, class Enter>
T poly_scalar(T x, std::span<const C> coefficients, Enter enter) {
    const std::size_t n = coefficients.size();
    if (n < detail::poly_blocked_from) return poly_point<T, C>(x, coefficients, {}, enter);
    if (n + 1 <= stack_work_size) {
        std::array<T, stack_work_size> work;
        return poly_point<T, C>(x, coefficients, work, enter);
    }
    std::vector<T> work = new_array<T>(n + 1);
    return poly_point<T, C>(x, coefficients, std::span<T>(work), enter);
}

template <class T>
T same(T value) {
    return value;
}

// Each real coefficient enters a single complex evaluation rounded to single precision.
SingleComplex as_single_complex(double c) {
    return {static_cast<float>(c), 0.0f};
}

std::vector<double> poly_vector(std::span<const double> x, std::span<const double> coefficients) {
    const std::size_t m = x.size();
    const std::size_t n = coefficients.size();
    std::vector<double> r = new_array<double>(m);
    if (n == 0) return r;
    // Horner across the array: the outer loop runs over the coefficients.
    if (n < detail::poly_blocked_from || m > n) {
        std::fill(r.begin(), r.end(), coefficients[n - 1]);
        for (std::size_t i = n - 1; i-- > 0;) {
            const double c = coefficients[i];
            for (std::size_t j = 0; j < m; ++j)
                r[j] = x[j] * r[j] + c;
        }
        return r;
    }
    // Each point by the blocked scheme, with one `work` array for all of them.
    std::vector<double> work = new_array<double>(n + 1);
    for (std::size_t j = 0; j < m; ++j) {
        r[j] =
            poly_point<double, double>(x[j], coefficients, std::span<double>(work), same<double>);
    }
    return r;
}

std::vector<double> poly_masked(std::span<const double> x, std::span<const double> coefficients,
                                std::span<const Logical> mask, std::string_view tag) {
    const std::size_t m = assert_eq2(length_of(x), length_of(mask), tag);
    const std::size_t selected = static_cast<std::size_t>(
        std::count_if(mask.begin(), mask.end(), [](Logical b) { return b != 0; }));
    std::vector<double> packed = new_array<double>(selected);
    for (std::size_t j = 0, s = 0; j < m; ++j) {
        if (mask[j] != 0) packed[s++] = x[j];
    }
    const std::vector<double> values = poly_vector(packed, coefficients);
    std::vector<double> r = new_array<double>(m);
    for (std::size_t j = 0, s = 0; j < m; ++j) {
        if (mask[j] != 0) r[j] = values[s++];
    }
    return r;
}

// Partial Horner sums as a running scan whose parameter is the base b.
template <class T>
struct PolyTermOps {
    static constexpr std::size_t recursive_from = detail::poly_blocked_from;
    static T first(T, T a1) { return a1; }
    static T step(T b, T prev, T a) { return detail::plus(detail::times(b, prev), a); }
    static T pair(T b, T a_odd, T a_even) { return detail::plus(detail::times(a_odd, b), a_even); }
    static T next(T b) { return detail::square(b); }
    static T odd(T b, T prev, T a) { return detail::plus(detail::times(prev, b), a); }
};

}  // namespace

double poly_rr(double x, std::span<const double> coefficients) {
    return poly_scalar<double, double>(x, coefficients, same<double>);
}

double poly_dd(double x, std::span<const double> coefficients) {
    return poly_scalar<double, double>(x, coefficients, same<double>);
}

SingleComplex poly_rc(SingleComplex x, std::span<const double> coefficients) {
    return poly_scalar<SingleComplex, double>(x, coefficients, as_single_complex);
}

SingleComplex poly_cc(SingleComplex x, std::span<const SingleComplex> coefficients) {
    return poly_scalar<SingleComplex, SingleComplex>(x, coefficients, same<SingleComplex>);
}

std::vector<double> poly_rrv(std::span<const double> x, std::span<const double> coefficients) {
    return poly_vector(x, coefficients);
}

std::vector<double> poly_ddv(std::span<const double> x, std::span<const double> coefficients) {
    return poly_vector(x, coefficients);
}

std::vector<double> poly_msk_rrv(std::span<const double> x, std::span<const double> coefficients,
                                 std::span<const Logical> mask) {
    return poly_masked(x, coefficients, mask, "poly_msk_rrv");
}

std::vector<double> poly_msk_ddv(std::span<const double> x, std::span<const double> coefficients,
                                 std::span<const Logical> mask) {
    return poly_masked(x, coefficients, mask, "poly_msk_ddv");
}

std::vector<double> poly_term_rr(std::span<const double> a, double b) {
    return detail::scan<PolyTermOps<double>, double>(a, b);
}

std::vector<SingleComplex> poly_term_cc(std::span<const SingleComplex> a, SingleComplex b) {
    return detail::scan<PolyTermOps<SingleComplex>, SingleComplex>(a, b);
}

// =============================================================================================
// Error stop and assertions

namespace {

constexpr std::string_view source_name = "vkutil.cpp";
constexpr std::string_view vkerror_prefix = "vkerror: ";
constexpr std::string_view assertion_prefix = "vkerror: an assertion failed with this tag:";
constexpr std::string_view assert_eq_prefix = "vkerror: an assert_eq failed with this tag:";

// The console record " <prefix><text>", then "STOP <stop_text>" and the error status.
[[noreturn]] void error_stop(std::string_view prefix, std::string_view text,
                             std::string_view stop_text) {
    textio::write_free(textio::console_unit, textio::Locus{source_name, __LINE__}, {prefix, text});
    textio::stop_with_message(stop_text, error_stop_status);
}

}  // namespace

void vkerror(std::string_view message) {
    error_stop(vkerror_prefix, message, "program terminated by vkerror");
}

void assert1(Logical cond1, std::string_view tag) {
    if (cond1 == 0) error_stop(assertion_prefix, tag, "program terminated by assert1");
}

void assert2(Logical cond1, Logical cond2, std::string_view tag) {
    if (cond1 == 0 || cond2 == 0)
        error_stop(assertion_prefix, tag, "program terminated by assert2");
}

void assert3(Logical cond1, Logical cond2, Logical cond3, std::string_view tag) {
    if (cond1 == 0 || cond2 == 0 || cond3 == 0) {
        error_stop(assertion_prefix, tag, "program terminated by assert3");
    }
}

void assert4(Logical cond1, Logical cond2, Logical cond3, Logical cond4, std::string_view tag) {
    if (cond1 == 0 || cond2 == 0 || cond3 == 0 || cond4 == 0) {
        error_stop(assertion_prefix, tag, "program terminated by assert4");
    }
}

void assert_v(std::span<const Logical> conditions, std::string_view tag) {
    for (const Logical cond : conditions) {
        if (cond == 0) error_stop(assertion_prefix, tag, "program terminated by assert_v");
    }
}

std::int32_t assert_eq2(std::int32_t i1, std::int32_t i2, std::string_view tag) {
    if (i2 != i1) error_stop(assert_eq_prefix, tag, "program terminated by assert_eq2");
    return i1;
}

std::int32_t assert_eq3(std::int32_t i1, std::int32_t i2, std::int32_t i3, std::string_view tag) {
    if (i2 != i1 || i3 != i1) error_stop(assert_eq_prefix, tag, "program terminated by assert_eq3");
    return i1;
}

std::int32_t assert_eq4(std::int32_t i1, std::int32_t i2, std::int32_t i3, std::int32_t i4,
                        std::string_view tag) {
    if (i2 != i1 || i3 != i1 || i4 != i1) {
        error_stop(assert_eq_prefix, tag, "program terminated by assert_eq4");
    }
    return i1;
}

std::int32_t assert_eqn(std::span<const std::int32_t> values, std::string_view tag) {
    constexpr std::string_view stop_text = "program terminated by assert_eqn";
    // No element, no common value.
    if (values.empty()) error_stop(assert_eq_prefix, tag, stop_text);
    // values(2) against values(1), every later one against values(2).
    if (values.size() >= 2) {
        if (values[1] != values[0]) error_stop(assert_eq_prefix, tag, stop_text);
        for (std::size_t i = 2; i < values.size(); ++i) {
            if (values[i] != values[1]) error_stop(assert_eq_prefix, tag, stop_text);
        }
    }
    return values[0];
}

}  // namespace vkutil
