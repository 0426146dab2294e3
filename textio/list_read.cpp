// The free-format read statement: values, separators, repeat counts and null values, read
// from a CharSource into 64-bit real targets.
#include "textio/textio.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

namespace zorvi::textio {
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

// The classes that end a value: blanks, commas, slashes, line ends and the end of the input.
bool ends_value(CharClass cls) {
    return cls >= CharClass::blank;
}

bool ends_record(CharClass cls) {
    return cls == CharClass::line_end || cls == CharClass::end_of_input;
}

// How an item ended.
enum class Separator { blank, comma, slash, line_end, end_of_input };

// Skips blanks; returns the first other character, already read.
int skip_blanks(CharSource& source) {
    int c = source.get();
    while (classify(c) == CharClass::blank)
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
    while (!ends_record(classify(c)))
        c = source.get();
    finish_line_end(source, c);
}

// Consumes the rest of a separator whose first character `c` has just been read: blanks and
// tabs with at most one comma or semicolon among them, a slash, or one line end.
Separator finish_separator(CharSource& source, int c) {
    if (classify(c) == CharClass::blank) {
        c = skip_blanks(source);
        if (!ends_value(classify(c))) {
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

    void clear() {
        count = 0;
        sticky = false;
        exponent = 0;
    }

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
            if (ends_value(classify(c))) return false;
        }
        c = source.get();
    }
    return true;
}

// One item where a value is expected: a number, or a null value; either can be repeated.
// `end` is the character that ended it, already read; the rest of its separator is read only
// when the statement needs another value.
struct ListItem {
    ListReadStatus status = ListReadStatus::ok;
    bool null = false;
    double value = 0.0;
    std::uint32_t repeat = 1;
    int end = end_of_input;
};

// A failed item. Nothing more is read: the failure ends the run, and skipping the rest of the
// record first would never end on a source without line ends, such as a device of endless
// NUL bytes.
ListItem fail_item(ListReadStatus status) {
    ListItem item;
    item.status = status;
    return item;
}

// One value being scanned: the character in hand (already read) and the parts read so far.
struct ValueScan {
    ValueScan(CharSource& from, int first) : source(from), c(first) {}

    CharSource& source;
    int c;
    DecimalText mantissa;
    int mantissa_digits = 0;  // digits written, leading zeros included
    bool negative = false;
    std::int64_t exponent = 0;  // as written after the mantissa, with its sign

    CharClass current() const { return classify(c); }
    void advance() { c = source.get(); }
};

void scan_mantissa_digits(ValueScan& scan, bool after_point) {
    for (; scan.current() == CharClass::digit; scan.advance()) {
        scan.mantissa.add_digit(scan.c, after_point);
        ++scan.mantissa_digits;
    }
}

// An optional repeat count "r*" at the start of a value, into `repeat` (left alone when there
// is none). Digits that no "*" follows are the integer part of the mantissa, and stay in the
// scan.
[[nodiscard]] ListReadStatus scan_repeat_count(ValueScan& scan, std::uint32_t& repeat) {
    std::uint32_t count = 0;  // saturates above max_repeat
    for (; scan.current() == CharClass::digit; scan.advance()) {
        if (count <= max_repeat) count = count * 10 + static_cast<std::uint32_t>(scan.c - '0');
        scan.mantissa.add_digit(scan.c, false);
        ++scan.mantissa_digits;
    }
    if (scan.mantissa_digits == 0 || scan.current() != CharClass::star) return ListReadStatus::ok;
    if (count == 0) return ListReadStatus::zero_repeat;
    if (count > max_repeat) return ListReadStatus::repeat_overflow;
    repeat = count;
    scan.mantissa.clear();
    scan.mantissa_digits = 0;
    scan.advance();
    return ListReadStatus::ok;
}

// An optional exponent after the mantissa: E, e, D or d with an optional sign, or a sign
// alone ("1.5-3"); then at least one digit. False when it is malformed.
[[nodiscard]] bool scan_exponent(ValueScan& scan) {
    const bool letter = scan.current() == CharClass::exponent_letter;
    if (letter) scan.advance();
    bool negative = false;
    if (scan.current() == CharClass::sign) {
        negative = scan.c == '-';
        scan.advance();
    } else if (!letter) {
        return true;  // no exponent
    }
    if (scan.current() != CharClass::digit) return false;
    std::int64_t magnitude = 0;
    for (; scan.current() == CharClass::digit; scan.advance()) {
        if (magnitude < exponent_saturation) magnitude = magnitude * 10 + (scan.c - '0');
    }
    scan.exponent = negative ? -magnitude : magnitude;
    return true;
}

// The number of a value, or its word, through the character that ends it: [sign] mantissa
// [exponent], or [sign] Inf, Infinity or NaN. With `integer_read` the mantissa's integer digits
// are already in the scan, and no sign can come.
[[nodiscard]] ListReadStatus scan_number(ValueScan& scan, bool integer_read, double& value) {
    if (!integer_read) {
        if (scan.current() == CharClass::sign) {
            scan.negative = scan.c == '-';
            scan.advance();
        }
        if (scan.current() == CharClass::word_start) {
            double magnitude = 0.0;
            if (!scan_word(scan.source, scan.c, magnitude) || !ends_value(scan.current())) {
                return ListReadStatus::bad_real;
            }
            value = scan.negative ? -magnitude : magnitude;
            return ListReadStatus::ok;
        }
        scan_mantissa_digits(scan, false);
    }
    if (scan.current() == CharClass::period) {
        scan.advance();
        scan_mantissa_digits(scan, true);
    }
    if (scan.mantissa_digits == 0 || !scan_exponent(scan) || !ends_value(scan.current())) {
        return ListReadStatus::bad_real;
    }
    if (!convert(scan.mantissa, scan.exponent, scan.negative, value)) {
        return ListReadStatus::conversion_error;
    }
    return ListReadStatus::ok;
}

// Scans one value whose first character `c` has been read, through the first character of the
// separator that ends it. A value ended by the end of the input is accepted like any other: a last
// record without a line end is read as if it had one.
ListItem scan_value(CharSource& source, int c) {
    ValueScan scan(source, c);
    ListItem item;
    // Step 1: a repeat count; "r*" directly followed by a separator is r null values.
    std::uint32_t repeat = 0;
    if (const ListReadStatus status = scan_repeat_count(scan, repeat);
        status != ListReadStatus::ok) {
        return fail_item(status);
    }
    if (repeat > 0) {
        item.repeat = repeat;
        if (ends_value(scan.current())) {
            item.null = true;
            item.end = scan.c;
            return item;
        }
    }
    // Step 2: the number, then its separator.
    const bool integer_read = scan.mantissa_digits > 0;
    if (const ListReadStatus status = scan_number(scan, integer_read, item.value);
        status != ListReadStatus::ok) {
        return fail_item(status);
    }
    item.end = scan.c;
    return item;
}

// The next item where a value is expected. Blanks and line ends before it are skipped; a
// comma, semicolon or slash there is a null value.
ListItem next_item(CharSource& source) {
    int c = source.get();
    while (classify(c) == CharClass::blank || classify(c) == CharClass::line_end)
        c = source.get();
    switch (classify(c)) {
        case CharClass::end_of_input:
            return fail_item(ListReadStatus::end_of_file);
        case CharClass::comma:
        case CharClass::slash: {
            ListItem item;
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
    if (ends_record(classify(c))) return RecordLeftover::nothing;
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
    ListItem last;
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

}  // namespace zorvi::textio
