// vkutil: vector and matrix routines (polynomials, progressions, running sums, outer
// operations, swaps, reallocation, location, scatter, diagonals) with one common error stop.
//
// Conventions shared by every routine:
//
// - Kinds. The suffix of a name tells the element kind: `_i` 32-bit signed integer (sums and
//   products wrap around modulo 2^32), `_r` and `_d` both 64-bit double (each `_r`/`_d` pair
//   is one operation under two names), `_c` single complex (except `geop_c`, which works on
//   double complex), `_z` double complex, `_h` one byte. A second letter gives the shape:
//   `s` scalar, `v` vector, `m` matrix; `msk` marks a masked variant.
// - Logicals are `Logical` (std::int32_t): any nonzero value is true; results are 0 or 1.
// - Vectors are returned as new std::vector values owned by the caller; inputs are taken as
//   std::span<const T>, in-place updates as std::span<T>.
// - Positions, counts and extents are 32-bit. A routine that returns or compares them (the
//   location routines, the bounded copies, the outer operations and every routine with a
//   length check) stops through `vkerror` with "<routine>: array longer than 32-bit positions
//   can count" when an input array is longer than 2147483647 elements (2147483646 for
//   `ifirstloc`, whose result can be one past the end), before anything is read or changed.
//   The polynomials, running sums and `vabs` have no positions to represent.
// - Matrices are `Matrix<T>`: column-major, with 1-based element access (r, c). A matrix's
//   extents and its storage always agree (see `Matrix`).
// - Every position a routine takes or returns is 1-based.
// - Complex products are formed by the explicit formula (re·re' − im·im', re·im' + im·re')
//   rather than by std::complex's operator*, so that results are bit-for-bit those of the
//   stated order of operations, NaN and infinity included.
// - Optional arguments whose absence equals a value (seeds, diagonal shift) are defaults;
//   reallocation handles, which may hold no array, are std::optional.
//
// Failures never return to the caller:
//
// - A violated precondition writes one console record (" vkerror: ..." through the text
//   layer's free format) and then "STOP <text>" on standard error, and ends the process with
//   `error_stop_status` (3). A nonzero status is deliberate: an error stop is a failure and
//   must not look like a normal end.
// - Storage that cannot be obtained for a result or a working array ends the process through
//   the text layer's operating-system report, "Out of memory", status 1; a size that cannot
//   even be represented ends it with "Integer overflow when calculating the amount of memory
//   to allocate", status 2. This holds for every routine, including the recursive ones
//   (`poly_term_*`, `cumsum_*`, `cumprod`) and the masked ones. The reallocation routines are
//   the exception: they stop through `vkerror` with their own message.
// - Where two extents must agree and the routine would otherwise read or write outside an
//   array (masks, swap partners, the two arrays of `geop_dv`), the extents are checked with
//   `assert_eq2` under the routine's name as tag before anything is changed.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace vkutil {

using Logical = std::int32_t;
using SingleComplex = std::complex<float>;
using DoubleComplex = std::complex<double>;

// Exit status of every error stop (`vkerror` and the assertions).
inline constexpr int error_stop_status = 3;

// Always stops; declared here for `Matrix`, described with the assertions below.
[[noreturn]] void vkerror(std::string_view message);

// A rows × cols matrix stored column by column: element (r, c) is
// elements()[(c−1)·rows + (r−1)].
//
// Its extents and its storage always agree: rows ≥ 0, cols ≥ 0, rows · cols ≤ 2147483647 and
// exactly rows · cols elements. The storage is private; a matrix is built only from extents
// and elements that fit them, and a matrix moved from is left 0 × 0. So no routine can be
// handed a matrix that would make it read or write outside its elements.
template <class T>
class Matrix {
  public:
    Matrix() = default;  // 0 × 0

