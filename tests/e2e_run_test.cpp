// End-to-end runs of the zorvi binary in a temporary directory: console bytes, results file
// bytes, standard error and exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace zorvi::testing;

const std::string crlf = "\r\n";

std::string records(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines)
        out += line + crlf;
    return out;
}

std::string result_lines(const std::string& m_u_p_record) {
    return records({"  Result on infile_", "", m_u_p_record});
}

const std::string closing = records({
    "",
    "",
    "",
    "  Simulation results written to: Zorviresult.dat",
    "",
    "",
    "",
    "  Zorvi terminated successfully",
    "  =============================",
    "",
});

const std::string results_header = records({" Zorvi: Results", " u_simulated  P_simulated", " "});

std::string repeated_results(const std::string& record) {
    std::string out = results_header;
    for (int k = 0; k < 2000; ++k)
        out += record + crlf;
    return out;
}

// A data file of 60 events, one per line, from the given columns (as text).
std::string data_file(const std::vector<std::string>& times, const std::vector<std::string>& mags,
                      const std::vector<std::string>& errors) {
    std::ostringstream out;
    for (std::size_t i = 0; i < 60; ++i) {
        out << ' ' << times[i % times.size()] << "  " << mags[i % mags.size()] << "  "
            << errors[i % errors.size()] << '\n';
    }
    return out.str();
}

// The shipped data with its standard-error column replaced by 0.
std::string shipped_data_without_errors() {
    std::istringstream in(shipped_data());
    std::ostringstream out;
    std::string t, x, sx;
    while (in >> t >> x >> sx)
        out << ' ' << t << "  " << x << "  0.0\n";
    return out.str();
}

struct RunDir {
    TempDir dir;
    ProcessResult result;
    std::string results_file() const { return read_file(dir.path / results_file_name); }
};

void run_zorvi(RunDir& run, const std::string& data) {
    write_file(run.dir.path / data_file_name, data);
    run.result = run_program({zorvi_binary().string()}, run.dir.path);
}

const std::string shipped_record17 =
    "  m =            6         u =    1.5832579991014104              P =  "
    " 5.66813351723043091E-002";

TEST(CompleteRun, ShippedDataMatchesTheGoldenFiles) {
    RunDir run;
    run_zorvi(run, shipped_data());
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.result.err, "");
    EXPECT_EQ(run.result.out, read_file(golden("stdout.txt")));
    EXPECT_EQ(run.result.out, banner + result_lines(shipped_record17) + closing);
    const std::string results = run.results_file();
    EXPECT_EQ(results, read_file(golden("Zorviresult.dat")));
    EXPECT_EQ(results.size(), 15u + 25 + 1 + 3 * 2 + 2000u * 36);
}

TEST(CompleteRun, TwoRunsAreByteIdentical) {
    RunDir first;
    RunDir second;
    run_zorvi(first, shipped_data());
    run_zorvi(second, shipped_data());
    EXPECT_EQ(first.result.out, second.result.out);
    EXPECT_EQ(first.results_file(), second.results_file());
}

TEST(CompleteRun, ArgumentsAreIgnored) {
    RunDir run;
    write_file(run.dir.path / data_file_name, shipped_data());
    run.result = run_program({zorvi_binary().string(), "--help", "x"}, run.dir.path);
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.result.out, read_file(golden("stdout.txt")));
}

TEST(CompleteRun, ZeroStandardErrorsRepeatTheObservedResult) {
    RunDir run;
    run_zorvi(run, shipped_data_without_errors());
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.result.out, banner + result_lines(shipped_record17) + closing);
    EXPECT_EQ(run.results_file(), repeated_results("       1.58325800       0.05668134"));
}

TEST(CompleteRun, NoMagnitudeReachingTheThresholdGivesNaN) {
    RunDir run;
    run_zorvi(run, data_file({"1990.0", "2000.5"}, {"0.0", "50"}, {"1.0"}));
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.result.err, "");
    EXPECT_EQ(run.result.out,
              banner +
                  result_lines("  m =            0         u =  " + std::string(22, ' ') +
                               "NaN         P =  " + std::string(22, ' ') + "NaN") +
                  closing);
    EXPECT_EQ(run.results_file(), repeated_results("              NaN              NaN"));
}

TEST(CompleteRun, SelectionAtTheThresholdAndNaN) {
    // 113 exactly is selected; the largest double below 113 and NaN are not.
    std::vector<std::string> mags(60, "0");
    mags[0] = "113";
    mags[1] = "112.99999999999999";
    mags[2] = "NaN";
    std::vector<std::string> times = {"1981.0"};
    RunDir run;
    run_zorvi(run, data_file(times, mags, {"0"}));
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.result.out,
              banner +
                  result_lines("  m =            1         u =   -1.6795944116824979       "
                               "       P =   4.65181260857019038E-002") +
                  closing);
    EXPECT_EQ(run.results_file(), repeated_results("      -1.67959441       0.04651813"));
}

TEST(CompleteRun, LongerResultsFileIsCutToTheNewContent) {
    RunDir reference;
    run_zorvi(reference, shipped_data());

    RunDir run;
    write_file(run.dir.path / results_file_name, std::string(200000, 'x') + "\n");
    run_zorvi(run, shipped_data());
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.results_file(), reference.results_file());
}

TEST(CompleteRun, CreatedResultsFileIsPrivateToItsOwner) {
    RunDir run;
    run_zorvi(run, shipped_data());
    const fs::perms perms = fs::status(run.dir.path / results_file_name).permissions();
    EXPECT_EQ(perms & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
