// The text layer: units, record output, free-format input, and the one way out of the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

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