    // rows × cols with `elements` column by column. Anything inconsistent stops through
    // `vkerror`: "Matrix: negative extent", "Matrix: more than 2147483647 elements" or
    // "Matrix: the number of elements differs from rows times cols".
    Matrix(std::int32_t rows, std::int32_t cols, std::vector<T> elements)
        : rows_(rows), cols_(cols), elements_(std::move(elements)) {
        if (rows < 0 || cols < 0) vkerror("Matrix: negative extent");
        const auto count = static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(cols);
        if (count > std::numeric_limits<std::int32_t>::max()) {
            vkerror("Matrix: more than 2147483647 elements");
        }
        if (elements_.size() != count) {
            vkerror("Matrix: the number of elements differs from rows times cols");
        }
    }

    Matrix(const Matrix&) = default;
    Matrix& operator=(const Matrix&) = default;
    Matrix(Matrix&& other) noexcept
        : rows_(std::exchange(other.rows_, 0)),
          cols_(std::exchange(other.cols_, 0)),
          elements_(std::exchange(other.elements_, {})) {}
    Matrix& operator=(Matrix&& other) noexcept {
        rows_ = std::exchange(other.rows_, 0);
        cols_ = std::exchange(other.cols_, 0);
        elements_ = std::exchange(other.elements_, {});
        return *this;
    }

    std::int32_t rows() const { return rows_; }
    std::int32_t cols() const { return cols_; }
    std::span<T> elements() { return elements_; }
    std::span<const T> elements() const { return elements_; }

    // Element (r, c), 1-based; caller guarantees 1 ≤ r ≤ rows and 1 ≤ c ≤ cols.
    T& operator()(std::int32_t r, std::int32_t c) { return elements_[offset(r, c)]; }
    const T& operator()(std::int32_t r, std::int32_t c) const { return elements_[offset(r, c)]; }

    friend bool operator==(const Matrix&, const Matrix&) = default;

  private:
    std::size_t offset(std::int32_t r, std::int32_t c) const {
        return static_cast<std::size_t>(c - 1) * static_cast<std::size_t>(rows_) +
               static_cast<std::size_t>(r - 1);
    }

    std::int32_t rows_ = 0;
    std::int32_t cols_ = 0;
    std::vector<T> elements_;
};

// ---------------------------------------------------------------------------------------------
// Polynomial evaluation. A coefficient array c(1..n) holds c(1) + c(2)·x + … + c(n)·x^(n−1).
// Fewer than 8 coefficients: Horner's rule from the top. From 8 on: a blocked scheme that
// combines neighbouring coefficients pairwise, work(k) := work(2k−1) + p·work(2k), with a zero
// appended at odd lengths and p squared at every level, until one value is left. An empty
// coefficient array gives zero.

double poly_rr(double x, std::span<const double> coefficients);
double poly_dd(double x, std::span<const double> coefficients);
// Each real coefficient is rounded to single precision and enters as c(i) + 0i.
SingleComplex poly_rc(SingleComplex x, std::span<const double> coefficients);
// The complex square of p is (re² − im², (2·re)·im).
SingleComplex poly_cc(SingleComplex x, std::span<const SingleComplex> coefficients);

// The value at every point. With n ≤ 7 coefficients, or more points than coefficients, Horner's
// rule runs across the whole array (outer loop over the coefficients); otherwise each point
// takes the scalar routine's blocked scheme.
std::vector<double> poly_rrv(std::span<const double> x, std::span<const double> coefficients);
std::vector<double> poly_ddv(std::span<const double> x, std::span<const double> coefficients);

// The value at the points whose mask is true, packed in order and evaluated together (so the
// method choice above counts only those points); 0.0 where the mask is false. `mask` must be
// as long as `x` (checked: tag "poly_msk_rrv" / "poly_msk_ddv").
std::vector<double> poly_msk_rrv(std::span<const double> x, std::span<const double> coefficients,
                                 std::span<const Logical> mask);
