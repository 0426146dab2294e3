// The free-format read statement: values, separators, repeat counts and null values, read
// from a CharSource into 64-bit real targets.
#include "textio/list_read.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

namespace zorvi::textio::detail {
namespace {

constexpr int end_of_input = CharSource::end_of_input;
constexpr std::uint32_t max_repeat = 200000000;

// Significant digits kept for the conversion. Rounding a decimal to the nearest double never
// needs more than 767 of them; any nonzero digit beyond the kept ones becomes one sticky digit.
constexpr int max_digits = 800;
// Exponents written in the text saturate here, far beyond any count of digits a real input
// can hold, so that adding the two cannot overflow.
constexpr std::int64_t exponent_saturation = 1'000'000'000'000'000;
// The exponent handed to the conversion is clamped to this: beyond it every value with at
// most max_digits + 1 digits is an infinity or a zero anyway.
constexpr std::int64_t exponent_clamp = 1'000'000;

enum class CharClass : unsigned char {
    other,
    digit,
    period,
    sign,
    exponent_letter,  // E e D d
    star,
    word_start,  // I i N n: Inf, Infinity, NaN
    blank,       // blank or tab
    comma,       // comma or semicolon
    slash,
    line_end,  // LF or CR
    end_of_input,
};  // every class from blank on ends a value

constexpr std::array<CharClass, 256> make_class_table() {
    std::array<CharClass, 256> table{};
    for (int c = '0'; c <= '9'; ++c)
        table[c] = CharClass::digit;
    table['.'] = CharClass::period;
    table['+'] = table['-'] = CharClass::sign;
    table['E'] = table['e'] = table['D'] = table['d'] = CharClass::exponent_letter;
    table['*'] = CharClass::star;
    table['I'] = table['i'] = table['N'] = table['n'] = CharClass::word_start;
    table[' '] = table['\t'] = CharClass::blank;
    table[','] = table[';'] = CharClass::comma;
    table['/'] = CharClass::slash;
    table['\n'] = table['\r'] = CharClass::line_end;
    return table;
}
constexpr std::array<CharClass, 256> class_table = make_class_table();

CharClass classify(int c) {
    return c == end_of_input ? CharClass::end_of_input : class_table[static_cast<unsigned>(c)];
}

bool is_separator(CharClass cls) {
    return cls >= CharClass::blank;
}

// How an item ended.
enum class Separator { blank, comma, slash, line_end, end_of_input };

int skip_blanks(CharSource& source) {
    int c = source.get();
    while (c == ' ' || c == '\t')
        c = source.get();
    return c;
}

// `c` is a line end just read: a CR takes the LF after it along.
void finish_line_end(CharSource& source, int c) {
    if (c != '\r') return;
    if (source.get() != '\n') source.unget();
}

// Skips the rest of the current record, its line end included. The end of the input ends
// the last record just as well.
void skip_record(CharSource& source) {
    int c = source.get();
    while (c != '\n' && c != '\r' && c != end_of_input)
        c = source.get();
    finish_line_end(source, c);
}

// Consumes the rest of a separator whose first character `c` has just been read: blanks and
// tabs with at most one comma or semicolon among them, a slash, or one line end.
Separator finish_separator(CharSource& source, int c) {
    if (classify(c) == CharClass::blank) {
        c = skip_blanks(source);
        if (!is_separator(classify(c))) {
            source.unget();  // the next value starts here
            return Separator::blank;
        }
    }
    switch (classify(c)) {
        case CharClass::comma:
            skip_blanks(source);
            source.unget();
            return Separator::comma;
        case CharClass::slash:
            return Separator::slash;
        case CharClass::line_end:
            finish_line_end(source, c);
            return Separator::line_end;
        default:
            return Separator::end_of_input;
    }
}

// The significant digits of a number and their scale: value = digits × 10^exponent.
struct DecimalText {
    std::array<char, max_digits> digits;
    int count = 0;
    bool sticky = false;  // a nonzero digit beyond the kept ones
    std::int64_t exponent = 0;

