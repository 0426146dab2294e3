// The whole report: read the inputs, make or check the simulated series in one pass, and write
// the figure, the tables and the summary.
#include <algorithm>
#include <array>
#include <cmath>
#include <system_error>
#include <utility>
#include <vector>

#include "driver/run_files.hpp"
#include "report/run_report.hpp"
#include "zorvi/events/input_stream.hpp"
#include "zorvi/figure/figure.hpp"
#include "zorvi/html/html.hpp"
#include "zorvi/outputs/outputs.hpp"
#include "zorvi/outputs/writers.hpp"
#include "zorvi/study/error_model.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi::report {
namespace {

// Writes `text` whole into a temporary file for `path`, to be committed with the others.
bool write_whole(const std::filesystem::path& path, const std::string& text,
                 detail::TemporaryFile& file, std::string& error) {
    return detail::create_temporary(path, file, error) &&
           detail::write_temporary(file, text, error);
}

bool make_directory(const std::filesystem::path& directory, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (!ec) return true;
    error = "cannot make the directory '" + directory.string() + "': " + ec.message();
    return false;
}

// The inputs of a study: its data file, read and checked against its settings.
bool read_study_data(const ReportPaths& paths, const StudyOptions& study, EventData& data,
                     StudySettings& settings, std::string& error) {
    settings = study.settings;
    if (!check_settings(settings, error)) return false;
    if (!read_event_file(paths.data, study.csv, study.reading, data, error) ||
        !check_events(data, paths.data.string(), settings.start, settings.end, error) ||
        !resolve_error_model(data, paths.data.string(), settings, error))
        return false;
    describe_magnitudes(
        data.events, holds_shipped_winds(paths.data, study.csv, study.reading.columns), settings);
    return true;
}

// The inputs of a finished run: its results file and its data file, read as the program
// reads it.
bool read_finished_run(const ReportPaths& paths, Results& results, EventSeries& events,
                       std::string& error) {
    const auto parse_results_file = [&](InputStream& in) {
        return parse_results(in, paths.results.filename().string(),
                             static_cast<std::size_t>(driver::nsim), results, error);
    };
    if (!read_input(paths.results, parse_results_file, error,
                    " (run zorvi in this directory first)"))
        return false;
    const auto parse_data_file = [&](InputStream& in) {
        return parse_event_data(in, paths.data.filename().string(), events, error);
    };
    return read_input(paths.data, parse_data_file, error,
                      " (the data file of the run, needed to recompute m, u and P)");
}

// Every file a report writes, under temporary names until all are whole; given up together
// when anything fails.
struct ReportFiles {
    detail::ResultsWriter results;
    detail::SeriesTableWriter series;
    detail::TemporaryFile figure;
    detail::TemporaryFile png;
    detail::TemporaryFile html;
    std::vector<detail::TemporaryFile> tables;
    std::vector<detail::TemporaryFile*> begun() {
        std::vector<detail::TemporaryFile*> files = {&results.file, &figure, &png, &html,
                                                     &series.file};
        for (detail::TemporaryFile& table : tables)
            files.push_back(&table);
        std::erase_if(files, [](const detail::TemporaryFile* file) { return file->path.empty(); });
        return files;
    }
    ~ReportFiles() {
        for (detail::TemporaryFile* file : begun())
            detail::discard_temporary(*file);
    }
};

// Writes the rest of every file asked for into its temporary file: the results and series.csv
// were written as the series were made. The HTML report names the files as the summary will
// once all are in place.
bool write_outputs(const ReportPaths& paths, const ReportOptions& options,
                   const std::filesystem::path& converter, const Analysis& analysis,
                   ReportNames names, ReportFiles& files, std::string& error) {
    if (options.study.requested && !detail::finish_results(files.results, error)) return false;
    if (options.figure) {
        if (!write_whole(paths.figure, render_svg(analysis), files.figure, error)) return false;
        if (options.png && !(detail::create_temporary(paths.png, files.png, error) &&
                             detail::convert_to_png(converter, files.figure, files.png, error)))
            return false;
    }
    if (!options.html.empty()) {
        if (options.figure) names.figure = paths.figure.filename().string();
        if (!write_whole(options.html, format_html(analysis, names), files.html, error))
            return false;
    }
    if (options.csv_directory.empty()) return true;
    if (!detail::finish_series_table(files.series, error)) return false;
    const std::vector<CsvTable> tables = csv_tables(analysis);
    files.tables.resize(tables.size());
    for (std::size_t k = 0; k < tables.size(); ++k)
        if (!write_whole(options.csv_directory / tables[k].file_name, csv_text(tables[k]),
                         files.tables[k], error))
            return false;
    return true;
}

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

    std::filesystem::path converter;
    if (!check_outputs(paths, options, converter, error)) return outcome;
    EventData data;
    EventSeries& events = data.events;
    StudySettings settings;
    Results results;
    ReportFiles files;
    PassSteps steps;
    if (study) {
        if (!read_study_data(paths, options.study, data, settings, error) ||
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
        // The program's own study, with the sweeps and classes the options give.
        settings = options.study.settings;
        if (!check_settings(settings, error) || !read_finished_run(paths, results, events, error))
            return outcome;
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
    if (options.progress) steps.progress = progress_bar(settings.series, events.x.size());

    Analysis analysis;
    if (!analyse_study(events, settings, steps, analysis, error)) return outcome;
    analysis.input = std::move(data.notes);
    // The summary is given even when the files cannot be written: the run's answer stands,
    // and the status and error say that no file was.
    bool written = write_outputs(paths, options, converter, analysis, names, files, error);
    if (!written) error += "; no file was written";
    written = written && detail::commit_together(files.begun(), error);
    if (written && options.figure) names.figure = paths.figure.filename().string();
    names.files_written = written;
    outcome.summary = options.json ? format_json(analysis, names) : format_summary(analysis, names);
    outcome.status = written ? 0 : status_failed;
    return outcome;
}

}  // namespace zorvi::report