std::vector<double> poly_msk_ddv(std::span<const double> x, std::span<const double> coefficients,
                                 std::span<const Logical> mask);

// The partial Horner sums u(i) = a(1)·b^(i−1) + … + a(i), i = 1..n. From 8 terms on, pairs
// a(2k−1)·b + a(2k) are summed with b² recursively and the odd positions filled in after.
std::vector<double> poly_term_rr(std::span<const double> a, double b);
std::vector<SingleComplex> poly_term_cc(std::span<const SingleComplex> a, SingleComplex b);

// ---------------------------------------------------------------------------------------------
// Error stop and assertions. On failure each writes the console record " <prefix><text>"
// (prefix and text joined without a blank), then "STOP program terminated by <routine>" on
// standard error, and ends with `error_stop_status`. On success they write nothing.

// Always stops; the record is " vkerror: <message>" (declared above, before `Matrix`).

// Stop when any condition is false; the record is
// " vkerror: an assertion failed with this tag:<tag>".
void assert1(Logical cond1, std::string_view tag);
void assert2(Logical cond1, Logical cond2, std::string_view tag);
void assert3(Logical cond1, Logical cond2, Logical cond3, std::string_view tag);
void assert4(Logical cond1, Logical cond2, Logical cond3, Logical cond4, std::string_view tag);
// Elements examined in order; an empty array passes.
void assert_v(std::span<const Logical> conditions, std::string_view tag);

// Stop unless every value equals the first; return the common value. The record is
// " vkerror: an assert_eq failed with this tag:<tag>".
std::int32_t assert_eq2(std::int32_t i1, std::int32_t i2, std::string_view tag);
std::int32_t assert_eq3(std::int32_t i1, std::int32_t i2, std::int32_t i3, std::string_view tag);
std::int32_t assert_eq4(std::int32_t i1, std::int32_t i2, std::int32_t i3, std::int32_t i4,
                        std::string_view tag);
// An empty array has no common value and fails like a mismatch.
std::int32_t assert_eqn(std::span<const std::int32_t> values, std::string_view tag);

// ---------------------------------------------------------------------------------------------
// Progressions and cumulative operations. Non-positive lengths give empty results.

// first, first + increment, … (n elements). Up to 16 by the plain recurrence; beyond, 8 plain
// steps and then doubling: element k + j := element j + k·increment, with k·increment kept as
// a running double t (t := 8·increment, then t := t + t at each pass).
std::vector<double> arth_r(double first, double increment, std::int32_t n);
std::vector<double> arth_d(double first, double increment, std::int32_t n);
std::vector<std::int32_t> arth_i(std::int32_t first, std::int32_t increment, std::int32_t n);

// first, first·factor, first·factor², … (n elements). Up to 4 by the plain recurrence; beyond,
// element 2 and then doubling: element k + j := element j · t, t := factor² squared each pass.
std::vector<double> geop_r(double first, double factor, std::int32_t n);
std::vector<double> geop_d(double first, double factor, std::int32_t n);
std::vector<std::int32_t> geop_i(std::int32_t first, std::int32_t factor, std::int32_t n);
// Squares are (re² − im², (re·im)·2).
std::vector<DoubleComplex> geop_c(DoubleComplex first, DoubleComplex factor, std::int32_t n);
// One progression per row: an m × max(n, 0) matrix whose row i runs first(i), first(i)·factor(i),
// …; m = length of `first`, and `factor` must be as long (checked: tag "geop_dv").
Matrix<double> geop_dv(std::span<const double> first, std::span<const double> factor,
                       std::int32_t n);

// Running sums seed + values(1), seed + values(1) + values(2), …. Up to 15 elements by the
// plain recurrence; from 16 on, pairs values(2k) + values(2k−1) are summed recursively and the
// odd positions filled in after.
std::vector<double> cumsum_r(std::span<const double> values, double seed = 0.0);
std::vector<std::int32_t> cumsum_i(std::span<const std::int32_t> values, std::int32_t seed = 0);
// Running products seed·values(1), …; plain up to 7 elements, recursive from 8 on.
std::vector<double> cumprod(std::span<const double> values, double seed = 1.0);

