// Internal to the text layer: the free-format (list-directed) reader and its character source.
#pragma once

#include <cassert>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zorvi::textio::detail {

// What a read statement left of its last record, for the next statement on the same source
// to skip before it reads: a statement reads nothing after the character that ends its last
// value, so that a source that delivers its bytes slowly (a FIFO, a pipe) is never waited on
// for bytes that the statement does not need.
enum class RecordLeftover : unsigned char {
    nothing,         // the record ended with an LF, or the input ended
    lf_after_cr,     // the record ended with a CR: an LF right after it belongs to that line end
    rest_of_record,  // the rest of the record, its line end included
};

// Characters for the reader: either a string (tests, fuzzing) or a file descriptor read in
// chunks. get() returns the next byte as 0..255, or end_of_input. The end is sticky: once
// get() has returned end_of_input it keeps doing so.
//
// Move-only: the read position points into the source's own buffer.
struct CharSource {
    static constexpr int end_of_input = -1;
    static constexpr std::size_t chunk_size = 64 * 1024;

    static CharSource from_string(std::string_view text);  // copies the text
    static CharSource from_fd(int fd);                     // does not take ownership of fd
    // The same, reading into `chunk` (which must outlive the source) instead of allocating.
    static CharSource from_fd(int fd, std::span<char> chunk);

    CharSource() = default;
    CharSource(CharSource&&) = default;
    CharSource& operator=(CharSource&&) = default;
    CharSource(const CharSource&) = delete;
    CharSource& operator=(const CharSource&) = delete;

    int get() {
        if (next_ != end_) return static_cast<unsigned char>(*next_++);
        return refill();
    }

    // Gives back the last byte returned by get(); at most one in a row. After end_of_input
    // there is nothing to give back, and get() returns end_of_input again.
    void unget() {
        if (at_end_) return;
        assert(next_ != begin_);
        --next_;
    }

    int read_error = 0;  // errno of a failed read(2); get() then returns end_of_input
    RecordLeftover leftover = RecordLeftover::nothing;  // of the last read statement

    // Internals: the current chunk [begin_, end_) with the read position next_, and the file
    // descriptor to refill it from into chunk_ (only when reads_fd_; a string has nothing
    // more).
    const char* begin_ = nullptr;
    const char* next_ = nullptr;
    const char* end_ = nullptr;
    int fd_ = -1;
    bool reads_fd_ = false;
    bool at_end_ = false;
    std::vector<char> buffer_;  // a vector keeps its storage when moved, so the pointers stay valid
    std::span<char> chunk_;     // where refill() reads to: buffer_, or the caller's chunk

    int refill();  // loads the next chunk and returns its first byte, or end_of_input
};

enum class ListReadStatus {
    ok,
    end_of_file,
    bad_real,          // "Bad real number in item %d of list input"
    zero_repeat,       // "Zero repeat count in item %d of list input"
    repeat_overflow,   // "Repeat count overflow in item %d of list input"
    conversion_error,  // "Error during floating point read"
    read_error,        // the operating system's text for CharSource::read_error
};

struct ListReadResult {
    ListReadStatus status = ListReadStatus::ok;
    int item = 0;  // 1-based target number the failure belongs to
};

// One free-format read statement of 64-bit reals. Never prints or exits. After a failure the
// source stands just past the character that caused it.
[[nodiscard]] ListReadResult read_list(CharSource& source, std::span<double> targets);

// The report message for a failed result (empty for ok; "End of file" for end_of_file).
std::string list_read_message(const ListReadResult& result, const CharSource& source);

// The same message composed in `out` without allocating (cut to its size); returns it.
inline constexpr std::size_t max_list_read_message = 256;
std::string_view list_read_message_to(std::span<char> out, const ListReadResult& result,
                                      const CharSource& source);

}  // namespace zorvi::textio::detail
