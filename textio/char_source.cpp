// The character source of the free-format reader: a copied string, a file descriptor read in
// chunks, or the pieces a function hands over.
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "textio/textio.hpp"

namespace zorvi::textio {

CharSource CharSource::from_string(std::string_view text) {
    CharSource source;
    source.buffer_.assign(text.begin(), text.end());
    source.begin_ = source.buffer_.data();
    source.next_ = source.begin_;
    source.end_ = source.begin_ + source.buffer_.size();
    return source;
}

CharSource CharSource::from_fd(int fd) {
    CharSource source;
    source.buffer_.resize(chunk_size);
    source.fd_ = fd;
    source.reads_fd_ = true;
    source.chunk_ = source.buffer_;
    return source;
}

CharSource CharSource::from_fd(int fd, std::span<char> chunk) {
    CharSource source;
    source.fd_ = fd;
    source.reads_fd_ = true;
    source.chunk_ = chunk;
    return source;
}

CharSource CharSource::from_pull(std::function<std::string_view()> pull) {
    CharSource source;
    source.pull_ = std::move(pull);
    return source;
}

int CharSource::refill() {
    if (at_end_) return end_of_input;
    if (pull_) {
        const std::string_view piece = pull_();
        if (!piece.empty()) {
            chunks_before_ += static_cast<std::size_t>(end_ - begin_);
            begin_ = piece.data();
            next_ = begin_;
            end_ = begin_ + piece.size();
            return static_cast<unsigned char>(*next_++);
        }
    }
    if (reads_fd_) {
        ssize_t count = 0;
        do {
            count = ::read(fd_, chunk_.data(), chunk_.size());
        } while (count < 0 && errno == EINTR);
        if (count > 0) {
            chunks_before_ += static_cast<std::size_t>(end_ - begin_);
            begin_ = chunk_.data();
            next_ = begin_;
            end_ = begin_ + count;
            return static_cast<unsigned char>(*next_++);
        }
        if (count < 0) read_error = errno;
    }
    // End of the string, end of the file, or a failed read: nothing more will come.
    at_end_ = true;
    next_ = end_;
    return end_of_input;
}

}  // namespace zorvi::textio
