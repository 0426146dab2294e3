// Tests of units and files: opening with its access fallback, the cut at the first record,
// buffering, releasing, reading, and file errors that end the run.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "test_support.hpp"
#include "textio/textio.hpp"

namespace zorvi::textio {
namespace {

namespace fs = std::filesystem;
using zorvi::testing::ProcessResult;
using zorvi::testing::read_file;
using zorvi::testing::run_in_child;
using zorvi::testing::TempDir;
using zorvi::testing::write_file;

constexpr int cannot_drop_root = 125;
constexpr int results_unit = 1;
const Locus open_locus{"Zorvi.f90", 211};
const Locus write_locus{"Zorvi.f90", 213};
const Locus close_locus{"Zorvi.f90", 240};

// Inside a child: gives up root so that file permissions apply. False when that fails.
bool drop_root() {
    if (geteuid() != 0) return true;
    return setgroups(0, nullptr) == 0 && setresgid(65534, 65534, 65534) == 0 &&
           setresuid(65534, 65534, 65534) == 0;
}

// Runs `body` in a child working in `dir`; the child stops normally when `body` returns.
ProcessResult run_in(const fs::path& dir, const std::function<void()>& body,
                     bool as_nobody = false) {
    return run_in_child([&] {
        if (chdir(dir.c_str()) != 0) _exit(126);
        if (as_nobody && !drop_root()) _exit(cannot_drop_root);
        start(0, nullptr);
        body();
        stop_normal();
    });
}

void write_record(double u, double p) {
    write_edited(results_unit, write_locus, "(2(1x,f16.8))", {u, p});
}

std::string locus_line(const Locus& locus, const std::string& file) {
    return "At line " + std::to_string(locus.line) + " of file " + std::string(locus.file) +
           " (unit = 1, file = '" + file + "')\n";
}

std::string message_line(const std::string& message) {
    return std::string(runtime_error_prefix) + message + "\n";
}

const std::string header = " header\r\n";
const std::string record_1 = "       1.00000000       2.00000000\r\n";

TEST(OpenAndCut, LongerFileIsCutToTheNewRecords) {
    TempDir dir;
    write_file(dir.path / "res.dat", std::string(20000, 'x') + "\n");
    const auto result = run_in(dir.path, [] {
        open_unit(results_unit, "res.dat   ", OpenStatus::unknown, open_locus);
        write_free(results_unit, write_locus, {std::string_view("head"), std::string_view("er")});
        write_record(1.0, 2.0);
        write_record(1.0, 2.0);
        release_unit(results_unit, close_locus);
    });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(read_file(dir.path / "res.dat"), header + record_1 + record_1);
}

TEST(OpenAndCut, EmptyAndNewFiles) {
    TempDir dir;
    write_file(dir.path / "empty.dat", "");
    const auto result = run_in(dir.path, [] {
        open_unit(results_unit, "empty.dat", OpenStatus::unknown, open_locus);
        write_record(1.0, 2.0);
        release_unit(results_unit, close_locus);
        // the unit number is free again for the next file
        open_unit(results_unit, "new.dat", OpenStatus::unknown, open_locus);
        write_record(1.0, 2.0);
        write_record(1.0, 2.0);
        release_unit(results_unit, close_locus);
    });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_file(dir.path / "empty.dat"), record_1);
    EXPECT_EQ(read_file(dir.path / "new.dat"), record_1 + record_1);
    EXPECT_EQ(fs::status(dir.path / "new.dat").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST(OpenAndCut, OpenWithoutWritingKeepsTheFile) {
    TempDir dir;
    write_file(dir.path / "keep.dat", "old contents\n");
    const auto result = run_in(dir.path, [] {
        open_unit(results_unit, "keep.dat", OpenStatus::unknown, open_locus);
        release_unit(results_unit, close_locus);
        open_unit(results_unit, "keep.dat", OpenStatus::old, open_locus);
    });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_file(dir.path / "keep.dat"), "old contents\n");
}

TEST(OpenAndCut, CutWithMoreThanABufferOfRecords) {
    TempDir dir;
    write_file(dir.path / "res.dat", std::string(100000, 'x'));
    const auto result = run_in(dir.path, [] {
        open_unit(results_unit, "res.dat", OpenStatus::unknown, open_locus);
        for (int i = 0; i < 2000; ++i)
            write_record(1.0, 2.0);
        release_unit(results_unit, close_locus);
    });
    EXPECT_EQ(result.status, 0);
    const std::string contents = read_file(dir.path / "res.dat");
    EXPECT_EQ(contents.size(), 2000 * record_1.size());
    EXPECT_EQ(contents.substr(contents.size() - record_1.size()), record_1);
}

TEST(OpenFailure, MissingDirectoryAndOtherRefusals) {
    TempDir dir;
    fs::create_directory(dir.path / "adir");
    const auto open_report = [&](std::string name, OpenStatus status) {
        return run_in(dir.path, [=] {
            write_free(console_unit, open_locus, {std::string_view(" banner")});
            open_unit(results_unit, name, status, {"Zorvi.f90", 165});
        });
    };
    const std::string locus = locus_line({"Zorvi.f90", 165}, "");

    auto result = open_report("nothere.dat  ", OpenStatus::old);
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err, locus + message_line("File 'nothere.dat' does not exist"));
    EXPECT_EQ(result.out, "  banner\r\n");
    EXPECT_FALSE(fs::exists(dir.path / "nothere.dat"));