    void add_digit(int c, bool after_point) {
        if (count == 0 && c == '0') {  // leading zero
            if (after_point) --exponent;
            return;
        }
        if (count < max_digits) {
            digits[count++] = static_cast<char>(c);
            if (after_point) --exponent;
            return;
        }
        if (!after_point) ++exponent;
        if (c != '0') sticky = true;
    }
};

// Converts to the nearest double. Out of range means an infinity or a zero, not a failure.
[[nodiscard]] bool convert(const DecimalText& text, std::int64_t written_exponent, bool negative,
                           double& value) {
    if (text.count == 0) {
        value = negative ? -0.0 : 0.0;
        return true;
    }
    // The text handed over: the digits, the sticky digit, 'e' and the clamped exponent.
    std::array<char, max_digits + 1 + 24> buffer;
    std::memcpy(buffer.data(), text.digits.data(), static_cast<std::size_t>(text.count));
    char* end = buffer.data() + text.count;
    std::int64_t exponent = text.exponent + written_exponent;
    if (text.sticky) {
        *end++ = '1';
        --exponent;
    }
    const std::int64_t digit_count = end - buffer.data();
    if (exponent > exponent_clamp) exponent = exponent_clamp;
    if (exponent < -exponent_clamp) exponent = -exponent_clamp;
    *end++ = 'e';
    end = std::to_chars(end, buffer.data() + buffer.size(), exponent).ptr;

    double magnitude = 0.0;
    const auto [ptr, error] =
        std::from_chars(buffer.data(), end, magnitude, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        // The conversion leaves the value alone here: decide by the decimal point's place.
        const bool overflow = digit_count + exponent > 0;
        magnitude = overflow ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc() || ptr != end) {
        return false;
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

// Reads the letters of Inf, Infinity or NaN (any case) starting with `c`, and the
// parenthesised text a NaN may carry. Leaves in `c` the first character after them.
[[nodiscard]] bool scan_word(CharSource& source, int& c, double& magnitude) {
    constexpr std::size_t longest = 8;  // "infinity"
    std::array<char, longest> letters;
    std::size_t length = 0;
    for (; (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); c = source.get()) {
        if (length == longest) return false;
        letters[length++] = static_cast<char>(c | 0x20);  // lower case
    }
    const std::string_view word(letters.data(), length);
    if (word == "inf" || word == "infinity") {
        magnitude = std::numeric_limits<double>::infinity();
        return true;
    }
    if (word != "nan") return false;
    magnitude = std::numeric_limits<double>::quiet_NaN();
    if (c == '(') {
        for (c = source.get(); c != ')'; c = source.get()) {
            if (is_separator(classify(c))) return false;
        }
        c = source.get();
    }
    return true;
}

// One item where a value is expected: a number, or a null value; either can be repeated.
// `end` is the character that ended it, already read; the rest of its separator is read only
// when the statement needs another value.
struct Item {
    ListReadStatus status = ListReadStatus::ok;
    bool null = false;
    double value = 0.0;
    std::uint32_t repeat = 1;
    int end = end_of_input;
};

// The scanner's place inside one value.
enum class ValueState {
    start,         // nothing read yet
    count_digits,  // unsigned digits: a repeat count or the integer part of a mantissa
    after_star,    // "r*": a value, or a separator for r null values, follows
    sign,          // a sign: a mantissa or a word follows
    int_digits,    // the integer part of a mantissa
    point,         // a period with no digit before it: a digit must follow
    fraction,      // a period after at least one digit, or digits after the period
    exp_mark,      // E, e, D or d
    exp_sign,      // the exponent's sign; also a sign directly after the mantissa
    exp_digits,    // the exponent's digits
};

// A failed item. Nothing more is read: the failure ends the run, and skipping the rest of the
// record first would never end on a source without line ends, such as a device of endless
// NUL bytes.
Item fail_item(ListReadStatus status) {
    Item item;
    item.status = status;
    return item;
}

// Scans one value whose first character `c` has been read, through the first character of the
// separator that ends it. A value ended by the end of the input is accepted like any other: a
// last record without a line end is read as if it had one.
Item scan_value(CharSource& source, int c) {
    ValueState state = ValueState::start;
    DecimalText text;
    bool negative = false;
    bool exponent_negative = false;
    std::int64_t written_exponent = 0;
    std::uint32_t count = 0;  // the digits so far, read as a repeat count
    Item item;
    for (;; c = source.get()) {
        const CharClass cls = classify(c);
        if (is_separator(cls)) {
            switch (state) {
                case ValueState::count_digits:
                case ValueState::int_digits:
                case ValueState::fraction:
                case ValueState::exp_digits:
                    if (exponent_negative) written_exponent = -written_exponent;
                    if (!convert(text, written_exponent, negative, item.value)) {
                        return fail_item(ListReadStatus::conversion_error);
                    }
                    break;
                case ValueState::after_star:  // r null values
                    item.null = true;
                    break;
                default:
                    return fail_item(ListReadStatus::bad_real);
            }
            item.end = c;
            return item;
        }
        const int digit = c - '0';
        switch (state) {
            case ValueState::start:
            case ValueState::after_star:
            case ValueState::sign:
                if (cls == CharClass::digit) {
                    if (state == ValueState::start) count = static_cast<std::uint32_t>(digit);
                    text.add_digit(c, false);
                    state = state == ValueState::start ? ValueState::count_digits
                                                       : ValueState::int_digits;
                    continue;
                }
                if (cls == CharClass::sign && state != ValueState::sign) {
                    negative = c == '-';
                    state = ValueState::sign;
                    continue;
                }
                if (cls == CharClass::period) {
                    state = ValueState::point;
                    continue;
                }
                if (cls == CharClass::word_start) {
                    double magnitude = 0.0;
                    if (!scan_word(source, c, magnitude) || !is_separator(classify(c))) {
                        return fail_item(ListReadStatus::bad_real);
                    }
                    item.value = negative ? -magnitude : magnitude;
                    item.end = c;
                    return item;
                }
                break;
            case ValueState::count_digits:
                if (cls == CharClass::star) {
                    if (count == 0) return fail_item(ListReadStatus::zero_repeat);
                    if (count > max_repeat) {
                        return fail_item(ListReadStatus::repeat_overflow);
                    }
                    item.repeat = count;
                    text = DecimalText{};
                    state = ValueState::after_star;
                    continue;
                }
                if (cls == CharClass::digit && count <= max_repeat) {
                    count = count * 10 + static_cast<std::uint32_t>(digit);
                }
                [[fallthrough]];
            case ValueState::int_digits:
            case ValueState::fraction: {
                const bool after_point = state == ValueState::fraction;
                if (cls == CharClass::digit) {
                    text.add_digit(c, after_point);
                    continue;
                }
                if (cls == CharClass::period && !after_point) {
                    state = ValueState::fraction;
                    continue;
                }
                if (cls == CharClass::exponent_letter) {
                    state = ValueState::exp_mark;
                    continue;
                }
                if (cls == CharClass::sign) {  // "1.5-3": the exponent letter left out
                    exponent_negative = c == '-';
                    state = ValueState::exp_sign;
                    continue;
                }
                break;
            }
            case ValueState::point:
                if (cls == CharClass::digit) {
                    text.add_digit(c, true);
                    state = ValueState::fraction;
                    continue;
                }
                break;
            case ValueState::exp_mark:
                if (cls == CharClass::sign) {
                    exponent_negative = c == '-';
                    state = ValueState::exp_sign;
                    continue;
                }
                [[fallthrough]];
            case ValueState::exp_sign:
            case ValueState::exp_digits:
                if (cls == CharClass::digit) {
                    if (written_exponent < exponent_saturation) {
                        written_exponent = written_exponent * 10 + digit;
                    }
                    state = ValueState::exp_digits;
                    continue;
                }
                break;
        }
        // No value can go on with this character.
        return fail_item(ListReadStatus::bad_real);
    }
}

// The next item where a value is expected. Blanks and line ends before it are skipped; a
// comma, semicolon or slash there is a null value.
Item next_item(CharSource& source) {
    int c = source.get();
    while (c == ' ' || c == '\t' || c == '\n' || c == '\r')
        c = source.get();
    switch (classify(c)) {
        case CharClass::end_of_input: {
            Item item;
            item.status = ListReadStatus::end_of_file;
            return item;
        }
        case CharClass::comma:
        case CharClass::slash: {
            Item item;
            item.null = true;
            item.end = c;
            return item;
        }
        default:
            return scan_value(source, c);
    }
}

// What a statement leaves of its record when the character `c` ended its last item.
RecordLeftover leftover_after(int c) {
    if (c == '\r') return RecordLeftover::lf_after_cr;
    if (c == '\n' || c == end_of_input) return RecordLeftover::nothing;
    return RecordLeftover::rest_of_record;
}

// Skips what the previous statement left of its record.
void skip_leftover(CharSource& source) {
    const RecordLeftover leftover = source.leftover;
    source.leftover = RecordLeftover::nothing;
    if (leftover == RecordLeftover::lf_after_cr) {
        if (source.get() != '\n') source.unget();
    } else if (leftover == RecordLeftover::rest_of_record) {
        skip_record(source);
    }
}

// The end of the input is a failed read when the operating system reported one.
ListReadResult checked(const CharSource& source, ListReadStatus status, int item) {
    const bool at_end = status == ListReadStatus::ok || status == ListReadStatus::end_of_file;
    if (at_end && source.read_error != 0) status = ListReadStatus::read_error;
    return {status, item};
}

}  // namespace

ListReadResult read_list(CharSource& source, std::span<double> targets) {
    skip_leftover(source);
    // A statement without targets still needs a record, and skips it.
    if (targets.empty()) {
        const int c = skip_blanks(source);
        if (c == end_of_input) return checked(source, ListReadStatus::end_of_file, 0);
        source.leftover = leftover_after(c);
        return checked(source, ListReadStatus::ok, 0);
    }

    std::uint32_t repeats_left = 0;  // further targets of the last item's repeat count
    Item last;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const int item_number = static_cast<int>(i + 1);
        // a repeat pending?
        if (repeats_left > 0) {
            --repeats_left;
            if (!last.null) targets[i] = last.value;
            continue;
        }
        // Another value is needed: now the last item's separator is read to its end. A slash
        // leaves the remaining targets unchanged and the rest of its record to be skipped.
        if (i > 0 && finish_separator(source, last.end) == Separator::slash) {
            source.leftover = RecordLeftover::rest_of_record;
            return checked(source, ListReadStatus::ok, 0);
        }
        last = next_item(source);
        if (last.status != ListReadStatus::ok) return checked(source, last.status, item_number);
        if (!last.null) targets[i] = last.value;
        repeats_left = last.repeat - 1;
    }
    // The statement is done: a record that its last value ended is complete (but for the LF
    // of a CR LF); otherwise the rest of the record is skipped, both by the next statement.
    source.leftover = leftover_after(last.end);
    return checked(source, ListReadStatus::ok, 0);
}

std::string_view list_read_message_to(std::span<char> out, const ListReadResult& result,
                                      const CharSource& source) {
    std::string_view text;
    bool names_item = true;  // "<text><item> of list input"
    switch (result.status) {
        case ListReadStatus::ok:
            return {};
        case ListReadStatus::end_of_file:
            text = "End of file";
            names_item = false;
            break;
        case ListReadStatus::bad_real:
            text = "Bad real number in item ";
            break;
        case ListReadStatus::zero_repeat:
            text = "Zero repeat count in item ";
            break;
        case ListReadStatus::repeat_overflow:
            text = "Repeat count overflow in item ";
            break;
        case ListReadStatus::conversion_error:
            text = "Error during floating point read";
            names_item = false;
            break;
        case ListReadStatus::read_error:
            text = std::strerror(source.read_error);
            names_item = false;
            break;
    }
    std::size_t size = 0;
    const auto put = [&](std::string_view piece) {
        const std::size_t length = std::min(piece.size(), out.size() - size);
        std::memcpy(out.data() + size, piece.data(), length);
        size += length;
    };
    put(text);
    if (names_item) {
        std::array<char, 16> digits;
        const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), result.item);
        put(std::string_view(digits.data(), static_cast<std::size_t>(end.ptr - digits.data())));
        put(" of list input");
    }
    return {out.data(), size};
}

std::string list_read_message(const ListReadResult& result, const CharSource& source) {
    std::array<char, max_list_read_message> message;
    return std::string(list_read_message_to(message, result, source));
}

}  // namespace zorvi::textio::detail
