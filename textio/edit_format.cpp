// Parses edit format text such as "(2(1x,f16.8))" into a flat list of field specs.
#include "textio/edit_format_impl.hpp"

namespace zorvi::textio::detail {

namespace {

// Reads the format text; blanks between its parts carry no meaning and are skipped. The first
// problem found is kept in `status`; once it is set, parsing stops.
struct Cursor {
    std::string_view text;
    std::size_t position = 0;
    FormatStatus status = FormatStatus::ok;

    // The next character that is not a blank, in lower case; '\0' at the end.
    char peek() {
        while (position < text.size() && text[position] == ' ')
            ++position;
        if (position == text.size()) return '\0';
        const char c = text[position];
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    void take() { ++position; }
    bool failed() const { return status != FormatStatus::ok; }
    void fail(FormatStatus problem) {
        if (!failed()) status = problem;
    }
};

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// An unsigned decimal number, or -1 when none comes next.
int read_number(Cursor& cursor) {
    int value = -1;
    while (is_digit(cursor.peek()) && !cursor.failed()) {
        const int digit = cursor.peek() - '0';
        cursor.take();
        value = (value < 0 ? 0 : value) * 10 + digit;
        if (value > max_format_number) cursor.fail(FormatStatus::number_too_large);
    }
    return value;
}

// Appends copies of the fields from `start` on until they appear `count` times in all.
void repeat_fields(Cursor& cursor, EditFormat& format, std::size_t start, int count) {
    const std::size_t length = format.fields.size() - start;
    if (length * static_cast<std::size_t>(count) > max_format_fields - start) {
        cursor.fail(FormatStatus::too_long);
        return;
    }
    for (int copy = 1; copy < count; ++copy) {
        for (std::size_t i = 0; i < length; ++i) {
            format.fields.push_back(format.fields[start + i]);
        }
    }
}

// A or Aw, after its letter.
void parse_text_edit(Cursor& cursor, EditFormat& format) {
    const int width = read_number(cursor);
    if (width == 0) cursor.fail(FormatStatus::missing_width);
    format.fields.push_back({FieldKind::text, width < 0 ? 0 : width, 0});
}

// Fw.d, after its letter.
void parse_fixed_edit(Cursor& cursor, EditFormat& format) {
    const int width = read_number(cursor);
    if (width <= 0) cursor.fail(FormatStatus::missing_width);
    if (cursor.peek() != '.') cursor.fail(FormatStatus::missing_decimals);
    if (cursor.failed()) return;
    cursor.take();
    const int decimals = read_number(cursor);
    if (decimals < 0) cursor.fail(FormatStatus::missing_decimals);
    format.fields.push_back({FieldKind::fixed, width, decimals});
}

void parse_group(Cursor& cursor, int depth, EditFormat& format);

// One item of a group: an optional count, then a group or an edit.
void parse_item(Cursor& cursor, int depth, EditFormat& format) {
    const int count = read_number(cursor);
    if (count == 0) cursor.fail(FormatStatus::zero_count);
    if (format.fields.size() >= max_format_fields) cursor.fail(FormatStatus::too_long);
    if (cursor.failed()) return;
    const int repeat = count < 0 ? 1 : count;
    const std::size_t start = format.fields.size();

    switch (cursor.peek()) {
        case '(':
            cursor.take();
            parse_group(cursor, depth + 1, format);
            if (depth == 0) format.reversion = start;
            break;
        case 'a':
            cursor.take();
            parse_text_edit(cursor, format);
            break;
        case 'x':
            // the count is the number of blanks, not a repeat
            cursor.take();
            format.fields.push_back({FieldKind::skip, repeat, 0});
            return;
        case 'f':
            cursor.take();
            parse_fixed_edit(cursor, format);
            break;
        default:
            cursor.fail(FormatStatus::bad_descriptor);
    }
    if (!cursor.failed()) repeat_fields(cursor, format, start, repeat);
}

// The items of a group after its "(", up to and including its ")".
void parse_group(Cursor& cursor, int depth, EditFormat& format) {
    if (depth > max_format_depth) cursor.fail(FormatStatus::too_deep);
    enum class Expect { first_item, item, separator };
    Expect expect = Expect::first_item;
    while (!cursor.failed()) {
        const char next = cursor.peek();
        if (next == '\0') {
            cursor.fail(FormatStatus::missing_close);
        } else if (next == ')' && expect != Expect::item) {
            cursor.take();
            return;
        } else if (expect == Expect::separator) {
            if (next != ',') cursor.fail(FormatStatus::missing_separator);
            cursor.take();
            expect = Expect::item;
        } else {
            parse_item(cursor, depth, format);
            expect = Expect::separator;
        }
    }
}

}  // namespace

FormatStatus parse_edit_format(std::string_view text, EditFormat& format) {
    format.fields.clear();
    format.reversion = 0;
    Cursor cursor{text};
    if (cursor.peek() != '(') return FormatStatus::missing_open;
    cursor.take();
    parse_group(cursor, 0, format);
    if (!cursor.failed() && cursor.peek() != '\0') cursor.fail(FormatStatus::text_after_end);
    return cursor.status;
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