    result = open_report("adir", OpenStatus::unknown);
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err, locus + message_line("'adir' is a directory"));

    result = open_report("adir", OpenStatus::old);
    EXPECT_EQ(result.err, locus + message_line("'adir' is a directory"));

    result = open_report("no/such/dir.dat", OpenStatus::unknown);
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err, locus + message_line(std::strerror(ENOENT)));
}

TEST(OpenFailure, ReadOnlyFileCannotBeWritten) {
    TempDir dir;
    write_file(dir.path / "Zorviresult.dat", "earlier results\n");
    fs::permissions(dir.path / "Zorviresult.dat",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto result = run_in(
        dir.path,
        [] {
            write_free(console_unit, open_locus, {std::string_view(" result line")});
            open_unit(results_unit, "Zorviresult.dat", OpenStatus::unknown, open_locus);
            write_free(results_unit, write_locus, {std::string_view("header")});
        },
        true);
    if (result.status == cannot_drop_root) GTEST_SKIP() << "cannot drop root privileges";
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err, locus_line(write_locus, "Zorviresult.dat") +
                              message_line("Cannot write to file opened for READ"));
    EXPECT_EQ(result.out, "  result line\r\n");
    EXPECT_EQ(read_file(dir.path / "Zorviresult.dat"), "earlier results\n");
}

TEST(OpenFailure, WriteOnlyFallbackAndNoPermission) {
    TempDir dir;
    write_file(dir.path / "wonly.dat", "old");
    fs::permissions(dir.path / "wonly.dat", fs::perms::owner_write | fs::perms::others_write);
    auto result = run_in(
        dir.path,
        [] {
            open_unit(results_unit, "wonly.dat", OpenStatus::old, open_locus);
            write_record(1.0, 2.0);
            double targets[3] = {};
            read_free(results_unit, {"Zorvi.f90", 167}, targets);
        },
        true);
    if (result.status == cannot_drop_root) GTEST_SKIP() << "cannot drop root privileges";
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err, locus_line({"Zorvi.f90", 167}, "wonly.dat") +
                              message_line("Cannot read from file opened for WRITE"));
    EXPECT_EQ(read_file(dir.path / "wonly.dat"), record_1);  // cut, and written at exit

    write_file(dir.path / "none.dat", "x");
    fs::permissions(dir.path / "none.dat", fs::perms::none);
    result = run_in(
        dir.path, [] { open_unit(results_unit, "none.dat", OpenStatus::old, open_locus); }, true);
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err, locus_line(open_locus, "") +
                              message_line("Permission denied trying to open file 'none.dat'"));
}

TEST(Buffering, FileRecordsGoOutWhenTheBufferIsFull) {
    TempDir dir;
    const auto result = run_in(dir.path, [] {
        const auto size = [] {
            struct stat info {};
            stat("buf.dat", &info);
            write_free(console_unit, open_locus, {static_cast<std::int32_t>(info.st_size)});
        };
        const std::string full(8190, 'a');  // with CR LF exactly one buffer
        const std::string small(100, 'b');
        const std::string big(8100, 'c');
        const std::string huge(10000, 'd');
        open_unit(results_unit, "buf.dat", OpenStatus::unknown, open_locus);
        write_edited(results_unit, write_locus, "(a)", {std::string_view(small)});
        size();  // 0: waiting in the buffer
        write_edited(results_unit, write_locus, "(a)", {std::string_view(big)});
        size();  // 102: the small record went out to make room
        write_edited(results_unit, write_locus, "(a)", {std::string_view(huge)});
        size();  // 102 + 8102 + 10002: buffer written first, then the long record directly
        write_edited(results_unit, write_locus, "(a)", {std::string_view(full)});
        size();  // + 8192: a full buffer goes out at once
        release_unit(results_unit, close_locus);
    });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "           0\r\n         102\r\n       18206\r\n       26398\r\n");
    EXPECT_EQ(fs::file_size(dir.path / "buf.dat"), 26398u);
}

