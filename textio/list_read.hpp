// Internal to the text layer: the free-format (list-directed) reader and its character source.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace zorvi::textio::detail {

// Characters for the reader: either a string (tests, fuzzing) or a file descriptor read in
// chunks. get() returns the next byte as 0..255, or end_of_input.
struct CharSource {
    static constexpr int end_of_input = -1;

    static CharSource from_string(std::string_view text);
    static CharSource from_fd(int fd);

    int get();
    void unget();  // gives back the last byte returned by get(); at most one in a row

    int read_error = 0;  // errno of a failed read(2); get() then returns end_of_input

    // Internals: the unread part of the current chunk, and where to refill it from.
    const char* next_ = nullptr;
    const char* end_ = nullptr;
    int fd_ = -1;
    bool ungot_ = false;
    int last_ = end_of_input;
    std::string buffer_;
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

// One free-format read statement of 64-bit reals. Never prints or exits.
[[nodiscard]] ListReadResult read_list(CharSource& source, std::span<double> targets);

// The report message for a failed result (empty for ok; "End of file" for end_of_file).
std::string list_read_message(const ListReadResult& result, const CharSource& source);

}  // namespace zorvi::textio::detail
