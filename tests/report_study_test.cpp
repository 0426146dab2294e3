// Studies of one's own with zorvi-report: the program's run given as options, the shipped CSV,
// another CSV, bad input, and histograms against exact quantiles.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <vector>

#include "report/run_report.hpp"
#include "report_test_support.hpp"
#include "zorvi/zorvi.hpp"

namespace {

namespace fs = std::filesystem;
using namespace zorvi::testing;
using namespace zorvi;
using namespace zorvi::report;

const std::vector<std::string> fixed_values = {"--threshold", "113",      "--interval",
                                               "1980.417",    "2018.917", "--series",
                                               "2000",        "--seed",   "-206761862"};

std::vector<std::string> with(std::vector<std::string> arguments,
                              const std::vector<std::string>& more) {
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

// The text without its first line, which names the results file, and its Check row, which
// says whether the results file needed checking.
std::string without_file_lines(const std::string& text) {
    std::string out = text.substr(text.find('\n'));
    const std::size_t check = out.find("\nCheck ");
    if (check != std::string::npos) out.erase(check, out.find('\n', check + 1) - check);
    return out;
}

// The program's data file and fixed values given as options: the study writes the program's
// results file byte for byte, and its report is the fixed run's.
TEST(ReportStudy, TheProgramsValuesGiveTheProgramsRun) {
    TempDir dir;
    write_file(dir.path / data_file_name, read_file(shipped_data_file()));
    ASSERT_EQ(run_program({zorvi_binary().string()}, dir.path).status, 0);
    const ProcessResult fixed = report_in(dir.path, {"--no-figure"});
    ASSERT_EQ(fixed.status, 0) << fixed.err;

    const ProcessResult study =
        report_in(dir.path, with({"--data", data_file_name, "--no-figure"}, fixed_values));
    ASSERT_EQ(study.status, 0) << study.err;
    EXPECT_EQ(study.err, "");
    EXPECT_EQ(read_file(dir.path / "study-results.dat"),
              read_file(source_dir / "tests" / "golden" / results_file_name));
    EXPECT_EQ(study.out.substr(0, study.out.find('\n')), "Zorvi report on study-results.dat");
    EXPECT_EQ(without_file_lines(study.out), without_file_lines(fixed.out));
    EXPECT_NE(study.out.find("\nCheck                             none needed"), std::string::npos);
    EXPECT_EQ(read_file(dir.path / results_file_name),
              read_file(source_dir / "tests" / "golden" / results_file_name));
}

// The shipped CSV holds the same events as the shipped data file: the same study, number for
// number; the CSV's events have their names besides.
TEST(ReportStudy, TheShippedCsvGivesTheSameNumbers) {
    TempDir dir;
    write_file(dir.path / data_file_name, read_file(shipped_data_file()));
    const ProcessResult from_data = report_in(
        dir.path, {"--data", data_file_name, "--json", "--no-figure", "--results", "a.dat"});
    const ProcessResult from_csv = report_in(
        dir.path, {"--data", shipped_csv.string(), "--json", "--no-figure", "--results", "b.dat"});
    ASSERT_EQ(from_data.status, 0) << from_data.err;
    ASSERT_EQ(from_csv.status, 0) << from_csv.err;
    nlohmann::json a = nlohmann::json::parse(from_data.out);
    nlohmann::json b = nlohmann::json::parse(from_csv.out);
    EXPECT_EQ(a["files"]["data"], data_file_name);
    EXPECT_EQ(b["files"]["data"], shipped_csv.string());
    a.erase("files");
    b.erase("files");
    EXPECT_EQ(b["events"][0]["label"], "Allen");
    for (nlohmann::json& event : b["events"])
        event.erase("label");
    EXPECT_EQ(a, b);
    EXPECT_EQ(read_file(dir.path / "a.dat"), read_file(dir.path / "b.dat"));
}

// 25 events of another kind in a CSV of its own columns: every part of the report follows the
// data, with a threshold between whole units.
TEST(ReportStudy, ACsvOfItsOwn) {
    TempDir dir;
    std::string csv = "id,Mw,when,se,\"place, country\"\n";
    std::vector<double> magnitudes;
    for (int i = 0; i < 25; ++i) {
        const double x = 5.0 + (i * 37 % 25) / 10.0;  // 5.0 to 7.4
        magnitudes.push_back(x);
        csv += std::to_string(i) + "," + std::to_string(x) + "," + std::to_string(1950 + 2.7 * i) +
               ",0.3,\"Nowhere, \"\"Land\"\"\"\n";
    }
    write_file(dir.path / "quakes.csv", csv);
    const ProcessResult result =
        report_in(dir.path, {"--data", "quakes.csv", "--columns", "when,Mw,se", "--threshold",
                             "6.5", "--interval", "1950", "2020", "--json", "--csv", "tables",
                             "--results", "quakes.dat"});
    ASSERT_EQ(result.status, 0) << result.err;
    const nlohmann::json json = nlohmann::json::parse(result.out);
    EXPECT_EQ(json["settings"]["events"], 25);
    EXPECT_EQ(json["settings"]["threshold"], 6.5);
    const auto selected =
        std::count_if(magnitudes.begin(), magnitudes.end(), [](double x) { return x >= 6.5; });
    EXPECT_EQ(json["observed"]["m"], selected);
    // The threshold sweep: 0.02 apart over the magnitudes' range, the study's own point on it.
    std::vector<double> thresholds;
    for (const auto& point : json["sweeps"]["threshold"])
        thresholds.push_back(point["threshold"].get<double>());
    ASSERT_EQ(thresholds.size(), 121u);
    EXPECT_EQ(thresholds.front(), 5.0);
    EXPECT_EQ(thresholds[75], 6.5);
    EXPECT_EQ(thresholds.back(), 7.4);
    EXPECT_EQ(json["sweeps"]["threshold"][75]["observed_m"], selected);
    EXPECT_EQ(json["sweeps"]["start_year"].size(), 61u);  // 1950 to 2010
    const std::string records = read_file(dir.path / "quakes.dat");
    EXPECT_EQ(std::count(records.begin(), records.end(), '\n'), 2003);
    EXPECT_EQ(read_file(dir.path / "tables" / "series.csv").rfind("series,m,u,p,", 0), 0u);
    const std::string svg = read_file(dir.path / "Zorvireport.svg");
    EXPECT_NE(svg.find("magnitude ≥ 6.5 up to each time"), std::string::npos);
    EXPECT_EQ(svg.find(" kt"), std::string::npos);
    if (std::system("xmllint --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xmllint";
    const std::string command = "xmllint --noout '" + (dir.path / "Zorvireport.svg").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

// Each bad input: one line naming the file, the line and the event, status 1, and nothing
// written beside the data file.
TEST(ReportStudy, BadInputIsNamedAndNothingIsWritten) {
    struct Case {
        std::string data;
        std::vector<std::string> arguments;
        std::string error;
        std::string name = "d.dat";  // of the data file
    };
    const std::string three = "1990.5 100 5\n2000.5 120 5\n2010.5 90 5\n";
    const std::vector<Case> cases = {
        {three, {"--data", "missing.dat"}, "cannot open 'missing.dat': No such file or directory"},
        {"1990.5 100 5\n1991.x 90 5\n",
         {},
         "d.dat, line 2 (event 2): Bad real number in item 1 "
         "of list input"},
        {"1990.5,,5\n",
         {},
         "d.dat, line 1 (event 1): no value for the magnitude; each event is "
         "three values"},
        {"1990.5 100 5\n2000.5 120\n\n",
         {},
         "d.dat, line 2 (event 2): the file ends within the "
         "event; each event is three values (time, magnitude, "
         "standard error)"},
        {"time,max_wind_kt,se\n1990,abc,5\n",
         {"--columns", "time, max_wind_kt ,se"},
         "d.dat, line 2 (event 1): the magnitude 'abc' (column 'max_wind_kt') is not a number"},
        {"", {}, "d.dat: no events; each event is three values (time, magnitude, standard error)"},
        {"1975 100 5\n2000.5 120 5\n2030 90 5\n",
         {},
         "d.dat, line 1 (event 1): the time 1975 lies outside the interval 1980.417 to 2018.917; "
         "2 of the 3 events do (--interval A B sets the interval)"},
        {"1990.5 100 5\n2000.5 120 -1\n",
         {},
         "d.dat, line 2 (event 2): the standard error -1 is negative"},
        {three,
         {"--interval", "2000", "1990"},
         "--interval: the start 2000 must be a finite number before the end 1990"},
        {three,
         {"--series", "0"},
         "--series: the number of series must be a whole number from 1 to 1000000000"},
        {three,
         {"--results", "./d.dat"},
         "--results './d.dat' would replace the data file; name another results file"},
        {three, {"--results", "tables/"}, "--results 'tables/' names no file; name a results file"},
        // null.dat is a link to /dev/null, which the rename would replace.
        {three,
         {"--results", "null.dat"},
         "cannot write 'null.dat': not a regular file, left "
         "as it is"},
        {three,
         {"--csv", "."},
         "--csv '.': its table events.csv would replace the data file 'events.csv'; write the "
         "tables into another directory",
         "events.csv"},
        {three,
         {"--results", "Zorviresult.dat"},
         "--results 'Zorviresult.dat' would replace the program's own file of that name; name "
         "another results file"},
    };
    const std::vector<std::pair<std::string, std::string>> csv_cases = {
        {"time_decimal_year,max_wind_kt,stderr_kt\n1990,100,5\n1991,abc,5\n",
         "d.csv, line 3 (event 2): the magnitude 'abc' (column 'max_wind_kt') is not a number"},
        {"time,max_wind_kt,stderr_kt\n1990,100,5\n",
         "d.csv, line 1: no column 'time_decimal_year' in the header (time, max_wind_kt, "
         "stderr_kt); --columns TIME,MAG,SE names the columns to use"},
        {"time_decimal_year,max_wind_kt,stderr_kt\n1990,100,inf\n",
         "d.csv, line 2 (event 1): the standard error is Infinity, not a finite number"},
        {"time_decimal_year,max_wind_kt,stderr_kt\n1990,-1e400,5\n",
         "d.csv, line 2 (event 1): the magnitude is -Infinity, not a finite number"},
        {"time_decimal_year,max_wind_kt,stderr_kt\n1990,100,5\n1991,100,\n",
         "d.csv, line 3 (event 2): the standard error (column 'stderr_kt') is empty; --se X gives "
         "the events without one a standard error"},
        // Times: ISO 8601 or decimal years, one form a column; an impossible date is named.
        {"time_decimal_year,max_wind_kt,stderr_kt\n1990-06-01,100,5\n2001-02-29T10:00Z,90,5\n",
         "d.csv, line 3 (event 2): the time '2001-02-29T10:00Z' (column 'time_decimal_year') is "
         "not a date: 2001-02 has 28 days"},
        {"time_decimal_year,max_wind_kt,stderr_kt\n1990-06-01,100,5\n1991.5,90,5\n",
         "d.csv, line 3 (event 2): the time '1991.5' (column 'time_decimal_year') is a decimal "
         "year, and the column's first time an ISO 8601 time; a column holds one form"},
        {"time_decimal_year,max_wind_kt,stderr_kt\n1991.5,90,5\n1990-06-01,100,5\n",
         "d.csv, line 3 (event 2): the time '1990-06-01' (column 'time_decimal_year') is an ISO "
         "8601 time, and the column's first time a decimal year; a column holds one form"},
        {"time_decimal_year,max_wind_kt,stderr_kt\n06/01/1990,100,5\n",
         "d.csv, line 2 (event 1): the time '06/01/1990' (column 'time_decimal_year') is not a "
         "decimal year or an ISO 8601 date or date-time"},
        {"time_decimal_year,max_wind_kt,stderr_kt\n" + std::string(2000, '1') + ",100,5\n",
         "d.csv, line 2 (event 1): the time '" + std::string(80, '1') +
             "...' (column 'time_decimal_year') is not a number: its cell holds more than 1024 "
             "bytes"},
        // A byte-order mark before the header is no part of its first name.
        {"\xEF\xBB\xBFtime,max_wind_kt,stderr_kt\r\n1990,100,5\r\n",
         "d.csv, line 1: no column 'time_decimal_year' in the header (time, max_wind_kt, "
         "stderr_kt); --columns TIME,MAG,SE names the columns to use"},
    };
    const auto check = [](const std::string& name, const std::string& data,
                          std::vector<std::string> arguments, const std::string& error) {
        TempDir dir;
        write_file(dir.path / name, data);
        fs::create_symlink("/dev/null", dir.path / "null.dat");
        if (std::find(arguments.begin(), arguments.end(), "--data") == arguments.end())
            arguments.insert(arguments.begin(), {"--data", name});
        const ProcessResult result = report_in(dir.path, arguments);
        EXPECT_EQ(result.status, 1) << error;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "zorvi-report: " + error + "\n");
        EXPECT_EQ(read_file(dir.path / name), data);
        EXPECT_TRUE(fs::is_symlink(dir.path / "null.dat")) << error;
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(dir.path))
            left.push_back(entry.path().filename().string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::string>{name, "null.dat"})) << error;
    };
    for (const Case& c : cases)
        check(c.name, c.data, c.arguments, c.error);
    for (const auto& [data, error] : csv_cases)
        check("d.csv", data, {}, error);
}

// More series than the exact quantiles keep complete, streamed: every record written, nothing on
// standard error when it is not a terminal, and the share with P < 0.05 within the Wilson interval
// of the program's 2000 series.
TEST(ReportStudy, ManySeriesAgreeWithTheProgramsRun) {
    TempDir dir;
    write_file(dir.path / data_file_name, read_file(shipped_data_file()));
    const std::size_t series = exact_quantile_limit + 1;  // quantiles from histograms
    const ProcessResult few =
        report_in(dir.path, {"--json", "--no-figure", "--results", "few.dat"});
    const ProcessResult many = report_in(dir.path, {"--series", std::to_string(series), "--json",
                                                    "--no-figure", "--results", "many.dat"});
    ASSERT_EQ(few.status, 0) << few.err;
    ASSERT_EQ(many.status, 0) << many.err;
    EXPECT_EQ(many.err, "");
    EXPECT_EQ(fs::file_size(dir.path / "many.dat"),
              fs::file_size(dir.path / "few.dat") + 36 * (series - 2000));
    const nlohmann::json a = nlohmann::json::parse(few.out);
    const nlohmann::json b = nlohmann::json::parse(many.out);
    EXPECT_EQ(b["settings"]["quantiles"], "histogram");
    const nlohmann::json& share = b["simulated"]["share_p_below_005"];
    EXPECT_EQ(share["of"], series);
    EXPECT_GE(share["share"].get<double>(),
              a["simulated"]["share_p_below_005"]["conf_low"].get<double>());
    EXPECT_LE(share["share"].get<double>(),
              a["simulated"]["share_p_below_005"]["conf_high"].get<double>());
}

// Under an address-space limit a study completes with the program's bytes, or ends with its
// report and status 1 and leaves no file behind; never an abort. Below about 12 MB there is
// no room for the drawing thread's stack, so the series are drawn in turn.
TEST(ReportStudy, AMemoryLimitEndsWithAReport) {
#if ZORVI_UNDER_ADDRESS_SANITIZER
    GTEST_SKIP() << "the address sanitizer reserves more address space than any limit allows";
#else
    const std::string golden = read_file(source_dir / "tests" / "golden" / results_file_name);
    int completed = 0;
    int refused = 0;
    for (rlim_t kib = 6000; kib <= 20000; kib += 1000) {
        TempDir dir;
        write_file(dir.path / data_file_name, read_file(shipped_data_file()));
        const ProcessResult result =
            run_program_with({report_binary, "--seed", "-206761862", "--no-figure"}, dir.path, [&] {
                const rlimit limit{kib * 1024, kib * 1024};
                setrlimit(RLIMIT_AS, &limit);
            });
        if (result.status == 0) {
            ++completed;
            EXPECT_EQ(read_file(dir.path / "study-results.dat"), golden) << kib;
            continue;
        }
        if (result.err.find("error while loading shared libraries") != std::string::npos ||
            result.err.find("cannot allocate TLS data structures") != std::string::npos)
            continue;  // too little even to start: the loader's own messages
        ++refused;
        EXPECT_EQ(result.status, 1) << kib << " KiB: " << result.err;
        EXPECT_EQ(result.err, "zorvi-report: out of memory\n") << kib;
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(dir.path))
            left.push_back(entry.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{data_file_name}) << kib;
    }
    EXPECT_GT(completed, 0);
    EXPECT_GT(refused, 0);
#endif
}

// Out of memory in the middle of a study: an error line, status 1, and no file begun is left.
TEST(ReportStudy, OutOfMemoryLeavesNoFileBehind) {
#if ZORVI_UNDER_ADDRESS_SANITIZER
    GTEST_SKIP() << "the address sanitizer reserves more address space than any limit allows";
#else
    TempDir dir;
    write_file(dir.path / data_file_name, read_file(shipped_data_file()));
    const ProcessResult result = run_program_with(
        {report_binary, "--data", data_file_name, "--series", "100000", "--csv", "tables"},
        dir.path, [] {
            constexpr rlim_t limit = rlim_t{48} << 20;  // enough to start, not for the samples
            const rlimit address_space{limit, limit};
            setrlimit(RLIMIT_AS, &address_space);
        });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "zorvi-report: out of memory\n");
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{data_file_name, "tables"}));
#endif
}