// `count` complex roots of unity of order n: element j is exp(2πi·(j−1)/n). Elements 2, 3, 5,
// 9, 17, … come straight from cosine and sine (in double, rounded to single); the others are
// products of those. n = 0 has no roots: element 1 is still 1 + 0i and every later element is
// NaN + NaN·i. A negative n gives the roots in clockwise order.
std::vector<SingleComplex> zroots_unity(std::int32_t n, std::int32_t count);

// ---------------------------------------------------------------------------------------------
// Outer operations: the length(a) × length(b) matrix whose element (i, j) is a(i) op b(j).

Matrix<double> outerprod_r(std::span<const double> a, std::span<const double> b);
Matrix<double> outerprod_d(std::span<const double> a, std::span<const double> b);
// A zero divisor gives the IEEE result (±infinity, or NaN for 0/0) without report.
Matrix<double> outerdiv(std::span<const double> a, std::span<const double> b);
Matrix<double> outersum(std::span<const double> a, std::span<const double> b);
Matrix<double> outerdiff_r(std::span<const double> a, std::span<const double> b);
Matrix<double> outerdiff_d(std::span<const double> a, std::span<const double> b);
// Differences outside the 32-bit range wrap around modulo 2^32.
Matrix<std::int32_t> outerdiff_i(std::span<const std::int32_t> a, std::span<const std::int32_t> b);
// 1 where both a(i) and b(j) are true, else 0.
Matrix<Logical> outerand(std::span<const Logical> a, std::span<const Logical> b);

// Triangle masks of a j × k matrix: element (r, c) is 1 when r − c < diagonal_shift (upper)
// or r − c > −diagonal_shift (lower), else 0. A shift of 0 marks the cells strictly above
// (below) the main diagonal; each unit of positive shift widens the triangle by a diagonal.
Matrix<Logical> upper_triangle(std::int32_t j, std::int32_t k, std::int32_t diagonal_shift = 0);
Matrix<Logical> lower_triangle(std::int32_t j, std::int32_t k, std::int32_t diagonal_shift = 0);

// ---------------------------------------------------------------------------------------------
// Swaps. Both arguments are updated; arrays must have equal extents (checked: the routine's
// name is the tag). Passing the same array twice leaves it unchanged; partly overlapping
// spans behave as if a's old elements were set aside, then a took b's, then b took the old a.

void swap_i(std::int32_t& a, std::int32_t& b);
void swap_r(double& a, double& b);
void swap_rv(std::span<double> a, std::span<double> b);
void swap_c(SingleComplex& a, SingleComplex& b);
void swap_cv(std::span<SingleComplex> a, std::span<SingleComplex> b);
void swap_cm(Matrix<SingleComplex>& a, Matrix<SingleComplex>& b);
void swap_z(DoubleComplex& a, DoubleComplex& b);
void swap_zv(std::span<DoubleComplex> a, std::span<DoubleComplex> b);
void swap_zm(Matrix<DoubleComplex>& a, Matrix<DoubleComplex>& b);

// Exchange only where the mask is true; the mask has the data's extents (checked).
void masked_swap_rs(double& a, double& b, Logical mask);
void masked_swap_rv(std::span<double> a, std::span<double> b, std::span<const Logical> mask);
void masked_swap_rm(Matrix<double>& a, Matrix<double>& b, const Matrix<Logical>& mask);

// ---------------------------------------------------------------------------------------------
// Reallocation. Return a new array of max(n, 0) elements (matrices: max(n, 0) rows and
// max(m, 0) columns) holding the leading part of the old one that fits, each element at the
// same position; the rest is zero (callers should not rely on that). The handle `p` is left
// holding no array. When the storage cannot be obtained, or a matrix's element count exceeds
// 2147483647, the routine stops through `vkerror` with "<routine>: problem in attempt to
// allocate memory" and `p` is untouched.

