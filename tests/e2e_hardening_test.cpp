// End-to-end runs on hostile input: NUL bytes, very long lines and numbers, devices under the
// data file's name, and results files the user may not write. Each run ends in bounded time
// with its exact report and status, and leaves the files it must not touch byte-identical.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace zorvi::testing;

const std::string data_name = data_file_name;

// A hang must fail the test, not stop the suite: every run is killed after this long.
constexpr const char* run_time_limit_seconds = "120";
constexpr int killed_status = 128 + 9;

fs::path golden(const char* name) {
    return fs::path(ZORVI_SOURCE_DIR) / "tests" / "golden" / name;
}

// The first `count` CR LF records of the golden console output.
std::string golden_console_records(int count) {
    const std::string all = read_file(golden("stdout.txt"));
    std::size_t end = 0;
    for (int i = 0; i < count; ++i)
        end = all.find("\r\n", end) + 2;
    return all.substr(0, end);
}

// The console before the data file is read (the banner), and before the results file is
// opened (the banner and the observed result).
const std::string before_data = golden_console_records(14);
const std::string before_results = golden_console_records(17);

std::string report(int line, const std::string& file_shown, const std::string& message) {
    return "At line " + std::to_string(line) + " of file Zorvi.cpp (unit = 1, file = '" +
           file_shown + "')\nZorvi run-time error: " + message + "\n";
}

std::string data_report(const std::string& message) {
    return report(167, data_name, message);
}

std::string shipped_data() {
    return read_file(shipped_data_file());
}

// The shipped data file's records `first` to `last` (1-based), each with its line end.
std::string shipped_records(int first, int last) {
    std::istringstream in(shipped_data());
    std::string out;
    std::string line;
    for (int i = 1; i <= last && std::getline(in, line); ++i) {
        if (i >= first) out += line + "\n";
    }
    return out;
}

ProcessResult run_zorvi(const TempDir& dir, bool as_nobody = false) {
    return run_program({"timeout", "-s", "KILL", run_time_limit_seconds, zorvi_binary().string()},
                       dir.path, as_nobody);
}

// Writes `data` as the data file, runs, and checks that the data file was not changed.
ProcessResult run_with_data(const TempDir& dir, const std::string& data) {
    write_file(dir.path / data_name, data);
    const ProcessResult result = run_zorvi(dir);
    EXPECT_EQ(read_file(dir.path / data_name), data) << "the data file was changed";
    return result;
}

void expect_data_failure(const ProcessResult& result, const std::string& message,
                         const TempDir& dir) {
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, data_report(message));
    EXPECT_EQ(result.out, before_data);
    EXPECT_FALSE(fs::exists(dir.path / results_file_name)) << "no results file after bad data";
}

// A run that reads the shipped events, however they are laid out, gives the golden files.
void expect_golden_run(const ProcessResult& result, const TempDir& dir) {
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, read_file(golden("stdout.txt")));
    EXPECT_EQ(read_file(dir.path / results_file_name), read_file(golden("Zorviresult.dat")));
}

TEST(HostileDataFile, NulBytes) {
    const std::string nul(1, '\0');
    // A NUL where a value is expected, or inside one, is a bad character of that item.
    for (const auto& [record, item] :
         std::vector<std::pair<std::string, int>>{{nul + "1980.5 113 3.0", 1},
                                                  {"1980.5 1" + nul + "13 3.0", 2},
                                                  {"1980.5 113 " + nul, 3},
                                                  {"1980.5 113 3.0" + nul, 3}}) {
        TempDir dir;
        const ProcessResult result =
            run_with_data(dir, shipped_records(1, 11) + record + "\n" + shipped_records(12, 60));
        expect_data_failure(
            result, "Bad real number in item " + std::to_string(item) + " of list input", dir);
    }

    // After the third value of a record, and after the 60th event, nothing more is read.
    std::string tail_of_record = shipped_records(1, 60);
    tail_of_record.insert(tail_of_record.find('\n'), " " + nul + nul);
    for (const std::string& data : {tail_of_record, shipped_data() + nul + "\n" + nul}) {
        TempDir dir;
        expect_golden_run(run_with_data(dir, data), dir);
    }
}

TEST(HostileDataFile, MegabyteLines) {
    constexpr std::size_t megabyte = 1 << 20;
    const std::string first_event = shipped_records(1, 1);
    const std::string first_values = first_event.substr(0, first_event.size() - 1);

    // A megabyte of further values after the first event's three is skipped.
    std::string values;
    while (values.size() < megabyte)
        values += " 9";
    TempDir after;
    expect_golden_run(run_with_data(after, first_values + values + "\n" + shipped_records(2, 60)),
                      after);

    // A megabyte of blanks before the first value is passed over.
    TempDir before;
    expect_golden_run(
        run_with_data(before, std::string(megabyte, ' ') + first_event + shipped_records(2, 60)),
        before);

    // The only line, a megabyte long without a line end: one event, then the end of the file.
    TempDir only;
    expect_data_failure(run_with_data(only, values), "End of file", only);
}

TEST(HostileDataFile, TenMegabyteNumber) {
    // One value of ten million digits is an infinity; the file holds nothing more.
    TempDir dir;
    expect_data_failure(run_with_data(dir, std::string(10'000'000, '7')), "End of file", dir);
}

TEST(HostileDataFile, DevicesUnderTheDataFileName) {
    // Endless NUL bytes: a bad first value, reported at once instead of read forever.
    TempDir zero;
    fs::create_symlink("/dev/zero", zero.path / data_name);
    const ProcessResult endless = run_zorvi(zero);
    ASSERT_NE(endless.status, killed_status) << "the run on /dev/zero did not end";
    expect_data_failure(endless, "Bad real number in item 1 of list input", zero);

    TempDir null;
    fs::create_symlink("/dev/null", null.path / data_name);
    expect_data_failure(run_zorvi(null), "End of file", null);
}

TEST(ResultsFilePermissions, DirectoryNotWritable) {
    if (!can_drop_root()) GTEST_SKIP() << "needs root and setpriv to test as an unprivileged user";
    TempDir dir;
    write_file(dir.path / data_name, shipped_data());
    fs::permissions(dir.path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    const ProcessResult result = run_zorvi(dir, true);
    fs::permissions(dir.path, fs::perms::all);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, report(211, "",
                                 "Permission denied trying to open file '" +
                                     std::string(results_file_name) + "'"));
    EXPECT_EQ(result.out, before_results);
    EXPECT_FALSE(fs::exists(dir.path / results_file_name));
    EXPECT_EQ(read_file(dir.path / data_name), shipped_data());
}

TEST(ResultsFilePermissions, NoAccessInAnyMode) {
    if (!can_drop_root()) GTEST_SKIP() << "needs root and setpriv to test as an unprivileged user";
    TempDir dir;
    const std::string old_results = "results of an earlier run\r\n";
    write_file(dir.path / results_file_name, old_results);
    fs::permissions(dir.path / results_file_name, fs::perms::none);
    write_file(dir.path / data_name, shipped_data());
    const ProcessResult result = run_zorvi(dir, true);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, report(211, "",
                                 "Permission denied trying to open file '" +
                                     std::string(results_file_name) + "'"));
    EXPECT_EQ(result.out, before_results);
    EXPECT_EQ(read_file(dir.path / results_file_name), old_results);
}

}  // namespace
