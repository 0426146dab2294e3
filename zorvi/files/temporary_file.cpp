// Files written whole or not at all: written under a fresh temporary name beside their final
// one, then renamed into place together. Temporary files are removed when writing fails, and
// when the process is ended by a signal while any is open; the converter then running is ended
// too.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>

#include "zorvi/files/temporary_file.hpp"

namespace zorvi::detail {
namespace {

// The temporary files open now, for the signal handler: plain characters, as it may read
// nothing else. A report has at most nine files open at once.
constexpr std::size_t max_open_temporaries = 16;
constexpr std::size_t max_path = 4096;
std::array<std::array<char, max_path>, max_open_temporaries> open_temporaries{};
constexpr std::array<int, 4> ending_signals = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

static_assert(sizeof(pid_t) <= sizeof(std::sig_atomic_t));
volatile std::sig_atomic_t running_child = 0;

// The converter is signalled by its own id: it may share the process group of a script that
// runs the report, which must not be signalled with it.
extern "C" void remove_temporaries_and_end(int signal_number) {
    if (running_child > 0) kill(static_cast<pid_t>(running_child), SIGTERM);
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

bool remember(const std::string& name) {
    if (name.size() >= max_path) return false;
    for (auto& slot : open_temporaries) {
        if (slot[0] != '\0') continue;
        std::memcpy(slot.data(), name.c_str(), name.size() + 1);
        return true;
    }
    return false;
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

std::string cannot_write(const std::filesystem::path& target, const char* reason) {
    return "cannot write " + quoted_path(target) + ": " + reason;
}

// 0666 less the umask, as for any file a user makes. Read once: the umask is set by the
// caller, and reading it means setting it for a moment.
mode_t new_file_mode() {
    static const mode_t mode = [] {
        const mode_t mask = umask(0);
        umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

// The mode of the regular file that `target` will replace, or of a new file.
mode_t mode_for(const std::filesystem::path& target) {
    struct stat existing {};
    if (::lstat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        return existing.st_mode & 0777;
    return new_file_mode();
}

}  // namespace

EndingSignalsHeld::EndingSignalsHeld() {
    const sigset_t set = ending_set();
    pthread_sigmask(SIG_BLOCK, &set, &previous);
}

EndingSignalsHeld::~EndingSignalsHeld() {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void leave_ending_signals_to_others() {
    const sigset_t set = ending_set();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void remove_temporaries_when_ended() {
    static bool watching = false;
    if (watching) return;
    watching = true;
    for (int signal_number : ending_signals) {
        // A signal that the caller ignores stays ignored.
        if (std::signal(signal_number, remove_temporaries_and_end) == SIG_IGN)
            std::signal(signal_number, SIG_IGN);
    }
}

void watch_child(pid_t pid) {
    running_child = pid;
}

bool check_output_target(const std::filesystem::path& target, std::string& error) {
    struct stat found {};
    if (::lstat(target.c_str(), &found) != 0) {
        if (errno == ENOENT) return true;
        error = cannot_write(target, std::strerror(errno));
        return false;
    }
    // The rename at the end replaces a link, not what it names; a link to a device, a pipe
    // or a socket is refused all the same, as what its writer surely meant to reach.
    if (S_ISLNK(found.st_mode) && ::stat(target.c_str(), &found) != 0) {
        if (errno == ENOENT) return true;  // a link to nothing
        error = cannot_write(target, std::strerror(errno));
        return false;
    }
    if (S_ISREG(found.st_mode)) return true;
    error = cannot_write(target, "not a regular file, left as it is");
    return false;
}

bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) return true;
    return std::filesystem::weakly_canonical(a, ec) == std::filesystem::weakly_canonical(b, ec);
}

bool create_temporary(const std::filesystem::path& target, TemporaryFile& file,
                      std::string& error) {
    const mode_t mode = mode_for(target);
    const std::filesystem::path directory = target.parent_path();
    std::string hidden(1, '.');  // built in steps: g++ 12 warns wrongly on "." + string
    hidden += target.filename().string();
    hidden += ".XXXXXX";
    std::string name = (directory / hidden).string();
    const EndingSignalsHeld held;
    // A fresh name, made with O_EXCL: never a file or link that someone else put there.
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        error = cannot_write(target, std::strerror(errno));
        return false;
    }
    if (!remember(name)) {
        ::close(fd);
        unlink(name.c_str());
        error = cannot_write(target, "too many files at once, or too long a name");
        return false;
    }
    file = {name, target, fd};
    if (fchmod(fd, mode) != 0) {  // mkostemp makes it 0600
        error = cannot_write(target, std::strerror(errno));
        discard_temporary(file);
        return false;
    }
    return true;
}

bool write_temporary(TemporaryFile& file, std::string_view bytes, std::string& error) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(file.fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = cannot_write(file.target, std::strerror(written < 0 ? errno : ENOSPC));
            discard_temporary(file);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool commit_together(const std::vector<TemporaryFile*>& files, std::string& error) {
    const auto give_up = [&](std::size_t from, const std::string& placed) {
        for (std::size_t k = from; k < files.size(); ++k)
            discard_temporary(*files[k]);
        error += placed.empty() ? "; no file was written" : "; already in place: " + placed;
        return false;
    };
    // Every file on the disc, closed and its target checked again first, so that a failure
    // here, or a crash after the renames, leaves no earlier file replaced by a partial one.
    for (TemporaryFile* file : files) {
        const int fd = file->fd;
        file->fd = -1;
        const bool synced = ::fsync(fd) == 0 || errno == EINVAL;  // EINVAL: cannot be synced
        const int sync_error = errno;
        const bool closed = ::close(fd) == 0;
        if (!synced || !closed) {
            error = cannot_write(file->target, std::strerror(synced ? errno : sync_error));
            return give_up(0, "");
        }
        if (!check_output_target(file->target, error)) return give_up(0, "");
    }
    std::string placed;
    for (std::size_t k = 0; k < files.size(); ++k) {
        TemporaryFile& file = *files[k];
        const EndingSignalsHeld held;
        if (::rename(file.path.c_str(), file.target.c_str()) != 0) {
            error = cannot_write(file.target, std::strerror(errno));
            return give_up(k, placed);
        }
        forget(file.path.string());
        file.path.clear();
        placed += (placed.empty() ? "" : ", ") + quoted_path(file.target);
    }
    return true;
}

void discard_temporary(TemporaryFile& file) {
    if (file.fd >= 0) ::close(file.fd);
    file.fd = -1;
    if (file.path.empty()) return;
    const EndingSignalsHeld held;
    unlink(file.path.c_str());
    forget(file.path.string());
    file.path.clear();
}

}  // namespace zorvi::detail
