// Files written whole or not at all: each is written under a temporary name beside its target
// and renamed into place once whole; removed when writing it fails or a signal ends the process.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace zorvi::detail {

// A file being written under a temporary name beside its target, renamed into place once
// whole; removed when writing it fails or a signal ends the process.
struct TemporaryFile {
    std::filesystem::path path;    // the temporary name; empty once committed or discarded
    std::filesystem::path target;  // the final name
    int fd = -1;
};
// `mode` is what the file gets, less the process's umask.
bool create_temporary(const std::filesystem::path& target, mode_t mode, TemporaryFile& file,
                      std::string& error);
// These discard the file when they fail.
bool write_temporary(TemporaryFile& file, std::string_view bytes, std::string& error);
bool commit_temporary(TemporaryFile& file, std::string& error);
void discard_temporary(TemporaryFile& file);
// Blocks in the calling thread the signals that remove the temporary files, so that their
// handler runs on the thread that makes and forgets them: for the report's helper threads.
void leave_ending_signals_to_others();

// Renames a file written whole to its final name, replacing what was there. False, with
// `error` saying why and the written file removed, when it cannot.
bool move_into_place(const std::filesystem::path& temporary, const std::filesystem::path& path,
                     std::string& error);

}  // namespace zorvi::detail
