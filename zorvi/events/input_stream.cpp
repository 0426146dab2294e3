// An input file read as a stream, and the free-format reader's statements on it.
#include "zorvi/events/input_stream.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace zorvi {
namespace {

constexpr std::size_t chunk_size = 64 * 1024;
// The first window a statement is tried on: wide enough for an event or a record.
constexpr std::size_t first_window = 256;

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
    const std::vector<double> before(targets.begin(), targets.end());
    std::size_t width = first_window;
    for (;;) {
        const std::string_view held = unconsumed(in);
        std::string_view window = held.substr(0, width);
        bool whole = in.ended && window.size() == held.size();
        std::string text(window);
        if (line_alone) {
            const std::size_t lf = window.find('\n');
            if (lf != std::string_view::npos) text.resize(lf + 1);
            if (whole && lf == std::string_view::npos) text.push_back('\n');
            whole = whole || lf != std::string_view::npos;
        }
        textio::CharSource source = textio::CharSource::from_string(text);
        source.leftover = leftover;
        std::copy(before.begin(), before.end(), targets.begin());
        const textio::ListReadResult result = textio::read_list(source, targets);
        // A statement that stops short of the window's end read what it would read on the
        // whole input; one that reached it may have wanted more.
        if (whole || source.consumed() < text.size()) {
            consume(in, std::min(source.consumed(), held.size()));
            leftover = source.leftover;
            return result;
        }
        if (window.size() < held.size()) {
            width *= 2;
        } else {
            read_more(in);
        }
    }
}

std::string statement_message(const textio::ListReadResult& result) {
    return textio::list_read_message(result, textio::CharSource());
}

}  // namespace zorvi
