// zorvi-report's command line and start-up run as a program: refused option values, every
// address-space limit at which the process starts, file names that are not UTF-8, and what
// the summary says about its own limits.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "report_test_support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace zorvi::testing;

const std::string three_events = "1990.5 100 5\n2000.5 120 5\n2010.5 90 5\n";

// Every name under `dir`, sorted, directories with a trailing slash.
std::vector<std::string> names_under(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        names.push_back(fs::relative(entry.path(), dir).string() +
                        (entry.is_directory() ? "/" : ""));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ReportOptions, RefusedValuesSayWhatIsAllowed) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string message;
    };
    const std::string usage = "\nRun with --help for the options.\n";
    const std::string seeds = "from -2147483648 to 2147483647";
    const std::string columns =
        "; name the time, magnitude and standard-error columns, TIME,MAG,SE (TIME,MAG with --se "
        "X)";
    const auto bin_width_rule = [](const std::string& width) {
        return "the bin width " + width +
               " must be a finite positive number that gives 2 to 1000000 bins over the interval "
               "1980.417 to 2018.917\n";
    };
    const std::vector<Case> cases = {
        // Not in the option's form: status 2.
        {{"--sweep-thresholds", "5", "x", "1"},
         2,
         "--sweep-thresholds: the last value 'x' is not a decimal number (such as 5 or 0.05)" +
             usage},
        {{"--classes", "6,,7"},
         2,
         "--classes: the bound '' is not a decimal number (such as 6.5)" + usage},
        {{"--sweep-thresholds", "5", "8", "0.0001"},
         1,
         "--sweep-thresholds: 5 to 8 in steps of 1e-04 gives 30001 points; a sweep holds at "
         "most 1000\n"},
        {{"--sweep-starts", "1990", "1980", "1"},
         1,
         "--sweep-starts: 1990 to 1980 in steps of 1; give finite numbers, the first below the "
         "last, and a step above 0\n"},
        {{"--sweep-starts", "1970", "2000", "5"},
         1,
         "--sweep-starts: the starts 1970 to 2000 must lie within the interval, from its start "
         "1980.417 to before its end 2018.917\n"},
        {{"--classes", "96,83"},
         1,
         "--classes: '96,83'; give finite bounds in rising order, A,B,...\n"},
        {{"--threshold", ""},
         2,
         "--threshold: the threshold '' is not a decimal number (such as 113 or 6.5)" + usage},
        {{"--threshold", "12abc"},
         2,
         "--threshold: the threshold '12abc' is not a decimal number (such as 113 or 6.5)" + usage},
        {{"--threshold", " 113"},
         2,
         "--threshold: the threshold ' 113' is not a decimal number (such as 113 or 6.5)" + usage},
        {{"--threshold", "inf"},
         2,
         "--threshold: the threshold 'inf' is not a decimal number (such as 113 or 6.5)" + usage},
        {{"--threshold", "0x71"},
         2,
         "--threshold: the threshold '0x71' is not a decimal number (such as 113 or 6.5)" + usage},
        {{"--interval", "", "2020"},
         2,
         "--interval: the start '' is not a decimal year or an ISO 8601 date or date-time (such "
         "as 1980.417 or 1980-06-01)" +
             usage},
        {{"--interval", "1980", "2020\r"},
         2,
         "--interval: the end '2020\\r' is not a decimal year or an ISO 8601 date or date-time "
         "(such as 2018.917 or 2018-12-01)" +
             usage},
        {{"--interval", "1980-06-01", "2018-02-29"},
         2,
         "--interval: the end '2018-02-29' is not a date: 2018-02 has 28 days" + usage},
        {{"--sweep-starts", "1990-01-01T24:00", "2000", "1"},
         2,
         "--sweep-starts: the first value '1990-01-01T24:00' is not a time of day: 24:00:00 "
         "(00:00:00 to 23:59:59)" +
             usage},
        // Paths: an empty one names no file.
        {{"--csv", ""}, 2, "--csv: the path is empty; name a file or directory" + usage},
        {{"--results", ""}, 2, "--results: the path is empty; name a file or directory" + usage},
        {{"--data", ""}, 2, "--data: the path is empty; name a file or directory" + usage},
        {{"--html", ""}, 2, "--html: the path is empty; name a file or directory" + usage},
        {{"--labels", ""},
         2,
         "--labels: the column name is empty; name the column of the labels" + usage},
        {{"--labels", "name"},
         2,
         "--labels names a column of a CSV table; 'd.dat' is read in the free format, which has "
         "no labels" +
             usage},
        {{"--se", "x"},
         2,
         "--se: the standard error 'x' is not a decimal number (such as 12.5 or 0.2)" + usage},
        {{"--series", "1e3"},
         2,
         "--series: '1e3' is not a whole number (digits with an optional sign, from 1 to "
         "1000000000)" +
             usage},
        {{"--seed", ""},
         2,
         "--seed: '' is not a whole number (digits with an optional sign, " + seeds + ")" + usage},
        {{"--seed", "1.5"},
         2,
         "--seed: '1.5' is not a whole number (digits with an optional sign, " + seeds + ")" +
             usage},
        {{"--seed", "7\xff" + std::string(100, '9')},
         2,
         "--seed: '7\\xff" + std::string(78, '9') +
             "'... is not a whole number (digits with an optional sign, " + seeds + ")" + usage},
        {{"--columns", "a,b"}, 2, "--columns: 'a,b' names 2 columns" + columns + usage},
        {{"--columns", "a, ,b"},
         2,
         "--columns: 'a, ,b' leaves column 2 without a name" + columns + usage},
        {{"--threshold", "5", "--threshold", "6"},
         2,
         "--threshold: At Most 1 required but received 2" + usage},
        // Well-formed but not allowed: status 1.
        {{"--threshold", "1e400"}, 1, "--threshold: the threshold must be a finite number\n"},
        {{"--interval", "-1e308", "1e308"},
         1,
         "--interval: the start -1e+308 and the end 1e+308 lie too far apart; the width, end - "
         "start, must be a finite number\n"},
        {{"--series", "1000000001"},
         1,
         "--series: the number of series must be a whole number from 1 to 1000000000\n"},
        {{"--seed", "2147483648"}, 1, "--seed: the seed must be a whole number " + seeds + "\n"},
        {{"--seed", "-2147483649"}, 1, "--seed: the seed must be a whole number " + seeds + "\n"},
        {{"--columns", "when, Mw ,when"},
         1,
         "--columns: 'when, Mw ,when' names the column 'when' twice; name three different "
         "columns\n"},
        {{"--se", "-1"}, 1, "--se: the standard error must be a finite number, 0 or more\n"},
        {{"--bin-width", "year"},
         2,
         "--bin-width: the bin width 'year' is not a decimal number (such as 1 or 0.5)" + usage},
        {{"--bin-width", "0"}, 1, "--bin-width: " + bin_width_rule("0")},
        {{"--bin-width", "40"}, 1, "--bin-width: " + bin_width_rule("40")},       // one bin
        {{"--bin-width", "1e-5"}, 1, "--bin-width: " + bin_width_rule("1e-05")},  // 3.85 million
        {{"--se", "5"},
         1,
         "--se: a standard error is given to the events of a CSV table that has none; 'd.dat' "
         "is read in the free format, three values an event\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        write_file(dir.path / "d.dat", three_events);
        std::vector<std::string> arguments = c.arguments;
        if (std::find(arguments.begin(), arguments.end(), "--data") == arguments.end())
            arguments.insert(arguments.begin(), {"--data", "d.dat"});
        const ProcessResult result = report_in(dir.path, arguments);
        EXPECT_EQ(result.status, c.status) << c.message;
        EXPECT_EQ(result.err, "zorvi-report: " + c.message);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(read_file(dir.path / "d.dat"), three_events);
        EXPECT_EQ(names_under(dir.path), std::vector<std::string>{"d.dat"}) << c.message;
    }
}

