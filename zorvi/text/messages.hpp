// Text from outside (input bytes, file names, option values, labels) made safe to show:
// bounded, escaped excerpts for error messages, valid UTF-8 for the JSON document, and text
// without invisible characters for the pages and tables a reader sees.
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

// `text` as valid UTF-8 with nothing invisible or reordering in it: bytes that are not UTF-8
// become U+FFFD; control characters (C0, DEL, C1) are written as \t, \n, \r or \xhh, and
// the characters that reorder text (bidirectional marks, embeddings, overrides and isolates)
// as \uhhhh. Other characters, the backslash among them, are kept.
std::string visible_text(std::string_view text);

// A label as the outputs show it: `visible_text` of it, at most `label_characters` characters,
// a longer one cut to one less and ended with an ellipsis (U+2026). With `more`, the label
// goes on beyond `text` (it was cut when read), and ends with an ellipsis however short.
inline constexpr std::size_t label_characters = 40;
std::string display_label(std::string_view text, bool more = false);

}  // namespace zorvi::detail
