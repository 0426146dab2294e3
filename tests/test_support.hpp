// Helpers shared by the test programs: temporary directories, files, and child processes
// whose standard output, standard error and exit status are captured.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

// 1 in a build under the address sanitizer, which reserves far more address space than any
// address-space limit a test sets, and runs many times slower. gcc and clang announce it
// differently.
#if defined(__SANITIZE_ADDRESS__)
#define ZORVI_UNDER_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZORVI_UNDER_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef ZORVI_UNDER_ADDRESS_SANITIZER
#define ZORVI_UNDER_ADDRESS_SANITIZER 0
#endif

namespace zorvi::testing {

// Values at the edges that many tests give as input.
inline constexpr double nan = std::numeric_limits<double>::quiet_NaN();
inline constexpr double inf = std::numeric_limits<double>::infinity();
inline constexpr std::int32_t int_max = std::numeric_limits<std::int32_t>::max();
inline constexpr std::int32_t int_min = std::numeric_limits<std::int32_t>::min();

// A fresh directory under the system's temporary directory, removed with its contents.
struct TempDir {
    std::filesystem::path path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
};

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& bytes);

struct ProcessResult {
    std::string out;  // standard output, bytes as written
    std::string err;  // standard error
    int status = -1;  // exit status, or 128 + signal number
};

// Runs `body` in a forked child with standard output and error captured (through files, so
// that neither is a terminal). The child exits with 0 if `body` returns.
ProcessResult run_in_child(const std::function<void()>& body);

// Runs a program in `directory`. With `as_nobody` the child drops root first (setpriv to
// uid/gid 65534), running a copy of zorvi that such a user may execute; the caller checks
// `can_drop_root()` and skips the test if it cannot.
ProcessResult run_program(const std::vector<std::string>& argv,
                          const std::filesystem::path& directory, bool as_nobody = false);

// The same, with `prepare` run in the child just before the program is started (in
// `directory`, its output already captured): to set a resource limit or close a descriptor.
ProcessResult run_program_with(const std::vector<std::string>& argv,
                               const std::filesystem::path& directory,
                               const std::function<void()>& prepare);

// Whether a process run under a resource limit started at all: it was found and executed, and
// either exited or, killed by a signal, wrote something first.
bool process_started(const ProcessResult& result);

// The lowest address-space limit, in pages, at which `run_at(pages)` starts, found by
// bisection between 1 MiB (not even the loader fits) and 64 MiB (where it must start).
unsigned long lowest_starting_limit(const std::function<ProcessResult(unsigned long)>& run_at);

// True when the tests run as root and setpriv can drop to an unprivileged user.
bool can_drop_root();

// The built zorvi binary and the source tree's data file.
std::filesystem::path zorvi_binary();
std::filesystem::path shipped_data_file();
inline constexpr const char* data_file_name = "Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat";
inline constexpr const char* results_file_name = "Zorviresult.dat";

}  // namespace zorvi::testing
