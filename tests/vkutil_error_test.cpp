// The error stop and assertions, the length checks of their callers, and storage failures:
// each failure runs in a child process whose output and status are checked.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "test_support.hpp"
#include "vkutil/vkutil.hpp"

namespace {

using vkutil::Logical;
using vkutil::Matrix;
using zorvi::testing::run_in_child;

constexpr std::string_view assertion = "vkerror: an assertion failed with this tag:";
constexpr std::string_view assert_eq = "vkerror: an assert_eq failed with this tag:";

// The body must stop with the console record " <record>" and "STOP <stop_text>", status 3.
void expect_stop(const std::function<void()>& body, const std::string& record,
                 const std::string& stop_text) {
    const zorvi::testing::ProcessResult r = run_in_child(body);
    EXPECT_EQ(r.out, " " + record + "\r\n");
    EXPECT_EQ(r.err, "STOP " + stop_text + "\n");
    EXPECT_EQ(r.status, vkutil::error_stop_status);
}

void expect_assert_eq2_stop(const std::function<void()>& body, const std::string& tag) {
    SCOPED_TRACE(tag);
    expect_stop(body, std::string(assert_eq) + tag, "program terminated by assert_eq2");
}

Matrix<double> zeros(std::int32_t rows, std::int32_t cols) {
    return Matrix<double>{rows, cols, std::vector<double>(static_cast<std::size_t>(rows * cols))};
}

// Limits the child's address space to what it uses now plus `headroom` bytes.
void limit_address_space(std::size_t headroom) {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    statm >> pages;
    const rlim_t limit = pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) + headroom;
    const rlimit rl{limit, limit};
    setrlimit(RLIMIT_AS, &rl);
}

bool under_address_sanitizer() {
#if ZORVI_UNDER_ADDRESS_SANITIZER
    return true;
#else
    return false;
#endif
}

// ---------------------------------------------------------------------------------------------
// vkerror and the assertions

TEST(ErrorStop, VkerrorWritesItsMessage) {
    expect_stop([] { vkutil::vkerror("x"); }, "vkerror: x", "program terminated by vkerror");
    expect_stop([] { vkutil::vkerror(""); }, "vkerror: ", "program terminated by vkerror");
    expect_stop([] { vkutil::vkerror("two blanks  "); }, "vkerror: two blanks  ",
                "program terminated by vkerror");
}

TEST(ErrorStop, LogicalAssertionsFailOnAnyFalse) {
    expect_stop([] { vkutil::assert1(0, "t1"); }, std::string(assertion) + "t1",
                "program terminated by assert1");
    expect_stop([] { vkutil::assert2(1, 0, "t2"); }, std::string(assertion) + "t2",
                "program terminated by assert2");
    expect_stop([] { vkutil::assert3(1, 1, 0, "t3"); }, std::string(assertion) + "t3",
                "program terminated by assert3");
    expect_stop([] { vkutil::assert4(1, 1, 1, 0, ""); }, std::string(assertion),
                "program terminated by assert4");
    const std::vector<Logical> mixed = {1, 0, 1};
    expect_stop([&] { vkutil::assert_v(mixed, "v"); }, std::string(assertion) + "v",
                "program terminated by assert_v");
}

