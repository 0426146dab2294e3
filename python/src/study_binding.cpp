// A whole study from Python: events read from a file or given as arrays, the study run with the
// interpreter's lock released, and its outputs. While it runs, the study looks in every 0.1 s
// or so for Ctrl-C (and calls the caller's progress function): a pending KeyboardInterrupt, or
// an exception raised by that function, stops it before its next series and is raised once the
// study has unwound, its results file removed.
#include <pybind11/stl.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>

#include "bindings.hpp"
#include "poll.hpp"
#include "zorvi/api/api.hpp"
#include "zorvi/text/messages.hpp"

namespace zorvi::python {
namespace {

// A study's events, and whether they are the shipped table's winds (in kt, with categories).
struct Events {
    EventData data;
    bool shipped_winds = false;
};

bool named_csv(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name.size() >= 4 && name.ends_with(".csv");
}

// Throws unless a standard error given is a finite number, 0 or more (NaN: none given).
void check_standard_error(double standard_error) {
    std::string error;
    if (!std::isnan(standard_error) && !check_given_error(standard_error, error, python_names))
        throw Error(error);
}

// As zorvi-report --data reads a file: a CSV table when columns are named (three, or two with
// a standard error given) or the name ends in .csv, else the free format.
Events read_file(const std::string& path, const std::optional<std::vector<std::string>>& columns,
                 double standard_error, const std::optional<std::string>& labels) {
    check_standard_error(standard_error);
    ReadOptions options;
    options.standard_error = standard_error;
    options.names = python_names;
    if (columns) {
        options.format = DataFormat::csv;
        options.columns = {columns->at(0), columns->at(1),
                           columns->size() > 2 ? columns->at(2) : std::string()};
    }
    const std::filesystem::path file(path);
    const bool csv = columns.has_value() || named_csv(file.filename().string());
    if (labels) options.labels = *labels;
    Events events;
    {
        py::gil_scoped_release release;
        events.data = read_events(file, options);
    }
    events.shipped_winds = holds_shipped_winds(file, csv, options.columns);
    return events;
}

// Rows given as arrays: each named in messages by its position from 0 and, when there are
// labels, by its label. Times given as ISO 8601 texts keep them as written. No standard errors
// (None): every row takes the one given. The events' own labels, when given, come from the
// column `label_column`.
Events from_arrays(const Numbers& times, const Numbers& magnitudes,
                   const std::optional<Numbers>& errors, bool shipped_winds, double standard_error,
                   std::vector<std::string> labels, std::vector<std::string> times_written,
                   const std::vector<std::string>& event_labels, const std::string& label_column) {
    check_standard_error(standard_error);
    const std::span<const double> t = numbers_of(times, "times");
    std::vector<double> none;
    if (!errors) none.assign(t.size(), not_a_number);
    Events events{events_from(t, numbers_of(magnitudes, "magnitudes"),
                              errors ? numbers_of(*errors, "standard errors") : none,
                              standard_error, 0, std::move(labels)),
                  shipped_winds};
    events.data.notes.times_written = std::move(times_written);
    if (!event_labels.empty()) label_events(events.data, event_labels, label_column);
    return events;
}

// ISO 8601 texts as decimal years; the first that is none is named by its row, as the events
// are (`labels`: empty, or one a row), and by `column`.
py::array_t<double> decimal_years(const std::vector<std::optional<std::string>>& texts,
                                  const std::vector<std::string>& labels,
                                  const std::string& column) {
    py::array_t<double> years(static_cast<py::ssize_t>(texts.size()));
    double* out = years.mutable_data();
    EventData rows;
    rows.rows = true;
    rows.row_labels = labels;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        rows.lines.push_back(i);
        std::string problem = "missing";
        if (texts[i] && iso_decimal_year(*texts[i], out[i], problem)) continue;
        throw Error(event_place(rows, "events", i) + "the time " +
                    (texts[i] ? detail::quoted_for_message(*texts[i]) + " " : std::string()) +
                    "(column " + detail::quoted_for_message(column) + ") is " + problem);
    }
    return years;
}

std::unique_ptr<Study> study_of(const Events& events, const std::string& source, double threshold,
                                double start, double end, double series, double seed,
                                py::object progress, const std::optional<std::string>& results,
                                bool keep_series, const std::string& error_model, double floor,
                                double prior_scale, double bin_width) {
    std::string problem;
    if (!check_whole_setting(series, python_names.series, "number of series", 1,
                             static_cast<std::int64_t>(max_series), problem) ||
        !check_whole_setting(seed, python_names.seed, "seed", INT32_MIN, INT32_MAX, problem))
        throw Error(problem);
    StudySettings settings;
    settings.threshold = threshold;
    settings.start = start;
    settings.end = end;
    settings.series = static_cast<std::size_t>(series);
    settings.seed = static_cast<std::int32_t>(seed);
    if (error_model != "observed" && error_model != "posterior")
        throw Error("error_model: '" + error_model + "' is not 'observed' or 'posterior'");
    settings.error_model =
        error_model == "posterior" ? ErrorModel::posterior : ErrorModel::observed;
    settings.floor = floor;  // NaN: from the data
    settings.prior_scale = prior_scale;
    if (!std::isnan(bin_width)) {  // NaN: the default width, a year
        settings.bin_width = bin_width;
        settings.bin_width_given = true;
    }
    describe_magnitudes(events.data.events, events.shipped_winds, settings);

    Poll poll;
    poll.progress = std::move(progress);
    StudyControl control;
    control.progress = std::ref(poll);
    control.progress_every = Poll::poll_every(events.data.events.t.size());
    control.stop = poll.stop.get_token();
    control.keep_series = keep_series;
    control.names = python_names;
    if (results) control.results = *results;
    std::unique_ptr<Study> study;
    std::exception_ptr failure;
    {
        py::gil_scoped_release release;
        // The program's generator is one per process: studies of several threads take turns.
        static std::mutex one_at_a_time;
        const std::lock_guard turn(one_at_a_time);
        try {
            study = std::make_unique<Study>(run_study(events.data, settings, control, source));
        } catch (...) {
            failure = std::current_exception();
        }
    }
    poll.raise_kept();
    if (failure) std::rethrow_exception(failure);
    return study;
}

template <typename Value, typename Field>
py::array_t<Value> series_values(const Study& study, Field field) {
    py::array_t<Value> values(static_cast<py::ssize_t>(study.series.size()));
    Value* out = values.mutable_data();
    for (const TrendTest& test : study.series)
        *out++ = field(test);
    return values;
}

}  // namespace

