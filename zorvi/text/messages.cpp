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

// The code point of the well-formed sequence of `length` bytes at text[at].
std::uint32_t code_point(std::string_view text, std::size_t at, std::size_t length) {
    static constexpr std::array<std::uint8_t, 5> lead_bits = {0, 0x7F, 0x1F, 0x0F, 0x07};
    std::uint32_t point = static_cast<std::uint8_t>(text[at]) & lead_bits[length];
    for (std::size_t k = 1; k < length; ++k)
        point = (point << 6) | (static_cast<std::uint8_t>(text[at + k]) & 0x3Fu);
    return point;
}

// Characters that change the order in which the text around them is shown.
bool reorders_text(std::uint32_t point) {
    return point == 0x061C || point == 0x200E || point == 0x200F ||
           (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069);
}

// The character at text[at] as visible_text shows it; `length` is set to its bytes.
std::string visible_character(std::string_view text, std::size_t at, std::size_t& length) {
    length = utf8_sequence_length(text, at);
    if (length == 0) {
        length = 1;
        return std::string(replacement_character);
    }
    const std::uint32_t point = code_point(text, at, length);
    if (point < 0x20 || point == 0x7F) return escaped_byte(static_cast<std::uint8_t>(point));
    if (point >= 0x80 && point <= 0x9F) return escaped_byte(static_cast<std::uint8_t>(point));
    if (reorders_text(point)) {
        constexpr std::string_view digits = "0123456789abcdef";
        std::string out = "\\u";
        for (int shift = 12; shift >= 0; shift -= 4)
            out += digits[(point >> shift) & 0xFu];
        return out;
    }
    return std::string(text.substr(at, length));
}

constexpr std::string_view ellipsis = "\xE2\x80\xA6";  // U+2026

// The characters of a text in UTF-8 (continuation bytes are not counted).
std::size_t character_count(std::string_view text) {
    std::size_t count = 0;
    for (char c : text)
        count += (static_cast<std::uint8_t>(c) & 0xC0u) != 0x80u ? 1 : 0;
    return count;
}

}  // namespace

std::string visible_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t length = 0;
    for (std::size_t at = 0; at < text.size(); at += length)
        out += visible_character(text, at, length);
    return out;
}

std::string display_label(std::string_view text, bool more) {
    std::string out;
    std::size_t characters = 0;
    std::size_t length = 0;
    for (std::size_t at = 0; at < text.size(); at += length) {
        const std::string shown = visible_character(text, at, length);
        const std::size_t added = character_count(shown);
        // Room is kept for the ellipsis unless this is the last character and it fits.
        const bool last = !more && at + length == text.size();
        if (characters + added > label_characters - (last ? 0 : 1))
            return out + std::string(ellipsis);
        out += shown;
        characters += added;
    }
    return more ? out + std::string(ellipsis) : out;
}

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