std::vector<double> reallocate_rv(std::optional<std::vector<double>>& p, std::int32_t n);
std::vector<std::int32_t> reallocate_iv(std::optional<std::vector<std::int32_t>>& p,
                                        std::int32_t n);
std::vector<char> reallocate_hv(std::optional<std::vector<char>>& p, std::int32_t n);
Matrix<double> reallocate_rm(std::optional<Matrix<double>>& p, std::int32_t n, std::int32_t m);
Matrix<std::int32_t> reallocate_im(std::optional<Matrix<std::int32_t>>& p, std::int32_t n,
                                   std::int32_t m);

// ---------------------------------------------------------------------------------------------
// Copy and location.

// Copies the first min(length(source), length(destination)) elements; the rest of the
// destination is left as it was. Source and destination may overlap: the copy is made as if
// through a temporary, so the destination receives the source's elements as they were before
// the call. count_left counts the source elements that did not fit.
void array_copy_r(std::span<const double> source, std::span<double> destination,
                  std::int32_t& count_copied, std::int32_t& count_left);
void array_copy_d(std::span<const double> source, std::span<double> destination,
                  std::int32_t& count_copied, std::int32_t& count_left);
void array_copy_i(std::span<const std::int32_t> source, std::span<std::int32_t> destination,
                  std::int32_t& count_copied, std::int32_t& count_left);

// Position of the first least (greatest) element, NaN elements ignored; 0 for an empty
// vector, 1 when every element is NaN.
std::int32_t iminloc(std::span<const double> v);
std::int32_t imaxloc_r(std::span<const double> v);
// Position of the first greatest element; 0 for an empty vector.
std::int32_t imaxloc_i(std::span<const std::int32_t> v);
// Position of the first true element, or length + 1 when there is none.
std::int32_t ifirstloc(std::span<const Logical> v);

// Euclidean norm; the squares are added in element order in an accumulator wider than double
// where the platform has one, so the sum may exceed the double range when the norm fits.
double vabs(std::span<const double> v);

// ---------------------------------------------------------------------------------------------
// Scatter and diagonal operations. Length checks (tag: the routine's name) come before any
// element is changed.

// destination(index(j)) += source(j), j in order; indices outside 1..length(destination) are
// skipped. source and index must be equally long.
void scatter_add_r(std::span<double> destination, std::span<const double> source,
                   std::span<const std::int32_t> index);
void scatter_add_d(std::span<double> destination, std::span<const double> source,
                   std::span<const std::int32_t> index);
// destination(i) becomes source(j) when it is NaN or source(j) is greater; a NaN source never
// replaces anything.
void scatter_max_r(std::span<double> destination, std::span<const double> source,
                   std::span<const std::int32_t> index);
void scatter_max_d(std::span<double> destination, std::span<const double> source,
                   std::span<const std::int32_t> index);

// The main diagonal is (k, k) for k = 1..min(rows, cols); vectors must have that length.
void diagadd_r(Matrix<double>& matrix, double s);
void diagadd_rv(Matrix<double>& matrix, std::span<const double> v);
void diagmult_r(Matrix<double>& matrix, double s);
void diagmult_rv(Matrix<double>& matrix, std::span<const double> v);
// The diagonal of a square matrix (rows = cols is checked).
std::vector<double> get_diag_rv(const Matrix<double>& matrix);
std::vector<double> get_diag_dv(const Matrix<double>& matrix);
// Value first, matrix second.
void put_diag_r(double s, Matrix<double>& matrix);
void put_diag_rv(std::span<const double> v, Matrix<double>& matrix);
// Every element 0, then the main diagonal 1.
void unit_matrix(Matrix<double>& matrix);

}  // namespace vkutil
