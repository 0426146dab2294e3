// Right-justified fields: the blanks on the left, and the asterisks of a field too narrow for
// its text.
#include <cassert>
#include <cmath>
#include <cstring>

#include "textio/render_impl.hpp"

namespace zorvi::textio::detail {

namespace {

// `count` blanks: the few before a number in at most three stores, more through memset.
void put_blanks(char* out, std::size_t count) {
    constexpr char blanks[4] = {' ', ' ', ' ', ' '};
    if (count >= 8) {
        std::memset(out, ' ', count);
        return;
    }
    if (count & 4u) std::memcpy(out, blanks, 4);
    if (count & 2u) std::memcpy(out + (count & 4u), blanks, 2);
    if (count & 1u) out[count - 1] = ' ';
}

}  // namespace

char* start_field(char* out, std::size_t width, std::size_t length) {
    if (length > width) {
        std::memset(out, '*', width);
        return nullptr;
    }
    put_blanks(out, width - length);
    return out + (width - length);
}

std::size_t put_right_justified(char* out, std::size_t width, std::string_view text) {
    if (char* start = start_field(out, width, text.size())) {
        std::memcpy(start, text.data(), text.size());
    }
    return width;
}

std::size_t format_non_finite_to(char* out, double value, std::size_t width) {
    assert(!std::isfinite(value));
    const std::string_view text = std::isnan(value)     ? "NaN"
                                  : std::signbit(value) ? "-Infinity"
                                                        : "+Infinity";
    return put_right_justified(out, width, text);
}

}  // namespace zorvi::textio::detail
