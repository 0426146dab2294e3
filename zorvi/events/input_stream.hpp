// An input file read as a stream: the bytes read and not yet consumed are all that is held, and
// the reading stops where the parser stops, so that an endless source ends with the parser's
// first complaint.
#pragma once

#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "textio/textio.hpp"
#include "zorvi/text/messages.hpp"

namespace zorvi {

// Marks a target that a statement left unassigned (a null value, or a slash before it). No
// results record can hold it: the results' fixed field writes asterisks for it.
inline constexpr double unassigned = std::numeric_limits<double>::lowest();

struct InputStream {
    int fd = -1;                // read from when more bytes are needed; -1: the text is all held
    std::string held;           // bytes read, consumed up to `start`
    std::size_t start = 0;      // the first byte not consumed
    bool ended = false;         // nothing more to read: the end of the file, or a read error
    int read_error = 0;         // errno of a failed read(2)
    std::size_t line_ends = 0;  // LFs consumed
    bool last_was_line_end = false;  // the last byte consumed was an LF
    std::size_t last_text_line =
        0;  // line of the last consumed byte other than a blank or line end
};

// A stream of the bytes of `text`, held whole, or of the file open on `fd` (not taken over).
InputStream stream_of_text(std::string_view text);
InputStream stream_of_fd(int fd);

// Reads once more from the file, adding what it gives to the held bytes. False, reading
// nothing, once the input has ended.
bool read_more(InputStream& in);

// The bytes held and not yet consumed.
inline std::string_view unconsumed(const InputStream& in) {
    return std::string_view(in.held).substr(in.start);
}

// Consumes the next `count` held bytes, counting their line ends.
void consume(InputStream& in, std::size_t count);

// The next byte (0..255), consumed; -1 at the end of the input.
inline int next_byte(InputStream& in) {
    if (in.start == in.held.size() && !read_more(in)) return -1;
    const auto c = static_cast<unsigned char>(in.held[in.start]);
    consume(in, 1);
    return c;
}

// The next byte, left unconsumed; -1 at the end of the input.
inline int peek_byte(InputStream& in) {
    if (in.start == in.held.size() && !read_more(in)) return -1;
    return static_cast<unsigned char>(in.held[in.start]);
}

// The line of the next byte, and the line of the last byte consumed (1 before any).
inline std::size_t next_line(const InputStream& in) {
    return in.line_ends + 1;
}
inline std::size_t line_of_last_byte(const InputStream& in) {
    return in.last_was_line_end ? in.line_ends : in.line_ends + 1;
}

// One statement of the free-format reader on the stream: the reader takes the bytes as they are
// read, and every byte it has passed is consumed, so that a statement takes time linear in the
// bytes it reads and holds no more than a chunk of them, however long a line or however many
// blank lines. With `line_alone` it reads only the rest of the current line, ended by its LF
// (added when the input ends first), as if that were the whole input; the caller consumes the
// rest of the line. `leftover` carries over from one statement to the next.
textio::ListReadResult read_statement(InputStream& in, textio::RecordLeftover& leftover,
                                      std::span<double> targets, bool line_alone = false);

// The message of a failed statement, as the reader words it.
std::string statement_message(const textio::ListReadResult& result);

}  // namespace zorvi
