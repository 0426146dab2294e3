// The whole report: read the results file and the data file, recompute, summarise, and write
// the figure.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "driver/run_files.hpp"
#include "report/report.hpp"

namespace zorvi::report {
namespace {

// Writes `text` to `path` through a temporary file beside it, so that a failed write leaves
// no half figure behind. False, with `error` saying why, when it cannot.
bool write_file_whole(const std::filesystem::path& path, const std::string& text,
                      std::string& error) {
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot write '" + path.string() + "': " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int write_errno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error =
            "cannot write '" + path.string() + "': " + std::strerror(written ? errno : write_errno);
        std::remove(temporary.c_str());
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        error = "cannot write '" + path.string() + "': " + ec.message();
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

// Writes every CSV table into `directory`, made when missing.
bool write_csv_tables(const std::filesystem::path& directory, const Analysis& analysis,
                      std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (ec) {
        error = "cannot make the directory '" + directory.string() + "': " + ec.message();
        return false;
    }
    for (const CsvTable& table : csv_tables(analysis))
        if (!write_file_whole(directory / table.file_name, csv_text(table), error)) return false;
    return true;
}

}  // namespace

ReportPaths paths_in(const std::filesystem::path& directory) {
    return {directory / driver::results_file_name, directory / driver::data_file_name,
            directory / figure_file_name};
}

ReportOutcome run_report(const ReportPaths& paths, const ReportOptions& options) {
    ReportOutcome outcome;
    outcome.status = status_failed;
    ReportNames names{paths.results.filename().string(), paths.data.filename().string(), {}};

    std::string text;
    Results results;
    if (!read_text_file(paths.results, text, outcome.error)) {
        outcome.error += " (run zorvi in this directory first)";
        return outcome;
    }
    if (!parse_results(text, names.results, static_cast<std::size_t>(driver::nsim), results,
                       outcome.error))
        return outcome;

    EventSeries events;
    if (!read_text_file(paths.data, text, outcome.error)) {
        outcome.error += " (the data file of the run, needed to recompute m, u and P)";
        return outcome;
    }
    if (!parse_event_data(text, names.data, events, outcome.error)) return outcome;

    StudySettings settings;
    settings.series = results.u.size();
    const SimulatedMagnitudes simulated = simulate_magnitudes(events, settings);
    const Recomputed recomputed = recompute(events, simulated, settings);
    const Summary summary = summarise(results, recomputed);
    if (options.figure) {
        if (!write_file_whole(paths.figure, render_svg(results, summary), outcome.error))
            return outcome;
        names.figure = paths.figure.filename().string();
    }

    const Analysis analysis = analyse(summary, events, simulated, settings);
    if (!options.csv_directory.empty() &&
        !write_csv_tables(options.csv_directory, analysis, outcome.error))
        return outcome;
    outcome.summary = options.json ? format_json(analysis, names) : format_summary(analysis, names);
    outcome.status = 0;
    return outcome;
}

}  // namespace zorvi::report
