// Outer operations, triangle masks, swaps, reallocation, copy, location, scatter and
// diagonal operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "test_support.hpp"
#include "vkutil/vkutil.hpp"

namespace {

using vkutil::DoubleComplex;
using vkutil::Logical;
using vkutil::Matrix;
using vkutil::SingleComplex;

using zorvi::testing::inf;
using zorvi::testing::int_max;
using zorvi::testing::int_min;
using zorvi::testing::nan;

// A matrix given row by row, stored column by column.
template <class T>
Matrix<T> from_rows(std::initializer_list<std::initializer_list<T>> rows) {
    const auto row_count = static_cast<std::int32_t>(rows.size());
    const std::int32_t col_count =
        row_count > 0 ? static_cast<std::int32_t>(rows.begin()->size()) : 0;
    Matrix<T> m(
        row_count, col_count,
        std::vector<T>(static_cast<std::size_t>(row_count) * static_cast<std::size_t>(col_count)));
    std::int32_t r = 1;
    for (const auto& row : rows) {
        std::int32_t c = 1;
        for (const T& value : row) {
            m(r, c++) = value;
        }
        ++r;
    }
    return m;
}

template <class T>
void expect_matrix(const Matrix<T>& got, const Matrix<T>& want) {
    ASSERT_EQ(got.rows(), want.rows());
    ASSERT_EQ(got.cols(), want.cols());
    EXPECT_TRUE(std::ranges::equal(got.elements(), want.elements()));
}

// ---------------------------------------------------------------------------------------------
// Outer operations

TEST(Outer, RealOperationsFirstArgumentIndexesRows) {
    const std::vector<double> a = {1, 2};
    const std::vector<double> b = {3, 4, 5};
    expect_matrix(vkutil::outerprod_r(a, b), from_rows<double>({{3, 4, 5}, {6, 8, 10}}));
    expect_matrix(vkutil::outerprod_d(a, b), from_rows<double>({{3, 4, 5}, {6, 8, 10}}));
    expect_matrix(vkutil::outerdiff_r(a, b), from_rows<double>({{-2, -3, -4}, {-1, -2, -3}}));
    expect_matrix(vkutil::outerdiff_d(a, b), from_rows<double>({{-2, -3, -4}, {-1, -2, -3}}));
    expect_matrix(vkutil::outersum(a, b), from_rows<double>({{4, 5, 6}, {5, 6, 7}}));
    expect_matrix(vkutil::outerdiv(b, a), from_rows<double>({{3, 1.5}, {4, 2}, {5, 2.5}}));
}

TEST(Outer, DivisionByZeroFollowsIeee) {
    const std::vector<double> a = {1, 0};
    const std::vector<double> b = {0};
    const Matrix<double> q = vkutil::outerdiv(a, b);
    ASSERT_EQ(q.rows(), 2);
    ASSERT_EQ(q.cols(), 1);
    EXPECT_EQ(q(1, 1), inf);
    EXPECT_TRUE(std::isnan(q(2, 1)));
}

TEST(Outer, IntegerDifferenceWrapsAround) {
    const std::vector<std::int32_t> a = {int_min, 5};
    const std::vector<std::int32_t> b = {1, -int_max};
    expect_matrix(vkutil::outerdiff_i(a, b),
                  from_rows<std::int32_t>({{int_max, -1}, {4, int_min + 4}}));
}

TEST(Outer, LogicalAndWritesZeroOrOne) {
    const std::vector<Logical> a = {1, 0};
    const std::vector<Logical> b = {5, -1, 0};  // any nonzero value is true
    expect_matrix(vkutil::outerand(a, b), from_rows<Logical>({{1, 1, 0}, {0, 0, 0}}));
}

TEST(Outer, EmptyArguments) {
    const std::vector<double> a = {1, 2};
    const Matrix<double> no_rows = vkutil::outerprod_r({}, a);
    EXPECT_EQ(no_rows.rows(), 0);
    EXPECT_EQ(no_rows.cols(), 2);
    const Matrix<double> no_cols = vkutil::outersum(a, {});
    EXPECT_EQ(no_cols.rows(), 2);
    EXPECT_EQ(no_cols.cols(), 0);
    EXPECT_TRUE(no_cols.elements().empty());
}

// ---------------------------------------------------------------------------------------------
// Triangle masks

TEST(Triangle, SquareWithShifts) {
    expect_matrix(vkutil::upper_triangle(3, 3),
                  from_rows<Logical>({{0, 1, 1}, {0, 0, 1}, {0, 0, 0}}));
    expect_matrix(vkutil::lower_triangle(3, 3),
                  from_rows<Logical>({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}));
    expect_matrix(vkutil::upper_triangle(3, 3, 1),
                  from_rows<Logical>({{1, 1, 1}, {0, 1, 1}, {0, 0, 1}}));
    expect_matrix(vkutil::lower_triangle(3, 3, 1),
                  from_rows<Logical>({{1, 0, 0}, {1, 1, 0}, {1, 1, 1}}));
    expect_matrix(vkutil::upper_triangle(3, 3, 0), vkutil::upper_triangle(3, 3));
    expect_matrix(vkutil::upper_triangle(3, 3, -1),
                  from_rows<Logical>({{0, 0, 1}, {0, 0, 0}, {0, 0, 0}}));
    expect_matrix(vkutil::upper_triangle(3, 3, 3),
                  from_rows<Logical>({{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}));
}

TEST(Triangle, NonSquareAndEmpty) {
    expect_matrix(vkutil::upper_triangle(2, 4), from_rows<Logical>({{0, 1, 1, 1}, {0, 0, 1, 1}}));
    expect_matrix(vkutil::lower_triangle(4, 2),
                  from_rows<Logical>({{0, 0}, {1, 0}, {1, 1}, {1, 1}}));
    EXPECT_EQ(vkutil::upper_triangle(0, 3).rows(), 0);
    EXPECT_EQ(vkutil::lower_triangle(3, -1).cols(), 0);
    EXPECT_TRUE(vkutil::lower_triangle(3, 0).elements().empty());
}

TEST(Triangle, ExtremeShiftsDoNotOverflow) {
    // −int_min does not fit 32 bits: nothing is below it, everything above.
    expect_matrix(vkutil::lower_triangle(2, 2, int_min), from_rows<Logical>({{0, 0}, {0, 0}}));
    expect_matrix(vkutil::upper_triangle(2, 2, int_max), from_rows<Logical>({{1, 1}, {1, 1}}));
    expect_matrix(vkutil::lower_triangle(2, 2, int_max), from_rows<Logical>({{1, 1}, {1, 1}}));
}

// ---------------------------------------------------------------------------------------------
// Swaps

TEST(Swap, Scalars) {
    std::int32_t i = 3, j = 7;
    vkutil::swap_i(i, j);
    EXPECT_EQ(i, 7);
    EXPECT_EQ(j, 3);
    double x = nan, y = inf;
    vkutil::swap_r(x, y);
    EXPECT_EQ(x, inf);
    EXPECT_TRUE(std::isnan(y));
    SingleComplex c1(1, 2), c2(3, 4);
    vkutil::swap_c(c1, c2);
    EXPECT_EQ(c1, SingleComplex(3, 4));
    EXPECT_EQ(c2, SingleComplex(1, 2));
    DoubleComplex z1(1, 2), z2(3, 4);
    vkutil::swap_z(z1, z2);
    EXPECT_EQ(z1, DoubleComplex(3, 4));
    EXPECT_EQ(z2, DoubleComplex(1, 2));
}

TEST(Swap, VectorsAndMatrices) {
    std::vector<double> a = {1, 2, 3}, b = {4, 5, 6};
    vkutil::swap_rv(a, b);
    EXPECT_EQ(a, (std::vector<double>{4, 5, 6}));
    EXPECT_EQ(b, (std::vector<double>{1, 2, 3}));
    vkutil::swap_rv(a, a);  // the same array twice
    EXPECT_EQ(a, (std::vector<double>{4, 5, 6}));
    std::vector<double> none1, none2;
    vkutil::swap_rv(none1, none2);

    std::vector<SingleComplex> ca = {{1, 2}}, cb = {{3, 4}};
    vkutil::swap_cv(ca, cb);
    EXPECT_EQ(ca[0], SingleComplex(3, 4));
    std::vector<DoubleComplex> za = {{1, 2}, {5, 6}}, zb = {{3, 4}, {7, 8}};
    vkutil::swap_zv(za, zb);
    EXPECT_EQ(zb[1], DoubleComplex(5, 6));

    Matrix<SingleComplex> cm1 = from_rows<SingleComplex>({{{1, 1}, {2, 2}}});
    Matrix<SingleComplex> cm2 = from_rows<SingleComplex>({{{3, 3}, {4, 4}}});
    vkutil::swap_cm(cm1, cm2);
    EXPECT_EQ(cm1(1, 2), SingleComplex(4, 4));
    EXPECT_EQ(cm2(1, 1), SingleComplex(1, 1));
    Matrix<DoubleComplex> zm1 = from_rows<DoubleComplex>({{{1, 0}}, {{2, 0}}});
    Matrix<DoubleComplex> zm2 = from_rows<DoubleComplex>({{{3, 0}}, {{4, 0}}});
    vkutil::swap_zm(zm1, zm2);
    EXPECT_EQ(zm1(2, 1), DoubleComplex(4, 0));
    vkutil::swap_zm(zm1, zm1);
    EXPECT_EQ(zm1(2, 1), DoubleComplex(4, 0));
}

TEST(Swap, OverlappingSpansFollowTheThreePhases) {
    // a = x(1..3), b = x(2..4): a takes b's elements in order, then b takes a's old ones.
    std::vector<double> x = {1, 2, 3, 4};
    vkutil::swap_rv(std::span(x).first(3), std::span(x).subspan(1));
    EXPECT_EQ(x, (std::vector<double>{2, 1, 2, 3}));
}

TEST(MaskedSwap, OnlyWhereTheMaskIsTrue) {
    std::vector<double> a = {1, 2, 3}, b = {4, 5, 6};
    vkutil::masked_swap_rv(a, b, std::vector<Logical>{1, 0, -3});
    EXPECT_EQ(a, (std::vector<double>{4, 2, 6}));
    EXPECT_EQ(b, (std::vector<double>{1, 5, 3}));
    vkutil::masked_swap_rv(a, b, std::vector<Logical>{0, 0, 0});
    EXPECT_EQ(a, (std::vector<double>{4, 2, 6}));
    vkutil::masked_swap_rv(a, b, std::vector<Logical>{1, 1, 1});
    EXPECT_EQ(a, (std::vector<double>{1, 5, 3}));

    double x = 1, y = 2;
    vkutil::masked_swap_rs(x, y, 0);
    EXPECT_EQ(x, 1);
    vkutil::masked_swap_rs(x, y, 9);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 1);

    Matrix<double> m1 = from_rows<double>({{1, 2}, {3, 4}});
    Matrix<double> m2 = from_rows<double>({{5, 6}, {7, 8}});
    vkutil::masked_swap_rm(m1, m2, from_rows<Logical>({{0, 0}, {1, 0}}));
    expect_matrix(m1, from_rows<double>({{1, 2}, {7, 4}}));
    expect_matrix(m2, from_rows<double>({{5, 6}, {3, 8}}));
}

// ---------------------------------------------------------------------------------------------
// Reallocation

TEST(Reallocate, VectorsGrowAndShrink) {
    std::optional<std::vector<double>> p = std::vector<double>{1, 2, 3};
    std::vector<double> grown = vkutil::reallocate_rv(p, 5);
    EXPECT_FALSE(p.has_value());
    ASSERT_EQ(grown.size(), 5u);
    EXPECT_EQ(std::vector<double>(grown.begin(), grown.begin() + 3),
              (std::vector<double>{1, 2, 3}));

    p = std::vector<double>{1, 2, 3};
    EXPECT_EQ(vkutil::reallocate_rv(p, 2), (std::vector<double>{1, 2}));
    p = std::vector<double>{1, 2, 3};
    const std::vector<double> empty = vkutil::reallocate_rv(p, -4);
    EXPECT_TRUE(empty.empty());
    EXPECT_FALSE(p.has_value());

    std::optional<std::vector<std::int32_t>> q;  // no array: nothing to copy
    EXPECT_EQ(vkutil::reallocate_iv(q, 3).size(), 3u);
    q = std::vector<std::int32_t>{};
    EXPECT_EQ(vkutil::reallocate_iv(q, 2).size(), 2u);
    EXPECT_FALSE(q.has_value());

    std::optional<std::vector<char>> h = std::vector<char>{'a', 'b', 'c'};
    EXPECT_EQ(vkutil::reallocate_hv(h, 2), (std::vector<char>{'a', 'b'}));
}

TEST(Reallocate, MatricesKeepTheLeadingBlockInPlace) {
    std::optional<Matrix<std::int32_t>> p = from_rows<std::int32_t>({{11, 12, 13}, {21, 22, 23}});
    const Matrix<std::int32_t> m = vkutil::reallocate_im(p, 3, 2);
    EXPECT_FALSE(p.has_value());
    ASSERT_EQ(m.rows(), 3);
    ASSERT_EQ(m.cols(), 2);
    EXPECT_EQ(m(1, 1), 11);
    EXPECT_EQ(m(1, 2), 12);
    EXPECT_EQ(m(2, 1), 21);
    EXPECT_EQ(m(2, 2), 22);

    std::optional<Matrix<double>> r = from_rows<double>({{1, 2}, {3, 4}});
    const Matrix<double> grown = vkutil::reallocate_rm(r, 3, 3);
    EXPECT_EQ(grown(2, 2), 4);
    EXPECT_EQ(grown(1, 2), 2);
    std::optional<Matrix<double>> none;
    const Matrix<double> fresh = vkutil::reallocate_rm(none, 0, 7);
    EXPECT_EQ(fresh.rows(), 0);
    EXPECT_EQ(fresh.cols(), 7);
}

// ---------------------------------------------------------------------------------------------
// Copy and location

TEST(ArrayCopy, CopiesWhatFits) {
    std::int32_t copied = -1, left = -1;
    std::vector<double> dest3 = {0, 0, 0};
    vkutil::array_copy_r(std::vector<double>{1, 2, 3, 4, 5}, dest3, copied, left);
    EXPECT_EQ(dest3, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(copied, 3);
    EXPECT_EQ(left, 2);

    std::vector<double> dest4 = {9, 9, 9, 9};
    vkutil::array_copy_d(std::vector<double>{1, 2}, dest4, copied, left);
    EXPECT_EQ(dest4, (std::vector<double>{1, 2, 9, 9}));
    EXPECT_EQ(copied, 2);
    EXPECT_EQ(left, 0);

    std::vector<std::int32_t> di = {7};
    vkutil::array_copy_i({}, di, copied, left);
    EXPECT_EQ(di[0], 7);
    EXPECT_EQ(copied, 0);
    EXPECT_EQ(left, 0);

    // Overlapping arrays copy as if through a temporary (element by element forward, the
    // first case gave 1, 1, 1, 1).
    std::vector<double> up = {1, 2, 3, 4};
    vkutil::array_copy_r(std::span(up).first(3), std::span(up).last(3), copied, left);
    EXPECT_EQ(up, (std::vector<double>{1, 1, 2, 3}));
    std::vector<std::int32_t> down = {1, 2, 3, 4};
    vkutil::array_copy_i(std::span(down).last(3), std::span(down).first(3), copied, left);
    EXPECT_EQ(down, (std::vector<std::int32_t>{2, 3, 4, 4}));
    EXPECT_EQ(copied, 3);
    EXPECT_EQ(left, 0);
}

TEST(Location, RealExtremesSkipNan) {
    EXPECT_EQ(vkutil::iminloc(std::vector<double>{3, 1, 2, 1}), 2);
    EXPECT_EQ(vkutil::imaxloc_r(std::vector<double>{1, 5, 5}), 2);
    EXPECT_EQ(vkutil::imaxloc_r(std::vector<double>{nan, 2, 7, nan}), 3);
    EXPECT_EQ(vkutil::iminloc(std::vector<double>{nan, 4, nan, 3}), 4);
    EXPECT_EQ(vkutil::iminloc(std::vector<double>{nan, nan}), 1);
    EXPECT_EQ(vkutil::iminloc({}), 0);
    EXPECT_EQ(vkutil::imaxloc_r({}), 0);
    EXPECT_EQ(vkutil::imaxloc_r(std::vector<double>{-inf, nan, inf}), 3);
    EXPECT_EQ(vkutil::iminloc(std::vector<double>{2, -inf}), 2);
}

TEST(Location, IntegersAndLogicals) {
    EXPECT_EQ(vkutil::imaxloc_i(std::vector<std::int32_t>{-4, -4, -9}), 1);
    EXPECT_EQ(vkutil::imaxloc_i(std::vector<std::int32_t>{int_min, 3, int_max, int_max}), 3);
    EXPECT_EQ(vkutil::imaxloc_i({}), 0);
    EXPECT_EQ(vkutil::ifirstloc(std::vector<Logical>{0, 1, 1}), 2);
    EXPECT_EQ(vkutil::ifirstloc(std::vector<Logical>{0, 0, -2}), 3);
    EXPECT_EQ(vkutil::ifirstloc(std::vector<Logical>{0, 0, 0}), 4);
    EXPECT_EQ(vkutil::ifirstloc({}), 1);
}

TEST(Vabs, NormWithoutIntermediateOverflow) {
    EXPECT_EQ(vkutil::vabs(std::vector<double>{3, 4}), 5.0);
    EXPECT_EQ(vkutil::vabs({}), 0.0);
    // The squares exceed the double range; the norm does not.
    EXPECT_NEAR(vkutil::vabs(std::vector<double>{3e200, 4e200}), 5e200, 1e186);
}

// ---------------------------------------------------------------------------------------------
// Scatter and diagonal operations

TEST(Scatter, AddAccumulatesAndSkipsOutOfRange) {
    std::vector<double> d = {0, 0, 0};
    vkutil::scatter_add_r(d, std::vector<double>{1, 2, 3}, std::vector<std::int32_t>{1, 3, 1});
    EXPECT_EQ(d, (std::vector<double>{4, 0, 2}));
    std::vector<double> e = {1, 1, 1};
    vkutil::scatter_add_d(e, std::vector<double>{5, 6, 7}, std::vector<std::int32_t>{0, -1, 4});
    EXPECT_EQ(e, (std::vector<double>{1, 1, 1}));
    std::vector<double> f = {0};
    vkutil::scatter_add_r(f, std::vector<double>{int_max}, std::vector<std::int32_t>{int_min});
    EXPECT_EQ(f[0], 0);
}

TEST(Scatter, MaxAndNan) {
    std::vector<double> d = {1, 1};
    vkutil::scatter_max_r(d, std::vector<double>{0, 5, 3}, std::vector<std::int32_t>{1, 2, 2});
    EXPECT_EQ(d, (std::vector<double>{1, 5}));
    std::vector<double> n = {nan};
    vkutil::scatter_max_d(n, std::vector<double>{2}, std::vector<std::int32_t>{1});
    EXPECT_EQ(n[0], 2);
    std::vector<double> one = {1};
    vkutil::scatter_max_r(one, std::vector<double>{nan, 0.5}, std::vector<std::int32_t>{1, 1});
    EXPECT_EQ(one[0], 1);
}

TEST(Diagonal, VectorAndScalarUpdates) {
    Matrix<double> m = from_rows<double>({{1, 2, 3}, {4, 5, 6}});
    vkutil::diagadd_rv(m, std::vector<double>{10, 20});
    expect_matrix(m, from_rows<double>({{11, 2, 3}, {4, 25, 6}}));
    vkutil::diagmult_rv(m, std::vector<double>{2, 3});
    expect_matrix(m, from_rows<double>({{22, 2, 3}, {4, 75, 6}}));
    vkutil::diagadd_r(m, 1);
    expect_matrix(m, from_rows<double>({{23, 2, 3}, {4, 76, 6}}));
    vkutil::diagmult_r(m, 0);
    expect_matrix(m, from_rows<double>({{0, 2, 3}, {4, 0, 6}}));
    vkutil::put_diag_rv(std::vector<double>{8, 9}, m);
    expect_matrix(m, from_rows<double>({{8, 2, 3}, {4, 9, 6}}));

    Matrix<double> tall = from_rows<double>({{1, 2}, {3, 4}, {5, 6}});
    vkutil::put_diag_r(7, tall);
    expect_matrix(tall, from_rows<double>({{7, 2}, {3, 7}, {5, 6}}));
}

TEST(Diagonal, GetDiagonalAndUnitMatrix) {
    const Matrix<double> sq = from_rows<double>({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    EXPECT_EQ(vkutil::get_diag_rv(sq), (std::vector<double>{1, 5, 9}));
    EXPECT_EQ(vkutil::get_diag_dv(sq), (std::vector<double>{1, 5, 9}));
    Matrix<double> wide = from_rows<double>({{5, 5, 5}, {5, 5, 5}});
    vkutil::unit_matrix(wide);
    expect_matrix(wide, from_rows<double>({{1, 0, 0}, {0, 1, 0}}));
    Matrix<double> empty;
    vkutil::unit_matrix(empty);
    EXPECT_TRUE(empty.elements().empty());
}

}  // namespace
