// Files written whole or not at all: written under a temporary name beside their final one,
// then renamed into place. A temporary file is removed when its writing fails, and when the
// process is ended by a signal while one is open.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "zorvi/files/temporary_file.hpp"

namespace zorvi::detail {
namespace {

// The temporary files open now, for the signal handler: plain characters, as it may read
// nothing else.
constexpr std::size_t max_open_temporaries = 4;
constexpr std::size_t max_path = 4096;
std::array<std::array<char, max_path>, max_open_temporaries> open_temporaries{};
constexpr std::array<int, 4> ending_signals = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

extern "C" void remove_temporaries_and_end(int signal_number) {
    for (const auto& name : open_temporaries)
        if (name[0] != '\0') unlink(name.data());
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

sigset_t ending_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal_number : ending_signals)
        sigaddset(&set, signal_number);
    return set;
}

// Holds off the ending signals in this thread while a temporary file and the list of them
// change together: the handler never sees a name half copied, nor misses a file just made.
struct SignalsHeld {
    sigset_t previous{};
    SignalsHeld() {
        const sigset_t set = ending_set();
        pthread_sigmask(SIG_BLOCK, &set, &previous);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
};

void watch_signals() {
    static bool watching = false;
    if (watching) return;
    watching = true;
    for (int signal_number : ending_signals) {
        // A signal that the caller ignores stays ignored.
        if (std::signal(signal_number, remove_temporaries_and_end) == SIG_IGN)
            std::signal(signal_number, SIG_IGN);
    }
}

void remember(const std::string& name) {
    for (auto& slot : open_temporaries) {
        if (slot[0] != '\0') continue;
        if (name.size() < slot.size()) std::memcpy(slot.data(), name.c_str(), name.size() + 1);
        return;
    }
}

void forget(const std::string& name) {
    for (auto& slot : open_temporaries)
        if (name == slot.data()) slot[0] = '\0';
}

std::string quoted_path(const std::filesystem::path& path) {
    std::string quoted(1, '\'');  // built in steps: g++ 12 warns wrongly on "'" + string
    quoted += path.string();
    quoted += '\'';
    return quoted;
}

}  // namespace

void leave_ending_signals_to_others() {
    const sigset_t set = ending_set();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool create_temporary(const std::filesystem::path& target, mode_t mode, TemporaryFile& file,
                      std::string& error) {
    watch_signals();
    // The rename at the end would replace a device, a pipe or a socket of that name (as root,
    // even /dev/null) with a plain file.
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        error = "cannot write " + quoted_path(target) + ": not a regular file, left as it is";
        return false;
    }
    const std::filesystem::path directory = target.parent_path();
    std::string hidden(1, '.');  // built in steps: g++ 12 warns wrongly on "." + string
    hidden += target.filename().string();
    hidden += ".XXXXXX";
    std::string name = (directory / hidden).string();
    const SignalsHeld held;
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "cannot write " + quoted_path(target) + ": " + std::strerror(errno);
        return false;
    }
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, mode & ~mask);  // mkstemp makes it 0600
    file = {name, target, fd};
    remember(name);
    return true;
}

bool write_temporary(TemporaryFile& file, std::string_view bytes, std::string& error) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(file.fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = "cannot write " + quoted_path(file.target) + ": " +
                    std::strerror(written < 0 ? errno : ENOSPC);
            discard_temporary(file);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool commit_temporary(TemporaryFile& file, std::string& error) {
    const int fd = file.fd;
    file.fd = -1;
    if (::close(fd) != 0) {
        error = "cannot write " + quoted_path(file.target) + ": " + std::strerror(errno);
        discard_temporary(file);
        return false;
    }
    const SignalsHeld held;
    std::error_code ec;
    std::filesystem::rename(file.path, file.target, ec);
    if (ec) {
        error = "cannot write " + quoted_path(file.target) + ": " + ec.message();
        discard_temporary(file);
        return false;
    }
    forget(file.path.string());
    file.path.clear();
    return true;
}

bool move_into_place(const std::filesystem::path& temporary, const std::filesystem::path& path,
                     std::string& error) {
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (!ec) return true;
    error = "cannot write " + quoted_path(path) + ": " + ec.message();
    unlink(temporary.c_str());
    return false;
}

void discard_temporary(TemporaryFile& file) {
    if (file.fd >= 0) ::close(file.fd);
    file.fd = -1;
    if (file.path.empty()) return;
    const SignalsHeld held;
    unlink(file.path.c_str());
    forget(file.path.string());
    file.path.clear();
}

}  // namespace zorvi::detail
