// Internal to the text layer: the unit table, record buffering and the exit path.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "textio/textio.hpp"

namespace zorvi::textio::detail {

inline constexpr std::size_t unit_buffer_size = 8192;
inline constexpr std::size_t max_units = 4;  // the console and a few files
inline constexpr std::string_view console_name = "stdout";
inline constexpr std::size_t max_file_name = 4095;  // the system's limit on a path, NUL excluded
inline constexpr std::size_t max_locus_file = 255;

// Text kept in place, so that storing it never allocates; longer text is cut to `Capacity`.
template <std::size_t Capacity>
struct InlineText {
    std::array<char, Capacity> chars{};
    std::size_t size = 0;

    void append(std::string_view text) {
        const std::size_t length = std::min(text.size(), Capacity - size);
        std::copy_n(text.data(), length, chars.data() + size);
        size += length;
    }
    void assign(std::string_view text) {
        size = 0;
        append(text);
    }
    std::string_view view() const { return {chars.data(), size}; }
};

enum class Action { read, write, read_write };

// Where a file unit stands: a file that is not empty is cut at the end of the first record
// written to it, which moves it to at_end.
enum class EndState { not_at_end, at_end, after_end };

// What a unit is apart from its storage: the part that an emptied slot starts afresh.
struct UnitState {
    int number = 0;  // 0: the slot is free
    int fd = -1;     // -1 while an open is in progress, or after the file has been closed
    bool is_console = false;
    bool terminal = false;  // records go out one by one instead of through the buffer
    bool failed = false;    // a write error was reported; the buffer was dropped
    Action action = Action::write;
    EndState end_state = EndState::at_end;
    int locus_line = 0;    // of the last statement on this unit (with `locus_file` below)
    std::size_t used = 0;  // bytes waiting in `buffer`

    std::span<char> input_chunk;       // the slot's own read buffer, static like the table
    std::optional<CharSource> source;  // made at the first read statement, over `input_chunk`
};

// A unit with its storage: texts and a record buffer kept in place, so that no statement
// allocates. Only the first `used` bytes of `buffer` and the texts' own sizes count.
struct Unit : UnitState {
    InlineText<max_file_name> name;  // trailing blanks trimmed; empty while an open is in progress
    // The last statement on this unit, for a write error met later (at exit, say).
    InlineText<max_locus_file> locus_file;
    std::array<char, unit_buffer_size> buffer{};
};

// Before the first statement: connects any closed descriptor among 0, 1 and 2 to /dev/null
// (or ends the run when it cannot) and ignores SIGXFSZ, so that a write beyond the file-size
// limit fails with EFBIG.
void prepare_process();

// The unit connected as `number`, or nullptr.
Unit* find_unit(int number);

// Takes a free slot for `number` (not connected yet); nullptr when the table is full.
Unit* claim_unit(int number);

// Clears the slot: the unit number is free again. The file must already be closed.
void free_unit(Unit& unit);

// Remembers `locus` on the unit as the statement now running on it.
void note_statement(Unit& unit, const Locus& locus);

// Looks up the unit of an output statement; ends the run when it cannot be written.
Unit& begin_output(int number, const Locus& locus);

// Hands one complete record, line end included, to the unit: into the buffer, or straight
// to the file for a terminal or a record longer than the buffer. A file error ends the run
// with a report naming `locus`.
void put_record(Unit& unit, const Locus& locus, std::string_view record);

// Writes out the unit's buffer and closes its file (the console stays open). A file error
// ends the run with a report naming `locus`.
void close_unit(Unit& unit, const Locus& locus);

// The exit path's part: writes out every unit's buffer and closes every file. With `quiet`
// every error is ignored; otherwise a file unit's error is reported at its last statement.
void close_all_units(bool quiet);

// The record being composed by the current output statement. Its first `room_size` characters
// have static room, so that composing a record allocates nothing; a longer record moves to the
// heap. One instance, reached through record_buffer().
struct Record {
    static constexpr std::size_t room_size = 1024;

    Record() = default;
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;

    // Room for `count` more characters at the end; returns where they go.
    char* extend(std::size_t count) {
        if (count > capacity_ - size_) grow(count);
        char* at = chars_ + size_;
        size_ += count;
        return at;
    }
    void append(std::string_view text) {
        if (!text.empty()) std::memcpy(extend(text.size()), text.data(), text.size());
    }
    void append_blanks(std::size_t count) {
        if (count == 1) {
            *extend(1) = ' ';  // the usual separator, stored without a call
        } else if (count > 1) {
            std::memset(extend(count), ' ', count);
        }
    }
    void clear() { size_ = 0; }
    std::string_view text() const { return {chars_, size_}; }

  private:
    void grow(std::size_t count);  // ends the run when memory cannot be had

    std::array<char, room_size> room_;
    std::unique_ptr<char[]> heap_;
    char* chars_ = room_.data();
    std::size_t capacity_ = room_size;
    std::size_t size_ = 0;
};

// The record buffer, emptied.
Record& record_buffer();

// Writes all of `size` bytes, retrying short and interrupted writes; returns 0 or the errno
// of the failure.
[[nodiscard]] int write_all(int fd, const char* data, std::size_t size);

// The message line of a failed statement when the failing step has no text of its own.
std::string_view os_error_text(int error_number);

// Ends the run with the memory report: "Operating system error: <ENOMEM's text>" and
// "Memory allocation failed".
[[noreturn]] void fail_out_of_memory();

}  // namespace zorvi::textio::detail
