// The text layer: units, record output, free-format input, and the one way out of the process.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zorvi::textio {

// ---------------------------------------------------------------------------------------------
// Statements and items

// Where a statement stands in the program's source: file name (with extension) and line.
// Only a failing statement's report shows it.
struct Locus {
    std::string_view file;
    int line = 0;
};

inline constexpr int console_unit = 6;  // standard output, always connected

// One item of an output statement: text, a 32-bit integer or a 64-bit real.
using Item = std::variant<std::string_view, std::int32_t, double>;

// ---------------------------------------------------------------------------------------------
// Start-up and run-time options

// Connects unit 6 to standard output and keeps argc/argv (never interpreted). First of all,
// any of the descriptors 0, 1 and 2 that is closed is connected to /dev/null, so that no file
// opened later takes its number, and SIGXFSZ is ignored, so that a write beyond the file-size
// limit is reported at its statement ("File too large").
void start(int argc, char** argv);

// The eight run-time options, in the order in which the program sets them.
struct Options {
    int warn_std = 0;
    int allow_std = 0;
    int pedantic = 0;
    int dump_core = 0;
    int backtrace = 0;
    int sign_zero = 1;  // 1: a negative zero (or a negative value rounding to zero) keeps its '-'
    int bounds_check = 0;
    int range_check = 0;
};
void set_options(const Options& options);
const Options& options();

// ---------------------------------------------------------------------------------------------
// Record output. Each statement writes exactly one record ending in CR LF.

// Every record ends with these two bytes, on the console and in files alike.
inline constexpr std::string_view record_end = "\r\n";

// Free format: a leading blank, one blank between items except between two text items,
// integers in 11 characters, reals in 25 (or a right-justified NaN/Infinity).
void write_free(int unit, const Locus& locus, std::span<const Item> items);
inline void write_free(int unit, const Locus& locus, std::initializer_list<Item> items) {
    write_free(unit, locus, std::span<const Item>(items.begin(), items.size()));
}

// Edit format such as "(a)" or "(2(1x,f16.8))".
void write_edited(int unit, const Locus& locus, std::string_view format,
                  std::span<const Item> items);
inline void write_edited(int unit, const Locus& locus, std::string_view format,
                         std::initializer_list<Item> items) {
    write_edited(unit, locus, format, std::span<const Item>(items.begin(), items.size()));
}

// ---------------------------------------------------------------------------------------------
// Files

enum class OpenStatus { old, unknown };

// Connects `unit` to the named file in the working directory (trailing blanks trimmed).
// Tries read-write, then read-only, then write-only; creates with mode 0600 for `unknown`.
void open_unit(int unit, std::string_view file_name, OpenStatus status, const Locus& locus);

// Writes out the unit's buffer, closes the file (kept) and frees the unit number.
void release_unit(int unit, const Locus& locus);

// One free-format read statement: assigns values to `targets` in order. Null values and
// targets after a slash are left unchanged.
void read_free(int unit, const Locus& locus, std::span<double> targets);

// ---------------------------------------------------------------------------------------------
// The free-format reader: what read_free reads a unit with, for any program that reads text
// by the same rules.

// What a read statement left of its last record, for the next statement on the same source
// to skip before it reads: a statement reads nothing after the character that ends its last
// value, so that a source that delivers its bytes slowly (a FIFO, a pipe) is never waited on
// for bytes that the statement does not need.
enum class RecordLeftover : unsigned char {
    nothing,         // the record ended with an LF, or the input ended
    lf_after_cr,     // the record ended with a CR: an LF right after it belongs to that line end
    rest_of_record,  // the rest of the record, its line end included
};

// Characters for the reader: a copy of a text (tests, fuzzing), a file descriptor read in
// chunks, or the bytes that a function hands over piece by piece (the report's streams). get()
// returns the next byte as 0..255, or end_of_input. The end is sticky: once get() has returned
// end_of_input it keeps doing so.
//
// Move-only: the read position points into the source's own buffer.
struct CharSource {
    static constexpr int end_of_input = -1;
    static constexpr std::size_t chunk_size = 64 * 1024;

