// The whole report: read the inputs, make or check the simulated series in one pass, and write
// the figure, the tables and the summary.
#include <algorithm>
#include <array>
#include <cmath>
#include <system_error>
#include <utility>
#include <vector>

#include "driver/run_files.hpp"
#include "report/report.hpp"
#include "report/report_impl.hpp"

namespace zorvi::report {
namespace {

constexpr mode_t output_mode = 0666;  // less the umask, as for any file a user makes

// Writes `text` to `path` whole or not at all. False, with `error` saying why, when it cannot.
bool write_file_whole(const std::filesystem::path& path, const std::string& text,
                      std::string& error) {
    detail::TemporaryFile file;
    return detail::create_temporary(path, output_mode, file, error) &&
           detail::write_temporary(file, text, error) && detail::commit_temporary(file, error);
}

// Writes every CSV table made at the end into `directory`.
bool write_csv_tables(const std::filesystem::path& directory, const Analysis& analysis,
                      std::string& error) {
    for (const CsvTable& table : csv_tables(analysis))
        if (!write_file_whole(directory / table.file_name, csv_text(table), error)) return false;
    return true;
}

bool make_directory(const std::filesystem::path& directory, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (!ec) return true;
    error = "cannot make the directory '" + directory.string() + "': " + ec.message();
    return false;
}

// The settings a study may be given, checked before anything is read.
bool check_settings(const StudySettings& settings, std::string& error) {
    if (!std::isfinite(settings.threshold)) {
        error = "--threshold: the threshold must be a finite number";
    } else if (!std::isfinite(settings.start) || !std::isfinite(settings.end) ||
               !(settings.start < settings.end)) {
        error = "--interval: the start " + detail::shortest_text(settings.start) +
                " must be a finite number before the end " + detail::shortest_text(settings.end);
    } else if (!std::isfinite(settings.end - settings.start)) {
        error = "--interval: the start " + detail::shortest_text(settings.start) + " and the end " +
                detail::shortest_text(settings.end) +
                " lie too far apart; the width, end - start, must be a finite number";
    } else if (settings.series < 1 || settings.series > max_series) {
        error = "--series: the number of series must be from 1 to " + std::to_string(max_series);
    } else {
        return true;
    }
    return false;
}

// True when `a` and `b` name the same file, or would once written.
bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) return true;
    return std::filesystem::weakly_canonical(a, ec) == std::filesystem::weakly_canonical(b, ec);
}

// A study's results file may replace neither its data file, nor the program's own files, nor
// the report's figure.
bool check_results_path(const ReportPaths& paths, std::string& error) {
    const std::string name = paths.results.filename().string();
    if (name.empty()) {
        error = "--results '" + paths.results.string() + "' names no file; name a results file";
        return false;
    }
    std::string clash;
    if (name == driver::results_file_name || name == driver::data_file_name)
        clash = "the program's own file of that name";
    else if (same_file(paths.results, paths.data))
        clash = "the data file";
    else if (same_file(paths.results, paths.figure) || same_file(paths.results, paths.png))
        clash = "the report's figure";
    else if (std::filesystem::is_directory(paths.results))
        clash = "a directory";
    if (clash.empty()) return true;
    error = "--results '" + paths.results.string() + "' would replace " + clash +
            "; name another results file";
    return false;
}

// No file the report writes may replace the data file, or the results file it reads or
// writes: a data file events.csv in the directory of --csv, say, would give way to a table.
bool check_outputs_spare_inputs(const ReportPaths& paths, const ReportOptions& options,
                                std::string& error) {
    struct Output {
        std::filesystem::path path;
        std::string what;  // how the error names it
        std::string way_out;
    };
    std::vector<Output> outputs;
    const std::string no_figure = "--no-figure leaves it out";
    if (options.figure) outputs.push_back({paths.figure, "the figure", no_figure});
    if (options.figure && options.png) outputs.push_back({paths.png, "the figure", no_figure});
    if (!options.csv_directory.empty()) {
        const std::string csv = "--csv '" + options.csv_directory.string() + "': its table ";
        for (const std::string& name : csv_file_names())
            outputs.push_back({options.csv_directory / name, csv + name,
                               "write the tables into another directory"});
    }
    const std::array<std::pair<const std::filesystem::path*, const char*>, 2> kept = {
        {{&paths.data, "the data file"}, {&paths.results, "the results file"}}};
    for (const Output& output : outputs) {
        for (const auto& [input, input_what] : kept) {
            if (!same_file(output.path, *input)) continue;
            error = output.what + " would replace " + input_what + " '" + input->string() + "'; " +
                    output.way_out;
            return false;
        }
    }
    return true;
}

