// Helpers shared by the report's test files: where the report and the sources are, and a run
// of the report in a directory.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace zorvi::testing {

inline const std::string report_binary = ZORVI_REPORT_BINARY;
inline const std::filesystem::path source_dir = ZORVI_SOURCE_DIR;
inline const std::filesystem::path shipped_csv =
    source_dir / "data" / "us-hurricane-landfalls-1980-2018.csv";

// Runs zorvi-report with `arguments` in `dir`.
inline ProcessResult report_in(const std::filesystem::path& dir,
                               std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), report_binary);
    return run_program(arguments, dir);
}

}  // namespace zorvi::testing
