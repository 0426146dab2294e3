// The 11-character free-format field of a 32-bit integer.
#include <cassert>
#include <charconv>

#include "textio/render_impl.hpp"

namespace zorvi::textio {

std::size_t format_free_int_to(char* out, std::int32_t value) {
    // "-2147483648", the longest, fills the field exactly
    char digits[free_int_width];
    const auto converted = std::to_chars(digits, digits + sizeof digits, value);
    assert(converted.ec == std::errc{});
    return detail::put_right_justified(
        out, free_int_width,
        std::string_view(digits, static_cast<std::size_t>(converted.ptr - digits)));
}

std::string format_free_int(std::int32_t value) {
    std::string field(free_int_width, ' ');
    format_free_int_to(field.data(), value);
    return field;
}

}  // namespace zorvi::textio
