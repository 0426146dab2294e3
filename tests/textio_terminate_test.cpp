// Tests of the ways out of the process: exact report text on standard error, what reaches
// standard output and in which order, and the exit status.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "test_support.hpp"
#include "textio/textio.hpp"

namespace zorvi::textio {
namespace {

namespace fs = std::filesystem;
using zorvi::testing::run_in_child;
using zorvi::testing::TempDir;

const Locus locus{"Zorvi.f90", 167};

// A child whose console holds one buffered record when `body` ends the run.
zorvi::testing::ProcessResult after_console_record(const std::function<void()>& body) {
    return run_in_child([&] {
        start(0, nullptr);
        write_free(console_unit, locus, {std::string_view(" banner")});
        body();
    });
}

TEST(Stop, NormalPrintsNothing) {
    const auto result = after_console_record([] { stop_normal(); });
    EXPECT_EQ(result.status, status_normal);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "  banner\r\n");
}

TEST(Stop, WithMessage) {
    auto result =
        after_console_record([] { stop_with_message("program terminated by assert_eq2"); });
    EXPECT_EQ(result.status, status_normal);
    EXPECT_EQ(result.err, "STOP program terminated by assert_eq2\n");
    EXPECT_EQ(result.out, "  banner\r\n");

    result = after_console_record([] { stop_with_message("nrerror: an error  ", 3); });
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err, "STOP nrerror: an error  \n");  // full length, trailing blanks too
}

TEST(FailStatement, ThreeFormsOfTheLocusLine) {
    auto result = after_console_record([] { fail_statement(locus, console_unit, "Boom"); });
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err,
              "At line 167 of file Zorvi.f90 (unit = 6, file = 'stdout')\n"
              "Zorvi run-time error: Boom\n");
    EXPECT_EQ(result.out, "  banner\r\n");

    result = after_console_record([] { fail_statement(locus, 9, "End of file"); });
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err,
              "At line 167 of file Zorvi.f90 (unit = 9)\n"
              "Zorvi run-time error: End of file\n");

    result = after_console_record([] { fail_statement({"vkutil.f90", 12}, 0, "Boom"); });
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err, "At line 12 of file vkutil.f90\nZorvi run-time error: Boom\n");

    result = after_console_record([] { fail_statement({"vkutil.f90", 12}, -1, "Boom"); });
    EXPECT_EQ(result.err, "At line 12 of file vkutil.f90\nZorvi run-time error: Boom\n");
}

TEST(FailStatement, OperatingSystemText) {
    const auto result = after_console_record([] { fail_statement_os(locus, 1, ENOSPC); });
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err, "At line 167 of file Zorvi.f90 (unit = 1)\nZorvi run-time error: " +
                              std::string(std::strerror(ENOSPC)) + "\n");
}

TEST(FailOs, MemoryReport) {
    const auto result = after_console_record([] {
        errno = ENOMEM;
        fail_os("Out of memory");
    });
    EXPECT_EQ(result.status, status_memory);
    EXPECT_EQ(result.err, "Operating system error: " + std::string(std::strerror(ENOMEM)) +
                              "\nOut of memory\n");
    EXPECT_EQ(result.out, "  banner\r\n");
}

TEST(FailRuntime, MessageWithoutLocus) {
    const auto result = after_console_record(
        [] { fail_runtime("Integer overflow when calculating the amount of memory to allocate"); });
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err,
              "Zorvi run-time error: Integer overflow when calculating the amount of memory to "
              "allocate\n");
}

TEST(ExitPath, ConsoleRecordsFollowTheReport) {
    // Standard output and error into one file: the order in which they arrive shows.
    const auto result = run_in_child([] {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        start(0, nullptr);
        write_free(console_unit, locus, {std::string_view(" first")});
        write_free(console_unit, locus, {std::string_view(" second")});
        fail_runtime("late");
    });
    EXPECT_EQ(result.status, status_io);
    EXPECT_EQ(result.err, "Zorvi run-time error: late\n  first\r\n  second\r\n");
}

TEST(ExitPath, ReportDuringReportEndsSilentlyWithStatus4) {
    TempDir dir;
    fs::create_symlink("/dev/full", dir.path / "full.dat");
    const std::string full = (dir.path / "full.dat").string();
    const auto result = run_in_child([&] {
        start(0, nullptr);
        open_unit(1, full, OpenStatus::unknown, locus);
        write_free(1, locus, {std::int32_t{1}});  // waits in the buffer
        write_free(console_unit, locus, {std::string_view(" banner")});
        // the exit path of this report cannot write unit 1: a second report begins
        fail_runtime("first report");
    });
    EXPECT_EQ(result.status, status_report_in_report);
    EXPECT_EQ(result.err, "Zorvi run-time error: first report\n");
    EXPECT_EQ(result.out, "  banner\r\n");  // the console is still written out
}

}  // namespace
}  // namespace zorvi::textio
