// Free-format write statements: items joined into one record.
#include <cerrno>
#include <new>
#include <type_traits>

#include "textio/unit_impl.hpp"

namespace zorvi::textio {

namespace {

constexpr std::string_view line_end = "\r\n";

// Room for `size` more characters at the end of the record.
char* extend(detail::Record& record, std::size_t size) {
    const std::size_t old_size = record.size();
    record.resize(old_size + size);
    return record.data() + old_size;
}

void compose_free(detail::Record& record, std::span<const Item> items, bool sign_zero) {
    bool previous_text = false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const bool text = std::holds_alternative<std::string_view>(items[i]);
        // the leading blank, or the separator; adjacent text items are joined
        if (i == 0 || !(text && previous_text)) record.push_back(' ');
        previous_text = text;
        std::visit(
            [&](auto value) {
                using Kind = decltype(value);
                if constexpr (std::is_same_v<Kind, std::string_view>) {
                    record.append(value);
                } else if constexpr (std::is_same_v<Kind, std::int32_t>) {
                    format_free_int_to(extend(record, free_int_width), value);
                } else {
                    format_free_real_to(extend(record, free_real_width), value, sign_zero);
                }
            },
            items[i]);
    }
    record.append(line_end);
}

}  // namespace

namespace detail {

Record& record_buffer() {
    struct Storage {
        std::array<char, record_capacity + 1> bytes;  // the characters and the string's NUL
        std::pmr::monotonic_buffer_resource room{bytes.data(), bytes.size()};
        Record record{&room};
        Storage() { record.reserve(record_capacity); }
    };
    static Storage storage;
    return storage.record;
}

}  // namespace detail

void write_free(int unit, const Locus& locus, std::span<const Item> items) {
    detail::Unit& target = detail::begin_output(unit, locus);
    detail::Record& record = detail::record_buffer();
    record.clear();
    try {
        compose_free(record, items, options().sign_zero != 0);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        fail_os("Memory allocation failed");
    }
    detail::put_record(target, locus, record);
}

}  // namespace zorvi::textio
