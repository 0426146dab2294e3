// Tests of the free-format reader: separators, null values, repeat counts, records, number
// conversion, bad input and the character sources.
#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.hpp"
#include "textio/textio.hpp"

namespace zorvi::textio {
namespace {

constexpr double unset = -999.0;  // the run state's missing-value marker
using zorvi::testing::inf;
constexpr double denorm_min = std::numeric_limits<double>::denorm_min();

struct Statement {
    ListReadResult result;
    std::vector<double> values;
};

// Reads `count` statements of three targets each from one source, as the data file is read.
std::vector<Statement> read_statements(CharSource& source, int count) {
    std::vector<Statement> statements;
    for (int i = 0; i < count; ++i) {
        Statement statement{{}, {unset, unset, unset}};
        statement.result = read_list(source, statement.values);
        statements.push_back(statement);
    }
    return statements;
}

Statement read_one(const std::string& text) {
    CharSource source = CharSource::from_string(text);
    return read_statements(source, 1)[0];
}

void check_read(const std::string& text, std::vector<double> expected) {
    const Statement statement = read_one(text);
    EXPECT_EQ(statement.result.status, ListReadStatus::ok) << '"' << text << '"';
    EXPECT_EQ(statement.values, expected) << '"' << text << '"';
}

// The value of one target read from `text`, bit for bit (signed zeros, infinities).
void check_value(const std::string& text, double expected) {
    const Statement statement = read_one(text + " 0 0");
    ASSERT_EQ(statement.result.status, ListReadStatus::ok) << text;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(statement.values[0]),
              std::bit_cast<std::uint64_t>(expected))
        << text << " gave " << statement.values[0];
}

void check_error(const std::string& text, ListReadStatus status, int item) {
    const Statement statement = read_one(text);
    EXPECT_EQ(statement.result.status, status) << '"' << text << '"';
    EXPECT_EQ(statement.result.item, item) << '"' << text << '"';
}

// The digits of 5^n: 2^-n is 5^n × 10^-n.
std::string power_of_five(int n) {
    std::vector<int> digits{1};  // least significant first
    for (int i = 0; i < n; ++i) {
        int carry = 0;
        for (int& digit : digits) {
            const int product = digit * 5 + carry;
            digit = product % 10;
            carry = product / 10;
        }
        if (carry > 0) digits.push_back(carry);
    }
    std::string text;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it)
        text += static_cast<char>('0' + *it);
    return text;
}

TEST(ListRead, Separators) {
    check_read("1 2 3", {1, 2, 3});
    check_read(" 1, 2 ,3 ", {1, 2, 3});
    check_read("1\t2\t3", {1, 2, 3});
    check_read("1.0D0 2E0 3.0", {1, 2, 3});
    check_read("1;2 ; 3", {1, 2, 3});
    check_read("1\n2\n3\n", {1, 2, 3});
    check_read("\n\n  \t\n1 2 3\n", {1, 2, 3});  // empty lines before the values
    check_read("1\r\n\r\n2\r3", {1, 2, 3});
}

TEST(ListRead, NullValues) {
    check_read("1,,3", {1, unset, 3});
    check_read(",2,3", {unset, 2, 3});
    check_read("1 , , 3", {1, unset, 3});
    check_read("1;;3", {1, unset, 3});
    check_read("1 /", {1, unset, unset});
    check_read("/ 1 2 3", {unset, unset, unset});
    check_read("1,2,,", {1, 2, unset});
    check_read("1,2,\n3\n", {1, 2, 3});  // a line end is no null value
}

