// zorvi-report run as a program in the directory of a finished zorvi run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "driver/run_files.hpp"
#include "report_test_support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace zorvi::testing;

// A directory with the shipped data and the results of one zorvi run, made once.
class ReportRun : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        finished_run = new TempDir;
        write_file(finished_run->path / data_file_name, read_file(shipped_data_file()));
        const ProcessResult zorvi = run_program({zorvi_binary().string()}, finished_run->path);
        ASSERT_EQ(zorvi.status, 0) << zorvi.err;
    }
    static void TearDownTestSuite() {
        delete finished_run;
        finished_run = nullptr;
    }

    // A copy of the finished run to change and report on.
    void SetUp() override {
        for (const char* name : {data_file_name, results_file_name})
            write_file(dir.path / name, read_file(finished_run->path / name));
    }
    ProcessResult report(std::vector<std::string> arguments = {}) {
        arguments.insert(arguments.begin(), report_binary);
        return run_program(arguments, dir.path);
    }
    // Replaces line `number` (1-based) of the results file.
    void replace_results_line(int number, const std::string& line) {
        std::string text = read_file(dir.path / results_file_name);
        std::size_t start = 0;
        for (int k = 1; k < number; ++k)
            start = text.find('\n', start) + 1;
        const std::size_t end = text.find('\n', start);
        text.replace(start, end - start, line);
        write_file(dir.path / results_file_name, text);
    }

    static TempDir* finished_run;
    TempDir dir;
};
TempDir* ReportRun::finished_run = nullptr;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(ReportRun, SummarisesTheShippedRun) {
    const ProcessResult result = report();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(contains(result.out, "m = 6, u = 1.58326, P = 0.05668")) << result.out;
    EXPECT_TRUE(contains(result.out, "Simulated series                  2000, seed -206761862\n"));
    EXPECT_TRUE(contains(result.out, "  without a selected event (NaN)  0\n"));
    EXPECT_TRUE(contains(result.out, "agree with all 2000 records to " +
                                         std::to_string(zorvi::driver::results_field_decimals) +
                                         " decimals"));
    EXPECT_TRUE(contains(result.out, "  critical value, P = 0.05           1.64485\n"));
    EXPECT_TRUE(contains(result.out, "Figure                            Zorvireport.svg\n"));
    const std::string svg = read_file(dir.path / "Zorvireport.svg");
    EXPECT_TRUE(contains(svg, ">observed u = 1.583</text>"));
    if (std::system("xmllint --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xmllint";
    const std::string command = "xmllint --noout '" + (dir.path / "Zorvireport.svg").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

// The text's figure for `label`, as printed after the label column.
std::string text_value(const std::string& text, const std::string& label) {
    const std::size_t at = text.find("\n" + label);
    if (at == std::string::npos) return "";
    const std::size_t start = text.find_first_not_of(' ', at + 1 + label.size());
    return text.substr(start, text.find_first_of(" \n", start) - start);
}

std::string decimals(double value, int count) {
    std::ostringstream out;
    out << std::fixed << std::setprecision(count) << value;
    return out.str();
}

TEST_F(ReportRun, JsonParsesAndAgreesWithTheText) {
    const ProcessResult result = report({"--json", "--no-figure"});
    ASSERT_EQ(result.status, 0) << result.err;
    const nlohmann::json json = nlohmann::json::parse(result.out);  // throws if not JSON
    EXPECT_EQ(json["files"]["figure"], nullptr);
    EXPECT_FALSE(fs::exists(dir.path / "Zorvireport.svg"));
    const ProcessResult text = report();

    const auto& observed = json["observed"];
    EXPECT_EQ(observed["m"], 6);
    EXPECT_TRUE(contains(text.out, "m = 6, u = " + decimals(observed["u"].get<double>(), 5) +
                                       ", P = " + decimals(observed["p"].get<double>(), 5)));
    EXPECT_EQ(text_value(text.out, "  rate ratio per decade"),
              decimals(observed["rate_ratio_per_decade"]["estimate"].get<double>(), 3));
    EXPECT_LT(observed["rate_ratio_per_decade"]["conf_low"].get<double>(), 1.0);
    EXPECT_EQ(text_value(text.out, "  detectable ratio per decade"),
              decimals(observed["detectable_rate_ratio_per_decade"].get<double>(), 3));
    EXPECT_EQ(text_value(text.out, "  simulated series: median"),
              decimals(json["simulated"]["rate_ratio_per_decade"]["median"].get<double>(), 3));
    EXPECT_EQ(text_value(text.out, "Expected m"), decimals(json["expected_m"].get<double>(), 2));
    EXPECT_EQ(json["simulated"]["share_p_below_005"]["share"], 273 / 2000.0);
    EXPECT_TRUE(contains(text.out, "273 of 2000 = 13.65 %"));

    const auto& tests = observed["tests"];
    ASSERT_EQ(tests.size(), 4u);
    for (const auto& test : tests)
        EXPECT_TRUE(contains(text.out, decimals(test["p_value"].get<double>(), 5))) << test;
    EXPECT_EQ(tests[2]["method"], "MIL-HDBK-189");
    EXPECT_FALSE(tests[3].contains("estimate"));  // Lewis-Robinson estimates nothing
    EXPECT_EQ(observed["p_two_sided"], tests[1]["p_value"]);

    const auto& events = json["events"];
    ASSERT_EQ(events.size(), 60u);
    EXPECT_EQ(events[0]["time"], 1980.608);
    EXPECT_EQ(events[0]["selected_observed"], false);
}

TEST_F(ReportRun, CsvTablesAsTheyStand) {
    const ProcessResult result = report({"--csv", "tables/new"});
    ASSERT_EQ(result.status, 0) << result.err;
    const fs::path tables = dir.path / "tables" / "new";
    const auto lines = [&](const char* name) {
        std::vector<std::string> out;
        std::istringstream in(read_file(tables / name));
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    };

    const std::vector<std::string> tests = lines("tests.csv");
    ASSERT_EQ(tests.size(), 11u);  // four tests, then three that allow for clustering, twice
    EXPECT_EQ(tests[0],
              "method,alternative,statistic,p_value,estimate_of,estimate,conf_low,conf_high,"
              "simulated_share_p_below_005,simulated_conf_low,simulated_conf_high");
    EXPECT_EQ(tests[1].rfind("Cox-Lewis,one-sided,1.58325799910141", 0), 0u) << tests[1];
    EXPECT_TRUE(contains(tests[4], "Lewis-Robinson,one-sided,")) << tests[4];
    EXPECT_TRUE(contains(tests[4], ",,,,0.134,"));  // no estimate: empty cells
    EXPECT_EQ(tests[5].rfind("quasi-Poisson,increasing,1.43225680271460", 0), 0u) << tests[5];
    EXPECT_EQ(tests[10].rfind("permutation,two-sided,", 0), 0u) << tests[10];

    const std::vector<std::string> events = lines("events.csv");
    ASSERT_EQ(events.size(), 61u);
    EXPECT_EQ(events[0],
              "time,magnitude,stderr,selected_observed,selected_share,selection_probability");
    EXPECT_EQ(events[1].rfind("1980.608,100,12.5,FALSE,0.164,", 0), 0u) << events[1];
    EXPECT_EQ(lines("series.csv").size(), 2001u);
    EXPECT_EQ(lines("m_counts.csv")[0], "m,series,share");

    // A file where the directory should be: status 1, nothing printed.
    write_file(dir.path / "plain", "x");
    const ProcessResult blocked = report({"--csv", "plain"});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_EQ(blocked.out, "");
    EXPECT_EQ(blocked.err,
              "zorvi-report: --csv 'plain': not a directory; name a directory for the tables\n");
}

TEST_F(ReportRun, SweepTablesAndAFigureThatRenders) {
    const bool can_render = std::system("rsvg-convert --version >/dev/null 2>&1") == 0;
    const ProcessResult result = can_render ? report({"--png"}) : report();
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    // The sweeps cross at the run's own figures; 96 kt is a row of its own.
    EXPECT_TRUE(contains(result.out,
                         "     113 kt    6    1.583   0.0567   13.65 % (12.21 to 15.22 %)   "
                         "0.0164   0.1592   0.4797   Cat 4, the run's own\n"))
        << result.out;
    EXPECT_TRUE(contains(result.out, "      96 kt   19    0.315   0.3764    2.10 % ( 1.56 to"));
    EXPECT_TRUE(contains(result.out, "   1980.417    6    1.583   0.0567   13.65 % (12.21 to"));
    const std::string svg = read_file(dir.path / "Zorvireport.svg");
    // The cumulative count ends at the observed m.
    EXPECT_TRUE(contains(svg, "id=\"cumulative-observed\" data-last-step=\"6\""));
    if (!can_render) GTEST_SKIP() << "rsvg-convert not installed";
    EXPECT_EQ(read_file(dir.path / "Zorvireport.png").substr(1, 3), "PNG");
    EXPECT_FALSE(fs::exists(dir.path / "Zorvireport.png.tmp"));
}

TEST_F(ReportRun, PngWithoutTheConverter) {
    const ProcessResult result =
        run_program({"env", "PATH=/nonexistent", report_binary, "--png"}, dir.path);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "zorvi-report: --png needs rsvg-convert (Debian package librsvg2-bin), which is "
              "not installed\n");
    EXPECT_FALSE(fs::exists(dir.path / "Zorvireport.svg"));  // refused before anything else
    EXPECT_FALSE(fs::exists(dir.path / "Zorvireport.png"));
    EXPECT_EQ(report({"--png", "--no-figure"}).status, 2);  // nothing to convert
}

TEST_F(ReportRun, SweepsInJsonAndCsv) {
    const ProcessResult result = report({"--json", "--no-figure", "--csv", "tables"});
    ASSERT_EQ(result.status, 0) << result.err;
    const nlohmann::json sweeps = nlohmann::json::parse(result.out)["sweeps"];
    ASSERT_EQ(sweeps["threshold"].size(), 74u);
    ASSERT_EQ(sweeps["start_year"].size(), 29u);
    const auto& main = sweeps["threshold"][113 - 64];
    EXPECT_EQ(main["threshold"], 113.0);
    EXPECT_EQ(main["observed_m"], 6);
    EXPECT_EQ(main["share_p_below_005"], 273 / 2000.0);
    EXPECT_EQ(sweeps["start_year"][0]["start"], 1980.417);
    EXPECT_EQ(sweeps["start_year"][0]["observed_p"], main["observed_p"]);
    // Where the sweeps cross, their clustering check is the observed series' own.
    const nlohmann::json clustering = nlohmann::json::parse(result.out)["clustering"]["observed"];
    EXPECT_EQ(main["phi"], clustering["phi"]);
    EXPECT_EQ(sweeps["start_year"][0]["phi"], clustering["phi"]);
    EXPECT_EQ(main["quasi_poisson_p"], clustering["tests"][0]["p_value"]);  // a rising trend
    const std::string csv = read_file(dir.path / "tables" / "sweep_threshold.csv");
    EXPECT_EQ(csv.rfind("threshold,observed_m,observed_u,observed_p,share_p_below_005,"
                        "share_conf_low,share_conf_high,p_q025,p_median,p_q975,"
                        "series_without_event,phi,quasi_poisson_p\n64,60,",
                        0),
              0u)
        << csv;
    EXPECT_TRUE(contains(csv, "\n113,6,1.58325799910141"));
    const std::string starts = read_file(dir.path / "tables" / "sweep_start_year.csv");
    EXPECT_EQ(std::count(starts.begin(), starts.end(), '\n'), 30);
}

TEST_F(ReportRun, NeverChangesTheResultsFile) {
    const fs::path results = dir.path / results_file_name;
    const std::string before = read_file(results);
    fs::permissions(results, fs::perms::owner_read);  // a read-only file is enough
    struct stat stat_before {};
    ASSERT_EQ(stat(results.c_str(), &stat_before), 0);

    const ProcessResult result = report();
    EXPECT_EQ(result.status, 0) << result.err;
    struct stat stat_after {};
    ASSERT_EQ(stat(results.c_str(), &stat_after), 0);
    EXPECT_EQ(read_file(results), before);
    EXPECT_EQ(stat_after.st_mtim.tv_sec, stat_before.st_mtim.tv_sec);
    EXPECT_EQ(stat_after.st_mtim.tv_nsec, stat_before.st_mtim.tv_nsec);
    EXPECT_EQ(stat_after.st_mode, stat_before.st_mode);
}

TEST_F(ReportRun, ResultsFromOtherDataAreFlagged) {
    // The run's results, but a data file with every magnitude one higher.
    std::string data;
    std::istringstream in(read_file(dir.path / data_file_name));
    std::string t, x, sx;
    while (in >> t >> x >> sx)
        data += t + " " + std::to_string(std::stod(x) + 1.0) + " " + sx + "\n";
    write_file(dir.path / data_file_name, data);
    const ProcessResult result = report();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(contains(result.out, "Check                             DIFFERENT: "))
        << result.out;
    EXPECT_TRUE(contains(result.out, "the results file did not come from this data file"));
}

TEST_F(ReportRun, MissingResultsFile) {
    fs::remove(dir.path / results_file_name);
    const ProcessResult result = report();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "zorvi-report: cannot open 'Zorviresult.dat': No such file or directory (run "
              "zorvi in this directory first)\n");
    EXPECT_FALSE(fs::exists(dir.path / "Zorvireport.svg"));
}

TEST_F(ReportRun, MalformedRecordNamesItsLine) {
    replace_results_line(57, "       0.9895982x       0.16118526\r");
    const ProcessResult result = report();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "zorvi-report: Zorviresult.dat, line 57: Bad real number in item 1 of list "
              "input\n");
}

