// A whole study from Python: events read from a file or given as arrays, the study run with the
// interpreter's lock released, and its outputs. While it runs, the study looks in every 0.1 s
// or so for Ctrl-C (and calls the caller's progress function): a pending KeyboardInterrupt, or
// an exception raised by that function, stops it before its next series and is raised once the
// study has unwound, its results file removed.
#include <pybind11/stl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <tuple>

#include "bindings.hpp"
#include "zorvi/api/api.hpp"

namespace zorvi::python {
namespace {

using Columns = std::tuple<std::string, std::string, std::string>;

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

// As zorvi-report --data reads a file: a CSV table when columns are named or the name ends in
// .csv, else the free format.
Events read_file(const std::string& path, const std::optional<Columns>& columns) {
    ReadOptions options;
    if (columns) {
        options.format = DataFormat::csv;
        options.columns = {std::get<0>(*columns), std::get<1>(*columns), std::get<2>(*columns)};
    }
    const std::filesystem::path file(path);
    const bool csv = columns.has_value() || named_csv(file.filename().string());
    Events events;
    {
        py::gil_scoped_release release;
        events.data = read_events(file, options);
    }
    events.shipped_winds = holds_shipped_winds(file, csv, options.columns);
    return events;
}

Events from_arrays(const Numbers& times, const Numbers& magnitudes, const Numbers& errors,
                   bool shipped_winds) {
    return {events_from(numbers_of(times, "times"), numbers_of(magnitudes, "magnitudes"),
                        numbers_of(errors, "standard errors")),
            shipped_winds};
}

// Polls the interpreter from inside the study: every few series it looks at the
// clock, and at most every `interval` it takes the interpreter's lock to check for signals and
// call the progress function. The first Python error stops the study and is kept until it has
// unwound.
struct Poll {
    // Series between two looks at the clock: fewer for many events, whose series take longer.
    static std::size_t poll_every(std::size_t events) {
        return std::clamp<std::size_t>(65536 / std::max<std::size_t>(1, events), 1, 16);
    }
    static constexpr std::chrono::milliseconds interval{100};
    py::object progress;  // None or progress(done, total)
    std::stop_source stop;
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
    PyObject* type = nullptr;  // the Python error kept, owned
    PyObject* value = nullptr;
    PyObject* trace = nullptr;

    void operator()(std::size_t done, std::size_t total) {
        const auto now = std::chrono::steady_clock::now();
        if ((done < total && now - last < interval) || type != nullptr) return;
        last = now;
        py::gil_scoped_acquire lock;
        if (PyErr_CheckSignals() != 0) return keep_error();
        if (progress.is_none()) return;
        try {
            progress(done, total);
        } catch (py::error_already_set& error) {
            error.restore();
            keep_error();
        }
    }
    void keep_error() {
        PyErr_Fetch(&type, &value, &trace);
        stop.request_stop();
    }
    // With the lock held: raises the kept error, if any.
    void raise_kept() {
        if (type == nullptr) return;
        PyErr_Restore(type, value, trace);
        type = value = trace = nullptr;
        throw py::error_already_set();
    }
};

std::unique_ptr<Study> study_of(const Events& events, const std::string& source, double threshold,
                                double start, double end, long long series, long long seed,
                                py::object progress, const std::optional<std::string>& results,
                                bool keep_series, const std::string& error_model, double floor,
                                double prior_scale) {
    if (seed < INT32_MIN || seed > INT32_MAX)
        throw Error("the seed " + std::to_string(seed) + " must lie in -2^31 to 2^31 - 1");
    StudySettings settings;
    settings.threshold = threshold;
    settings.start = start;
    settings.end = end;
    settings.series = static_cast<std::size_t>(std::max(0LL, series));  // 0: refused as such
    settings.seed = static_cast<std::int32_t>(seed);
    if (error_model != "observed" && error_model != "posterior")
        throw Error("the error model '" + error_model + "' must be 'observed' or 'posterior'");
    settings.error_model =
        error_model == "posterior" ? ErrorModel::posterior : ErrorModel::observed;
    settings.floor = floor;  // NaN: from the data
    settings.prior_scale = prior_scale;
    describe_magnitudes(events.data.events, events.shipped_winds, settings);

    Poll poll;
    poll.progress = std::move(progress);
    StudyControl control;
    control.progress = std::ref(poll);
    control.progress_every = Poll::poll_every(events.data.events.t.size());
    control.stop = poll.stop.get_token();
    control.keep_series = keep_series;
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
    module.def("read_events", &read_file, py::arg("path"), py::arg("columns") = py::none(),
               "Every event of a data file, read as zorvi-report --data reads it.");
    module.def("events_from", &from_arrays, py::arg("times"), py::arg("magnitudes"),
               py::arg("standard_errors"), py::arg("shipped_winds"),
               "Events from three sequences of equal length.");

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
               "Runs a whole study with the interpreter's lock released; Ctrl-C stops it.");
}

}  // namespace zorvi::python