void bind_study(py::module_& module) {
    py::class_<Events>(module, "Events", "A study's events, read and not yet checked.")
        .def_property_readonly("count",
                               [](const Events& events) { return events.data.events.t.size(); })
        .def_readonly("shipped_winds", &Events::shipped_winds);
    module.def("read_events", &read_file, py::arg("path"), py::arg("columns"), py::arg("se"),
               py::arg("labels"),
               "Every event of a data file, read as zorvi-report --data reads it.");
    module.def("events_from", &from_arrays, py::arg("times"), py::arg("magnitudes"),
               py::arg("standard_errors"), py::arg("shipped_winds"), py::arg("se"),
               py::arg("labels"), py::arg("times_written"), py::arg("event_labels"),
               py::arg("label_column"), "Events from sequences of equal length, as rows.");
    module.def("decimal_years", &decimal_years, py::arg("texts"), py::arg("labels"),
               py::arg("column"), "ISO 8601 times as decimal years, a row's named when it fails.");
    module.def(
        "decimal_year", [](const std::string& text) { return decimal_year(text); }, py::arg("text"),
        "An ISO 8601 date or date-time as a decimal year.");

    py::class_<Study>(module, "Study", "A finished study and every number of its analysis.")
        .def("summary", &summary_text, py::arg("results"), "The text summary.")
        .def("json", &json_text, py::arg("results"), "The JSON document.")
        .def(
            "tables",
            [](const Study& study) {
                std::vector<std::pair<std::string, std::string>> out;
                for (const CsvTable& table : tables(study))
                    out.emplace_back(table.file_name, csv_text(table));
                return out;
            },
            "(file name, CSV text) of every table.")
        .def("svg", &svg_figure, "The SVG figure.")
        .def(
            "html",
            [](const Study& study, const std::string& results, bool fragment) {
                return html_report(study, results,
                                   fragment ? HtmlForm::fragment : HtmlForm::document);
            },
            py::arg("results"), py::arg("fragment"),
            "The HTML report: a whole page, or one element for a notebook.")
        .def(
            "write_results",
            [](const Study& study, const std::string& path) {
                py::gil_scoped_release release;
                write_results(study, path);
            },
            py::arg("path"), "Writes the results file whole, or not at all.")
        .def_property_readonly("series_kept",
                               [](const Study& study) {
                                   return study.series.size() == study.analysis.settings.series;
                               })
        .def_property_readonly("m",
                               [](const Study& study) {
                                   return series_values<std::int32_t>(
                                       study, [](const TrendTest& t) { return t.m; });
                               })
        .def_property_readonly("u",
                               [](const Study& study) {
                                   return series_values<double>(
                                       study, [](const TrendTest& t) { return t.u; });
                               })
        .def_property_readonly("p",
                               [](const Study& study) {
                                   return series_values<double>(
                                       study, [](const TrendTest& t) { return t.p; });
                               })
        .def_property_readonly("rate_ratios", [](const Study& study) {
            return py::array_t<double>(static_cast<py::ssize_t>(study.rate_ratios.size()),
                                       study.rate_ratios.data());
        });
    module.def("run_study", &study_of, py::arg("events"), py::arg("source"), py::arg("threshold"),
               py::arg("start"), py::arg("end"), py::arg("series"), py::arg("seed"),
               py::arg("progress"), py::arg("results"), py::arg("keep_series"),
               py::arg("error_model"), py::arg("floor"), py::arg("prior_scale"),
               py::arg("bin_width"),
               "Runs a whole study with the interpreter's lock released; Ctrl-C stops it.");
}

}  // namespace zorvi::python
