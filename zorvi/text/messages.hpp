// Text from outside (input bytes, file names, option values) made safe to show: bounded,
// escaped excerpts for error messages, and valid UTF-8 for the JSON document.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorvi::detail {

// How an error message shows bytes of the input: at most about 80 characters (cut with
// "..."), a backslash doubled, and control bytes and bytes that are not UTF-8 escaped
// (\t, \r, \n, \x00, \xff), so that nothing in a message is invisible.
std::string input_excerpt(std::string_view bytes);

// Bytes of input that an excerpt shows at most: reading this many is enough to quote it.
inline constexpr std::size_t excerpt_limit = 80;

// `text` in single quotes for a message: at most `message_quote_bytes` of it (then "..."),
// control bytes, backslashes and bytes that are not well-formed UTF-8 escaped (\r, \\, \xff).
inline constexpr std::size_t message_quote_bytes = 80;
std::string quoted_for_message(std::string_view text);

// `text` with every byte that is not part of well-formed UTF-8 replaced by U+FFFD: names from
// the file system as the JSON document carries them.
std::string valid_utf8(std::string_view text);

}  // namespace zorvi::detail
