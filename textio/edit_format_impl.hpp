// Internal to the text layer: edit formats parsed into field specs.
#pragma once

#include <cstddef>
#include <memory_resource>
#include <string_view>
#include <vector>

namespace zorvi::textio::detail {

enum class FieldKind {
    text,   // A or Aw: width 0 writes the item as stored
    skip,   // nX: `width` blanks, written only when a value follows in the record
    fixed,  // Fw.d
};

struct FieldSpec {
    FieldKind kind = FieldKind::text;
    int width = 0;
    int decimals = 0;

    friend bool operator==(const FieldSpec&, const FieldSpec&) = default;
};

// A format with its repeat counts and groups expanded into one list of fields. When the
// items outnumber the data fields, the record ends and the fields start again at
// `reversion`: the first field of the last group at the outer level (0 when none). The fields
// take their room from the vector's memory resource, which parsing keeps.
struct EditFormat {
    std::pmr::vector<FieldSpec> fields;
    std::size_t reversion = 0;
};

// Limits that keep a hostile format from taking much memory.
inline constexpr std::size_t max_format_fields = 4096;
inline constexpr int max_format_number = 32767;
inline constexpr int max_format_depth = 16;

enum class FormatStatus {
    ok,
    missing_open,       // does not begin with "("
    missing_close,      // ends before its ")"
    bad_descriptor,     // a character that begins no edit
    missing_separator,  // two edits without "," between them
    missing_width,      // F without its width, or a width of 0
    missing_decimals,   // Fw without ".d"
    zero_count,         // a repeat count or X count of 0
    number_too_large,
    too_deep,
    too_long,
    text_after_end,
};

// Parses `text` into `format`, replacing the fields it held.
[[nodiscard]] FormatStatus parse_edit_format(std::string_view text, EditFormat& format);

// What is wrong, as the end of a report message.
std::string_view format_status_text(FormatStatus status);

}  // namespace zorvi::textio::detail