TEST(ReportOptions, WhatEachNumberFormAccepts) {
    // Signs, a point on either side, exponents, the extremes of the seed: each reads as the
    // number written, and S and -S give the same series.
    TempDir dir;
    write_file(dir.path / "d.dat", three_events);
    const auto study = [&](const std::vector<std::string>& more) {
        std::vector<std::string> arguments = {"--data", "d.dat",    "--no-figure",
                                              "--json", "--series", "+20"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        const ProcessResult result = report_in(dir.path, arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        return nlohmann::json::parse(result.out)["settings"];
    };
    const nlohmann::json a = study({"--threshold", "+.95e2", "--interval", "1980.", "2.02E3"});
    EXPECT_EQ(a["threshold"], 95.0);
    EXPECT_EQ(a["start"], 1980.0);
    EXPECT_EQ(a["end"], 2020.0);
    EXPECT_EQ(a["series"], 20);
    EXPECT_EQ(study({"--seed", "-2147483648"})["seed"], -2147483648);
    EXPECT_EQ(study({"--seed", "2147483647", "--results", "plus.dat"})["seed"], 2147483647);
    EXPECT_EQ(study({"--seed", "-2147483647", "--results", "minus.dat"})["seed"], -2147483647);
    EXPECT_EQ(read_file(dir.path / "plus.dat"), read_file(dir.path / "minus.dat"));
    study({"--seed", "2147483646", "--results", "other.dat"});
    EXPECT_NE(read_file(dir.path / "plus.dat"), read_file(dir.path / "other.dat"));
}

// The clustering check's bins follow --bin-width; too few of them for a check give a reason
// and nulls, never a made-up number.
TEST(ReportOptions, BinWidthSetsTheClusteringBins) {
    TempDir dir;
    write_file(dir.path / "d.dat", three_events);
    const auto clustering = [&](const char* width) {
        const ProcessResult result =
            report_in(dir.path, {"--data", "d.dat", "--no-figure", "--json", "--series", "20",
                                 "--threshold", "90", "--bin-width", width});
        EXPECT_EQ(result.status, 0) << result.err;
        return nlohmann::json::parse(result.out)["clustering"];
    };
    const nlohmann::json half = clustering("0.5");
    EXPECT_EQ(half["bin_width"], 0.5);
    EXPECT_EQ(half["bins"].size(), 77u);  // 38.5 years
    EXPECT_EQ(half["observed"]["reason"], nullptr);
    EXPECT_TRUE(half["observed"]["phi"].is_number());
    const nlohmann::json two = clustering("20");  // a bin and a part of one
    EXPECT_EQ(two["bins"].size(), 2u);
    EXPECT_EQ(two["observed"]["reason"], "fewer than 3 bins");
    EXPECT_EQ(two["observed"]["phi"], nullptr);
    EXPECT_EQ(two["observed"]["tests"][1]["p_value"], nullptr);
    EXPECT_EQ(two["simulated"]["share_dispersed"]["share"], nullptr);
    EXPECT_EQ(two["simulated"]["share_dispersed"]["of"], 0);
}

// Names from the file system are data: the JSON document carries them with each byte that is
// not UTF-8 replaced by U+FFFD (valid characters kept), the text as they are, and the CSV
// tables, which hold no names, are written into a directory of any name.
TEST(ReportOptions, FileNamesThatAreNotUtf8) {
    TempDir dir;
    const std::string data = "d\xC3\xA9\xFF\xC3.dat";  // é, a stray byte, a cut sequence
    const std::string results = "r\xFE.dat";
    const std::string tables = "t\xFF";
    write_file(dir.path / data, three_events);
    const std::vector<std::string> study = {
        "--data", data, "--results", results, "--series", "20", "--no-figure", "--csv", tables};
    std::vector<std::string> json = study;
    json.push_back("--json");
    const ProcessResult result = report_in(dir.path, json);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const nlohmann::json files = nlohmann::json::parse(result.out)["files"];
    EXPECT_EQ(files["data"], "d\xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD.dat");
    EXPECT_EQ(files["results"], "r\xEF\xBF\xBD.dat");
    EXPECT_EQ(files["figure"], nullptr);
    EXPECT_EQ(read_file(dir.path / data), three_events);
    EXPECT_TRUE(fs::exists(dir.path / results));
    EXPECT_TRUE(fs::exists(dir.path / tables / "tests.csv"));

    const ProcessResult text = report_in(dir.path, study);
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_TRUE(text.out.starts_with("Zorvi report on " + results + "\n")) << text.out;
}

// At every address-space limit at which the process starts, from the lowest up through the
// band in which it cannot complete, the report completes with its usual output or ends with
// the out-of-memory line and status 1, leaving no file; never an abort. Before, the option
// parser's globals failed to allocate before main and the process aborted (status 134).
TEST(ReportOptions, EveryMemoryLimitEndsWithAReport) {
#if ZORVI_UNDER_ADDRESS_SANITIZER
    GTEST_SKIP() << "the address sanitizer reserves more address space than any limit allows";
#else
    const std::vector<std::vector<std::string> > runs = {
        {"--version"},
        {"--help"},
        {"--data", "d.dat", "--series", "20", "--csv", "tables"},
    };
    constexpr rlim_t page = 4096;
    for (const std::vector<std::string>& arguments : runs) {
        SCOPED_TRACE(arguments.front());
        TempDir dir;
        std::vector<std::string> argv = arguments;
        argv.insert(argv.begin(), report_binary);
        const auto run_at = [&](rlim_t pages) {
            fs::remove_all(dir.path);
            fs::create_directory(dir.path);
            write_file(dir.path / "d.dat", three_events);
            if (pages == 0) return run_program(argv, dir.path);
            return run_program_with(argv, dir.path, [&] {
                const rlimit limit{pages * page, pages * page};
                setrlimit(RLIMIT_AS, &limit);
            });
        };
        const ProcessResult full = run_at(0);
        ASSERT_EQ(full.status, 0) << full.err;
        const std::vector<std::string> written = names_under(dir.path);

        // The process never starts while the dynamic loader cannot map the program (127), or,
        // lower still, the kernel cannot finish the exec (a signal, nothing written). The
        // lowest limit at which it starts, found by bisection in pages:
        const auto started = process_started;
        const rlim_t start = lowest_starting_limit(run_at);
        ASSERT_NE(start, 0u) << "no run started at 64 MiB";

        // Then every limit from a little below that upwards, page by page, through the band in
        // which the process starts but cannot complete, and a little beyond.
        constexpr rlim_t margin = 8;
        constexpr rlim_t widest_band = 2048;
        rlim_t completions = 0;
        rlim_t refusals = 0;
        for (rlim_t pages = start - margin; completions < margin; ++pages) {
            ASSERT_LT(pages, start + widest_band) << "no run completed";
            SCOPED_TRACE("address space limited to " + std::to_string(pages * page / 1024) +
                         " KiB");
            const ProcessResult result = run_at(pages);
            const std::vector<std::string> left = names_under(dir.path);
            if (!started(result)) {
                EXPECT_LT(pages, start) << "a run did not start above a limit at which one did";
                EXPECT_EQ(left, std::vector<std::string>{"d.dat"});
            } else if (result.status == 0) {
                EXPECT_EQ(result.out, full.out);
                EXPECT_EQ(result.err, "");
                EXPECT_EQ(left, written);
                ++completions;
            } else {
                ++refusals;
                EXPECT_EQ(result.status, 1);
                EXPECT_EQ(result.err, "zorvi-report: out of memory\n");
                EXPECT_EQ(result.out, "");
                // The directory of --csv may have been made; nothing is left in it.
                EXPECT_TRUE(left == std::vector<std::string>{"d.dat"} ||
                            left == (std::vector<std::string>{"d.dat", "tables/"}))
                    << ::testing::PrintToString(left);
            }
        }
        EXPECT_GT(refusals, 0u) << "the band in which the process starts but cannot complete";
    }
#endif
}

// What the summary states about its own limits: a start sweep cut at its cap says where it
// stops (text and JSON), and the detectable trend beyond m = 1000 says it is approximate.
TEST(ReportOptions, StatedLimits) {
    TempDir dir;
    write_file(dir.path / "d.dat", "1100 120 5\n1150 120 5\n1190 130 5\n1050 120 4\n");
    std::string many;
    for (int k = 0; k < 1001; ++k)
        many += std::to_string(1981 + k % 30) + ".5 150 1\n";
    write_file(dir.path / "many.dat", many);
    const auto study = [&](const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {"--series", "20", "--no-figure"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const ProcessResult result = report_in(dir.path, all);
        EXPECT_EQ(result.status, 0) << result.err;
        return result.out;
    };
    // Three centuries and more: starts 2 years apart, up to the last that leaves ten years.
    const std::vector<std::string> long_record = {"--data", "d.dat", "--interval", "1000", "1210"};
    EXPECT_NE(study(long_record)
                  .find("\nStarts 2 years apart (101 points), up to the last that leaves 10 years "
                        "to the end.\n"),
              std::string::npos);
    std::vector<std::string> json = long_record;
    json.insert(json.end(),
                {"--json", "--sweep-thresholds", "120", "130", "5", "--classes", "115,125"});
    const nlohmann::json sweeps = nlohmann::json::parse(study(json))["sweeps"];
    EXPECT_EQ(sweeps["start_year"].back()["start"], 1200.0);
    EXPECT_FALSE(sweeps.contains("start_year_cut"));
    std::vector<double> thresholds;  // the grid given, with the study's own 113 added
    for (const auto& point : sweeps["threshold"])
        thresholds.push_back(point["threshold"]);
    EXPECT_EQ(thresholds, (std::vector<double>{113, 120, 125, 130}));
    std::vector<std::string> given = {
        "--data", "d.dat", "--interval", "1000",      "1210",    "--sweep-starts",
        "1050",   "1100",  "25",         "--classes", "115,125", "--sweep-thresholds",
        "110",    "130",   "5"};
    EXPECT_NE(study(given).find("   class 2: >= 125\n"), std::string::npos);
    given.push_back("--json");
    std::vector<double> starts;  // the grid given, with the interval's own start added
    const nlohmann::json given_json = nlohmann::json::parse(study(given));
    for (const auto& point : given_json["sweeps"]["start_year"])
        starts.push_back(point["start"]);
    EXPECT_EQ(starts, (std::vector<double>{1000, 1050, 1075, 1100}));

    const std::string approximate = study({"--data", "many.dat", "--threshold", "100"});
    EXPECT_NE(approximate.find("(power 0.8 at 0.05 with m = 1001, normal approximation beyond "
                               "m = 1000)\n"),
              std::string::npos);
    EXPECT_NE(approximate.find("given the observed m: from the normal approximation"),
              std::string::npos);
}

}  // namespace
