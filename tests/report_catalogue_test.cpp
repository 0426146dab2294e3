// Catalogues as they are published: times as ISO 8601 dates and date-times, and standard errors
// missing from the table and given instead.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "report_test_support.hpp"
#include "zorvi/zorvi.hpp"

namespace {

using namespace zorvi::testing;

// The stated rule, its calendar arithmetic done by the standard library: the UTC year Y of the
// time, the whole seconds n since that year began, the seconds S in it, Y + (n + f) / S.
double rule_year(int y, unsigned month, unsigned day, int seconds_of_day, double fraction,
                 int offset_minutes) {
    using namespace std::chrono;
    const sys_seconds instant =
        sys_days{year{y} / month / day} + seconds{seconds_of_day} - minutes{offset_minutes};
    const year utc = year_month_day{floor<days>(instant)}.year();
    const sys_seconds start = sys_days{utc / January / 1};
    const sys_seconds next = sys_days{(utc + years{1}) / January / 1};
    return static_cast<double>(static_cast<int>(utc)) +
           (static_cast<double>((instant - start).count()) + fraction) /
               static_cast<double>((next - start).count());
}

TEST(ReportCatalogue, IsoTimesAsDecimalYears) {
    struct Case {
        std::string text;
        double year;  // NaN: refused with `problem`
        std::string problem = {};
    };
    const double refused = std::nan("");
    const std::string forms =
        "is not an ISO 8601 date or date-time (YYYY-MM-DD, or YYYY-MM-DDThh:mm[:ss[.fraction]] "
        "with Z or +hh:mm or -hh:mm)";
    const std::vector<Case> cases = {
        {"2017-08-26", rule_year(2017, 8, 26, 0, 0, 0)},
        {"2024-01-01T07:10:09.476Z", rule_year(2024, 1, 1, 25809, 0.476, 0)},
        {"1985-09-27T11:00-05:00", rule_year(1985, 9, 27, 39600, 0, -300)},
        {"2000-02-29 12:00:00", rule_year(2000, 2, 29, 43200, 0, 0)},
        {"2016-12-31T23:59:59.999999", rule_year(2016, 12, 31, 86399, 0.999999, 0)},
        // The offset moves the time into the year before or after.
        {"2000-01-01T00:30+01:00", rule_year(2000, 1, 1, 1800, 0, 60)},
        {"2000-12-31T23:30-14:00", rule_year(2000, 12, 31, 84600, 0, -840)},
        {"2001-02-29", refused, "is not a date: 2001-02 has 28 days"},
        {"1900-02-29", refused, "is not a date: 1900-02 has 28 days"},
        {"2001-04-31", refused, "is not a date: 2001-04 has 30 days"},
        {"2001-13-01", refused, "is not a date: month 13 (01 to 12)"},
        {"2001-00-10", refused, "is not a date: month 00 (01 to 12)"},
        {"2001-01-00", refused, "is not a date: 2001-01 has 31 days"},
        {"2001-01-01T24:01", refused, "is not a time of day: 24:01:00 (00:00:00 to 23:59:59)"},
        {"2001-01-01T12:00:60Z", refused, "is not a time of day: 12:00:60 (00:00:00 to 23:59:59)"},
        {"2001-01-01T12:00+14:01", refused, "is not a zone: the offset +14:01 (-14:00 to +14:00)"},
        {"2001-01-01T12:00-05:60", refused, "is not a zone: the offset -05:60 (-14:00 to +14:00)"},
        {"2017-08", refused, forms},
        {"2017-8-26", refused, forms},
        {"2017-08-26T", refused, forms},
        {"2017-08-26T10", refused, forms},
        {"2017-08-26T10:00:00.", refused, forms},
        {"2017-08-26T10:00Z ", refused, forms},
        {"2017-08-26Z", refused, forms},
        {"2017-08-26T10:00+0500", refused, forms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        if (std::isnan(c.year)) {
            try {
                zorvi::decimal_year(c.text);
                ADD_FAILURE() << "accepted";
            } catch (const zorvi::Error& error) {
                EXPECT_EQ(error.what(), "'" + c.text + "' " + c.problem);
            }
        } else {
            EXPECT_EQ(zorvi::decimal_year(c.text), c.year);
        }
    }
}

// The shipped table's dates read as ISO times give the m, u and P of the decimal years that the
// rule gives; so do the same dates written as date-times with offsets and fractions.
TEST(ReportCatalogue, ShippedDatesGiveTheRulesNumbers) {
    std::istringstream lines(read_file(shipped_csv));
    std::string line;
    std::getline(lines, line);
    ASSERT_EQ(line.rfind("time_decimal_year,date_utc,", 0), 0u);
    std::vector<double> midnight, shifted, magnitudes, errors;
    std::string date_times = "when,wind,se\n";
    for (int k = 0; std::getline(lines, line); ++k) {
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, ',');)
            cells.push_back(cell);
        const std::string& date = cells[1];
        const int y = std::stoi(date.substr(0, 4));
        const auto month = static_cast<unsigned>(std::stoi(date.substr(5, 2)));
        const auto day = static_cast<unsigned>(std::stoi(date.substr(8, 2)));
        midnight.push_back(rule_year(y, month, day, 0, 0, 0));
        // 06:45:30.25 at an offset of -05:30 or +09:00, by turns.
        const int offset = k % 2 == 0 ? -330 : 540;
        shifted.push_back(rule_year(y, month, day, 24330, 0.25, offset));
        date_times += date + "T06:45:30.25" + (k % 2 == 0 ? "-05:30" : "+09:00") + "," + cells[5] +
                      "," + cells[6] + "\n";
        magnitudes.push_back(std::stod(cells[5]));
        errors.push_back(std::stod(cells[6]));
    }
    TempDir dir;
    write_file(dir.path / "date_times.csv", date_times);

