// What the text layer asks of the process before its first statement: the three standard
// descriptors open, and a file-size limit met as a write error instead of a signal.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "textio/unit_impl.hpp"

namespace zorvi::textio::detail {

namespace {

constexpr const char* null_device = "/dev/null";

bool is_closed(int fd) {
    return fcntl(fd, F_GETFD) == -1 && errno == EBADF;
}

}  // namespace

void prepare_process() {
    // A descriptor among 0, 1 and 2 that the caller left closed would be taken by the next
    // file opened, and console records or reports would go into that file. Opening
    // /dev/null takes the lowest free number, which is the closed one.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (!is_closed(fd)) continue;
        const int opened = open(null_device, O_RDWR);
        if (opened != fd) {
            if (opened >= 0) close(opened);
            fail_runtime("A standard stream is closed and cannot be connected to /dev/null");
        }
    }
    // Beyond the file-size limit a write then fails with EFBIG and is reported at its
    // statement, like a full disc, instead of the process being killed.
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace zorvi::textio::detail