TEST(ErrorStop, PassingAssertionsWriteNothing) {
    const zorvi::testing::ProcessResult r = run_in_child([] {
        vkutil::assert1(-1, "t");
        vkutil::assert2(7, 1, "t");
        vkutil::assert3(1, 2, 3, "t");
        vkutil::assert4(1, 1, 1, 1 << 30, "t");
        vkutil::assert_v({}, "t");
        vkutil::assert_v(std::vector<Logical>{2, 3}, "t");
    });
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST(ErrorStop, AssertEqReturnsTheCommonValue) {
    EXPECT_EQ(vkutil::assert_eq2(5, 5, "t"), 5);
    EXPECT_EQ(vkutil::assert_eq3(-2, -2, -2, "t"), -2);
    EXPECT_EQ(vkutil::assert_eq4(0, 0, 0, 0, "t"), 0);
    EXPECT_EQ(vkutil::assert_eqn(std::vector<std::int32_t>{7}, "t"), 7);
    EXPECT_EQ(vkutil::assert_eqn(std::vector<std::int32_t>{7, 7, 7}, "t"), 7);
}

TEST(ErrorStop, AssertEqFailsOnAnyMismatch) {
    expect_stop([] { vkutil::assert_eq2(5, 6, "scatter_add_r"); },
                std::string(assert_eq) + "scatter_add_r", "program terminated by assert_eq2");
    expect_stop([] { vkutil::assert_eq3(5, 5, 6, "e3"); }, std::string(assert_eq) + "e3",
                "program terminated by assert_eq3");
    expect_stop([] { vkutil::assert_eq4(5, 5, 5, 4, "e4"); }, std::string(assert_eq) + "e4",
                "program terminated by assert_eq4");
    const std::vector<std::int32_t> last_differs = {7, 7, 8};
    expect_stop([&] { vkutil::assert_eqn(last_differs, "en"); }, std::string(assert_eq) + "en",
                "program terminated by assert_eqn");
    const std::vector<std::int32_t> second_differs = {7, 8, 8};
    expect_stop([&] { vkutil::assert_eqn(second_differs, "en"); }, std::string(assert_eq) + "en",
                "program terminated by assert_eqn");
    // No element, no common value.
    expect_stop([] { vkutil::assert_eqn({}, ""); }, std::string(assert_eq),
                "program terminated by assert_eqn");
}

// ---------------------------------------------------------------------------------------------
// Length checks of the module's own routines

TEST(LengthCheck, ScatterAndDiagonalTags) {
    std::vector<double> d(3, 0.0);
    const std::vector<double> s3 = {1, 2, 3};
    const std::vector<std::int32_t> i2 = {1, 2};
    expect_assert_eq2_stop([&] { vkutil::scatter_add_r(d, s3, i2); }, "scatter_add_r");
    expect_assert_eq2_stop([&] { vkutil::scatter_add_d(d, s3, i2); }, "scatter_add_d");
    expect_assert_eq2_stop([&] { vkutil::scatter_max_r(d, s3, i2); }, "scatter_max_r");
    expect_assert_eq2_stop([&] { vkutil::scatter_max_d(d, s3, i2); }, "scatter_max_d");

    Matrix<double> m = zeros(2, 3);
    expect_assert_eq2_stop([&] { vkutil::diagadd_rv(m, s3); }, "diagadd_rv");
    expect_assert_eq2_stop([&] { vkutil::diagmult_rv(m, s3); }, "diagmult_rv");
    expect_assert_eq2_stop([&] { vkutil::put_diag_rv(s3, m); }, "put_diag_rv");
    expect_assert_eq2_stop([&] { vkutil::get_diag_rv(m); }, "get_diag_rv");
    expect_assert_eq2_stop([&] { vkutil::get_diag_dv(m); }, "get_diag_dv");
}

TEST(LengthCheck, NothingChangesBeforeTheCheck) {
    // The destination lives in memory shared with the child, so its writes would show here.
    void* shared = mmap(nullptr, 3 * sizeof(double), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    const std::span<double> d(static_cast<double*>(shared), 3);
    std::fill(d.begin(), d.end(), 0.0);
    const zorvi::testing::ProcessResult r = run_in_child([&] {
        vkutil::scatter_add_r(d, std::vector<double>{1, 2}, std::vector<std::int32_t>{1, 2, 3});
    });
    EXPECT_EQ(r.status, vkutil::error_stop_status);
    EXPECT_EQ(std::vector<double>(d.begin(), d.end()), (std::vector<double>{0, 0, 0}));
    munmap(shared, 3 * sizeof(double));
}

TEST(LengthCheck, ExtentsThatWouldLeaveTheArrays) {
    const std::vector<double> x = {1, 2, 3};
    const std::vector<double> c(10, 1.0);
    const std::vector<Logical> short_mask = {1, 1};
    expect_assert_eq2_stop([&] { vkutil::poly_msk_rrv(x, c, short_mask); }, "poly_msk_rrv");
    expect_assert_eq2_stop([&] { vkutil::poly_msk_ddv(x, c, short_mask); }, "poly_msk_ddv");
    const std::vector<double> two = {1, 2};
    expect_assert_eq2_stop([&] { vkutil::geop_dv(x, two, 5); }, "geop_dv");
    std::vector<double> a = {1, 2, 3}, b = {1, 2};
    expect_assert_eq2_stop([&] { vkutil::swap_rv(a, b); }, "swap_rv");
    Matrix<double> m1 = zeros(2, 2), m2 = zeros(2, 2);
    const Matrix<Logical> mask{2, 1, {1, 1}};
    expect_stop([&] { vkutil::masked_swap_rm(m1, m2, mask); },
                std::string(assert_eq) + "masked_swap_rm", "program terminated by assert_eq3");
}

// ---------------------------------------------------------------------------------------------
// Shapes and lengths the 32-bit positions must represent

TEST(Shape, InconsistentMatricesCannotBeBuilt) {
    // A matrix whose element count disagreed with its extents made the diagonal routines,
    // unit_matrix and reallocate_rm read and write outside its elements.
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[] { Matrix<double>(2, 3, std::vector<double>(5)); },
         "Matrix: the number of elements differs from rows times cols"},
        {[] { Matrix<double>(-1, 0, {}); }, "Matrix: negative extent"},
        {[] { Matrix<double>(65536, 65536, {}); }, "Matrix: more than 2147483647 elements"},
        // asked for before any storage is sought
        {[] { vkutil::outerprod_r(std::vector<double>(65536), std::vector<double>(65536)); },
         "Matrix: more than 2147483647 elements"},
    };
    for (const auto& [body, message] : cases) {
        expect_stop(body, "vkerror: " + message, "program terminated by vkerror");
    }

    // A matrix moved from is 0 × 0, which every routine takes.
    Matrix<double> moved = zeros(2, 2);
    const Matrix<double> taken = std::move(moved);
    EXPECT_EQ(taken.rows(), 2);
    EXPECT_EQ(moved, Matrix<double>());
    vkutil::unit_matrix(moved);
    EXPECT_TRUE(vkutil::get_diag_rv(moved).empty());
}

