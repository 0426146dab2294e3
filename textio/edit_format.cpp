// Parses edit format text such as "(2(1x,f16.8))" into a flat list of field specs.
#include "textio/edit_format_impl.hpp"

namespace zorvi::textio::detail {

namespace {

// Reads the format text; blanks between its parts carry no meaning and are skipped.
struct Cursor {
    std::string_view text;
    std::size_t position = 0;

    // The next character that is not a blank, in lower case; '\0' at the end.
    char peek() {
        while (position < text.size() && text[position] == ' ')
            ++position;
        if (position == text.size()) return '\0';
        const char c = text[position];
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    void take() { ++position; }
};

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// An unsigned decimal number into `value`, or -1 when none comes next.
[[nodiscard]] FormatStatus read_number(Cursor& cursor, int& value) {
    value = -1;
    while (is_digit(cursor.peek())) {
        const int digit = cursor.peek() - '0';
        cursor.take();
        value = (value < 0 ? 0 : value) * 10 + digit;
        if (value > max_format_number) return FormatStatus::number_too_large;
    }
    return FormatStatus::ok;
}

// Appends copies of the fields from `start` on until they appear `count` times in all.
[[nodiscard]] FormatStatus repeat_fields(EditFormat& format, std::size_t start, int count) {
    const std::size_t length = format.fields.size() - start;
    if (length * static_cast<std::size_t>(count) > max_format_fields - start) {
        return FormatStatus::too_long;
    }
    for (int copy = 1; copy < count; ++copy) {
        for (std::size_t i = 0; i < length; ++i) {
            format.fields.push_back(format.fields[start + i]);
        }
    }
    return FormatStatus::ok;
}

[[nodiscard]] FormatStatus parse_group(Cursor& cursor, int depth, EditFormat& format);

// One item of a group: an optional count, then a group or an edit.
[[nodiscard]] FormatStatus parse_item(Cursor& cursor, int depth, EditFormat& format) {
    int count = 0;
    if (const FormatStatus status = read_number(cursor, count); status != FormatStatus::ok) {
        return status;
    }
    if (count == 0) return FormatStatus::zero_count;
    const int repeat = count < 0 ? 1 : count;
    if (format.fields.size() >= max_format_fields) return FormatStatus::too_long;
    const std::size_t start = format.fields.size();

    switch (cursor.peek()) {
        case '(': {
            cursor.take();
            if (const FormatStatus status = parse_group(cursor, depth + 1, format);
                status != FormatStatus::ok) {
                return status;
            }
            if (depth == 0) format.reversion = start;
            break;
        }
        case 'a': {
            cursor.take();
            int width = 0;
            if (const FormatStatus status = read_number(cursor, width);
                status != FormatStatus::ok) {
                return status;
            }
            if (width == 0) return FormatStatus::missing_width;
            format.fields.push_back({FieldKind::text, width < 0 ? 0 : width, 0});
            break;
        }
        case 'x':
            // the count is the number of blanks, not a repeat
            cursor.take();
            format.fields.push_back({FieldKind::skip, repeat, 0});
            return FormatStatus::ok;
        case 'f': {
            cursor.take();
            int width = 0;
            int decimals = 0;
            if (const FormatStatus status = read_number(cursor, width);
                status != FormatStatus::ok) {
                return status;
            }
            if (width <= 0) return FormatStatus::missing_width;
            if (cursor.peek() != '.') return FormatStatus::missing_decimals;
            cursor.take();
            if (const FormatStatus status = read_number(cursor, decimals);
                status != FormatStatus::ok) {
                return status;
            }
            if (decimals < 0) return FormatStatus::missing_decimals;
            format.fields.push_back({FieldKind::fixed, width, decimals});
            break;
        }
        default:
            return FormatStatus::bad_descriptor;
    }
    return repeat_fields(format, start, repeat);
}

// The items of a group after its "(", up to and including its ")".
[[nodiscard]] FormatStatus parse_group(Cursor& cursor, int depth, EditFormat& format) {
    if (depth > max_format_depth) return FormatStatus::too_deep;
    enum class Expect { first_item, item, separator };
    Expect expect = Expect::first_item;
    for (;;) {
        const char next = cursor.peek();
        if (next == '\0') return FormatStatus::missing_close;
        if (next == ')' && expect != Expect::item) {
            cursor.take();
            return FormatStatus::ok;
        }
        if (expect == Expect::separator) {
            if (next != ',') return FormatStatus::missing_separator;
            cursor.take();
            expect = Expect::item;
            continue;
        }
        if (const FormatStatus status = parse_item(cursor, depth, format);
            status != FormatStatus::ok) {
            return status;
        }
        expect = Expect::separator;
    }
}

}  // namespace

FormatStatus parse_edit_format(std::string_view text, EditFormat& format) {
    format.fields.clear();
    format.reversion = 0;
    Cursor cursor{text};
    if (cursor.peek() != '(') return FormatStatus::missing_open;
    cursor.take();
    if (const FormatStatus status = parse_group(cursor, 0, format); status != FormatStatus::ok) {
        return status;
    }
    return cursor.peek() == '\0' ? FormatStatus::ok : FormatStatus::text_after_end;
}

std::string_view format_status_text(FormatStatus status) {
    switch (status) {
        case FormatStatus::ok:
            return "";
        case FormatStatus::missing_open:
            return "it does not begin with '('";
        case FormatStatus::missing_close:
            return "it ends before its closing ')'";
        case FormatStatus::bad_descriptor:
            return "an unknown or missing edit descriptor";
        case FormatStatus::missing_separator:
            return "a ',' is missing between two edits";
        case FormatStatus::missing_width:
            return "an edit lacks its width, or has width 0";
        case FormatStatus::missing_decimals:
            return "an F edit lacks its '.d'";
        case FormatStatus::zero_count:
            return "a count of 0";
        case FormatStatus::number_too_large:
            return "a number is too large";
        case FormatStatus::too_deep:
            return "its groups are nested too deeply";
        case FormatStatus::too_long:
            return "its repeat counts make it too long";
        case FormatStatus::text_after_end:
            return "text follows its closing ')'";
    }
    return "";
}

}  // namespace zorvi::textio::detail
