// Tests of the text layer's internals: edit format parsing and the digit rule.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "textio/edit_format_impl.hpp"
#include "textio/render_impl.hpp"

namespace zorvi::textio::detail {
namespace {

FieldSpec text(int width = 0) {
    return {FieldKind::text, width, 0};
}
FieldSpec skip(int blanks) {
    return {FieldKind::skip, blanks, 0};
}
FieldSpec fixed(int width, int decimals) {
    return {FieldKind::fixed, width, decimals};
}

void check_parse(const std::string& format, const std::vector<FieldSpec>& fields,
                 std::size_t reversion = 0) {
    EditFormat parsed;
    ASSERT_EQ(parse_edit_format(format, parsed), FormatStatus::ok) << format;
    EXPECT_TRUE(std::ranges::equal(parsed.fields, fields)) << format;
    EXPECT_EQ(parsed.reversion, reversion) << format;
}

void check_bad(const std::string& format, FormatStatus expected) {
    EditFormat parsed;
    EXPECT_EQ(parse_edit_format(format, parsed), expected) << format;
    EXPECT_FALSE(format_status_text(expected).empty());
}

TEST(EditFormatParse, Fields) {
    check_parse("(a)", {text()});
    check_parse("(2(1x,f16.8))", {skip(1), fixed(16, 8), skip(1), fixed(16, 8)});
    check_parse("( 2 ( 1X , F16.8 ) )", {skip(1), fixed(16, 8), skip(1), fixed(16, 8)});
    check_parse("(A10,3x,x,f5.0)", {text(10), skip(3), skip(1), fixed(5, 0)});
    check_parse("(3a2)", {text(2), text(2), text(2)});
    check_parse("()", {});
}

TEST(EditFormatParse, ReversionPoint) {
    check_parse("(a,2(f5.1),a)", {text(), fixed(5, 1), fixed(5, 1), text()}, 1);
    check_parse("((a),(f5.1))", {text(), fixed(5, 1)}, 1);
    check_parse("(a,(x,(f5.1)))", {text(), skip(1), fixed(5, 1)}, 1);  // outer level only
}

TEST(EditFormatParse, BadText) {
    check_bad("", FormatStatus::missing_open);
    check_bad("a)", FormatStatus::missing_open);
    check_bad("(a", FormatStatus::missing_close);
    check_bad("(2(1x,f16.8)", FormatStatus::missing_close);
    check_bad("(q)", FormatStatus::bad_descriptor);
    check_bad("(a,)", FormatStatus::bad_descriptor);
    check_bad("(a b)", FormatStatus::missing_separator);
    check_bad("(a0)", FormatStatus::missing_width);
    check_bad("(f.8)", FormatStatus::missing_width);
    check_bad("(f16)", FormatStatus::missing_decimals);
    check_bad("(f16.)", FormatStatus::missing_decimals);
    check_bad("(0x)", FormatStatus::zero_count);
    check_bad("(0(a))", FormatStatus::zero_count);
    check_bad("(99999a)", FormatStatus::number_too_large);
    check_bad("(a))", FormatStatus::text_after_end);
}

TEST(EditFormatParse, LimitsAgainstHostileFormats) {
    check_bad("(30000(30000(a)))", FormatStatus::too_long);
    check_bad(std::string(40, '(') + "a" + std::string(40, ')'), FormatStatus::too_deep);
    EditFormat parsed;
    ASSERT_EQ(parse_edit_format("(4096a)", parsed), FormatStatus::ok);
    EXPECT_EQ(parsed.fields.size(), max_format_fields);
    check_bad("(4097a)", FormatStatus::too_long);
}

std::string digits_of(double value) {
    const DecimalDigits converted = convert_digits(value);
    return std::string(converted.digits.begin(), converted.digits.end()) + "e" +
           std::to_string(converted.exponent);
}

std::string rounded(double value, int keep) {
    DecimalDigits converted = convert_digits(value);
    round_digits(converted, keep);
    return std::string(converted.digits.begin(), converted.digits.begin() + keep) + "e" +
           std::to_string(converted.exponent);
}

TEST(DigitRule, Conversion) {
    EXPECT_EQ(digits_of(0.1), "10000000000000000555111512312578270212e-1");
    EXPECT_EQ(digits_of(1.0), "10000000000000000000000000000000000000e0");
    EXPECT_EQ(digits_of(std::ldexp(1.0, -1074)), "49406564584124654417656879286822137237e-324");
}

TEST(DigitRule, HalfUpCut) {
    EXPECT_EQ(rounded(0.125, 2), "13e-1");  // half up, where ties-to-even would give 12
    EXPECT_EQ(rounded(0.1, 17), "10000000000000001e-1");
    EXPECT_EQ(rounded(9.5, 1), "1e1");  // carry out of the first digit
    EXPECT_EQ(rounded(9.4, 1), "9e0");
    EXPECT_EQ(rounded(1e153, 18), "100000000000000000e153");
    EXPECT_EQ(rounded(1e-14, 18), "999999999999999999e-15");
    EXPECT_EQ(rounded(0.1, 38), "10000000000000000555111512312578270212e-1");
}

}  // namespace
}  // namespace zorvi::textio::detail