TEST_F(ReportRun, FewerRecordsThanARunWrites) {
    std::string text = read_file(dir.path / results_file_name);
    text.resize(text.size() - 36);  // the last record and its CR LF
    write_file(dir.path / results_file_name, text);
    const ProcessResult result = report();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "zorvi-report: Zorviresult.dat: 1999 records after the header, 2000 expected; was "
              "the run complete?\n");
}

TEST_F(ReportRun, MissingOrMalformedDataFile) {
    fs::remove(dir.path / data_file_name);
    ProcessResult result = report();
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(
        result.err, "cannot open '" + std::string(data_file_name) + "': No such file or directory"))
        << result.err;

    write_file(dir.path / data_file_name, "1980.608 100.0 12.5\n1983.629 1O0.0 12.5\n");
    result = report();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "zorvi-report: " + std::string(data_file_name) +
                              ", line 2 (event 2): Bad real number in item 2 of list input\n");
}

TEST_F(ReportRun, HelpVersionAndBadOptions) {
    ProcessResult result = report({"--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(contains(result.out, "Usage: zorvi-report [OPTIONS]\n"));
    for (const char* part : {"type 7", "Wilson score", "--json", "--csv DIR", "--no-figure",
                             "computed\nexactly", "null"})
        EXPECT_TRUE(contains(result.out, part)) << part;
    EXPECT_FALSE(fs::exists(dir.path / "Zorvireport.svg"));

    result = report({"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "zorvi-report 1.0\n");

    for (const auto& [arguments, message] :
         std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--frobnicate"}, "The following argument was not expected: --frobnicate"},
             {{"--csv"}, "--csv: 1 required DIR missing"},
             {{"--json", "extra"}, "The following argument was not expected: extra"}}) {
        result = report(arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "zorvi-report: " + message + "\nRun with --help for the options.\n");
    }
    EXPECT_FALSE(fs::exists(dir.path / "Zorvireport.svg"));
}

TEST_F(ReportRun, OutputThatCannotBeWritten) {
    fs::create_directory(dir.path / "Zorvireport.svg");  // a directory in the way
    const ProcessResult result = report();
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.err, "cannot write 'Zorvireport.svg'")) << result.err;
    EXPECT_FALSE(fs::exists(dir.path / "Zorvireport.svg.tmp"));

    // Standard output on a full disc: the summary is lost, and the status says so.
    const ProcessResult full = run_program_with({report_binary, "--no-figure"}, dir.path, [] {
        const int fd = ::open("/dev/full", O_WRONLY);
        if (fd >= 0) ::dup2(fd, STDOUT_FILENO);
    });
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err,
              "zorvi-report: cannot write the analysis to standard output: No space left on "
              "device\n");
}

}  // namespace
