// What the end-to-end tests of zorvi share: the golden files, the shipped data, the console's
// banner, the reports of a failed statement, and a run that must not change its data file.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.hpp"

namespace zorvi::testing {

inline const std::string data_name = data_file_name;

inline std::filesystem::path golden(const char* name) {
    return std::filesystem::path(ZORVI_SOURCE_DIR) / "tests" / "golden" / name;
}

inline std::string shipped_data() {
    return read_file(shipped_data_file());
}

// The 14 banner records: everything the console shows before the data file is read.
inline const std::string banner = [] {
    const std::string blank = "\r\n";
    return blank + blank + blank + "  Zorvi: Cox--Lewis test with simulated series\r\n" +
           "  ============================================\r\n" + blank + blank +
           "  Cox, Lewis (1966): Statistical Analysis of Series of Events\r\n" +
           "  Methuen & Co. Ltd., London.\r\n" + blank +
           "  https://www.aoml.noaa.gov/hrd/hurdat\r\n" + blank + blank + blank;
}();

// The two report lines of a failed statement on unit 1.
inline std::string report(int line, const std::string& file_shown, const std::string& message) {
    return "At line " + std::to_string(line) + " of file Zorvi.cpp (unit = 1, file = '" +
           file_shown + "')\nZorvi run-time error: " + message + "\n";
}

// The report of a failed read of the data file.
inline std::string data_report(const std::string& message) {
    return report(167, data_name, message);
}

// A hang must fail the test, not stop the suite: every run is killed after this long.
inline constexpr const char* run_time_limit_seconds = "120";
inline constexpr int killed_status = 128 + 9;

inline ProcessResult run_zorvi(const TempDir& dir, bool as_nobody = false) {
    return run_program({"timeout", "-s", "KILL", run_time_limit_seconds, zorvi_binary().string()},
                       dir.path, as_nobody);
}

// Writes `data` as the data file, runs, and checks that the data file was not changed.
inline ProcessResult run_with_data(const TempDir& dir, const std::string& data) {
    write_file(dir.path / data_name, data);
    const ProcessResult result = run_zorvi(dir);
    EXPECT_EQ(read_file(dir.path / data_name), data) << "the data file was changed";
    return result;
}

// A run that ended on its data file: status 2, the given report, the banner alone on the
// console, and no results file.
inline void expect_data_failure(const ProcessResult& result, const std::string& expected_err,
                                const TempDir& dir) {
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, expected_err);
    EXPECT_EQ(result.out, banner);
    EXPECT_FALSE(std::filesystem::exists(dir.path / results_file_name))
        << "no results file after bad data";
}

}  // namespace zorvi::testing
