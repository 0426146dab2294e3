// The library's one-call interface: the same bytes as zorvi-report for the same data and
// options, each statistic equal to the report's, and failures as the library's own exceptions.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stop_token>
#include <string>
#include <vector>

#include "report_test_support.hpp"
#include "zorvi/zorvi.hpp"

namespace {

namespace fs = std::filesystem;
using namespace zorvi::testing;

const fs::path golden = source_dir / "tests" / "golden" / "report" / "expected";

// The recorded summary as zorvi-report prints it without a figure.
std::string without_figure_row(std::string text) {
    const std::size_t row = text.find("\nFigure ");
    if (row != std::string::npos) text.erase(row, text.find('\n', row + 1) - row);
    return text;
}

struct Case {
    const char* name;  // of the recorded outputs
    fs::path data;
    zorvi::ReadOptions read;
    double threshold;
    double start, end;
    const char* results;
};

// Every output of a study through the library against the outputs recorded from zorvi-report.
TEST(ReportApi, StudiesGiveTheCommandLinesBytes) {
    zorvi::ReadOptions quakes_columns{zorvi::DataFormat::automatic, {"when", "Mw", "se"}};
    const std::vector<Case> cases = {
        {"csv64",
         source_dir / "data" / "us-hurricane-landfalls-1980-2018.csv",
         {},
         64,
         zorvi::program_start,
         zorvi::program_end,
         "study-results.dat"},
        {"quakes", source_dir / "tests" / "golden" / "report" / "quakes.csv", quakes_columns, 6.5,
         1950, 2020, "quakes.dat"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const zorvi::EventData data = zorvi::read_events(c.data, c.read);
        zorvi::StudySettings settings;
        settings.threshold = c.threshold;
        settings.start = c.start;
        settings.end = c.end;
        zorvi::describe_magnitudes(data.events, c.read.columns.magnitude == "max_wind_kt",
                                   settings);
        const zorvi::Study study = zorvi::run_study(data, settings, {}, c.data.filename().string());
        const fs::path expected = golden / c.name;
        EXPECT_EQ(zorvi::summary_text(study, c.results),
                  without_figure_row(read_file(expected / "summary.txt")));
        EXPECT_EQ(zorvi::json_text(study, c.results), read_file(expected / "report.json"));
        EXPECT_EQ(zorvi::svg_figure(study), read_file(expected / "Zorvireport.svg"));
        const std::vector<zorvi::CsvTable> tables = zorvi::tables(study);
        ASSERT_EQ(tables.size(), 7u);
        for (const zorvi::CsvTable& table : tables)
            EXPECT_EQ(zorvi::csv_text(table), read_file(expected / "tables" / table.file_name))
                << table.file_name;
        TempDir dir;
        zorvi::write_results(study, dir.path / c.results);
        EXPECT_EQ(read_file(dir.path / c.results), read_file(expected / c.results));
    }
}

// Each statistic of the observed selected times equals the report's figure of them.
TEST(ReportApi, StatisticsOfTimesEqualTheReports) {
    const zorvi::EventData data =
        zorvi::read_events(source_dir / "data" / "us-hurricane-landfalls-1980-2018.csv");
    std::vector<double> times;
    for (std::size_t i = 0; i < data.events.t.size(); ++i)
        if (data.events.x[i] >= 113) times.push_back(data.events.t[i]);
    const double a = zorvi::program_start, b = zorvi::program_end;
    const nlohmann::json observed =
        nlohmann::json::parse(read_file(golden / "study" / "report.json"))["observed"];

    const zorvi::CoxLewisResult cox = zorvi::cox_lewis(times, a, b);
    EXPECT_EQ(cox.m, observed["m"]);
    EXPECT_EQ(cox.statistic, observed["u"]);
    EXPECT_EQ(cox.p_value, observed["p"]);
    EXPECT_EQ(cox.p_value_two_sided, observed["p_two_sided"]);
    const zorvi::TrendFitResult fit = zorvi::trend_fit(times, a, b);
    EXPECT_EQ(fit.rate_ratio_per_decade, observed["rate_ratio_per_decade"]["estimate"]);
    EXPECT_EQ(fit.rate_ratio_interval.low, observed["rate_ratio_per_decade"]["conf_low"]);
    EXPECT_EQ(fit.rate_ratio_interval.high, observed["rate_ratio_per_decade"]["conf_high"]);
    const zorvi::TrendFitResult wider = zorvi::trend_fit(times, a, b, 0.99);
    EXPECT_LT(wider.rate_ratio_interval.low, fit.rate_ratio_interval.low);
    EXPECT_GT(wider.rate_ratio_interval.high, fit.rate_ratio_interval.high);
    const zorvi::MilHdbk189Result mil = zorvi::mil_hdbk_189(times, a, b);
    EXPECT_EQ(mil.statistic, observed["tests"][2]["statistic"]);
    EXPECT_EQ(mil.p_value, observed["tests"][2]["p_value"]);
    EXPECT_EQ(mil.shape, observed["tests"][2]["estimate"]);
    EXPECT_EQ(mil.shape_interval.high, observed["tests"][2]["conf_high"]);
    const zorvi::LewisRobinsonResult lr = zorvi::lewis_robinson(times, a, b);
    EXPECT_EQ(lr.statistic, observed["tests"][3]["statistic"]);
    EXPECT_EQ(lr.p_value, observed["tests"][3]["p_value"]);
    EXPECT_EQ(zorvi::detectable_rate_ratio(cox.m, a, b),
              observed["detectable_rate_ratio_per_decade"]);
}

// Failures reach the caller as exceptions with the command line's message; nothing ends.
TEST(ReportApi, FailuresAreTheLibrarysExceptions) {
    try {
        zorvi::read_events("/nonexistent/events.csv");
        FAIL() << "no exception";
    } catch (const zorvi::FileError& error) {
        EXPECT_EQ(error.code, ENOENT);
        EXPECT_STREQ(error.what(),
                     "cannot open '/nonexistent/events.csv': No such file or directory");
    }
    const std::vector<double> t = {1990, 2000}, x = {120, 130}, s = {5, 5}, short_s = {5};
    EXPECT_THROW(zorvi::events_from(t, x, short_s), zorvi::Error);
    const zorvi::EventData data = zorvi::events_from(t, x, s);
    zorvi::StudySettings settings;
    settings.start = 1995;
    try {
        zorvi::run_study(data, settings);
        FAIL() << "no exception";
    } catch (const zorvi::Error& error) {
        EXPECT_EQ(std::string(error.what())
                      .rfind("events, row 1: the time 1990 lies "
                             "outside the interval 1995 to 2018.917",
                             0),
                  0u)
            << error.what();
    }
    EXPECT_THROW(zorvi::cox_lewis(t, 2000, 1990), zorvi::Error);
    EXPECT_THROW(zorvi::cox_lewis(t, 1991, 2010), zorvi::Error);

    std::stop_source stop;
    zorvi::StudyControl control;
    control.stop = stop.get_token();
    std::size_t calls = 0;
    control.progress = [&](std::size_t, std::size_t) {
        if (++calls == 2) stop.request_stop();
    };
    settings = {};
    settings.series = 1000000;
    EXPECT_THROW(zorvi::run_study(data, settings, control), zorvi::Stopped);
    EXPECT_EQ(calls, 2u);

    // A results file never replaces the data file the events were read from, under any name.
    TempDir dir;
    const fs::path csv = dir.path / "events.csv";
    fs::copy_file(source_dir / "data" / "us-hurricane-landfalls-1980-2018.csv", csv);
    const std::string bytes = read_file(csv);
    const zorvi::EventData read = zorvi::read_events(csv);
    settings.series = 5;
    zorvi::StudyControl writes;
    writes.results = dir.path / "." / "events.csv";
    EXPECT_THROW(zorvi::run_study(read, settings, writes), zorvi::Error);
    const zorvi::Study study = zorvi::run_study(read, settings);
    EXPECT_THROW(zorvi::write_results(study, csv), zorvi::Error);
    EXPECT_EQ(read_file(csv), bytes);
}

}  // namespace
