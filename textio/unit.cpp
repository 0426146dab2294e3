// The unit table: the console and the connected files, their record buffers, and how
// buffered records reach the operating system.
#include <fcntl.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstring>

#include "textio/unit_impl.hpp"

namespace zorvi::textio {

namespace {

struct UnitTable {
    std::array<detail::Unit, detail::max_units> slots;
    bool ready = false;  // the console has been connected
};

UnitTable units;
// Each slot's read buffer, so that reading a file allocates nothing. Kept apart from the
// table, which has nonzero initial values, so that it takes no room in the program file.
std::array<std::array<char, CharSource::chunk_size>, detail::max_units> input_chunks;
Options current_options;

struct Arguments {
    int argc = 0;
    char** argv = nullptr;
};
Arguments arguments;  // kept for the record, never interpreted

// Empties a slot of the table, giving it back its read buffer. Its storage is left as it
// is rather than cleared, which would cost more than all the records of a run.
void clear_slot(detail::Unit& unit) {
    const auto slot = static_cast<std::size_t>(&unit - units.slots.data());
    static_cast<detail::UnitState&>(unit) = detail::UnitState{};
    unit.name.assign({});
    unit.locus_file.assign({});
    unit.input_chunk = input_chunks[slot];
}

void connect_console(detail::Unit& unit) {
    clear_slot(unit);
    unit.number = console_unit;
    unit.fd = STDOUT_FILENO;
    unit.is_console = true;
    unit.terminal = isatty(STDOUT_FILENO) == 1;
    unit.action = detail::Action::write;
    unit.end_state = detail::EndState::at_end;
    unit.name.assign(detail::console_name);
}

UnitTable& table() {
    if (!units.ready) {
        connect_console(units.slots[0]);
        units.ready = true;
    }
    return units;
}

// Commits written data to storage. Pipes and character devices cannot be synced; that is
// not an error.
[[nodiscard]] int commit(int fd) {
    if (fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP) return 0;
    return errno;
}

// Hands `size` bytes to the file at once, committing them unless the file is a terminal.
[[nodiscard]] int write_direct(const detail::Unit& unit, const char* data, std::size_t size) {
    if (const int error = detail::write_all(unit.fd, data, size)) return error;
    return unit.terminal ? 0 : commit(unit.fd);
}

// Writes out the buffer. The buffer is emptied even on failure: its records are lost.
[[nodiscard]] int write_out(detail::Unit& unit) {
    if (unit.used == 0) return 0;
    const std::size_t size = unit.used;
    unit.used = 0;
    return write_direct(unit, unit.buffer.data(), size);
}

// The first record on a file that is not empty: written at once, and the file cut after it
// so that nothing of its old contents remains.
[[nodiscard]] int write_first_record(detail::Unit& unit, std::string_view record) {
    if (const int error = write_direct(unit, record.data(), record.size())) return error;
    const off_t end = lseek(unit.fd, 0, SEEK_CUR);
    if (end < 0 || ftruncate(unit.fd, end) != 0) return errno;
    unit.end_state = detail::EndState::at_end;
    return 0;
}

[[nodiscard]] int put_buffered(detail::Unit& unit, std::string_view record) {
    // Records go out whole: make room first.
    if (unit.used + record.size() > unit.buffer.size()) {
        if (const int error = write_out(unit)) return error;
    }
    if (record.size() > unit.buffer.size()) {
        return write_direct(unit, record.data(), record.size());
    }
    std::memcpy(unit.buffer.data() + unit.used, record.data(), record.size());
    unit.used += record.size();
    return unit.used == unit.buffer.size() ? write_out(unit) : 0;
}

// Console errors are ignored; a file unit's error ends the run.
void report_error(detail::Unit& unit, const Locus& locus, int error) {
    if (error == 0 || unit.is_console) return;
    unit.failed = true;
    unit.used = 0;
    fail_statement_os(locus, unit.number, error);
}

// Best effort, for the exit path when nothing more may be reported.
void close_quietly(detail::Unit& unit) {
    if (!unit.failed) (void)write_out(unit);
    unit.used = 0;
    if (unit.is_console || unit.fd < 0) return;
    const int fd = unit.fd;
    unit.fd = -1;
    close(fd);
}

}  // namespace

void start(int argc, char** argv) {
    detail::prepare_process();
    arguments = Arguments{argc, argv};
    connect_console(units.slots[0]);
    units.ready = true;
}

void set_options(const Options& options) {
    current_options = options;
}

const Options& options() {
    return current_options;
}

namespace detail {

Unit* find_unit(int number) {
    if (number <= 0) return nullptr;
    for (Unit& unit : table().slots) {
        if (unit.number == number) return &unit;
    }
    return nullptr;
}

Unit* claim_unit(int number) {
    assert(number > 0 && find_unit(number) == nullptr);
    for (Unit& unit : table().slots) {
        if (unit.number == 0) {
            clear_slot(unit);
            unit.number = number;
            return &unit;
        }
    }
    return nullptr;
}

void free_unit(Unit& unit) {
    assert(unit.fd < 0 || unit.is_console);
    clear_slot(unit);
}

void note_statement(Unit& unit, const Locus& locus) {
    unit.locus_file.assign(locus.file);
    unit.locus_line = locus.line;
}

Unit& begin_output(int number, const Locus& locus) {
    Unit* unit = find_unit(number);
    if (unit == nullptr) fail_statement(locus, number, "Write to a unit that is not connected");
    note_statement(*unit, locus);
    if (unit->action == Action::read) {
        fail_statement(locus, number, "Cannot write to file opened for READ");
    }
    return *unit;
}

void put_record(Unit& unit, const Locus& locus, std::string_view record) {
    assert(unit.action != Action::read && unit.fd >= 0);
    int error = 0;
    if (unit.end_state == EndState::not_at_end) {
        error = write_first_record(unit, record);
    } else if (unit.terminal) {
        error = write_direct(unit, record.data(), record.size());
    } else {
        error = put_buffered(unit, record);
    }
    report_error(unit, locus, error);
}

void close_unit(Unit& unit, const Locus& locus) {
    int error = unit.failed ? 0 : write_out(unit);
    unit.used = 0;
    if (!unit.is_console && unit.fd >= 0) {
        const int fd = unit.fd;
        unit.fd = -1;
        if (close(fd) != 0 && error == 0) error = errno;
    }
    if (!unit.failed) report_error(unit, locus, error);
}

void close_all_units(bool quiet) {
    for (Unit& unit : table().slots) {
        if (unit.number == 0) continue;
        if (quiet || unit.failed) {
            close_quietly(unit);
        } else {
            close_unit(unit, Locus{unit.locus_file.view(), unit.locus_line});
        }
    }
}

int write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

std::string_view os_error_text(int error_number) {
    return std::strerror(error_number);
}

}  // namespace detail

}  // namespace zorvi::textio
