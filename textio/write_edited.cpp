// Write statements under an edit format: the format is parsed once into field specs, and
// each item is written by the field it meets.
#include <algorithm>
#include <array>
#include <memory_resource>
#include <new>
#include <string>

#include "textio/edit_format_impl.hpp"
#include "textio/unit_impl.hpp"

namespace zorvi::textio {

namespace {

// The last format parsed: a program writes most of its records under the same few formats.
// Its room is static: a format of up to `format_capacity` characters and as many fields is
// parsed without allocating; a larger one takes the rest from the heap.
constexpr std::size_t format_capacity = 64;
struct FormatCache {
    alignas(detail::FieldSpec)
        std::array<char, format_capacity * sizeof(detail::FieldSpec) + format_capacity + 1> bytes;
    std::pmr::monotonic_buffer_resource room{bytes.data(), bytes.size()};
    detail::EditFormat format{std::pmr::vector<detail::FieldSpec>(&room)};
    std::pmr::string text{&room};
    bool filled = false;
    FormatCache() {
        format.fields.reserve(format_capacity);
        text.reserve(format_capacity);
    }
};
FormatCache format_cache;

const detail::EditFormat& parsed_format(std::string_view text, const Locus& locus, int unit) {
    if (format_cache.filled && format_cache.text == text) return format_cache.format;
    format_cache.filled = false;
    try {
        const detail::FormatStatus status = detail::parse_edit_format(text, format_cache.format);
        if (status != detail::FormatStatus::ok) {
            fail_statement(locus, unit,
                           "Invalid edit format '" + std::string(text) +
                               "': " + std::string(detail::format_status_text(status)));
        }
        format_cache.text.assign(text);
    } catch (const std::bad_alloc&) {
        detail::fail_out_of_memory();
    }
    format_cache.filled = true;
    return format_cache.format;
}

std::string_view kind_name(const Item& item) {
    if (std::holds_alternative<std::string_view>(item)) return "text";
    if (std::holds_alternative<std::int32_t>(item)) return "integer";
    return "real";
}

// Aw: a wider field pads on the left, a narrower one keeps the leftmost characters.
void put_text(detail::Record& record, std::string_view text, int width) {
    if (width == 0) {
        record.append(text);
        return;
    }
    const auto field = static_cast<std::size_t>(width);
    if (field > text.size()) record.append_blanks(field - text.size());
    record.append(text.substr(0, std::min(field, text.size())));
}

void put_fixed(detail::Record& record, double value, const detail::FieldSpec& field,
               bool sign_zero) {
    format_fixed_to(record.extend(static_cast<std::size_t>(field.width)), value, field.width,
                    field.decimals, sign_zero);
}

enum class ComposeStatus { ok, unsuited_item, no_field_left };

// Composes the record(s) of one statement. On failure `bad_item` is the item's index.
[[nodiscard]] ComposeStatus compose_edited(detail::Record& record, const detail::EditFormat& format,
                                           std::span<const Item> items, bool sign_zero,
                                           std::size_t& bad_item) {
    const std::span<const detail::FieldSpec> fields(format.fields);
    std::size_t next = 0;
    std::size_t pending_blanks = 0;  // X edits wait for the value that follows them
    for (std::size_t i = 0; i < items.size(); ++i) {
        bad_item = i;
        // Step 1: move to the next data field. When the format runs out, the record ends and
        // the fields start again at the reversion point.
        bool restarted = false;
        while (next == fields.size() || fields[next].kind == detail::FieldKind::skip) {
            if (next == fields.size()) {
                if (restarted) return ComposeStatus::no_field_left;
                restarted = true;
                record.append(record_end);
                pending_blanks = 0;
                next = format.reversion;
                continue;
            }
            pending_blanks += static_cast<std::size_t>(fields[next].width);
            ++next;
        }
        const detail::FieldSpec& field = fields[next++];

        // Step 2: write the item by its field.
        const auto* real = std::get_if<double>(&items[i]);
        const auto* text = std::get_if<std::string_view>(&items[i]);
        if (field.kind == detail::FieldKind::fixed && real != nullptr) {
            record.append_blanks(pending_blanks);
            put_fixed(record, *real, field, sign_zero);
        } else if (field.kind == detail::FieldKind::text && text != nullptr) {
            record.append_blanks(pending_blanks);
            put_text(record, *text, field.width);
        } else {
            return ComposeStatus::unsuited_item;
        }
        pending_blanks = 0;
    }
    record.append(record_end);
    return ComposeStatus::ok;
}

std::string compose_failure_message(ComposeStatus status, std::string_view format,
                                    std::size_t bad_item, const Item& item) {
    const std::string what =
        "item " + std::to_string(bad_item + 1) + " (" + std::string(kind_name(item)) + ")";
    if (status == ComposeStatus::unsuited_item) {
        return "The edit for " + what + " in format '" + std::string(format) + "' cannot write it";
    }
    return "Format '" + std::string(format) + "' has no edit for " + what;
}

}  // namespace

void write_edited(int unit, const Locus& locus, std::string_view format,
                  std::span<const Item> items) {
    detail::Unit& target = detail::begin_output(unit, locus);
    const detail::EditFormat& parsed = parsed_format(format, locus, unit);
    detail::Record& record = detail::record_buffer();
    std::size_t bad_item = 0;
    const ComposeStatus status =
        compose_edited(record, parsed, items, options().sign_zero != 0, bad_item);
    if (status != ComposeStatus::ok) {
        fail_statement(locus, unit,
                       compose_failure_message(status, format, bad_item, items[bad_item]));
    }
    detail::put_record(target, locus, record.text());
}

}  // namespace zorvi::textio
