// Free-format write statements: items joined into one record.
#include <type_traits>

#include "textio/unit_impl.hpp"

namespace zorvi::textio {

namespace {

void compose_free(detail::Record& record, std::span<const Item> items, bool sign_zero) {
    bool previous_text = false;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const bool text = std::holds_alternative<std::string_view>(items[i]);
        // the leading blank, or the separator; adjacent text items are joined
        if (i == 0 || !(text && previous_text)) record.append_blanks(1);
        previous_text = text;
        std::visit(
            [&](auto value) {
                using Kind = decltype(value);
                if constexpr (std::is_same_v<Kind, std::string_view>) {
                    record.append(value);
                } else if constexpr (std::is_same_v<Kind, std::int32_t>) {
                    format_free_int_to(record.extend(free_int_width), value);
                } else {
                    format_free_real_to(record.extend(free_real_width), value, sign_zero);
                }
            },
            items[i]);
    }
    record.append(record_end);
}

}  // namespace

void write_free(int unit, const Locus& locus, std::span<const Item> items) {
    detail::Unit& target = detail::begin_output(unit, locus);
    detail::Record& record = detail::record_buffer();
    compose_free(record, items, options().sign_zero != 0);
    detail::put_record(target, locus, record.text());
}

}  // namespace zorvi::textio