// A long study ended by SIGTERM while it writes: no temporary file is left, and the results
// file of an earlier study is as it was.
TEST(ReportStudy, EndedBySignalLeavesNoFileBehind) {
    TempDir dir;
    write_file(dir.path / data_file_name, read_file(shipped_data_file()));
    write_file(dir.path / "old.dat", "earlier results\n");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(dir.path.c_str()) != 0) _exit(127);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execl(report_binary.c_str(), report_binary.c_str(), "--data", data_file_name, "--series",
              "1000000000", "--results", "old.dat", "--csv", "tables", nullptr);
        _exit(127);
    }
    const auto begun = [&] {  // the results and series.csv under their temporary names
        std::size_t hidden = 0;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path))
            hidden += entry.path().filename().string().front() == '.' ? 1 : 0;
        return hidden;
    };
    for (int wait = 0; wait < 3000 && begun() < 2; ++wait)
        usleep(10000);
    EXPECT_EQ(begun(), 2u);
    usleep(200000);  // well into the pass
    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(begun(), 0u);
    EXPECT_EQ(read_file(dir.path / "old.dat"), "earlier results\n");
}

// Counts and shares from a pass of histograms are the exact ones; quantiles lie within a bin.
TEST(ReportStudy, HistogramsKeepCountsExactAndQuantilesClose) {
    EventSeries events;
    std::string error;
    ASSERT_TRUE(parse_event_data(read_file(shipped_data_file()), "data", events, error));
    StudySettings settings;
    Analysis exact, binned;
    ASSERT_TRUE(analyse_study(events, settings, without_files(), exact, error));
    settings.exact_limit = 0;
    ASSERT_TRUE(analyse_study(events, settings, without_files(), binned, error));

    const Summary& a = exact.summary;
    const Summary& b = binned.summary;
    EXPECT_EQ(b.below_05, a.below_05);
    EXPECT_EQ(b.below_10, a.below_10);
    EXPECT_EQ(b.m_counts, a.m_counts);
    EXPECT_NEAR(b.u_mean, a.u_mean, 1e-12);
    EXPECT_NEAR(b.u_sd, a.u_sd, 1e-12);
    // A binned quantile lies in the bin of the order statistic below rank h, so it may be off
    // by a bin's width plus the gap to the next order statistic.
    std::vector<double> sorted = exact.simulated_values.u.values;
    std::sort(sorted.begin(), sorted.end());
    const double width = binned.simulated_values.u.width;
    for (auto [q, x, y] : {std::tuple{0.025, a.u_q025, b.u_q025},
                           {0.5, a.u_median, b.u_median},
                           {0.975, a.u_q975, b.u_q975}}) {
        const auto h = static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1));
        EXPECT_NEAR(y, x, width + (sorted[h + 1] - sorted[h])) << q;
    }
    for (std::size_t t = 0; t < trend_test_count; ++t)
        EXPECT_EQ(binned.tests[t].simulated_below_05.count,
                  exact.tests[t].simulated_below_05.count);
    EXPECT_NEAR(binned.simulated_ratio.median, exact.simulated_ratio.median, 1e-3);
    EXPECT_NEAR(binned.simulated_ratio.q975, exact.simulated_ratio.q975, 2e-3);
    const auto& exact_points = exact.sensitivity.sweeps.threshold;
    const auto& binned_points = binned.sensitivity.sweeps.threshold;
    ASSERT_EQ(binned_points.size(), exact_points.size());
    for (std::size_t j = 0; j < exact_points.size(); ++j) {
        EXPECT_EQ(binned_points[j].below_05, exact_points[j].below_05) << j;
        EXPECT_EQ(binned_points[j].without_event, exact_points[j].without_event) << j;
        EXPECT_NEAR(binned_points[j].p_median, exact_points[j].p_median, 1e-3) << j;
        EXPECT_NEAR(binned_points[j].p_q025, exact_points[j].p_q025, 1e-3) << j;
    }
    for (std::size_t j = 0; j < exact.sensitivity.sweeps.start.size(); ++j)
        EXPECT_EQ(binned.sensitivity.sweeps.start[j].below_05,
                  exact.sensitivity.sweeps.start[j].below_05)
            << j;
}

}  // namespace
