// Text from outside (input bytes, file names, option values) made safe to show: bounded,
// escaped excerpts for error messages, and valid UTF-8 for the JSON document.
#include <array>
#include <cstdint>

#include "zorvi/text/messages.hpp"

namespace zorvi::detail {
namespace {

// The length of the well-formed UTF-8 sequence that starts text[at], or 0 when none does
// (a stray continuation byte, an overlong form, a surrogate, a code point beyond U+10FFFF, a
// sequence cut short).
std::size_t utf8_sequence_length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[at + k]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint8_t low = 0x80;  // the bounds of the second byte
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
    return length;
}

constexpr std::string_view replacement_character = "\xEF\xBF\xBD";  // U+FFFD

std::string escaped_byte(std::uint8_t byte) {
    switch (byte) {
        case '\n':
            return "\\n";
        case '\r':
            return "\\r";
        case '\t':
            return "\\t";
        case '\\':
            return "\\\\";
        default:
            break;
    }
    constexpr std::string_view digits = "0123456789abcdef";
    return {'\\', 'x', digits[byte >> 4], digits[byte & 0xF]};
}

}  // namespace

std::string input_excerpt(std::string_view bytes) {
    std::string out;
    for (std::size_t at = 0; at < bytes.size();) {
        const auto lead = static_cast<std::uint8_t>(bytes[at]);
        std::size_t length = 1;
        std::string piece;
        if (lead >= 0x20 && lead < 0x7F && lead != '\\')
            piece = std::string(1, bytes[at]);
        else if (lead >= 0x80 && (length = utf8_sequence_length(bytes, at)) > 0)
            piece = std::string(bytes.substr(at, length));
        else
            piece = escaped_byte(lead), length = 1;
        if (out.size() + piece.size() > excerpt_limit) return out + "...";
        out += piece;
        at += length;
    }
    return out;
}

std::string valid_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8_sequence_length(text, at);
        if (length == 0) {
            out += replacement_character;
            ++at;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

std::string quoted_for_message(std::string_view text) {
    std::string out = "'";
    std::size_t at = 0;
    while (at < text.size() && at < message_quote_bytes) {
        const std::size_t length = utf8_sequence_length(text, at);
        const auto lead = static_cast<std::uint8_t>(text[at]);
        if (length == 0 || lead < 0x20 || lead == 0x7F || lead == '\\') {
            out += escaped_byte(lead);
            ++at;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    out += at < text.size() ? "'..." : "'";
    return out;
}

}  // namespace zorvi::detail
