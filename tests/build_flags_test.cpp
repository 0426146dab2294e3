// The build keeps strict IEEE double evaluation: no fast-math, no contraction into
// fused multiply-add. Every printed digit depends on it.
#include <gtest/gtest.h>

#include <cmath>

#ifdef __FAST_MATH__
#error "zorvi must not be built with -ffast-math"
#endif

namespace {

// a * b + c with a * b = 1 - 2^-60 exactly: rounded separately the sum is 0, fused it is -2^-60.
// Compiled for a processor with fused multiply-add, so that the compiler fuses it whenever the
// build allows contraction.
__attribute__((target("fma"), noinline)) double multiply_add(double a, double b, double c) {
    return a * b + c;
}

TEST(BuildFlags, NoFusedMultiplyAdd) {
    volatile double a = 1.0 + 0x1p-30;
    volatile double b = 1.0 - 0x1p-30;
    volatile double c = -1.0;
    EXPECT_EQ(std::fma(a, b, c), -0x1p-60) << "fma itself must stay exact";
    if (!__builtin_cpu_supports("fma")) GTEST_SKIP() << "this processor has no fused multiply-add";
    EXPECT_EQ(multiply_add(a, b, c), 0.0) << "the build contracts a * b + c";
}

TEST(BuildFlags, DoublesAreNotHeldWider) {
    volatile double big = 0x1p53;
    volatile double one = 1.0;
    const double sum = big + one;  // 2^53 + 1 rounds to 2^53 in double
    EXPECT_EQ(sum - big, 0.0);
}

}  // namespace
