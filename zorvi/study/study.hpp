// A whole study in one pass over its simulated series: the observed series and every simulated
// one, each drawn once with the program's generator, selected and tested as the program does,
// and gathered into an Analysis. Steps given by the caller see every series as it goes (to write
// a results file or a table, to show progress, or to stop).
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "zorvi/events/events.hpp"
#include "zorvi/study/analysis.hpp"
#include "zorvi/study/settings.hpp"

namespace zorvi {

// What the results file shows for one series: the record a study writes, or the record of a
// finished run's file. Called once per series, in order (`series` from 0), with the series'
// recomputed test; false, with `error` saying why, when the record cannot be written or read.
using RecordStep = std::function<bool(std::size_t series, const TrendTest& test, double& file_u,
                                      double& file_p, std::string& error)>;
// One series for the series table: its m, u and P, and its rate ratio per decade.
using SeriesRowStep = std::function<bool(std::size_t series, const TrendTest& test,
                                         double rate_ratio, std::string& error)>;
// Called every so often with the number of series done.
using ProgressStep = std::function<void(std::size_t done)>;

struct PassSteps {
    RecordStep record;
    bool records_read = false;  // the records come from a file: check each against its series
    // The step gives the values as the file shows them; else u and P themselves, which the
    // counts of P below 0.05 and 0.10 then round as the file does where it matters.
    bool records_exact = true;
    SeriesRowStep row;      // none: no series table
    ProgressStep progress;  // none: no progress shown
};

// The whole analysis of a study in one pass over its simulated series: each series drawn once
// with the program's generator, selected and tested as the program does, its record handed to
// `steps.record`, and gathered into the summary, the tests' shares, the fitted trends, the
// events' shares and the sweeps; memory does not grow with the number of series beyond the
// exact quantiles' values. The observed series is analysed as well. False, with `error`, when
// a step fails.
bool analyse_study(const EventSeries& events, const StudySettings& settings, const PassSteps& steps,
                   Analysis& analysis, std::string& error);

// The steps of a pass that writes no file, its records showing every value exactly: for
// callers that want the analysis alone.
PassSteps without_files();

}  // namespace zorvi
