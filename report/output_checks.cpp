// The files a report will write, checked before any input is read or any series simulated, so
// that a refused output costs nothing and changes nothing.
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>
#include <vector>

#include "driver/run_files.hpp"
#include "report/run_report.hpp"
#include "zorvi/figure/figure.hpp"
#include "zorvi/files/temporary_file.hpp"
#include "zorvi/outputs/outputs.hpp"

namespace zorvi::report {
namespace {

// A study's results file may replace neither its data file, nor the program's own files, nor
// the report's figure, nor a directory.
bool check_results_path(const ReportPaths& paths, std::string& error) {
    const std::string name = paths.results.filename().string();
    if (name.empty()) {
        error = "--results '" + paths.results.string() + "' names no file; name a results file";
        return false;
    }
    std::string clash;
    if (name == driver::results_file_name || name == driver::data_file_name)
        clash = "the program's own file of that name";
    else if (detail::same_file(paths.results, paths.data))
        clash = "the data file";
    else if (detail::same_file(paths.results, paths.figure) ||
             detail::same_file(paths.results, paths.png))
        clash = "the report's figure";
    else if (std::filesystem::is_directory(paths.results))
        clash = "a directory";
    if (clash.empty()) return true;
    error = "--results '" + paths.results.string() + "' would replace " + clash +
            "; name another results file";
    return false;
}

// A file the report writes besides the results file.
struct Output {
    std::filesystem::path path;
    std::string what;  // how the error names it
    std::string way_out;
    bool in_csv_directory = false;
};

std::vector<Output> outputs_besides_results(const ReportPaths& paths,
                                            const ReportOptions& options) {
    std::vector<Output> outputs;
    const std::string no_figure = "--no-figure leaves it out";
    if (options.figure) outputs.push_back({paths.figure, "the figure", no_figure});
    if (options.figure && options.png) outputs.push_back({paths.png, "the figure", no_figure});
    if (!options.html.empty())
        outputs.push_back({options.html, "--html '" + options.html.string() + "'",
                           "name another file for the HTML report"});
    if (!options.csv_directory.empty()) {
        const std::string csv = "--csv '" + options.csv_directory.string() + "': its table ";
        std::vector<std::string> names = csv_file_names();
        if (options.study.settings.error_model == ErrorModel::posterior)
            names.emplace_back(error_models_file_name);
        for (const std::string& name : names)
            outputs.push_back({options.csv_directory / name, csv + name,
                               "write the tables into another directory", true});
    }
    return outputs;
}

// No file the report writes may replace the data file, or the results file it reads or
// writes: a data file events.csv in the directory of --csv, say, would give way to a table.
bool check_outputs_spare_inputs(const ReportPaths& paths, const std::vector<Output>& outputs,
                                std::string& error) {
    const std::array<std::pair<const std::filesystem::path*, const char*>, 2> kept = {
        {{&paths.data, "the data file"}, {&paths.results, "the results file"}}};
    for (const Output& output : outputs) {
        for (const auto& [input, input_what] : kept) {
            if (!detail::same_file(output.path, *input)) continue;
            error = output.what + " would replace " + input_what + " '" + input->string() + "'; " +
                    output.way_out;
            return false;
        }
    }
    return true;
}

// The HTML report may replace neither the program's own files nor another file the report
// writes (the figure, a table; the results file is checked with the inputs).
bool check_html_path(const ReportOptions& options, const std::vector<Output>& outputs,
                     std::string& error) {
    if (options.html.empty()) return true;
    const std::string what = "--html '" + options.html.string() + "'";
    const std::string name = options.html.filename().string();
    std::string clash;
    if (name.empty())
        clash = "no file";
    else if (name == driver::results_file_name || name == driver::data_file_name)
        clash = "the program's own file of that name";
    for (const Output& output : outputs) {
        if (!clash.empty()) break;
        if (output.what != what && detail::same_file(output.path, options.html))
            clash = output.what;
    }
    if (clash.empty()) return true;
    error = what + (name.empty() ? " names " : " would replace ") + clash +
            "; name another file for the HTML report";
    return false;
}

// The tables' directory is a directory, or is made later.
bool check_csv_directory(const std::filesystem::path& directory, std::string& error) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(directory, ec);
    if (!std::filesystem::exists(status) || std::filesystem::is_directory(status)) return true;
    error = "--csv '" + directory.string() + "': not a directory; name a directory for the tables";
    return false;
}

// A new file can be made in the directory of `target`; with `made_later`, that directory may
// also be missing, as --csv makes it.
bool check_directory_writable(const std::filesystem::path& target, bool made_later,
                              std::string& error) {
    const std::filesystem::path parent = target.parent_path();
    const std::filesystem::path directory = parent.empty() ? "." : parent;
    if (::access(directory.c_str(), W_OK | X_OK) == 0 || (made_later && errno == ENOENT))
        return true;
    error = "cannot write '" + target.string() + "': " + std::strerror(errno);
    return false;
}

}  // namespace

bool check_outputs(const ReportPaths& paths, const ReportOptions& options,
                   std::filesystem::path& converter, std::string& error) {
    const bool study = options.study.requested;
    const std::vector<Output> outputs = outputs_besides_results(paths, options);
    if (!check_outputs_spare_inputs(paths, outputs, error)) return false;
    if (study && !check_results_path(paths, error)) return false;
    if (!check_html_path(options, outputs, error)) return false;
    if (!options.csv_directory.empty() && !check_csv_directory(options.csv_directory, error))
        return false;
    std::vector<std::pair<std::filesystem::path, bool>> targets;  // and whether in --csv
    if (study) targets.emplace_back(paths.results, false);
    for (const Output& output : outputs)
        targets.emplace_back(output.path, output.in_csv_directory);
    for (const auto& [target, in_csv_directory] : targets) {
        if (!detail::check_output_target(target, error) ||
            !check_directory_writable(target, in_csv_directory, error))
            return false;
    }
    if (!options.figure || !options.png) return true;
    converter = detail::find_converter();
    if (!converter.empty()) return true;
    error = "--png needs rsvg-convert (Debian package librsvg2-bin), which is not installed";
    return false;
}

}  // namespace zorvi::report