// The magnitudes' unit, classes and sweep range: the shipped table's winds and categories, or
// for other data the data's own range.
void describe_magnitudes(const ReportPaths& paths, const StudyOptions& study,
                         const EventSeries& events, StudySettings& settings) {
    const bool shipped = study.csv ? study.columns.magnitude == CsvColumns{}.magnitude
                                   : paths.data.filename() == driver::data_file_name;
    if (shipped) return;
    settings.magnitude_unit = "";
    settings.class_bounds = {};
    settings.sweep_low = *std::min_element(events.x.begin(), events.x.end());
    settings.sweep_high = *std::max_element(events.x.begin(), events.x.end());
}

// The inputs of a study: its data file, read and checked against its settings.
bool read_study_data(const ReportPaths& paths, const StudyOptions& study, EventSeries& events,
                     StudySettings& settings, std::string& error) {
    settings = study.settings;
    if (!check_settings(settings, error) || !check_results_path(paths, error)) return false;
    std::string text;
    if (!read_text_file(paths.data, text, error)) return false;
    const std::string name = paths.data.string();
    EventData data;
    const bool parsed = study.csv ? parse_csv_events(text, name, study.columns, data, error)
                                  : parse_free_format_events(text, name, data, error);
    if (!parsed || !check_events(data, name, settings, error)) return false;
    events = std::move(data.events);
    describe_magnitudes(paths, study, events, settings);
    return true;
}

// The inputs of a finished run: its results file and its data file, read as the program
// reads it.
bool read_finished_run(const ReportPaths& paths, Results& results, EventSeries& events,
                       std::string& error) {
    std::string text;
    if (!read_text_file(paths.results, text, error)) {
        error += " (run zorvi in this directory first)";
        return false;
    }
    if (!parse_results(text, paths.results.filename().string(),
                       static_cast<std::size_t>(driver::nsim), results, error))
        return false;
    if (!read_text_file(paths.data, text, error)) {
        error += " (the data file of the run, needed to recompute m, u and P)";
        return false;
    }
    return parse_event_data(text, paths.data.filename().string(), events, error);
}

// The files a pass writes as it goes, given up together when anything fails.
struct PassFiles {
    detail::ResultsWriter results;
    detail::SeriesTableWriter series;
    ~PassFiles() {
        detail::discard_temporary(results.file);
        detail::discard_temporary(series.file);
    }
};

}  // namespace

ReportPaths paths_in(const std::filesystem::path& directory) {
    return {directory / driver::results_file_name, directory / driver::data_file_name,
            directory / figure_file_name, directory / png_file_name};
}

ReportOutcome run_report(const ReportPaths& paths, const ReportOptions& options) {
    ReportOutcome outcome;
    outcome.status = status_failed;
    std::string& error = outcome.error;
    const bool study = options.study.requested;
    ReportNames names{study ? paths.results.string() : paths.results.filename().string(),
                      study ? paths.data.string() : paths.data.filename().string(),
                      {},
                      study};

    if (!check_outputs_spare_inputs(paths, options, error)) return outcome;
    EventSeries events;
    StudySettings settings;
    Results results;
    PassFiles files;
    PassSteps steps;
    if (study) {
        if (!read_study_data(paths, options.study, events, settings, error) ||
            !detail::begin_results(paths.results, files.results, error))
            return outcome;
        // With exact quantiles the values are read back from each record; otherwise only
        // the counts need the file's rounding, and they apply it themselves.
        steps.records_exact = settings.exact_quantiles();
        steps.record = [&](std::size_t, const TrendTest& test, double& u, double& p,
                           std::string& step_error) {
            return detail::write_record(files.results, test.u, test.p, steps.records_exact, u, p,
                                        step_error);
        };
    } else {
        if (!read_finished_run(paths, results, events, error)) return outcome;
        settings.series = results.u.size();
        steps.records_read = true;
        steps.record = [&](std::size_t k, const TrendTest&, double& u, double& p, std::string&) {
            u = results.u[k];
            p = results.p[k];
            return true;
        };
    }

    const bool tables = !options.csv_directory.empty();
    if (tables) {
        if (!make_directory(options.csv_directory, error) ||
            !detail::begin_series_table(options.csv_directory, files.series, error))
            return outcome;
        steps.row = [&](std::size_t k, const TrendTest& test, double ratio,
                        std::string& step_error) {
            return detail::add_series_row(files.series, k, test, ratio, step_error);
        };
    }
    if (options.progress) steps.progress = detail::progress_bar(settings.series, events.x.size());

    Analysis analysis;
    if (!analyse_study(events, settings, steps, analysis, error)) return outcome;
    if (study && !detail::finish_results(files.results, error)) return outcome;
    if (options.figure) {
        if (!write_file_whole(paths.figure, render_svg(analysis), error)) return outcome;
        names.figure = paths.figure.filename().string();
        if (options.png && !detail::convert_to_png(paths.figure, paths.png, error)) return outcome;
    }
    if (tables && (!detail::finish_series_table(files.series, error) ||
                   !write_csv_tables(options.csv_directory, analysis, error)))
        return outcome;
    outcome.summary = options.json ? format_json(analysis, names) : format_summary(analysis, names);
    outcome.status = 0;
    return outcome;
}

}  // namespace zorvi::report
