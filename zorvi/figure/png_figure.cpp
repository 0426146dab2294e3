// The figure as a PNG: the SVG handed to rsvg-convert, run without a shell.
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "zorvi/figure/figure.hpp"
#include "zorvi/files/temporary_file.hpp"
#include "zorvi/text/number_text.hpp"

extern char** environ;

namespace zorvi::detail {
namespace {

constexpr const char* converter = "rsvg-convert";

// Runs the converter and waits for it: its exit status, or -1 with `spawn_error` set when it
// could not be started.
int run_converter(const std::string& svg, const std::string& png, int& spawn_error) {
    std::string name = converter, option = "-o", output = png, input = svg;
    char* argv[] = {name.data(), option.data(), output.data(), input.data(), nullptr};
    pid_t pid = 0;
    spawn_error = posix_spawnp(&pid, converter, nullptr, nullptr, argv, environ);
    if (spawn_error != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            spawn_error = errno;
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

bool convert_to_png(const std::filesystem::path& svg, const std::filesystem::path& png,
                    std::string& error) {
    std::filesystem::path temporary = png;
    temporary += ".tmp";
    int spawn_error = 0;
    const int status = run_converter(svg.string(), temporary.string(), spawn_error);
    if (status != 0) {
        std::remove(temporary.c_str());
        if (spawn_error == ENOENT) {
            error =
                "--png needs rsvg-convert (Debian package librsvg2-bin), which is not "
                "installed; the figure is in '" +
                svg.string() + "'";
        } else if (spawn_error != 0) {
            error = std::string("cannot run rsvg-convert: ") + std::strerror(spawn_error);
        } else {
            error = "rsvg-convert could not write '" + png.string() + "' (status " +
                    std::to_string(status) + ")";
        }
        return false;
    }
    return move_into_place(temporary, png, error);
}

}  // namespace zorvi::detail