TEST(Buffering, TerminalGetsEachRecordAtOnce) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        GTEST_SKIP() << "no pseudo-terminal available";
    }
    const std::string slave_name = ptsname(master);
    const auto result = run_in_child([&] {
        const int slave = open(slave_name.c_str(), O_RDWR | O_NOCTTY);
        termios mode{};
        if (slave < 0 || tcgetattr(slave, &mode) != 0) _exit(126);
        cfmakeraw(&mode);  // no line-end translation by the terminal
        tcsetattr(slave, TCSANOW, &mode);
        dup2(slave, STDOUT_FILENO);
        start(0, nullptr);
        write_free(console_unit, open_locus, {std::string_view("now")});
        // the record must be readable before the program ends
        pollfd ready{master, POLLIN, 0};
        char seen[64] = {};
        const ssize_t got = poll(&ready, 1, 5000) == 1 ? read(master, seen, sizeof seen) : 0;
        (void)!write(STDERR_FILENO, seen, got > 0 ? static_cast<std::size_t>(got) : 0);
        stop_normal();
    });
    close(master);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, " now\r\n");
}

TEST(WriteErrors, FullDeviceEndsTheRunAtTheWriteThatFilledTheBuffer) {
    TempDir dir;
    fs::create_symlink("/dev/full", dir.path / "full.dat");
    const auto result = run_in(dir.path, [] {
        write_free(console_unit, open_locus, {std::string_view(" before")});
        open_unit(results_unit, "full.dat", OpenStatus::unknown, open_locus);
        for (int i = 0; i < 300; ++i) {
            write_edited(results_unit, {"Zorvi.f90", i < 227 ? 234 : 235}, "(2(1x,f16.8))",
                         {1.0, 2.0});
        }
    });
    // 227 records of 36 bytes fill 8172 bytes; the 228th does not fit and forces the write
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err,
              locus_line({"Zorvi.f90", 235}, "full.dat") + message_line(std::strerror(ENOSPC)));
    EXPECT_EQ(result.out, "  before\r\n");
}

TEST(WriteErrors, FullDeviceAtReleaseAndAtNormalStop) {
    TempDir dir;
    fs::create_symlink("/dev/full", dir.path / "full.dat");
    auto result = run_in(dir.path, [] {
        open_unit(results_unit, "full.dat", OpenStatus::unknown, open_locus);
        write_record(1.0, 2.0);
        release_unit(results_unit, close_locus);
    });
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err,
              locus_line(close_locus, "full.dat") + message_line(std::strerror(ENOSPC)));

    // never status 0 when the last records could not be written
    result = run_in(dir.path, [] {
        open_unit(results_unit, "full.dat", OpenStatus::unknown, open_locus);
        write_record(1.0, 2.0);
        write_free(console_unit, open_locus, {std::string_view(" done")});
    });
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err,
              locus_line(write_locus, "full.dat") + message_line(std::strerror(ENOSPC)));
    EXPECT_EQ(result.out, "  done\r\n");
}

TEST(WriteErrors, ConsoleErrorsAreIgnored) {
    const auto result = run_in_child([] {
        const int full = open("/dev/full", O_WRONLY);
        if (full < 0) _exit(126);
        dup2(full, STDOUT_FILENO);
        start(0, nullptr);
        for (int i = 0; i < 1000; ++i) {
            write_free(console_unit, open_locus, {std::string_view("console record"), 1.0});
        }
        stop_normal();
    });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
}

TEST(Units, StatementsOnUnconnectedUnits) {
    const auto result = run_in_child([] {
        start(0, nullptr);
        release_unit(3, close_locus);  // nothing connected: nothing to do
        write_free(3, {"Zorvi.f90", 5}, {std::int32_t{1}});
    });
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err, "At line 5 of file Zorvi.f90 (unit = 3)\n" +
                              message_line("Write to a unit that is not connected"));
}

TEST(ReadFree, ValuesAndEndOfFile) {
    TempDir dir;
    write_file(dir.path / "data.dat", "1 2 3\n4.5, 5 ,6\n");
    const auto result = run_in(dir.path, [] {
        open_unit(results_unit, "data.dat", OpenStatus::old, {"Zorvi.f90", 165});
        double targets[3] = {};
        for (int i = 0; i < 3; ++i) {
            read_free(results_unit, {"Zorvi.f90", 167}, targets);
            write_free(console_unit, open_locus, {targets[0], targets[1], targets[2]});
        }
    });
    EXPECT_EQ(result.status, status_io);
    const auto line = [](double a, double b, double c) {
        return " " + format_free_real(a) + " " + format_free_real(b) + " " + format_free_real(c) +
               "\r\n";
    };
    EXPECT_EQ(result.out, line(1, 2, 3) + line(4.5, 5, 6));
    EXPECT_EQ(result.err, locus_line({"Zorvi.f90", 167}, "data.dat") + message_line("End of file"));
}

TEST(ReadFree, BadValueNamesTheItem) {
    TempDir dir;
    write_file(dir.path / "data.dat", "1 x 3\n");
    const auto result = run_in(dir.path, [] {
        open_unit(results_unit, "data.dat", OpenStatus::old, {"Zorvi.f90", 165});
        double targets[3] = {};
        read_free(results_unit, {"Zorvi.f90", 167}, targets);
    });
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err, locus_line({"Zorvi.f90", 167}, "data.dat") +
                              message_line("Bad real number in item 2 of list input"));
}

}  // namespace
}  // namespace zorvi::textio
