// vkutil: the module's routines, in the order of the public header.
#include "vkutil/vkutil.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
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

void fail_length(std::string_view routine) {
    constexpr std::string_view what = ": array longer than 32-bit positions can count";
    std::array<char, 128> message;
    const std::size_t length = std::min(routine.size(), message.size() - what.size());
    std::copy_n(routine.data(), length, message.data());
    std::copy(what.begin(), what.end(), message.data() + length);
    vkerror(std::string_view(message.data(), length + what.size()));
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
// Points per block of Horner's rule across an array.
constexpr std::size_t horner_block = 2048;

// One point, either scheme. `work` has room for n + 1 values when n ≥ 8; `enter` turns a
// coefficient into the point's kind.
template <class T, class C, class Enter>
T poly_point(T x, std::span<const C> coefficients, std::span<T> work, Enter enter) {
    const std::size_t n = coefficients.size();
    if (n == 0) return T{};
    if (n < detail::poly_blocked_from) {
        // Horner's rule from the top: r := c(n); r := x·r + c(i) for i = n−1 down to 1.
        T r = enter(coefficients[n - 1]);
        for (std::size_t i = n - 1; i-- > 0;) {
            r = detail::plus(detail::times(x, r), enter(coefficients[i]));
        }
        return r;
    }
    for (std::size_t i = 0; i < n; ++i) {
        work[i] = enter(coefficients[i]);
    }
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
    // Horner across the array: the outer loop runs over the coefficients. Points are taken a
    // block at a time so that a block stays in cache through all coefficients; each point
    // still sees the same operations in the same order.
    if (n < detail::poly_blocked_from || m > n) {
        std::fill(r.begin(), r.end(), coefficients[n - 1]);
        for (std::size_t start = 0; start < m; start += horner_block) {
            const std::size_t end = std::min(m, start + horner_block);
            for (std::size_t i = n - 1; i-- > 0;) {
                const double c = coefficients[i];
                for (std::size_t j = start; j < end; ++j) {
                    r[j] = x[j] * r[j] + c;
                }
            }
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
    const std::size_t m = assert_eq2(length_of(x, tag), length_of(mask, tag), tag);
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
    if (cond1 == 0 || cond2 == 0) {
        error_stop(assertion_prefix, tag, "program terminated by assert2");
    }
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

// =============================================================================================
// Progressions and cumulative operations

namespace {

// Plain recurrence up to this length; beyond, 8 plain steps and doubling.
constexpr std::size_t arth_plain_up_to = 16;
constexpr std::size_t arth_plain_steps = 8;
// Plain recurrence up to this length; beyond, 2 plain elements and doubling.
constexpr std::size_t geop_plain_up_to = 4;
// Running sums recurse from this length, running products from 8.
constexpr std::size_t cumsum_recursive_from = 16;
constexpr std::size_t cumprod_recursive_from = 8;

std::size_t count_of(std::int32_t n) {
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

// 8 × increment, the step of the first doubling pass.
double times_eight(double increment) {
    return 8.0 * increment;
}
std::int32_t times_eight(std::int32_t increment) {
    return detail::wrap_mul(increment, 8);
}

// Arithmetic progression for any kind, with `add` the kind's addition.
template <class T, class Add>
std::vector<T> arithmetic_progression(T first, T increment, std::int32_t count, Add add) {
    const std::size_t n = count_of(count);
    std::vector<T> a = new_array<T>(n);
    if (n == 0) return a;
    a[0] = first;
    const std::size_t plain = n <= arth_plain_up_to ? n : arth_plain_steps;
    for (std::size_t k = 1; k < plain; ++k) {
        a[k] = add(a[k - 1], increment);
    }
    if (n <= arth_plain_up_to) return a;
    // Element k + j := element j + t, with t = k·increment doubled at each pass.
    T t = times_eight(increment);
    for (std::size_t k = arth_plain_steps; k < n; k *= 2) {
        const std::size_t run = std::min(k, n - k);
        for (std::size_t j = 0; j < run; ++j) {
            a[k + j] = add(a[j], t);
        }
        t = add(t, t);
    }
    return a;
}

// Geometric progression for any kind, with `mul` the kind's product.
template <class T, class Mul, class Square>
std::vector<T> geometric_progression(T first, T factor, std::int32_t count, Mul mul,
                                     Square square) {
    const std::size_t n = count_of(count);
    std::vector<T> g = new_array<T>(n);
    if (n == 0) return g;
    g[0] = first;
    if (n <= geop_plain_up_to) {
        for (std::size_t k = 1; k < n; ++k) {
            g[k] = mul(g[k - 1], factor);
        }
        return g;
    }
    // Element k + j := element j · t, with t = factor^k squared at each pass.
    g[1] = mul(first, factor);
    T t = square(factor);
    for (std::size_t k = 2; k < n; k *= 2) {
        const std::size_t run = std::min(k, n - k);
        for (std::size_t j = 0; j < run; ++j) {
            g[k + j] = mul(g[j], t);
        }
        t = square(t);
    }
    return g;
}

struct CumsumOps {
    static constexpr std::size_t recursive_from = cumsum_recursive_from;
    static double first(double seed, double v1) { return seed + v1; }
    static double step(double, double prev, double v) { return prev + v; }
    static double pair(double, double v_odd, double v_even) { return v_even + v_odd; }
    static double next(double seed) { return seed; }
    static double odd(double, double prev, double v) { return prev + v; }
};

struct CumsumIntOps {
    using I = std::int32_t;
    static constexpr std::size_t recursive_from = cumsum_recursive_from;
    static I first(I seed, I v1) { return detail::wrap_add(seed, v1); }
    static I step(I, I prev, I v) { return detail::wrap_add(prev, v); }
    static I pair(I, I v_odd, I v_even) { return detail::wrap_add(v_even, v_odd); }
    static I next(I seed) { return seed; }
    static I odd(I, I prev, I v) { return detail::wrap_add(prev, v); }
};

struct CumprodOps {
    static constexpr std::size_t recursive_from = cumprod_recursive_from;
    static double first(double seed, double v1) { return seed * v1; }
    static double step(double, double prev, double v) { return prev * v; }
    static double pair(double, double v_odd, double v_even) { return v_even * v_odd; }
    static double next(double seed) { return seed; }
    static double odd(double, double prev, double v) { return prev * v; }
};

// The complex square of a progression's ratio: (re² − im², (re·im)·2).
DoubleComplex square_ratio(DoubleComplex a) {
    return {a.real() * a.real() - a.imag() * a.imag(), a.real() * a.imag() * 2.0};
}

// 2π as a double.
constexpr double two_pi = 6.283185307179586;

}  // namespace

std::vector<double> arth_r(double first, double increment, std::int32_t n) {
    return arithmetic_progression(first, increment, n, detail::Plus{});
}

std::vector<double> arth_d(double first, double increment, std::int32_t n) {
    return arithmetic_progression(first, increment, n, detail::Plus{});
}

std::vector<std::int32_t> arth_i(std::int32_t first, std::int32_t increment, std::int32_t n) {
    return arithmetic_progression(first, increment, n, detail::wrap_add);
}

std::vector<double> geop_r(double first, double factor, std::int32_t n) {
    return geometric_progression(first, factor, n, detail::Times{}, detail::Square{});
}

std::vector<double> geop_d(double first, double factor, std::int32_t n) {
    return geometric_progression(first, factor, n, detail::Times{}, detail::Square{});
}

std::vector<std::int32_t> geop_i(std::int32_t first, std::int32_t factor, std::int32_t n) {
    return geometric_progression(first, factor, n, detail::wrap_mul,
                                 [](std::int32_t a) { return detail::wrap_mul(a, a); });
}

std::vector<DoubleComplex> geop_c(DoubleComplex first, DoubleComplex factor, std::int32_t n) {
    return geometric_progression(first, factor, n, detail::Times{}, square_ratio);
}

Matrix<double> geop_dv(std::span<const double> first, std::span<const double> factor,
                       std::int32_t n) {
    constexpr std::string_view tag = "geop_dv";
    const std::size_t m = assert_eq2(length_of(first, tag), length_of(factor, tag), tag);
    const std::size_t cols = count_of(n);
    Matrix<double> g = new_matrix<double>(static_cast<std::int32_t>(m), n);
    if (cols == 0) return g;
    // Column c starts at data[c·m].
    double* const data = g.elements().data();
    std::copy(first.begin(), first.end(), data);
    if (cols <= geop_plain_up_to) {
        for (std::size_t c = 1; c < cols; ++c) {
            for (std::size_t i = 0; i < m; ++i) {
                data[c * m + i] = data[(c - 1) * m + i] * factor[i];
            }
        }
        return g;
    }
    for (std::size_t i = 0; i < m; ++i) {
        data[m + i] = data[i] * factor[i];
    }
    std::vector<double> t = new_array<double>(m);
    for (std::size_t i = 0; i < m; ++i) {
        t[i] = factor[i] * factor[i];
    }
    for (std::size_t k = 2; k < cols; k *= 2) {
        const std::size_t run = std::min(k, cols - k);
        for (std::size_t c = 0; c < run; ++c) {
            for (std::size_t i = 0; i < m; ++i) {
                data[(k + c) * m + i] = data[c * m + i] * t[i];
            }
        }
        for (std::size_t i = 0; i < m; ++i) {
            t[i] = t[i] * t[i];
        }
    }
    return g;
}

std::vector<double> cumsum_r(std::span<const double> values, double seed) {
    return detail::scan<CumsumOps, double>(values, seed);
}

std::vector<std::int32_t> cumsum_i(std::span<const std::int32_t> values, std::int32_t seed) {
    return detail::scan<CumsumIntOps, std::int32_t>(values, seed);
}

std::vector<double> cumprod(std::span<const double> values, double seed) {
    return detail::scan<CumprodOps, double>(values, seed);
}

std::vector<SingleComplex> zroots_unity(std::int32_t n, std::int32_t count) {
    const std::size_t size = count_of(count);
    std::vector<SingleComplex> z = new_array<SingleComplex>(size);
    if (size == 0) return z;
    z[0] = SingleComplex(1.0f, 0.0f);
    // Order 0 has no roots; 2π/0 would only feed NaN into cosine and sine.
    if (n == 0) {
        constexpr float nan = std::numeric_limits<float>::quiet_NaN();
        std::fill(z.begin() + 1, z.end(), SingleComplex(nan, nan));
        return z;
    }
    const double theta = two_pi / n;
    for (std::size_t k = 1; k < size; k *= 2) {
        // Element k + 1 directly, the next ones as its products with elements 2, 3, ….
        const double angle = static_cast<double>(k) * theta;
        z[k] =
            SingleComplex(static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)));
        const std::size_t run = std::min(k, size - k);
        for (std::size_t j = 1; j < run; ++j) {
            z[k + j] = detail::times(z[k], z[j]);
        }
    }
    return z;
}

// =============================================================================================
// Outer operations and triangle masks

namespace {

// The length(a) × length(b) matrix of a(i) op b(j), walked column by column.
template <class T, class R, class Op>
Matrix<R> outer(std::span<const T> a, std::span<const T> b, std::string_view routine, Op op) {
    Matrix<R> result = new_matrix<R>(length_of(a, routine), length_of(b, routine));
    const std::span<R> elements = result.elements();
    std::size_t at = 0;
    for (const T bj : b) {
        for (const T ai : a) {
            elements[at++] = op(ai, bj);
        }
    }
    return result;
}

// Element (r, c) of a j × k mask is 1 when `keep(r − c)`; differences in 64 bits.
template <class Keep>
Matrix<Logical> triangle(std::int32_t j, std::int32_t k, Keep keep) {
    Matrix<Logical> mask = new_matrix<Logical>(j, k);
    const std::span<Logical> elements = mask.elements();
    std::size_t at = 0;
    for (std::int64_t c = 1; c <= mask.cols(); ++c) {
        for (std::int64_t r = 1; r <= mask.rows(); ++r) {
            elements[at++] = keep(r - c) ? 1 : 0;
        }
    }
    return mask;
}

}  // namespace

Matrix<double> outerprod_r(std::span<const double> a, std::span<const double> b) {
    return outer<double, double>(a, b, "outerprod_r", detail::Times{});
}

Matrix<double> outerprod_d(std::span<const double> a, std::span<const double> b) {
    return outer<double, double>(a, b, "outerprod_d", detail::Times{});
}

Matrix<double> outerdiv(std::span<const double> a, std::span<const double> b) {
    return outer<double, double>(a, b, "outerdiv", [](double x, double y) { return x / y; });
}

Matrix<double> outersum(std::span<const double> a, std::span<const double> b) {
    return outer<double, double>(a, b, "outersum", detail::Plus{});
}

Matrix<double> outerdiff_r(std::span<const double> a, std::span<const double> b) {
    return outer<double, double>(a, b, "outerdiff_r", [](double x, double y) { return x - y; });
}

Matrix<double> outerdiff_d(std::span<const double> a, std::span<const double> b) {
    return outer<double, double>(a, b, "outerdiff_d", [](double x, double y) { return x - y; });
}

Matrix<std::int32_t> outerdiff_i(std::span<const std::int32_t> a, std::span<const std::int32_t> b) {
    return outer<std::int32_t, std::int32_t>(a, b, "outerdiff_i", detail::wrap_sub);
}

Matrix<Logical> outerand(std::span<const Logical> a, std::span<const Logical> b) {
    return outer<Logical, Logical>(
        a, b, "outerand", [](Logical x, Logical y) -> Logical { return x != 0 && y != 0 ? 1 : 0; });
}

Matrix<Logical> upper_triangle(std::int32_t j, std::int32_t k, std::int32_t diagonal_shift) {
    const std::int64_t shift = diagonal_shift;
    return triangle(j, k, [shift](std::int64_t d) { return d < shift; });
}

Matrix<Logical> lower_triangle(std::int32_t j, std::int32_t k, std::int32_t diagonal_shift) {
    const std::int64_t shift = diagonal_shift;
    return triangle(j, k, [shift](std::int64_t d) { return d > -shift; });
}

// =============================================================================================
// Swap and masked swap

namespace {

bool overlap(const void* a_begin, const void* a_end, const void* b_begin, const void* b_end) {
    return std::less<const void*>()(a_begin, b_end) && std::less<const void*>()(b_begin, a_end);
}

// Exchanges a(i) and b(i) where `take(i)`, in three phases: a's elements are set aside, a
// takes b's position by position, b takes the set-aside ones. Only spans that partly overlap
// need the scratch copy to get that result; the same span twice is left as it is. Caller
// guarantees equal lengths.
template <class T, class Take>
void exchange(std::span<T> a, std::span<T> b, Take take) {
    const std::size_t n = a.size();
    if (n == 0 || a.data() == b.data()) return;
    if (!overlap(a.data(), a.data() + n, b.data(), b.data() + n)) {
        for (std::size_t i = 0; i < n; ++i) {
            if (take(i)) std::swap(a[i], b[i]);
        }
        return;
    }
    std::vector<T> old_a = new_array<T>(n);
    std::copy(a.begin(), a.end(), old_a.begin());
    for (std::size_t i = 0; i < n; ++i) {
        if (take(i)) a[i] = b[i];
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (take(i)) b[i] = old_a[i];
    }
}

template <class T>
void swap_arrays(std::span<T> a, std::span<T> b, std::string_view tag) {
    assert_eq2(length_of(a, tag), length_of(b, tag), tag);
    exchange(a, b, [](std::size_t) { return true; });
}

template <class T>
void swap_matrices(Matrix<T>& a, Matrix<T>& b, std::string_view tag) {
    assert_eq2(a.rows(), b.rows(), tag);
    assert_eq2(a.cols(), b.cols(), tag);
    swap_arrays<T>(a.elements(), b.elements(), tag);
}

void masked_exchange(std::span<double> a, std::span<double> b, std::span<const Logical> mask,
                     std::string_view tag) {
    assert_eq3(length_of(a, tag), length_of(b, tag), length_of(mask, tag), tag);
    exchange(a, b, [mask](std::size_t i) { return mask[i] != 0; });
}

}  // namespace

void swap_i(std::int32_t& a, std::int32_t& b) {
    std::swap(a, b);
}
void swap_r(double& a, double& b) {
    std::swap(a, b);
}
void swap_c(SingleComplex& a, SingleComplex& b) {
    std::swap(a, b);
}
void swap_z(DoubleComplex& a, DoubleComplex& b) {
    std::swap(a, b);
}

void swap_rv(std::span<double> a, std::span<double> b) {
    swap_arrays(a, b, "swap_rv");
}

void swap_cv(std::span<SingleComplex> a, std::span<SingleComplex> b) {
    swap_arrays(a, b, "swap_cv");
}

void swap_zv(std::span<DoubleComplex> a, std::span<DoubleComplex> b) {
    swap_arrays(a, b, "swap_zv");
}

void swap_cm(Matrix<SingleComplex>& a, Matrix<SingleComplex>& b) {
    swap_matrices(a, b, "swap_cm");
}

void swap_zm(Matrix<DoubleComplex>& a, Matrix<DoubleComplex>& b) {
    swap_matrices(a, b, "swap_zm");
}

void masked_swap_rs(double& a, double& b, Logical mask) {
    if (mask != 0) std::swap(a, b);
}

void masked_swap_rv(std::span<double> a, std::span<double> b, std::span<const Logical> mask) {
    masked_exchange(a, b, mask, "masked_swap_rv");
}

void masked_swap_rm(Matrix<double>& a, Matrix<double>& b, const Matrix<Logical>& mask) {
    constexpr std::string_view tag = "masked_swap_rm";
    assert_eq3(a.rows(), b.rows(), mask.rows(), tag);
    assert_eq3(a.cols(), b.cols(), mask.cols(), tag);
    masked_exchange(a.elements(), b.elements(), mask.elements(), tag);
}

// =============================================================================================
// Reallocation

namespace {

// A new array of n elements, or the routine's stop through vkerror.
template <class T>
std::vector<T> obtain_or_stop(std::size_t n, std::string_view message) {
    try {
        return std::vector<T>(n);
    } catch (const std::bad_alloc&) {
        vkerror(message);
    } catch (const std::length_error&) {
        vkerror(message);
    }
}

template <class T>
std::vector<T> reallocate_vector(std::optional<std::vector<T>>& p, std::int32_t n,
                                 std::string_view message) {
    std::vector<T> fresh = obtain_or_stop<T>(count_of(n), message);
    if (p) {
        const std::size_t keep = std::min(fresh.size(), p->size());
        std::copy(p->begin(), p->begin() + static_cast<std::ptrdiff_t>(keep), fresh.begin());
        p.reset();
    }
    return fresh;
}

template <class T>
Matrix<T> reallocate_matrix(std::optional<Matrix<T>>& p, std::int32_t n, std::int32_t m,
                            std::string_view message) {
    const std::int32_t rows = n > 0 ? n : 0;
    const std::int32_t cols = m > 0 ? m : 0;
    // The element count must fit a 32-bit signed integer.
    if (cols > 0 && rows > std::numeric_limits<std::int32_t>::max() / cols) vkerror(message);
    Matrix<T> fresh{rows, cols, obtain_or_stop<T>(count_of(rows) * count_of(cols), message)};
    if (p) {
        const std::int32_t keep_rows = std::min(rows, p->rows());
        const std::int32_t keep_cols = std::min(cols, p->cols());
        for (std::int32_t c = 1; c <= keep_cols; ++c) {
            for (std::int32_t r = 1; r <= keep_rows; ++r) {
                fresh(r, c) = (*p)(r, c);
            }
        }
        p.reset();
    }
    return fresh;
}

}  // namespace

std::vector<double> reallocate_rv(std::optional<std::vector<double>>& p, std::int32_t n) {
    return reallocate_vector(p, n, "reallocate_rv: problem in attempt to allocate memory");
}

std::vector<std::int32_t> reallocate_iv(std::optional<std::vector<std::int32_t>>& p,
                                        std::int32_t n) {
    return reallocate_vector(p, n, "reallocate_iv: problem in attempt to allocate memory");
}

std::vector<char> reallocate_hv(std::optional<std::vector<char>>& p, std::int32_t n) {
    return reallocate_vector(p, n, "reallocate_hv: problem in attempt to allocate memory");
}

Matrix<double> reallocate_rm(std::optional<Matrix<double>>& p, std::int32_t n, std::int32_t m) {
    return reallocate_matrix(p, n, m, "reallocate_rm: problem in attempt to allocate memory");
}

Matrix<std::int32_t> reallocate_im(std::optional<Matrix<std::int32_t>>& p, std::int32_t n,
                                   std::int32_t m) {
    return reallocate_matrix(p, n, m, "reallocate_im: problem in attempt to allocate memory");
}

// =============================================================================================
// Copy and location

namespace {

// Overlapping spans are copied as if through a temporary: memmove's rule.
template <class T>
void bounded_copy(std::span<const T> source, std::span<T> destination, std::int32_t& count_copied,
                  std::int32_t& count_left, std::string_view routine) {
    const std::int32_t source_length = length_of(source, routine);
    const std::int32_t copied = std::min(source_length, length_of(destination, routine));
    if (copied > 0) {
        std::memmove(destination.data(), source.data(),
                     static_cast<std::size_t>(copied) * sizeof(T));
    }
    count_copied = copied;
    count_left = source_length - copied;
}

// Position of the first element that no later one beats, NaN elements skipped; 1 when all
// are NaN, 0 when there are none.
template <class Beats>
std::int32_t locate_real(std::span<const double> v, std::string_view routine, Beats beats) {
    detail::check_length(v, routine);
    if (v.empty()) return 0;
    std::size_t at = 0;
    bool found = false;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (std::isnan(v[i])) continue;
        if (!found || beats(v[i], v[at])) {
            at = i;
            found = true;
        }
    }
    return static_cast<std::int32_t>(at + 1);
}

}  // namespace

void array_copy_r(std::span<const double> source, std::span<double> destination,
                  std::int32_t& count_copied, std::int32_t& count_left) {
    bounded_copy(source, destination, count_copied, count_left, "array_copy_r");
}

void array_copy_d(std::span<const double> source, std::span<double> destination,
                  std::int32_t& count_copied, std::int32_t& count_left) {
    bounded_copy(source, destination, count_copied, count_left, "array_copy_d");
}

void array_copy_i(std::span<const std::int32_t> source, std::span<std::int32_t> destination,
                  std::int32_t& count_copied, std::int32_t& count_left) {
    bounded_copy(source, destination, count_copied, count_left, "array_copy_i");
}

std::int32_t iminloc(std::span<const double> v) {
    return locate_real(v, "iminloc", [](double x, double best) { return x < best; });
}

std::int32_t imaxloc_r(std::span<const double> v) {
    return locate_real(v, "imaxloc_r", [](double x, double best) { return x > best; });
}

std::int32_t imaxloc_i(std::span<const std::int32_t> v) {
    detail::check_length(v, "imaxloc_i");
    if (v.empty()) return 0;
    std::size_t at = 0;
    for (std::size_t i = 1; i < v.size(); ++i) {
        if (v[i] > v[at]) at = i;
    }
    return static_cast<std::int32_t>(at + 1);
}

std::int32_t ifirstloc(std::span<const Logical> v) {
    // Without a true element the result is length + 1, which must fit too.
    detail::check_length(v, "ifirstloc", detail::max_length - 1);
    std::size_t i = 0;
    while (i < v.size() && v[i] == 0) {
        ++i;
    }
    return static_cast<std::int32_t>(i + 1);
}

double vabs(std::span<const double> v) {
    long double sum = 0.0L;
    for (const double x : v) {
        sum += static_cast<long double>(x) * static_cast<long double>(x);
    }
    return static_cast<double>(std::sqrt(sum));
}

// =============================================================================================
// Scatter and diagonal operations

namespace {

// destination(index(j)) := update(destination(index(j)), source(j)) for j in order; indices
// outside the destination are skipped.
template <class Update>
void scatter(std::span<double> destination, std::span<const double> source,
             std::span<const std::int32_t> index, std::string_view tag, Update update) {
    const std::size_t n = assert_eq2(length_of(source, tag), length_of(index, tag), tag);
    const std::size_t size = destination.size();
    for (std::size_t j = 0; j < n; ++j) {
        const std::int32_t i = index[j];
        if (i >= 1 && static_cast<std::size_t>(i) <= size) {
            double& target = destination[static_cast<std::size_t>(i) - 1];
            target = update(target, source[j]);
        }
    }
}

double scatter_sum(double d, double s) {
    return d + s;
}

// A NaN destination takes any source; a NaN source never wins.
double scatter_larger(double d, double s) {
    return std::isnan(d) || s > d ? s : d;
}

std::int32_t diagonal_length(const Matrix<double>& matrix) {
    return std::min(matrix.rows(), matrix.cols());
}

// Applies `change` to element (k, k) and v(k) for k = 1..length(v), after checking the
// length against the diagonal.
template <class Change>
void change_diagonal(Matrix<double>& matrix, std::span<const double> v, std::string_view tag,
                     Change change) {
    const std::int32_t n = assert_eq2(length_of(v, tag), diagonal_length(matrix), tag);
    for (std::int32_t k = 1; k <= n; ++k) {
        double& element = matrix(k, k);
        element = change(element, v[static_cast<std::size_t>(k - 1)]);
    }
}

template <class Change>
void change_diagonal(Matrix<double>& matrix, double s, Change change) {
    const std::int32_t n = diagonal_length(matrix);
    for (std::int32_t k = 1; k <= n; ++k) {
        double& element = matrix(k, k);
        element = change(element, s);
    }
}

double replace(double, double s) {
    return s;
}

std::vector<double> diagonal_of(const Matrix<double>& matrix, std::string_view tag) {
    const std::int32_t n = assert_eq2(matrix.rows(), matrix.cols(), tag);
    std::vector<double> d = new_array<double>(count_of(n));
    for (std::int32_t k = 1; k <= n; ++k) {
        d[static_cast<std::size_t>(k - 1)] = matrix(k, k);
    }
    return d;
}

}  // namespace

void scatter_add_r(std::span<double> destination, std::span<const double> source,
                   std::span<const std::int32_t> index) {
    scatter(destination, source, index, "scatter_add_r", scatter_sum);
}

void scatter_add_d(std::span<double> destination, std::span<const double> source,
                   std::span<const std::int32_t> index) {
    scatter(destination, source, index, "scatter_add_d", scatter_sum);
}

void scatter_max_r(std::span<double> destination, std::span<const double> source,
                   std::span<const std::int32_t> index) {
    scatter(destination, source, index, "scatter_max_r", scatter_larger);
}

void scatter_max_d(std::span<double> destination, std::span<const double> source,
                   std::span<const std::int32_t> index) {
    scatter(destination, source, index, "scatter_max_d", scatter_larger);
}

void diagadd_r(Matrix<double>& matrix, double s) {
    change_diagonal(matrix, s, detail::Plus{});
}

void diagadd_rv(Matrix<double>& matrix, std::span<const double> v) {
    change_diagonal(matrix, v, "diagadd_rv", detail::Plus{});
}

void diagmult_r(Matrix<double>& matrix, double s) {
    change_diagonal(matrix, s, detail::Times{});
}

void diagmult_rv(Matrix<double>& matrix, std::span<const double> v) {
    change_diagonal(matrix, v, "diagmult_rv", detail::Times{});
}

std::vector<double> get_diag_rv(const Matrix<double>& matrix) {
    return diagonal_of(matrix, "get_diag_rv");
}

std::vector<double> get_diag_dv(const Matrix<double>& matrix) {
    return diagonal_of(matrix, "get_diag_dv");
}

void put_diag_r(double s, Matrix<double>& matrix) {
    change_diagonal(matrix, s, replace);
}

void put_diag_rv(std::span<const double> v, Matrix<double>& matrix) {
    change_diagonal(matrix, v, "put_diag_rv", replace);
}

void unit_matrix(Matrix<double>& matrix) {
    std::ranges::fill(matrix.elements(), 0.0);
    change_diagonal(matrix, 1.0, replace);
}

}  // namespace vkutil
