// The figure as a PNG: rsvg-convert, run without a shell, reads the SVG's temporary file on its
// standard input and writes the PNG's on its standard output. It never opens a file by name,
// so no name that someone else controls is written through.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "zorvi/figure/figure.hpp"
#include "zorvi/files/temporary_file.hpp"
#include "zorvi/text/number_text.hpp"

extern char** environ;

namespace zorvi::detail {
namespace {

constexpr std::string_view converter_name = "rsvg-convert";

// Starts the converter with the signals that end the report held, so that their handler
// always knows it; the converter itself starts with the caller's mask. -1 with `spawn_error`
// set when it could not be started.
pid_t start_converter(const std::filesystem::path& converter, int input, int output,
                      int& spawn_error) {
    std::string name(converter_name);
    char* argv[] = {name.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawnattr_init(&attributes);
    const EndingSignalsHeld held;
    posix_spawnattr_setsigmask(&attributes, &held.previous);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    spawn_error = posix_spawn(&pid, converter.c_str(), &actions, &attributes, argv, environ);
    if (spawn_error == 0) watch_child(pid);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return spawn_error == 0 ? pid : -1;
}

// Waits for the converter to end: its exit status, 128 + the signal that ended it, or -1 when
// it was lost. It is reaped only once it is no longer watched, so that its id is never
// signalled after reuse.
int wait_for_converter(pid_t pid) {
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR)
        continue;
    {
        const EndingSignalsHeld held;
        watch_child(0);
    }
    int status = 0;
    pid_t reaped = -1;
    do
        reaped = waitpid(pid, &status, 0);
    while (reaped < 0 && errno == EINTR);
    if (reaped != pid) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 128;
}

}  // namespace

std::filesystem::path find_converter() {
    const char* path = std::getenv("PATH");
    std::string_view directories = path != nullptr ? path : "/bin:/usr/bin";
    for (;;) {
        const std::size_t end = directories.find(':');
        const std::string_view directory = directories.substr(0, end);
        std::filesystem::path candidate = directory.empty() ? "." : std::string(directory);
        candidate /= converter_name;
        struct stat found {};
        if (::stat(candidate.c_str(), &found) == 0 && S_ISREG(found.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string_view::npos) return {};
        directories.remove_prefix(end + 1);
    }
}

bool convert_to_png(const std::filesystem::path& converter, TemporaryFile& svg, TemporaryFile& png,
                    std::string& error) {
    if (::lseek(svg.fd, 0, SEEK_SET) != 0) {
        error = "cannot read back the figure: " + std::string(std::strerror(errno));
        return false;
    }
    // A caller that ignores SIGCHLD would have the converter reaped unseen, its status lost.
    std::signal(SIGCHLD, SIG_DFL);
    int spawn_error = 0;
    const pid_t pid = start_converter(converter, svg.fd, png.fd, spawn_error);
    if (pid < 0) {
        error = "cannot run '" + converter.string() + "': " + std::strerror(spawn_error);
        return false;
    }
    const int status = wait_for_converter(pid);
    if (status == 0) return true;
    error = "rsvg-convert could not write '" + png.target.string() + "' (status " +
            std::to_string(status) + ")";
    return false;
}

}  // namespace zorvi::detail