TEST(ListRead, RepeatCounts) {
    check_read("3*2.5", {2.5, 2.5, 2.5});
    check_read("1 2*-4", {1, -4, -4});
    check_read("2*,7", {unset, unset, 7});
    check_read("2* 7", {unset, unset, 7});
    check_read("1 2*", {1, unset, unset});
    check_read("3*1/", {1, 1, 1});
    check_read("200000000*1.5", {1.5, 1.5, 1.5});
    check_read("0003*1", {1, 1, 1});
    check_error("0*1", ListReadStatus::zero_repeat, 1);
    check_error("1 0*", ListReadStatus::zero_repeat, 2);
    check_error("1 2 200000001*2", ListReadStatus::repeat_overflow, 3);
    check_error("99999999999999999999999*2", ListReadStatus::repeat_overflow, 1);
    check_error("4294967303*2", ListReadStatus::repeat_overflow, 1);  // 2^32 + 7
}

TEST(ListRead, RepeatDoesNotCarryOver) {
    CharSource source = CharSource::from_string("5*7 8\n1 2 3\n");
    const auto statements = read_statements(source, 2);
    EXPECT_EQ(statements[0].values, (std::vector<double>{7, 7, 7}));
    EXPECT_EQ(statements[1].values, (std::vector<double>{1, 2, 3}));
}

TEST(ListRead, StatementsAndRecords) {
    struct Case {
        const char* text;
        std::vector<double> first, second;
    };
    const Case cases[] = {
        {"1 2\n3 4\n5 6 7\n", {1, 2, 3}, {5, 6, 7}},  // the 4 is skipped
        {"1 2 3 4\n5 6 7\n", {1, 2, 3}, {5, 6, 7}},
        {"1 2 3\n5 6 7", {1, 2, 3}, {5, 6, 7}},
        {"1 2 3 4\r5 6 7\r", {1, 2, 3}, {5, 6, 7}},  // CR alone ends a record
        {"1 2 3 4\r\n5 6 7\r\n", {1, 2, 3}, {5, 6, 7}},
        {"1 / 9 9\n5 6 7\n", {1, unset, unset}, {5, 6, 7}},
        {"1\n\n2\n\n3\n\n5 6 7", {1, 2, 3}, {5, 6, 7}},
        {"1 2 3,\n5,6,7", {1, 2, 3}, {5, 6, 7}},
        {"1 2 x\n5 6 7\n", {1, 2, unset}, {5, 6, 7}},  // the bad record is skipped
    };
    for (const Case& c : cases) {
        CharSource source = CharSource::from_string(c.text);
        const auto statements = read_statements(source, 2);
        EXPECT_EQ(statements[0].values, c.first) << c.text;
        EXPECT_EQ(statements[1].result.status, ListReadStatus::ok) << c.text;
        EXPECT_EQ(statements[1].values, c.second) << c.text;
    }
}

TEST(ListRead, EndOfFile) {
    check_error("", ListReadStatus::end_of_file, 1);
    check_error("  \n\n \t", ListReadStatus::end_of_file, 1);
    check_error("1 2", ListReadStatus::end_of_file, 3);
    check_error("1 2\n\n", ListReadStatus::end_of_file, 3);
    check_error("1 2,", ListReadStatus::end_of_file, 3);
    check_error("2*", ListReadStatus::end_of_file, 3);

    // A last record without a line end is complete; the next statement meets the end.
    for (const char* text : {"1 2 3", "1 2 3.5e0", "1 2 3 4", "1 2 3 ", "1 2 3,", "1 /"}) {
        CharSource source = CharSource::from_string(text);
        const auto statements = read_statements(source, 2);
        EXPECT_EQ(statements[0].result.status, ListReadStatus::ok) << text;
        EXPECT_EQ(statements[1].result.status, ListReadStatus::end_of_file) << text;
    }
}

TEST(ListRead, NumberForms) {
    check_value("1.5-3", 0.0015);
    check_value("1.5+3", 1500);
    check_value("-2.5e-1", -0.25);
    check_value("+.5", 0.5);
    check_value("5.", 5);
    check_value("1d-2", 0.01);
    check_value("1E+05", 1e5);
    check_value("113", 113);
    check_value("-0", -0.0);
    check_value("-0.000e5", -0.0);
    check_value("000123.4500", 123.45);
}

