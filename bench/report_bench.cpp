// zorvi-report on the shipped data's 2000-record results file: the whole report, and its parts.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/run_files.hpp"
#include "driver/run_state.hpp"
#include "report/run_report.hpp"
#include "textio/textio.hpp"
#include "zorvi/study/internal.hpp"
#include "zorvi/zorvi.hpp"

namespace {

namespace fs = std::filesystem;
using namespace zorvi;

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A directory holding the shipped data and the results file a run writes from it.
struct Fixture {
    fs::path dir;
    std::string data;
    std::string results;

    Fixture() {
        std::string pattern = (fs::temp_directory_path() / "zorvi-report-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir = pattern;
        data = read_all(fs::path(ZORVI_SOURCE_DIR) / "data" / driver::data_file_name);

        EventSeries events;
        std::string error;
        if (!parse_event_data(data, "data", events, error)) throw std::runtime_error(error);
        const StudySettings settings;
        const Recomputed series =
            recompute(events, simulate_magnitudes(events, settings), settings);
        results = std::string(driver::results_title) + "\r\n" + std::string(driver::results_heads) +
                  "\r\n" + std::string(driver::results_blank) + "\r\n";
        for (std::size_t k = 0; k < series.usim.size(); ++k) {
            for (const double value : {series.usim[k], series.psim[k]}) {
                results += ' ';
                results += textio::format_fixed(value, driver::results_field_width,
                                                driver::results_field_decimals);
            }
            results += "\r\n";
        }
        std::ofstream(dir / driver::data_file_name, std::ios::binary) << data;
        std::ofstream(dir / driver::results_file_name, std::ios::binary) << results;
    }
    ~Fixture() { fs::remove_all(dir); }
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

void BM_whole_report(benchmark::State& state) {
    const report::ReportPaths paths = report::paths_in(fixture().dir);
    for (auto _ : state) {
        const report::ReportOutcome outcome = report::run_report(paths);
        if (outcome.status != 0) state.SkipWithError(outcome.error.c_str());
        benchmark::DoNotOptimize(outcome.summary.data());
    }
}
BENCHMARK(BM_whole_report)->Unit(benchmark::kMillisecond);

// A study of the shipped data's 2000 series as zorvi-report runs it in one process
// (--series 2000 --no-figure --results FILE): the data read, the study, the results file
// written, the summary composed. bench/python_study.py times the same through the Python
// package.
void BM_report_study(benchmark::State& state) {
    report::ReportPaths paths = report::paths_in(fixture().dir);
    paths.results = fixture().dir / "study.dat";
    report::ReportOptions options;
    options.figure = false;
    options.study.requested = true;  // the program's settings: 2000 series
    for (auto _ : state) {
        const report::ReportOutcome outcome = report::run_report(paths, options);
        if (outcome.status != 0) state.SkipWithError(outcome.error.c_str());
        benchmark::DoNotOptimize(outcome.summary.data());
    }
}
BENCHMARK(BM_report_study)->Unit(benchmark::kMillisecond);

void BM_parse_results(benchmark::State& state) {
    Results results;
    std::string error;
    for (auto _ : state) {
        const bool ok =
            parse_results(fixture().results, "Zorviresult.dat", driver::nsim, results, error);
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_parse_results)->Unit(benchmark::kMicrosecond);

void BM_recompute(benchmark::State& state) {
    EventSeries events;
    std::string error;
    if (!parse_event_data(fixture().data, "data", events, error)) state.SkipWithError("data");
    const StudySettings settings;
    for (auto _ : state) {
        const Recomputed series =
            recompute(events, simulate_magnitudes(events, settings), settings);
        benchmark::DoNotOptimize(series.usim.data());
    }
}
BENCHMARK(BM_recompute)->Unit(benchmark::kMicrosecond);

// The shipped data read, its series simulated and recomputed, the results file parsed.
struct Inputs {
    Results results;
    EventSeries events;
    StudySettings settings;
    SimulatedMagnitudes simulated;
    Recomputed recomputed;
};

bool load_inputs(Inputs& inputs, std::string& error) {
    if (!parse_results(fixture().results, "r", driver::nsim, inputs.results, error) ||
        !parse_event_data(fixture().data, "data", inputs.events, error))
        return false;
    inputs.simulated = simulate_magnitudes(inputs.events, inputs.settings);
    inputs.recomputed = recompute(inputs.events, inputs.simulated, inputs.settings);
    return true;
}

// The whole analysis in one pass: the series drawn, selected and tested, every accumulator fed
// (summary, tests, fitted trends, events, sweeps); state.range(0) series, quantiles exact up
// to 100000 and from histograms beyond.
void BM_study_pass(benchmark::State& state) {
    Inputs inputs;
    std::string error;
    if (!load_inputs(inputs, error)) state.SkipWithError(error.c_str());
    inputs.settings.series = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        Analysis analysis;
        if (!analyse_study(inputs.events, inputs.settings, without_files(), analysis, error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(analysis.expected_m);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_study_pass)->Arg(2000)->Arg(200000)->Unit(benchmark::kMillisecond);

// The sweeps alone over the run's 2000 series: 74 thresholds and 29 starts, exact quantiles,
// and (second argument 1) the histograms used beyond 100000 series.
void BM_sweeps(benchmark::State& state) {
    Inputs inputs;
    std::string error;
    if (!load_inputs(inputs, error)) state.SkipWithError(error.c_str());
    if (state.range(0) == 1) inputs.settings.exact_limit = 0;
    for (auto _ : state) {
        SweepAccumulator sweeps = begin_study_sweeps(inputs.events, inputs.settings);
        for (std::size_t k = 0; k < inputs.settings.series; ++k)
            add_series(sweeps, inputs.events.t, series_magnitudes(inputs.simulated, k));
        const Sweeps result = finish_sweeps(sweeps, 1.959963984540054);
        benchmark::DoNotOptimize(result.threshold.data());
    }
}
BENCHMARK(BM_sweeps)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_summarise_and_render(benchmark::State& state) {
    Inputs inputs;
    std::string error;
    if (!load_inputs(inputs, error)) state.SkipWithError(error.c_str());
    Analysis analysis;
    if (!analyse_study(inputs.events, inputs.settings, without_files(), analysis, error))
        state.SkipWithError(error.c_str());
    const ReportNames names{"r", "d", "f"};
    for (auto _ : state) {
        const Summary summary = summarise(inputs.results, inputs.recomputed);
        benchmark::DoNotOptimize(summary.u_mean);
        const std::string svg = render_svg(analysis);
        const std::string text = format_summary(analysis, names);
        const std::string json = format_json(analysis, names);
        benchmark::DoNotOptimize(svg.data());
        benchmark::DoNotOptimize(text.data());
        benchmark::DoNotOptimize(json.data());
    }
}
BENCHMARK(BM_summarise_and_render)->Unit(benchmark::kMicrosecond);

}  // namespace
