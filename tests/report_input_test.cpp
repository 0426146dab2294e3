// The report's inputs: results files and data files, well-formed and malformed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "driver/run_state.hpp"
#include "driver/simulation.hpp"
#include "random/random.hpp"
#include "report/run_report.hpp"
#include "test_support.hpp"
#include "zorvi/zorvi.hpp"

namespace {

using namespace zorvi;
using namespace zorvi::report;

const std::string header = " Zorvi: Results\r\n u_simulated  P_simulated\r\n \r\n";

struct Parsed {
    bool ok = false;
    Results results;
    std::string error;
};

Parsed parse(const std::string& text, std::size_t expected = 3) {
    Parsed parsed;
    parsed.ok = parse_results(text, "Zorviresult.dat", expected, parsed.results, parsed.error);
    return parsed;
}

void check_error(const std::string& text, const std::string& error, std::size_t expected = 3) {
    const Parsed parsed = parse(text, expected);
    EXPECT_FALSE(parsed.ok) << text;
    EXPECT_EQ(parsed.error, error) << text;
}

TEST(ReportResultsFile, ReadsRecordsAsTheProgramWritesThem) {
    const Parsed parsed = parse(header +
                                "       0.98959829       0.16118526\r\n"
                                "              NaN              NaN\r\n"
                                "      -1.67959441       0.04651813\r\n");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    ASSERT_EQ(parsed.results.u.size(), 3u);
    EXPECT_EQ(parsed.results.u[0], 0.98959829);
    EXPECT_EQ(parsed.results.p[0], 0.16118526);
    EXPECT_TRUE(std::isnan(parsed.results.u[1]));
    EXPECT_TRUE(std::isnan(parsed.results.p[1]));
    EXPECT_EQ(parsed.results.u[2], -1.67959441);
}

TEST(ReportResultsFile, AcceptsPlainLineEndsTrailingBlankLinesAndNoFinalLineEnd) {
    EXPECT_TRUE(parse(" Zorvi: Results\n u_simulated  P_simulated\n \n1 0.5\n2 0.25\n3 0.125").ok);
    EXPECT_TRUE(parse(header + "1 0.5\n2 0.25\n3 0.125\n\n  \n").ok);
}

TEST(ReportResultsFile, MalformedRecordNamesItsLine) {
    check_error(header + "1 0.5\n2 0.2x5\n3 0.125\n",
                "Zorviresult.dat, line 5: Bad real number in item 2 of list input");
    check_error(header + "1 0.5\n****************       0.25\n3 0.125\n",
                "Zorviresult.dat, line 5: Bad real number in item 1 of list input");
    check_error(header + "1 0.5\n2\n3 0.125\n",
                "Zorviresult.dat, line 5: fewer than two values; u and P expected");
    check_error(header + "1 0.5\n2 0.25 7\n3 0.125\n",
                "Zorviresult.dat, line 5: more than two values; u and P expected");
    check_error(header + "1 0.5\n2,,\n3 0.125\n",  // a null value for P
                "Zorviresult.dat, line 5: fewer than two values; u and P expected");
    check_error(header + "1 0.5\n\n3 0.125\n",
                "Zorviresult.dat, line 5: empty record; u and P expected");
    check_error(header + "1 0.5\n0*2 0.25\n3 0.125\n",
                "Zorviresult.dat, line 5: Zero repeat count in item 1 of list input");
}

TEST(ReportResultsFile, FewerOrMoreRecordsThanExpected) {
    check_error(header + "1 0.5\n2 0.25\n",
                "Zorviresult.dat: 2 records after the header, 3 expected; was the run complete?");
    check_error(header,
                "Zorviresult.dat: 0 records after the header, 3 expected; was the run complete?");
    check_error(header + "1 0.5\n2 0.25\n3 0.125\n4 0.0625\n",
                "Zorviresult.dat, line 7: more than the 3 records of a run");
    check_error("",
                "Zorviresult.dat: ends after 0 lines, before the header and the 3 records "
                "of a complete run");
}

TEST(ReportResultsFile, RejectsAFileThatIsNotAResultsFile) {
    check_error("1980.608  100.0  12.5\n",
                "Zorviresult.dat, line 1: not a Zorvi results file: \" Zorvi: Results\" expected, "
                "found \"1980.608  100.0  12.5\"");
    check_error(" Zorvi: Results\n u  P\n \n1 0.5\n",
                "Zorviresult.dat, line 2: not a Zorvi results file: \" u_simulated  P_simulated\" "
                "expected, found \" u  P\"");
}

// `count` events, one per line.
std::string events_text(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += " " + std::to_string(1981 + i % 37) + ".5  " + (i % 5 == 0 ? "120" : "80") +
                ".0  10.0\n";
    return text;
}

TEST(ReportDataFile, ReadsTheEventsAsTheProgramDoes) {
    EventSeries events;
    std::string error;
    // A null magnitude keeps the missing-value marker, as in the program.
    std::string text = events_text(60);
    text.replace(text.find("  120.0  "), 9, ", , ");
    ASSERT_TRUE(parse_event_data(text, "data.dat", events, error)) << error;
    ASSERT_EQ(events.t.size(), 60u);
    EXPECT_EQ(events.t[0], 1981.5);
    EXPECT_EQ(events.x[0], zorvi::driver::missing_real);
    EXPECT_EQ(events.x[5], 120.0);
    EXPECT_EQ(events.sx[59], 10.0);
}

TEST(ReportDataFile, ErrorsNameTheLineAndTheEvent) {
    EventSeries events;
    std::string error;
    std::string text = "\n" + events_text(60);  // a blank first line: event 12 is on line 13
    const std::size_t line_13 = [&] {
        std::size_t pos = 0;
        for (int k = 0; k < 12; ++k)
            pos = text.find('\n', pos) + 1;
        return pos;
    }();
    text.replace(text.find("80.0", line_13), 4, "8y0");
    EXPECT_FALSE(parse_event_data(text, "data.dat", events, error));
    EXPECT_EQ(error, "data.dat, line 13 (event 12): Bad real number in item 2 of list input");

    EXPECT_FALSE(parse_event_data(events_text(59), "data.dat", events, error));
    EXPECT_EQ(error,
              "data.dat: ends in event 60 of 60; each event is three values (time, "
              "magnitude, standard error)");
}

// The simulated magnitudes are the program's: series by series, one deviate per event in
// position order after the one discarded deviate, for any number of events.
TEST(ReportReplay, DrawsTheProgramsDeviatesInItsOrder) {
    const EventSeries events = {{1990.0, 2000.0, 2010.0}, {100.0, 120.0, 90.0}, {10.0, 0.5, 2.0}};
    StudySettings settings;
    settings.series = 4;
    const SimulatedMagnitudes simulated = simulate_magnitudes(events, settings);
    ASSERT_EQ(simulated.values.size(), 12u);

    zorvi::random::reset_uniform_state();
    zorvi::random::reset_gaussian_state();
    zorvi::random::ranseed();
    double z = 0.0;
    zorvi::random::gasdev(z);  // discarded, as in the program
    for (std::size_t k = 0; k < 4; ++k) {
        for (std::size_t i = 0; i < 3; ++i) {
            zorvi::random::gasdev(z);
            EXPECT_EQ(series_magnitudes(simulated, k)[i], events.sx[i] * z + events.x[i]);
        }
    }
}

// With the program's 60 events, the series are the program's own: magnitudes, m, u and P.
TEST(ReportReplay, RepeatsTheProgramsSeries) {
    EventSeries events;
    std::string error;
    ASSERT_TRUE(parse_event_data(events_text(60), "data.dat", events, error)) << error;
    StudySettings settings;
    settings.series = 50;
    const SimulatedMagnitudes simulated = simulate_magnitudes(events, settings);
    const Recomputed recomputed = recompute(events, simulated, settings);
    EXPECT_EQ(recomputed.m, 12);

    zorvi::driver::RunState run;
    std::copy(events.t.begin(), events.t.end(), run.t.begin());
    std::copy(events.x.begin(), events.x.end(), run.x.begin());
    std::copy(events.sx.begin(), events.sx.end(), run.sx.begin());
    zorvi::random::reset_uniform_state();
    zorvi::random::reset_gaussian_state();
    zorvi::random::ranseed();
    zorvi::driver::discard_first_deviate(run);
    for (std::size_t k = 0; k < 50; ++k) {
        zorvi::driver::simulate_series(run);
        const auto magnitudes = series_magnitudes(simulated, k);
        ASSERT_TRUE(std::equal(magnitudes.begin(), magnitudes.end(), run.xsim.begin()));
        EXPECT_EQ(recomputed.msim[k], run.msim);
        EXPECT_EQ(recomputed.usim[k], run.usim);
        EXPECT_EQ(recomputed.psim[k], run.psim);
    }
    // Drawn afresh: the same series again.
    EXPECT_EQ(simulate_magnitudes(events, settings).values, simulated.values);
}

TEST(ReportFiles, MissingFileIsReportedWithTheOperatingSystemsReason) {
    zorvi::testing::TempDir dir;
    std::string text;
    std::string error;
    EXPECT_FALSE(read_text_file(dir.path / "Zorviresult.dat", text, error));
    EXPECT_EQ(error, "cannot open '" + (dir.path / "Zorviresult.dat").string() +
                         "': No such file or directory");
    EXPECT_FALSE(read_text_file(dir.path, text, error));  // a directory
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
}

}  // namespace