TEST(Shape, LengthsBeyond32BitPositions) {
    // ifirstloc of 2^31 false values returned a negative position; swap_rv of 2^32 + 3
    // elements against 3 passed its length check on the truncated lengths and then ran past
    // the shorter array. Untouched pages of a reserved mapping stand in for the long arrays.
    constexpr std::size_t long_length = (std::size_t{1} << 32) + 3;
    const std::size_t bytes = long_length * sizeof(double);
    void* pages =
        mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (pages == MAP_FAILED) GTEST_SKIP() << "cannot reserve 32 GiB of address space";
    const std::span<const Logical> falses(static_cast<const Logical*>(pages), std::size_t{1} << 31);
    const std::span<double> long_doubles(static_cast<double*>(pages), long_length);
    std::vector<double> three = {1, 2, 3};
    expect_stop([&] { vkutil::ifirstloc(falses); },
                "vkerror: ifirstloc: array longer than 32-bit positions can count",
                "program terminated by vkerror");
    expect_stop([&] { vkutil::swap_rv(long_doubles, three); },
                "vkerror: swap_rv: array longer than 32-bit positions can count",
                "program terminated by vkerror");
    munmap(pages, bytes);
}

// ---------------------------------------------------------------------------------------------
// Storage

TEST(Storage, MatrixElementCountBeyond32Bits) {
    expect_stop(
        [] {
            std::optional<Matrix<double>> p;
            vkutil::reallocate_rm(p, 65536, 65536);
        },
        "vkerror: reallocate_rm: problem in attempt to allocate memory",
        "program terminated by vkerror");
    expect_stop(
        [] {
            std::optional<Matrix<std::int32_t>> p = Matrix<std::int32_t>{1, 1, {5}};
            vkutil::reallocate_im(p, 2, 1073741824);
        },
        "vkerror: reallocate_im: problem in attempt to allocate memory",
        "program terminated by vkerror");
}

TEST(Storage, ReallocationFailureStopsThroughVkerror) {
    if (under_address_sanitizer()) GTEST_SKIP() << "address limits do not apply";
    const auto grow = [](auto reallocate, std::int32_t n) {
        return [=] {
            limit_address_space(std::size_t{64} << 20);
            std::optional<std::vector<double>> p;
            reallocate(p, n);
        };
    };
    expect_stop(grow(vkutil::reallocate_rv, 200'000'000),
                "vkerror: reallocate_rv: problem in attempt to allocate memory",
                "program terminated by vkerror");
}

TEST(Storage, WorkingArraysEndWithOutOfMemory) {
    if (under_address_sanitizer()) GTEST_SKIP() << "address limits do not apply";
    const std::vector<double> big(20'000'000, 1.0);  // 160 MB
    const std::vector<std::function<void()>> bodies = {
        [&] { vkutil::poly_rr(0.5, big); },  // its work array
        [&] { vkutil::cumsum_r(big); },      // result and recursion storage
        [&] { vkutil::poly_term_rr(big, 0.5); },
    };
    for (const auto& body : bodies) {
        const zorvi::testing::ProcessResult r = run_in_child([&] {
            limit_address_space(std::size_t{64} << 20);
            body();
        });
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("Operating system error: ", 0), 0u) << r.err;
        EXPECT_TRUE(r.err.ends_with("\nOut of memory\n")) << r.err;
    }
}

}  // namespace