    static CharSource from_string(std::string_view text);  // copies the text
    static CharSource from_fd(int fd);                     // does not take ownership of fd
    // The same, reading into `chunk` (which must outlive the source) instead of allocating.
    static CharSource from_fd(int fd, std::span<char> chunk);
    // The bytes `pull` hands over, one piece a call, each valid until the next call; an empty
    // piece ends the input. Nothing is copied.
    static CharSource from_pull(std::function<std::string_view()> pull);

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

    // The bytes taken so far and not given back: how far into the text or file the reader is.
    std::size_t consumed() const {
        return chunks_before_ + static_cast<std::size_t>(next_ - begin_);
    }

    int read_error = 0;  // errno of a failed read(2); get() then returns end_of_input
    RecordLeftover leftover = RecordLeftover::nothing;  // of the last read statement

    // Internals: the current chunk [begin_, end_) with the read position next_, the bytes of
    // the chunks before it, and the file descriptor to refill it from into chunk_ (only when
    // reads_fd_) or the function that hands over the next piece (pull_); a string has nothing
    // more.
    const char* begin_ = nullptr;
    const char* next_ = nullptr;
    const char* end_ = nullptr;
    std::size_t chunks_before_ = 0;
    int fd_ = -1;
    bool reads_fd_ = false;
    bool at_end_ = false;
    std::vector<char> buffer_;  // a vector keeps its storage when moved, so the pointers stay valid
    std::span<char> chunk_;     // where refill() reads to: buffer_, or the caller's chunk
    std::function<std::string_view()> pull_;

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

// One free-format read statement of 64-bit reals: the rules of read_free. Never prints or
// exits. After a failure the source stands just past the character that caused it.
[[nodiscard]] ListReadResult read_list(CharSource& source, std::span<double> targets);

// The report message for a failed result (empty for ok; "End of file" for end_of_file).
std::string list_read_message(const ListReadResult& result, const CharSource& source);

// The same message composed in `out` without allocating (cut to its size); returns it.
inline constexpr std::size_t max_list_read_message = 256;
std::string_view list_read_message_to(std::span<char> out, const ListReadResult& result,
                                      const CharSource& source);

// ---------------------------------------------------------------------------------------------
// Renderers (pure; used by the writers, and handy for tests and other programs)

inline constexpr std::size_t free_int_width = 11;
inline constexpr std::size_t free_real_width = 25;

// The free-format field of an integer (11 characters) and of a real (25 characters, or
// "NaN"/"+Infinity"/"-Infinity" right-justified in 25). `sign_zero` as the option above.
std::string format_free_int(std::int32_t value);
std::string format_free_real(double value, bool sign_zero = true);

// Fixed edit Fw.d: `width` characters, asterisks when the value does not fit.
std::string format_fixed(double value, int width, int decimals, bool sign_zero = true);

// The same fields written into `out` without allocating, which is how records are composed.
// `out` must hold the field's width (for format_fixed_to: `width`, at least 1, with
// `decimals` >= 0); each returns the number of characters written.
std::size_t format_free_int_to(char* out, std::int32_t value);
std::size_t format_free_real_to(char* out, double value, bool sign_zero = true);
std::size_t format_fixed_to(char* out, double value, int width, int decimals,
                            bool sign_zero = true);

// ---------------------------------------------------------------------------------------------
// Termination: the only ways out of the process. Each writes out every unit's buffer and
// closes the open files before the process ends.

inline constexpr int status_normal = 0;
inline constexpr int status_memory = 1;
inline constexpr int status_io = 2;
inline constexpr int status_report_in_report = 4;

// Prefix of the message line of a run-time error report.
inline constexpr std::string_view runtime_error_prefix = "Zorvi run-time error: ";

[[noreturn]] void stop_normal();

// "STOP <text>\n" on standard error, then exit with `status`.
[[noreturn]] void stop_with_message(std::string_view text, int status = status_normal);

// Locus line and message line on standard error, status 2. `unit` <= 0 means no unit.
[[noreturn]] void fail_statement(const Locus& locus, int unit, std::string_view message);
// The same with the operating system's text for `error_number`.
[[noreturn]] void fail_statement_os(const Locus& locus, int unit, int error_number);

// "Operating system error: <strerror(errno)>\n<message>\n", status 1.
[[noreturn]] void fail_os(std::string_view message);

// Message line without a locus, status 2.
[[noreturn]] void fail_runtime(std::string_view message);

}  // namespace zorvi::textio