TEST(ListRead, CorrectRounding) {
    check_value("0.1", 0.1);
    check_value("1980.417", 1980.417);
    check_value("2018.917", 2018.917);
    check_value("2.2250738585072011e-308", 0x0.fffffffffffffp-1022);
    check_value("2.2250738585072014e-308", std::numeric_limits<double>::min());
    check_value("1.7976931348623158e308", std::numeric_limits<double>::max());

    // 1 + 2^-53 lies halfway between 1 and the next double; 1000 digits decide.
    const std::string halfway = "1.00000000000000011102230246251565404236316680908203125";
    const std::string zeros(1000 - halfway.size(), '0');
    check_value(halfway + zeros, 1.0);  // ties go to even
    check_value(halfway + zeros + "1", 1.0 + 0x1p-52);
    check_value(halfway.substr(0, halfway.size() - 1) + "4" + std::string(1000, '9'), 1.0);

    // 5 × 2^-1075 (753 significant digits) is halfway between 2 and 3 × denorm_min.
    const std::string subnormal_halfway = power_of_five(1076);
    check_value(subnormal_halfway + "e-1075", 2 * denorm_min);
    check_value(subnormal_halfway + std::string(300, '0') + "1e-1376", 3 * denorm_min);
}

TEST(ListRead, OutOfRange) {
    check_value("4.9e-324", denorm_min);
    check_value("2.5e-324", denorm_min);
    check_value("2.4e-324", 0.0);
    check_value("-2.4e-324", -0.0);
    check_value("1e-400", 0.0);
    check_value("-1e-400", -0.0);
    check_value("1e400", inf);
    check_value("-1e400", -inf);
    check_value("1.7976931348623159e308", inf);
    check_value("1e99999999999999999999999999", inf);
    check_value("1e-99999999999999999999999999", 0.0);
    check_value("0e99999999999999999999999999", 0.0);
}

TEST(ListRead, LongDigitRuns) {
    // Digits beyond those kept still count into the exponent; time and memory stay linear.
    constexpr std::size_t length = 10'000'000;
    check_value(std::string(length, '1') + "e-" + std::to_string(length - 1), 10.0 / 9.0);
    check_value("0." + std::string(length, '0') + "25e" + std::to_string(length), 0.25);
    check_value("1" + std::string(length, '0') + "e-" + std::to_string(length), 1.0);
    check_value(std::string(length, '9'), inf);
}

TEST(ListRead, Words) {
    const Statement words = read_one("inf -Infinity NaN");
    EXPECT_EQ(words.values[0], inf);
    EXPECT_EQ(words.values[1], -inf);
    EXPECT_TRUE(std::isnan(words.values[2]));
    const Statement more = read_one("+INF,nan(0x1f) -nAn()");
    EXPECT_EQ(more.values[0], inf);
    EXPECT_TRUE(std::isnan(more.values[1]));
    EXPECT_TRUE(std::isnan(more.values[2]) && std::signbit(more.values[2]));
    check_read("2*-inf 1", {-inf, -inf, 1});
}

TEST(ListRead, BadInput) {
    check_error("1 x 3", ListReadStatus::bad_real, 2);
    check_error("1980.5 abc 3.0", ListReadStatus::bad_real, 2);
    for (const char* text :
         {".",    "+",    "-",        "1.2.3",   "1e",   "1e+",    "1.5-",    "--1",
          "e5",   "1x",   "*5",       "2*3*4",   "1*-",  "1.5*2",  "infinit", "infinityy",
          "nana", "nan(", "nan(1 2)", "nan(1)x", "info", "1.5e3x", "\"1\""}) {
        check_error(std::string("0 ") + text + " 0", ListReadStatus::bad_real, 2);
    }
    check_error(std::string("1 \0 3", 5), ListReadStatus::bad_real, 2);  // NUL byte
    check_error("1 2 \x01", ListReadStatus::bad_real, 3);
    check_error("1 2 3\x7f", ListReadStatus::bad_real, 3);
    check_error("1 2 \xff", ListReadStatus::bad_real, 3);
}

