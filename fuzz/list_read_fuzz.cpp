// Fuzz target: arbitrary bytes read as the event data file by the free-format reader.
//
// Every input must end either with all 60 statements read or with one of the reader's reports,
// with no crash, hang or sanitizer finding. Two further checks catch wrong values: the same
// bytes read through a file descriptor in three pieces give the same outcome as read from a
// string; and a first value written as a plain decimal number reads as the double
// that the C library's strtod gives for it.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "packets.hpp"
#include "textio/textio.hpp"

namespace {

using zorvi::textio::CharSource;
using zorvi::textio::list_read_message;
using zorvi::textio::ListReadResult;
using zorvi::textio::ListReadStatus;
using zorvi::textio::read_list;

constexpr int events = 60;
constexpr std::size_t values_per_event = 3;
constexpr double unset = -999.0;  // what the driver's targets hold before they are read

[[noreturn]] void fail(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "list_read_fuzz: %s %s\n", what, detail.c_str());
    std::abort();
}

// What reading the data file left: every target's bits, and how the last statement ended.
struct Outcome {
    std::vector<std::uint64_t> bits;
    ListReadResult result;
    std::string message;
    int statements = 0;  // statements that completed
};

// Reads statements of three targets until all 60 are read or one fails, as the driver does.
Outcome read_data_file(CharSource& source) {
    Outcome outcome;
    std::vector<double> targets(events * values_per_event, unset);
    for (; outcome.statements < events; ++outcome.statements) {
        const std::span<double> statement(targets.data() + outcome.statements * values_per_event,
                                          values_per_event);
        outcome.result = read_list(source, statement);
        if (outcome.result.status != ListReadStatus::ok) break;
    }
    outcome.message = list_read_message(outcome.result, source);
    for (double value : targets)
        outcome.bits.push_back(std::bit_cast<std::uint64_t>(value));
    return outcome;
}

// The report must be one that the data file's read statement can give.
void check_report(const Outcome& outcome) {
    const ListReadResult& result = outcome.result;
    const std::string item = std::to_string(result.item);
    switch (result.status) {
        case ListReadStatus::ok:
            if (outcome.statements != events) fail("ok before all statements were read");
            if (!outcome.message.empty()) fail("a message for a good read:", outcome.message);
            return;
        case ListReadStatus::end_of_file:
            if (outcome.message != "End of file") fail("end of file as", outcome.message);
            return;
        case ListReadStatus::bad_real:
            if (outcome.message != "Bad real number in item " + item + " of list input") {
                fail("bad real as", outcome.message);
            }
            break;
        case ListReadStatus::zero_repeat:
            if (outcome.message != "Zero repeat count in item " + item + " of list input") {
                fail("zero repeat as", outcome.message);
            }
            break;
        case ListReadStatus::repeat_overflow:
            if (outcome.message != "Repeat count overflow in item " + item + " of list input") {
                fail("repeat overflow as", outcome.message);
            }
            break;
        case ListReadStatus::conversion_error:
            // The reader hands the conversion only text it has checked itself.
            fail("the conversion rejected a value the reader accepted");
        case ListReadStatus::read_error:
            fail("a read error on bytes in memory");
    }
    if (result.item < 1 || result.item > static_cast<int>(values_per_event)) {
        fail("a report for item", item);
    }
}

// The same bytes through a file descriptor, delivered in three reads, so that the reader
// meets chunk boundaries inside the bytes.
std::optional<Outcome> read_in_pieces(std::string_view bytes) {
    return zorvi::fuzzing::read_in_packets(
        bytes, std::min(bytes.size() / 3 + 1, CharSource::chunk_size), [](int fd) {
            CharSource source = CharSource::from_fd(fd);
            return read_data_file(source);
        });
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The first value of `bytes` when it is a plain decimal number: an optional sign, digits with
// at most one period (at least one digit), and an optional exponent written as E, e, D or d
// with an optional sign, or as a sign alone. Returned rewritten for strtod ("1.5D-3" and
// "1.5-3" as "1.5e-3"); nothing when the first value has any other form.
std::optional<std::string> plain_number(std::string_view bytes) {
    const std::string_view separators = " \t\r\n,;/";
    const std::size_t start = bytes.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return std::nullopt;
    const std::size_t end = bytes.find_first_of(separators, start);
    const std::string_view token =
        bytes.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);

    std::string number;
    std::size_t i = 0;
    auto take_sign = [&] {
        if (i < token.size() && (token[i] == '+' || token[i] == '-')) number += token[i++];
    };
    auto take_digits = [&] {
        std::size_t count = 0;
        for (; i < token.size() && is_digit(token[i]); ++i, ++count)
            number += token[i];
        return count;
    };
    take_sign();
    std::size_t mantissa_digits = take_digits();
    if (i < token.size() && token[i] == '.') {
        number += token[i++];
        mantissa_digits += take_digits();
    }
    if (mantissa_digits == 0) return std::nullopt;
    if (i == token.size()) return number;

    const char mark = token[i];
    if (mark == 'E' || mark == 'e' || mark == 'D' || mark == 'd') {
        ++i;
    } else if (mark != '+' && mark != '-') {
        return std::nullopt;
    }
    number += 'e';
    take_sign();
    if (take_digits() == 0 || i != token.size()) return std::nullopt;
    return number;
}

// A plain first value must be read, and read as strtod reads it.
void check_first_value(std::string_view bytes, const Outcome& outcome) {
    const std::optional<std::string> number = plain_number(bytes);
    if (!number) return;
    if (outcome.statements == 0 && outcome.result.item == 1) {
        fail("a plain number was not read:", *number);
    }
    char* end = nullptr;
    const double expected = std::strtod(number->c_str(), &end);
    if (end != number->c_str() + number->size()) fail("strtod stopped early on", *number);
    if (outcome.bits[0] != std::bit_cast<std::uint64_t>(expected)) {
        fail("read differently from strtod:", *number);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    CharSource source = CharSource::from_string(bytes);
    const Outcome outcome = read_data_file(source);
    check_report(outcome);
    check_first_value(bytes, outcome);

    const std::optional<Outcome> in_pieces = read_in_pieces(bytes);
    if (in_pieces &&
        (in_pieces->bits != outcome.bits || in_pieces->result.status != outcome.result.status ||
         in_pieces->result.item != outcome.result.item ||
         in_pieces->statements != outcome.statements)) {
        fail("reading in pieces and reading a string disagree");
    }
    return 0;
}
