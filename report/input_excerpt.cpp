// Bytes of the input as an error message shows them.
#include <cstdint>
#include <string>

#include "report/input_stream.hpp"

namespace zorvi::report {
namespace {

// The length of the well-formed UTF-8 sequence of more than one byte at the start of `bytes`,
// or 0 when there is none (a stray continuation byte, a cut or overlong sequence, a surrogate,
// a code point beyond U+10FFFF).
std::size_t utf8_sequence(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0;  // the smallest code point this length may carry
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1Fu, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0Fu, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07u, least = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0u) != 0x80u) return 0;
        code = (code << 6) | (byte(i) & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::string input_excerpt(std::string_view bytes) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::string piece;
        std::size_t taken = 1;
        if (c == '\\') {
            piece = "\\\\";
        } else if (c == '\t' || c == '\r' || c == '\n') {
            piece = c == '\t' ? "\\t" : c == '\r' ? "\\r" : "\\n";
        } else if (c >= 0x20 && c < 0x7F) {
            piece = std::string(1, static_cast<char>(c));
        } else if (c >= 0x80 && (taken = utf8_sequence(bytes.substr(i))) > 0) {
            piece = std::string(bytes.substr(i, taken));
        } else {
            taken = 1;
            piece = {'\\', 'x', hex[c >> 4], hex[c & 0xFu]};
        }
        if (out.size() + piece.size() > excerpt_limit) return out + "...";
        out += piece;
        i += taken;
    }
    return out;
}

}  // namespace zorvi::report
