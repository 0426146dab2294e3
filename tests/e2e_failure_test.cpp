// End-to-end failures: every bad data file or results file ends with its exact report on
// standard error, the console text written so far, and its exit status.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace zorvi::testing;

// The first `count` lines of the shipped data file.
std::string shipped_lines(int count) {
    std::istringstream in(read_file(shipped_data_file()));
    std::string out;
    std::string line;
    for (int i = 0; i < count && std::getline(in, line); ++i)
        out += line + "\n";
    return out;
}

TEST(DataFileFailure, Missing) {
    TempDir dir;
    const ProcessResult result = run_program({zorvi_binary().string()}, dir.path);
    expect_data_failure(result, report(165, "", "File '" + data_name + "' does not exist"), dir);
}

TEST(DataFileFailure, IsADirectory) {
    TempDir dir;
    fs::create_directory(dir.path / data_name);
    const ProcessResult result = run_program({zorvi_binary().string()}, dir.path);
    expect_data_failure(result, report(165, "", "'" + data_name + "' is a directory"), dir);
}

TEST(DataFileFailure, Unreadable) {
    if (!can_drop_root()) GTEST_SKIP() << "needs root and setpriv to test as an unprivileged user";
    TempDir dir;
    write_file(dir.path / data_name, read_file(shipped_data_file()));
    fs::permissions(dir.path / data_name, fs::perms::none);
    const ProcessResult result = run_program({zorvi_binary().string()}, dir.path, true);
    expect_data_failure(
        result, report(165, "", "Permission denied trying to open file '" + data_name + "'"), dir);
}

TEST(DataFileFailure, ReadOnlyDataFileIsAccepted) {
    if (!can_drop_root()) GTEST_SKIP() << "needs root and setpriv to test as an unprivileged user";
    TempDir dir;
    write_file(dir.path / data_name, read_file(shipped_data_file()));
    fs::permissions(dir.path / data_name,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const ProcessResult result = run_program({zorvi_binary().string()}, dir.path, true);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(read_file(dir.path / data_name), read_file(shipped_data_file()));
}

TEST(DataFileFailure, FiftyNineEvents) {
    TempDir dir;
    expect_data_failure(run_with_data(dir, shipped_lines(59)), data_report("End of file"), dir);
}

TEST(DataFileFailure, Empty) {
    TempDir dir;
    expect_data_failure(run_with_data(dir, ""), data_report("End of file"), dir);
}

TEST(DataFileFailure, BadValueNamesItsItem) {
    for (const auto& [record, item] : std::vector<std::pair<std::string, int>>{
             {"abc 100.0 3.0", 1}, {"1980.5 abc 3.0", 2}, {"1980.5 100.0 3.0x", 3}}) {
        TempDir dir;
        const std::string data = shipped_lines(11) + record + "\n" + shipped_lines(60);
        const ProcessResult result = run_with_data(dir, data);
        expect_data_failure(
            result,
            data_report("Bad real number in item " + std::to_string(item) + " of list input"), dir);
    }
}

TEST(DataFileFailure, RepeatCounts) {
    TempDir zero;
    expect_data_failure(run_with_data(zero, "1980.5 0*100 3\n" + shipped_lines(60)),
                        data_report("Zero repeat count in item 2 of list input"), zero);
    TempDir overflow;
    expect_data_failure(run_with_data(overflow, "1980.5 100 200000001*3\n" + shipped_lines(60)),
                        data_report("Repeat count overflow in item 3 of list input"), overflow);
}

TEST(DataFileFailure, OutOfRangeValuesAreNotErrors) {
    // 1e400 becomes an infinity (selected), 1e-400 becomes zero: the run completes.
    TempDir dir;
    const ProcessResult result =
        run_with_data(dir, "2000.0 1e400 0\n1990 1e-400 0\n" + shipped_lines(58));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
}

TEST(ResultsFileFailure, NameTakenByADirectory) {
    TempDir dir;
    fs::create_directory(dir.path / results_file_name);
    const ProcessResult result = run_with_data(dir, read_file(shipped_data_file()));
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, report(211, "", "'Zorviresult.dat' is a directory"));
    EXPECT_TRUE(result.out.ends_with("P =   5.66813351723043091E-002\r\n"));
    EXPECT_EQ(result.out.find("terminated"), std::string::npos);
}

TEST(ResultsFileFailure, ReadOnlyResultsFileIsLeftUntouched) {
    if (!can_drop_root()) GTEST_SKIP() << "needs root and setpriv to test as an unprivileged user";
    TempDir dir;
    const std::string old_results = "old results\r\n";
    write_file(dir.path / results_file_name, old_results);
    fs::permissions(dir.path / results_file_name,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    write_file(dir.path / data_name, read_file(shipped_data_file()));
    const ProcessResult result = run_program({zorvi_binary().string()}, dir.path, true);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, report(213, results_file_name, "Cannot write to file opened for READ"));
    EXPECT_TRUE(result.out.ends_with("P =   5.66813351723043091E-002\r\n"));
    EXPECT_EQ(read_file(dir.path / results_file_name), old_results);
}

TEST(ResultsFileFailure, FullDeviceIsReportedNotLost) {
    // A full disc must never end with status 0 and a truncated results file.
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    TempDir dir;
    fs::create_symlink("/dev/full", dir.path / results_file_name);
    const ProcessResult result = run_with_data(dir, read_file(shipped_data_file()));
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, report(234, results_file_name, "No space left on device"));
    EXPECT_EQ(result.out.find("terminated"), std::string::npos);
}

}  // namespace
