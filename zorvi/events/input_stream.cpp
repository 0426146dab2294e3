// An input file read as a stream, and the free-format reader's statements on it.
#include "zorvi/events/input_stream.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zorvi {
namespace {

constexpr std::size_t chunk_size = 64 * 1024;

bool is_blank_or_line_end(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

InputStream stream_of_text(std::string_view text) {
    InputStream in;
    in.held = std::string(text);
    in.ended = true;
    return in;
}

InputStream stream_of_fd(int fd) {
    InputStream in;
    in.fd = fd;
    return in;
}

bool read_more(InputStream& in) {
    if (in.ended) return false;
    // What is consumed is given up before the held bytes grow.
    in.held.erase(0, in.start);
    in.start = 0;
    const std::size_t size = in.held.size();
    in.held.resize(size + chunk_size);
    ssize_t count = 0;
    do {
        count = ::read(in.fd, in.held.data() + size, chunk_size);
    } while (count < 0 && errno == EINTR);
    in.held.resize(size + static_cast<std::size_t>(std::max<ssize_t>(count, 0)));
    if (count > 0) return true;
    if (count < 0) in.read_error = errno;
    in.ended = true;
    return false;
}

void consume(InputStream& in, std::size_t count) {
    for (const char c : unconsumed(in).substr(0, count)) {
        if (c == '\n')
            ++in.line_ends;
        else if (!is_blank_or_line_end(c))
            in.last_text_line = in.line_ends + 1;
        in.last_was_line_end = c == '\n';
    }
    in.start += count;
}

textio::ListReadResult read_statement(InputStream& in, textio::RecordLeftover& leftover,
                                      std::span<double> targets, bool line_alone) {
    static constexpr char line_end = '\n';
    std::size_t handed = 0;    // bytes of the input handed to the reader
    std::size_t consumed = 0;  // of them, consumed from the stream
    bool line_over = false;    // line_alone: the line's end has been handed over
    // The reader is handed the held bytes piece by piece, and has read every byte of one piece
    // when it asks for the next: those are consumed, so that what is held stays a chunk.
    textio::CharSource source = textio::CharSource::from_pull([&]() -> std::string_view {
        consume(in, handed - consumed);
        consumed = handed;
        if (line_over) return {};
        if (in.start == in.held.size() && !read_more(in)) {
            line_over = line_alone;  // the input ends the line: the reader sees its LF
            return line_alone ? std::string_view(&line_end, 1) : std::string_view();
        }
        std::string_view piece = unconsumed(in);
        if (line_alone) {
            const std::size_t lf = piece.find('\n');
            if (lf != std::string_view::npos) {
                piece = piece.substr(0, lf + 1);
                line_over = true;
            }
        }
        handed += piece.size();
        return piece;
    });
    source.leftover = leftover;
    const textio::ListReadResult result = textio::read_list(source, targets);
    consume(in, std::min(source.consumed(), handed) - consumed);
    leftover = source.leftover;
    return result;
}

std::string statement_message(const textio::ListReadResult& result) {
    return textio::list_read_message(result, textio::CharSource());
}

}  // namespace zorvi
