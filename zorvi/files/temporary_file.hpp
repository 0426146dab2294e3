// Files written whole or not at all: each is written under a temporary name beside its target
// and renamed into place once whole; removed when writing it fails or a signal ends the process.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zorvi::detail {

// A file being written under a temporary name beside its target, renamed into place together
// with the other files of a run once all are whole; removed when anything fails or a signal
// ends the process.
struct TemporaryFile {
    std::filesystem::path path;    // the temporary name; empty once committed or discarded
    std::filesystem::path target;  // the final name
    int fd = -1;
};
// True when `target` may be written: nothing is there, or a regular file, or a link to one or
// to nothing (the link itself is replaced, never written through). Anything else (a directory,
// device, FIFO, socket or a link to one) is refused with `error`.
bool check_output_target(const std::filesystem::path& target, std::string& error);
// True when `a` and `b` name the same file, or would once written.
bool same_file(const std::filesystem::path& a, const std::filesystem::path& b);
// Creates the temporary file exclusively, under a fresh name in the target's directory. Its
// mode is the permission bits of the regular file it will replace, or 0666 less the umask.
bool create_temporary(const std::filesystem::path& target, TemporaryFile& file, std::string& error);
// Discards the file when it fails.
bool write_temporary(TemporaryFile& file, std::string_view bytes, std::string& error);
// Renames every file into place, once each is closed and its target checked again; otherwise
// none is, and all are discarded. The error says which files, if any, were already in place.
bool commit_together(const std::vector<TemporaryFile*>& files, std::string& error);
void discard_temporary(TemporaryFile& file);
// Makes SIGHUP, SIGINT, SIGQUIT and SIGTERM remove every temporary file and end the converter
// before they end the process: for a program of its own, like the command-line tool. A library
// inside another program (an interpreter, say) leaves that program's handlers alone, and its
// temporary files are removed on every failure and exception, but not by a signal.
void remove_temporaries_when_ended();
// Blocks in the calling thread the signals that remove the temporary files, so that their
// handler runs on the thread that makes and forgets them: for helper threads.
void leave_ending_signals_to_others();
// Holds off, while it lives, the signals that end the process; `previous` is the mask before.
struct EndingSignalsHeld {
    sigset_t previous{};
    EndingSignalsHeld();
    ~EndingSignalsHeld();
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;
};
// The child process running now (0: none), sent SIGTERM when a signal ends the process. Set
// and cleared with the ending signals held, and cleared before the child is reaped.
void watch_child(pid_t pid);

}  // namespace zorvi::detail
