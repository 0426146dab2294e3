// Temporary directories, files and captured child processes for the test programs.
#include "test_support.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zorvi::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "zorvi-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
    // Wide open, so that a child that dropped root can work in it.
    fs::permissions(path, fs::perms::all);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

namespace {

int decode_status(int wait_status) {
    if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
    return -1;
}

// Forks; the child redirects stdout/stderr into two temporary files and runs `child`.
ProcessResult capture(const std::function<void()>& child) {
    TempDir capture_dir;
    const fs::path out_path = capture_dir.path / "stdout";
    const fs::path err_path = capture_dir.path / "stderr";
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (out < 0 || err < 0) _exit(127);
        dup2(out, 1);
        dup2(err, 2);
        close(out);
        close(err);
        child();
        std::fflush(nullptr);
        _exit(0);
    }
    int wait_status = 0;
    waitpid(pid, &wait_status, 0);
    ProcessResult result;
    result.status = decode_status(wait_status);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    return result;
}

}  // namespace

ProcessResult run_in_child(const std::function<void()>& body) {
    return capture(body);
}

namespace {

// A copy of the zorvi binary that an unprivileged user can run: the build tree may lie below
// a directory that only root may enter (a checkout in a private temporary directory).
const std::string& zorvi_binary_for_nobody() {
    static const TempDir dir;
    static const std::string copy = [] {
        const fs::path target = dir.path / "zorvi";
        fs::copy_file(zorvi_binary(), target, fs::copy_options::overwrite_existing);
        fs::permissions(target, fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
        return target.string();
    }();
    return copy;
}

}  // namespace

ProcessResult run_program_with(const std::vector<std::string>& argv, const fs::path& directory,
                               const std::function<void()>& prepare) {
    return capture([&] {
        if (chdir(directory.c_str()) != 0) _exit(126);
        std::vector<std::string> copy = argv;
        std::vector<char*> args;
        for (auto& a : copy)
            args.push_back(a.data());
        args.push_back(nullptr);
        prepare();
        execvp(args[0], args.data());
        _exit(127);
    });
}

ProcessResult run_program(const std::vector<std::string>& argv, const fs::path& directory,
                          bool as_nobody) {
    std::vector<std::string> full;
    if (as_nobody) {
        full = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    }
    for (const std::string& arg : argv) {
        const bool is_zorvi = as_nobody && arg == zorvi_binary().string();
        full.push_back(is_zorvi ? zorvi_binary_for_nobody() : arg);
    }
    return run_program_with(full, directory, [] {});
}

bool can_drop_root() {
    if (geteuid() != 0) return false;
    TempDir dir;
    return run_program({"true"}, dir.path, true).status == 0;
}

fs::path zorvi_binary() {
    return ZORVI_BINARY;
}

fs::path shipped_data_file() {
    return fs::path(ZORVI_SOURCE_DIR) / "data" / data_file_name;
}

bool process_started(const ProcessResult& result) {
    const bool wrote = !result.out.empty() || !result.err.empty();
    return result.status != 127 && (result.status < 128 || wrote);
}

unsigned long lowest_starting_limit(const std::function<ProcessResult(unsigned long)>& run_at) {
    unsigned long below = 256;    // 1 MiB: not even the loader fits
    unsigned long start = 16384;  // 64 MiB: the run starts
    if (!process_started(run_at(start))) return 0;
    while (start - below > 1) {
        const unsigned long middle = below + (start - below) / 2;
        (process_started(run_at(middle)) ? start : below) = middle;
    }
    return start;
}

}  // namespace zorvi::testing