TEST(ListRead, Messages) {
    const CharSource source = CharSource::from_string("");
    auto message = [&](ListReadStatus status, int item) {
        return list_read_message({status, item}, source);
    };
    EXPECT_EQ(message(ListReadStatus::ok, 0), "");
    EXPECT_EQ(message(ListReadStatus::end_of_file, 3), "End of file");
    EXPECT_EQ(message(ListReadStatus::bad_real, 2), "Bad real number in item 2 of list input");
    EXPECT_EQ(message(ListReadStatus::zero_repeat, 1), "Zero repeat count in item 1 of list input");
    EXPECT_EQ(message(ListReadStatus::repeat_overflow, 3),
              "Repeat count overflow in item 3 of list input");
    EXPECT_EQ(message(ListReadStatus::conversion_error, 1), "Error during floating point read");
}

TEST(CharSource, GetAndUnget) {
    CharSource source = CharSource::from_string("a\xff");
    EXPECT_EQ(source.get(), 'a');
    source.unget();
    EXPECT_EQ(source.get(), 'a');
    EXPECT_EQ(source.get(), 0xff);  // bytes come as 0..255
    EXPECT_EQ(source.get(), CharSource::end_of_input);
    source.unget();  // nothing to give back at the end
    EXPECT_EQ(source.get(), CharSource::end_of_input);
}

TEST(CharSource, ShippedDataFile) {
    const int fd = open(testing::shipped_data_file().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    CharSource source = CharSource::from_fd(fd);
    const auto statements = read_statements(source, 61);
    close(fd);
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(statements[i].result.status, ListReadStatus::ok) << "event " << i + 1;
        EXPECT_GE(statements[i].values[0], 1980.417) << "event " << i + 1;
        EXPECT_LE(statements[i].values[0], 2018.917) << "event " << i + 1;
    }
    EXPECT_EQ(statements[0].values, (std::vector<double>{1980.608, 100.0, 12.5}));
    EXPECT_EQ(statements[1].values, (std::vector<double>{1983.629, 100.0, 12.5}));
    EXPECT_EQ(statements[59].values, (std::vector<double>{2018.774, 140.0, 12.1}));
    EXPECT_EQ(statements[60].result.status, ListReadStatus::end_of_file);
}

TEST(CharSource, RecordsAcrossChunks) {
    // CR LF pairs and values fall across the 64 KiB chunk boundaries; a bad value far beyond
    // the first chunk is found where it stands.
    testing::TempDir dir;
    std::string text;
    constexpr int records = 20000;
    for (int i = 0; i < records; ++i)
        text += std::to_string(i) + ".5 , 2 ; 3e0 9\r\n";
    text += "1 2 x\r\n";
    testing::write_file(dir.path / "many.dat", text);
    const int fd = open((dir.path / "many.dat").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    CharSource source = CharSource::from_fd(fd);
    const auto statements = read_statements(source, records + 1);
    close(fd);
    for (int i = 0; i < records; ++i) {
        ASSERT_EQ(statements[i].values, (std::vector<double>{i + 0.5, 2, 3})) << "record " << i;
    }
    EXPECT_EQ(statements[records].result.status, ListReadStatus::bad_real);
    EXPECT_EQ(source.consumed(), text.find('x') + 1);
}

TEST(CharSource, ReadErrors) {
    testing::TempDir dir;
    const int fd = open(dir.path.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    CharSource source = CharSource::from_fd(fd);
    const auto statements = read_statements(source, 2);
    close(fd);
    EXPECT_EQ(source.read_error, EISDIR);
    for (const Statement& statement : statements) {
        EXPECT_EQ(statement.result.status, ListReadStatus::read_error);
        EXPECT_EQ(list_read_message(statement.result, source), std::strerror(EISDIR));
    }

    CharSource closed = CharSource::from_fd(-1);
    EXPECT_EQ(read_statements(closed, 1)[0].result.status, ListReadStatus::read_error);
    EXPECT_EQ(closed.read_error, EBADF);
}

}  // namespace
}  // namespace zorvi::textio