    zorvi::StudySettings settings;
    settings.series = 20;
    const auto observed = [&](const zorvi::EventData& data) {
        const zorvi::Study study = zorvi::run_study(data, settings);
        const zorvi::Summary& s = study.analysis.summary;
        return std::tuple(s.m, s.u, s.p);
    };
    zorvi::ReadOptions dates;
    dates.columns = {"date_utc", "max_wind_kt", "stderr_kt"};
    const zorvi::EventData read = zorvi::read_events(shipped_csv, dates);
    EXPECT_EQ(read.events.t, midnight);
    EXPECT_EQ(read.notes.times_written.at(59), "2018-10-10");
    EXPECT_EQ(observed(read), observed(zorvi::events_from(midnight, magnitudes, errors)));

    zorvi::ReadOptions written;
    written.columns = {"when", "wind", "se"};
    const zorvi::EventData read_shifted = zorvi::read_events(dir.path / "date_times.csv", written);
    EXPECT_EQ(read_shifted.events.t, shifted);
    EXPECT_EQ(observed(read_shifted), observed(zorvi::events_from(shifted, magnitudes, errors)));
}

// A standard error for the events whose table gives none: every event when the table has no
// such column, the empty cells otherwise. The study is the one of a table that holds it, and
// the outputs say how many events took it.
TEST(ReportCatalogue, AGivenStandardError) {
    TempDir dir;
    write_file(dir.path / "none.csv", "when,mag\n1990.5,100\n2000.5,120\n2010.5,90\n");
    write_file(dir.path / "some.csv", "when,mag,se\n1990.5,100,4\n2000.5,120,\n2010.5,90, \n");
    write_file(dir.path / "full.csv", "when,mag,se\n1990.5,100,4\n2000.5,120,2.5\n2010.5,90,2.5\n");
    write_file(dir.path / "all.csv",
               "when,mag,se\n1990.5,100,2.5\n2000.5,120,2.5\n2010.5,90,2.5\n");
    const auto study = [&](const std::string& file, std::vector<std::string> more) {
        std::vector<std::string> arguments = {"--data",   file,        "--no-figure",
                                              "--series", "50",        "--threshold",
                                              "95",       "--results", file + ".dat"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        const ProcessResult result = report_in(dir.path, arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        return result.out;
    };
    const auto analysis = [](const std::string& json) {
        nlohmann::json document = nlohmann::json::parse(json);
        document.erase("files");
        document["settings"].erase("given_standard_error");
        document["settings"].erase("events_given_standard_error");
        return document;
    };
    const std::string none = study("none.csv", {"--columns", "when,mag", "--se", "2.5", "--json"});
    EXPECT_EQ(nlohmann::json::parse(none)["settings"]["given_standard_error"], 2.5);
    EXPECT_EQ(nlohmann::json::parse(none)["settings"]["events_given_standard_error"], 3);
    EXPECT_EQ(analysis(none), analysis(study("all.csv", {"--columns", "when,mag,se", "--json"})));
    const std::string some =
        study("some.csv", {"--columns", "when,mag,se", "--se", "2.5", "--json"});
    EXPECT_EQ(nlohmann::json::parse(some)["settings"]["events_given_standard_error"], 2);
    EXPECT_EQ(analysis(some), analysis(study("full.csv", {"--columns", "when,mag,se", "--json"})));
    EXPECT_NE(study("some.csv", {"--columns", "when,mag,se", "--se", "2.5"})
                  .find("\n  standard error given            2.5, to 2 of 3 events\n"),
              std::string::npos);
    // Without one given, a table that gives none is not studied.
    EXPECT_FALSE(
        nlohmann::json::parse(study("all.csv", {"--columns", "when,mag,se", "--json"}))["settings"]
            .contains("given_standard_error"));

    // The library does the same for files and for rows, where NaN is the missing value.
    zorvi::ReadOptions options;
    options.columns = {"when", "mag", ""};
    options.standard_error = 2.5;
    const zorvi::EventData read = zorvi::read_events(dir.path / "none.csv", options);
    EXPECT_EQ(read.events.sx, (std::vector<double>{2.5, 2.5, 2.5}));
    EXPECT_EQ(read.notes.took_given_error, 3u);
    options.standard_error = zorvi::not_a_number;
    EXPECT_THROW(zorvi::read_events(dir.path / "none.csv", options), zorvi::Error);
    const std::vector<double> t = {1990.5, 2000.5}, x = {100, 120}, s = {4, std::nan("")};
    const zorvi::EventData rows = zorvi::events_from(t, x, s, 2.5);
    EXPECT_EQ(rows.events.sx, (std::vector<double>{4, 2.5}));
    EXPECT_EQ(rows.notes.took_given_error, 1u);
}

}  // namespace
