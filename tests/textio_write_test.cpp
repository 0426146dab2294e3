// Tests of record output: the integer and real fields, the fixed edit, and the records that
// write_free and write_edited compose.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "test_support.hpp"
#include "textio/textio.hpp"

namespace zorvi::textio {
namespace {

using zorvi::testing::run_in_child;

using zorvi::testing::inf;
using zorvi::testing::nan;
constexpr Locus here{"Zorvi.f90", 100};

void check_free(double value, const std::string& field) {
    EXPECT_EQ(format_free_real(value), field) << "value " << value;
    ASSERT_EQ(field.size(), free_real_width);
}

void check_f16_8(double value, const std::string& field) {
    EXPECT_EQ(format_fixed(value, 16, 8), field) << "value " << value;
}

// Runs `body` in a child (it may end the run) and returns what reached standard output.
std::string console_output(const std::function<void()>& body) {
    const auto result = run_in_child([&] {
        start(0, nullptr);
        body();
        stop_normal();
    });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    return result.out;
}

TEST(FreeInt, Width) {
    EXPECT_EQ(format_free_int(5), "          5");
    EXPECT_EQ(format_free_int(0), "          0");
    EXPECT_EQ(format_free_int(-1), "         -1");
    EXPECT_EQ(format_free_int(2147483647), " 2147483647");
    EXPECT_EQ(format_free_int(std::numeric_limits<std::int32_t>::min()), "-2147483648");
}

TEST(FreeReal, Table) {
    check_free(1.25, "  1.2500000000000000     ");
    check_free(-0.5, "-0.50000000000000000     ");
    check_free(0.1, " 0.10000000000000001     ");
    check_free(12345.678, "  12345.678000000000     ");
    check_free(99999999999999984.0, "  99999999999999984.     ");
    check_free(0.0, "  0.0000000000000000     ");
    check_free(-0.0, " -0.0000000000000000     ");
    check_free(0.0123, " 1.23000000000000002E-002");
    check_free(0.09999999999999999, " 9.99999999999999917E-002");
    check_free(1e17, " 1.00000000000000000E+017");
    check_free(-1.5e200, "-1.49999999999999995E+200");
}

TEST(FreeReal, FormBoundaries) {
    check_free(std::nextafter(0.1, 0.0), " 9.99999999999999917E-002");  // largest below 0.1
    check_free(-0.1, "-0.10000000000000001     ");
    check_free(std::nextafter(1e17, 0.0), "  99999999999999984.     ");
    check_free(std::nextafter(1e17, inf), " 1.00000000000000016E+017");
    check_free(1.0, "  1.0000000000000000     ");
    check_free(std::nextafter(1.0, 0.0), " 0.99999999999999989     ");  // 17 decimals below 1
    check_free(9.999999999999998, "  9.9999999999999982     ");
    check_free(10.0, "  10.000000000000000     ");
}

TEST(FreeReal, ExtremesAndCarry) {
    check_free(DBL_MAX, " 1.79769313486231571E+308");
    check_free(-DBL_MAX, "-1.79769313486231571E+308");
    check_free(DBL_MIN, " 2.22507385850720138E-308");
    check_free(std::numeric_limits<double>::denorm_min(), " 4.94065645841246544E-324");
    check_free(-std::numeric_limits<double>::denorm_min(), "-4.94065645841246544E-324");
    // 1e153 is 9.99999999999999999733e152: eighteen 9s round up and raise the exponent
    check_free(1e153, " 1.00000000000000000E+153");
    check_free(1e-14, " 9.99999999999999999E-015");  // 9.999999999999999988e-15: no carry
}

TEST(FreeReal, NonFinite) {
    check_free(nan, "                      NaN");
    check_free(-nan, "                      NaN");
    check_free(inf, "                +Infinity");
    check_free(-inf, "                -Infinity");
}

TEST(FreeReal, SignZeroOff) {
    EXPECT_EQ(format_free_real(-0.0, false), "  0.0000000000000000     ");
    EXPECT_EQ(format_free_real(-0.5, false), "-0.50000000000000000     ");
}

TEST(FixedEdit, Table) {
    check_f16_8(1.25, "      1.25000000");
    check_f16_8(0.105, "      0.10500000");
    check_f16_8(-2.0517, "     -2.05170000");
    check_f16_8(-0.0, "     -0.00000000");
    check_f16_8(-0.000000004, "     -0.00000000");
    check_f16_8(9.999999999999998, "     10.00000000");
    check_f16_8(9999999.994, "9999999.99400000");
    check_f16_8(1e7, "****************");
}

TEST(FixedEdit, Rounding) {
    check_f16_8(0.0, "      0.00000000");
    check_f16_8(0.000000005, "      0.00000001");  // 5.0000000000000001e-9: up into the last place
    check_f16_8(0.0000000049, "      0.00000000");
    check_f16_8(4e-10, "      0.00000000");
    check_f16_8(-1e-300, "     -0.00000000");
    check_f16_8(0.999999995, "      1.00000000");  // carry into a new integer digit
    check_f16_8(99.999999999, "    100.00000000");
    check_f16_8(DBL_MIN, "      0.00000000");
}

TEST(FixedEdit, Overflow) {
    check_f16_8(9999999.999999999, "****************");  // rounds to 10^7
    check_f16_8(-999999.995, "-999999.99500000");
    check_f16_8(-999999.9999999999, "****************");  // rounds to -10^6
    check_f16_8(-1000000.0, "****************");
    check_f16_8(DBL_MAX, "****************");
}

TEST(FixedEdit, NonFinite) {
    check_f16_8(nan, "             NaN");
    check_f16_8(inf, "       +Infinity");
    check_f16_8(-inf, "       -Infinity");
    EXPECT_EQ(format_fixed(inf, 4, 1), "****");
}

TEST(FixedEdit, OtherWidths) {
    EXPECT_EQ(format_fixed(2.5, 8, 3), "   2.500");
    EXPECT_EQ(format_fixed(2.5, 3, 0), " 3.");  // half up, not to even
    EXPECT_EQ(format_fixed(-0.25, 5, 1), " -0.3");
    EXPECT_EQ(format_fixed(-0.0, 4, 1, false), " 0.0");
    EXPECT_EQ(format_fixed(-0.04, 4, 1, false), " 0.0");
    EXPECT_EQ(format_fixed(-0.04, 4, 1, true), "-0.0");
    // beyond the 38 converted digits the places are zeros
    EXPECT_EQ(format_fixed(1e30, 42, 10), "1000000000000000019884624838656.0000000000");
}

TEST(Renderers, WriteIntoBuffer) {
    char buffer[32] = {};
    EXPECT_EQ(format_free_real_to(buffer, 1.25), free_real_width);
    EXPECT_EQ(std::string(buffer, free_real_width), "  1.2500000000000000     ");
    EXPECT_EQ(format_fixed_to(buffer, -2.0517, 16, 8), 16u);
    EXPECT_EQ(std::string(buffer, 16), "     -2.05170000");
    EXPECT_EQ(format_free_int_to(buffer, -7), free_int_width);
    EXPECT_EQ(std::string(buffer, free_int_width), "         -7");
}

TEST(WriteFree, Records) {
    const std::string out = console_output([] {
        write_free(console_unit, here, {});
        write_free(console_unit, here, {std::string_view(" ")});
        write_free(console_unit, here, {std::string_view(" ====")});
        write_free(console_unit, here, {std::int32_t{5}, std::string_view("x"), 1.0});
        write_free(
            console_unit, here,
            {std::string_view("a"), std::string_view(""), std::string_view("b"), std::int32_t{-3}});
    });
    EXPECT_EQ(out,
              "\r\n"
              "  \r\n"
              "  ====\r\n"
              "           5 x   1.0000000000000000     \r\n"
              " ab          -3\r\n");
}

TEST(WriteFree, WorkedConsoleLine) {
    const auto line = [](double u, double p) {
        return console_output([=] {
            write_free(console_unit, here,
                       {std::string_view(" m = "), std::int32_t{5},
                        std::string_view("        u = "), u, std::string_view("        P = "), p});
        });
    };
    const std::string first = line(1.25, 0.105);
    EXPECT_EQ(first,
              "  m =            5         u =    1.2500000000000000              P =   "
              "0.10500000000000000     \r\n");
    EXPECT_EQ(first.size(), 96u + 2u);

    const std::string second = line(-2.0517, 0.0201);
    EXPECT_TRUE(second.ends_with(
        "u =   -2.0516999999999999              P =   2.00999999999999998E-002\r\n"))
        << second;
}

TEST(WriteFree, AdjacentTextJoined) {
    EXPECT_EQ(console_output([] {
                  write_free(console_unit, here,
                             {std::string_view(" Simulation results written to: "),
                              std::string_view("Zorviresult.dat")});
              }),
              "  Simulation results written to: Zorviresult.dat\r\n");
}

TEST(WriteFree, SignZeroOption) {
    const std::string out = console_output([] {
        Options options;
        options.sign_zero = 0;
        set_options(options);
        write_free(console_unit, here, {-0.0});
        write_edited(console_unit, here, "(2(1x,f16.8))", {-0.0, -0.000000004});
    });
    EXPECT_EQ(out, "   0.0000000000000000     \r\n       0.00000000       0.00000000\r\n");
}

TEST(WriteEdited, Records) {
    const std::string out = console_output([] {
        write_edited(console_unit, here, "(a)", {std::string_view(" text with blanks  ")});
        write_edited(console_unit, here, "(2(1x,f16.8))", {1.25, -2.0517});
        write_edited(console_unit, here, "(2(1x,f16.8))", {1e7, nan});
    });
    EXPECT_EQ(out,
              " text with blanks  \r\n"
              "       1.25000000      -2.05170000\r\n"
              " ****************              NaN\r\n");
}

TEST(WriteEdited, BlankEditWaitsForValue) {
    const std::string out = console_output([] {
        write_edited(console_unit, here, "(2(1x,f16.8))", {0.5});
        write_edited(console_unit, here, "(a,3x)", {std::string_view("ab")});
        write_edited(console_unit, here, "(a5,A2)",
                     {std::string_view("ab"), std::string_view("xyz")});
    });
    EXPECT_EQ(out, "       0.50000000\r\nab\r\n   abxy\r\n");
}

TEST(WriteEdited, MoreItemsThanFieldsStartsNewRecord) {
    const std::string out = console_output([] {
        write_edited(console_unit, here, "(2(1x,f16.8))", {1.0, 2.0, 3.0});
        write_edited(console_unit, here, "(a)", {std::string_view("x"), std::string_view("y")});
    });
    EXPECT_EQ(out,
              "       1.00000000       2.00000000\r\n"
              "       3.00000000\r\n"
              "x\r\ny\r\n");
}

TEST(WriteEdited, BadFormatOrItemIsReported) {
    const auto report = [](const std::string& format, Item item) {
        return run_in_child([&] {
            start(0, nullptr);
            write_edited(console_unit, {"vkutil.f90", 7}, format, {item});
        });
    };
    auto result = report("(2(1x,f16.8)", 1.0);
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err,
              "At line 7 of file vkutil.f90 (unit = 6, file = 'stdout')\n"
              "Zorvi run-time error: Invalid edit format '(2(1x,f16.8)': it ends before its "
              "closing ')'\n");
    EXPECT_EQ(result.out, "");

    result = report("(a)", 1.0);
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err,
              "At line 7 of file vkutil.f90 (unit = 6, file = 'stdout')\n"
              "Zorvi run-time error: The edit for item 1 (real) in format '(a)' cannot write "
              "it\n");

    result = report("(1x)", std::int32_t{1});
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err,
              "At line 7 of file vkutil.f90 (unit = 6, file = 'stdout')\n"
              "Zorvi run-time error: Format '(1x)' has no edit for item 1 (integer)\n");
}

}  // namespace
}  // namespace zorvi::textio
