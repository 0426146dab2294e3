// A whole study from R: events read from a file or given as three vectors, the study run on R's
// own thread, and its outputs. While it runs, the study looks at the clock every few series and,
// at most every 0.1 s, checks for the user's interrupt and calls the progress function: an
// interrupt, or an error of that function, stops the study before its next series and goes on
// to R once the study has unwound, its results file removed.
#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "glue.hpp"
#include "poll.hpp"
#include "zorvi/text/messages.hpp"

namespace zorvi::r {

cpp11::sexp failure(const std::string& message, bool file, int code) {
    cpp11::writable::list value(
        {cpp11::as_sexp(message.c_str()), cpp11::as_sexp(file), cpp11::as_sexp(code)});
    value.names() = {"message", "file", "errno"};
    value.attr("class") = "zorvi_failure";
    return value;
}

namespace {

using StudyPointer = cpp11::external_pointer<Study>;

const Study& study_of(SEXP pointer) {
    const Study* study = StudyPointer(pointer).get();
    // A study read back from a saved session has lost its computed state.
    if (study == nullptr)
        throw Error(
            "this study's computed state does not outlive the R session that made it "
            "(a study read back from a file): run study() again");
    return *study;
}

double number(const cpp11::list& options, const char* name) {
    return cpp11::as_cpp<double>(options[name]);
}

std::string text(const cpp11::list& options, const char* name) {
    return cpp11::as_cpp<std::string>(options[name]);
}

// A data frame's time column: decimal years, or ISO 8601 text as the CSV reader takes it (a
// date, or a date-time with a zone), each converted to a decimal year and kept as written.
struct Times {
    std::vector<double> years;
    std::vector<std::string> written;  // empty for decimal years
    std::size_t bad = SIZE_MAX;        // the first time that is no ISO 8601 time
    std::string problem;
};

Times times_of(SEXP column) {
    Times times;
    if (TYPEOF(column) != STRSXP) {
        const std::span<const double> years = span_of(cpp11::doubles(column));
        times.years.assign(years.begin(), years.end());
        return times;
    }
    const cpp11::strings texts(column);
    for (R_xlen_t i = 0; i < texts.size(); ++i) {
        const cpp11::r_string cell = texts[i];
        std::string text = cell == NA_STRING ? std::string() : std::string(cell);
        double year = not_a_number;
        std::string problem;
        if (!iso_decimal_year(text, year, problem) && times.bad == SIZE_MAX) {
            times.bad = static_cast<std::size_t>(i);
            times.problem = detail::quoted_for_message(text) + " is " + problem;
        }
        times.years.push_back(year);
        times.written.push_back(std::move(text));
    }
    return times;
}

// The events of `options`: a file read as zorvi-report --data reads it (a CSV table when the
// columns were given or its name says so), or a data frame's columns as rows, named by labels
// when there are some.
EventData events_of(const cpp11::list& options, bool& shipped_winds) {
    const cpp11::strings columns(options["columns"]);
    const bool has_errors = columns.size() == 3;
    CsvColumns names{columns[0], columns[1], has_errors ? std::string(columns[2]) : ""};
    const double given_error = number(options, "standard_error");  // NaN: none
    if (options["path"] != R_NilValue) {
        const std::filesystem::path path(text(options, "path"));
        const bool csv = cpp11::as_cpp<bool>(options["csv"]) || names_csv_file(path);
        ReadOptions read;
        read.format = csv ? DataFormat::csv : DataFormat::free_format;
        read.columns = names;
        read.standard_error = given_error;
        read.names = r_argument_names;
        if (options["labels"] != R_NilValue) read.labels = text(options, "labels");
        EventData data = read_events(path, read);
        shipped_winds = holds_shipped_winds(path, csv, names);
        return data;
    }
    Times times = times_of(options["times"]);
    const auto values = [&](const char* name) { return span_of(cpp11::doubles(options[name])); };
    std::vector<std::string> labels;
    if (options["row_labels"] != R_NilValue)
        for (const cpp11::r_string label : cpp11::strings(options["row_labels"]))
            labels.emplace_back(label);
    EventData data = events_from(times.years, values("magnitudes"), values("standard_errors"),
                                 given_error, 1, std::move(labels));
    if (times.bad != SIZE_MAX)
        throw Error(event_place(data, text(options, "name"), times.bad) + "the time " +
                    times.problem);
    data.notes.times_written = std::move(times.written);
    if (options["event_labels"] != R_NilValue) {
        std::vector<std::string> event_labels;
        for (const cpp11::r_string label : cpp11::strings(options["event_labels"]))
            event_labels.emplace_back(label);
        label_events(data, event_labels, text(options, "label_column"));
    }
    shipped_winds = names.magnitude == CsvColumns{}.magnitude;
    return data;
}

StudySettings settings_of(const cpp11::list& options) {
    StudySettings settings;
    settings.threshold = number(options, "threshold");
    settings.start = number(options, "start");
    settings.end = number(options, "end");
    settings.series = static_cast<std::size_t>(number(options, "series"));
    settings.seed = static_cast<std::int32_t>(number(options, "seed"));
    settings.error_model =
        text(options, "error_model") == "posterior" ? ErrorModel::posterior : ErrorModel::observed;
    settings.floor = number(options, "floor");  // NaN: from the data
    settings.prior_scale = number(options, "prior_scale");
    const double bin_width = number(options, "bin_width");  // NaN: the default width, a year
    if (!std::isnan(bin_width)) {
        settings.bin_width = bin_width;
        settings.bin_width_given = true;
    }
    return settings;
}

}  // namespace
}  // namespace zorvi::r

using zorvi::r::guarded;

// Runs a whole study. `options` holds the R code's checked arguments: either `path`, `csv`,
// `columns` and `labels` (NULL or a column), or `times`, `magnitudes` and `standard_errors` with
// the `columns` they came from and the `event_labels` (NULL or text) of `label_column`; the
// settings; `name`, `results` (NULL or a path), `keep_series` and `progress`.
[[cpp11::register]] SEXP core_run_study(cpp11::list options) {
    using namespace zorvi;
    return guarded([&]() -> cpp11::sexp {
        bool shipped_winds = false;
        const EventData data = r::events_of(options, shipped_winds);
        StudySettings settings = r::settings_of(options);
        describe_magnitudes(data.events, shipped_winds, settings);

        r::Poll poll;
        poll.progress = options["progress"];
        StudyControl control;
        control.progress = std::ref(poll);
        control.progress_every = r::Poll::poll_every(data.events.t.size());
        control.stop = poll.stop.get_token();
        control.keep_series = cpp11::as_cpp<bool>(options["keep_series"]);
        control.names = r::r_argument_names;
        if (options["results"] != R_NilValue) control.results = r::text(options, "results");
        std::unique_ptr<Study> study;
        try {
            study = std::make_unique<Study>(
                run_study(data, settings, control, r::text(options, "name")));
        } catch (const Stopped&) {
            if (poll.kept) std::rethrow_exception(poll.kept);
            throw;
        }
        // The progress function called at the end may have failed too.
        if (poll.kept) std::rethrow_exception(poll.kept);
        return cpp11::sexp(static_cast<SEXP>(r::StudyPointer(study.release())));
    });
}

[[cpp11::register]] SEXP core_summary(SEXP study, std::string results) {
    return guarded(
        [&] { return cpp11::as_sexp(summary_text(zorvi::r::study_of(study), results)); });
}

[[cpp11::register]] SEXP core_json(SEXP study, std::string results) {
    return guarded([&] { return cpp11::as_sexp(json_text(zorvi::r::study_of(study), results)); });
}

// The HTML report: a whole page, or one element for another page (`fragment`).
[[cpp11::register]] SEXP core_html(SEXP study, std::string results, bool fragment) {
    return guarded([&] {
        return cpp11::as_sexp(
            html_report(zorvi::r::study_of(study), results,
                        fragment ? zorvi::HtmlForm::fragment : zorvi::HtmlForm::document));
    });
}

[[cpp11::register]] SEXP core_svg(SEXP study) {
    return guarded([&] { return cpp11::as_sexp(svg_figure(zorvi::r::study_of(study))); });
}

// The CSV text of every table, named by its file name.
[[cpp11::register]] SEXP core_tables(SEXP study) {
    return guarded([&] {
        const std::vector<zorvi::CsvTable> all = tables(zorvi::r::study_of(study));
        cpp11::writable::strings texts(static_cast<R_xlen_t>(all.size()));
        cpp11::writable::strings names(static_cast<R_xlen_t>(all.size()));
        for (std::size_t k = 0; k < all.size(); ++k) {
            texts[static_cast<R_xlen_t>(k)] = csv_text(all[k]);
            names[static_cast<R_xlen_t>(k)] = all[k].file_name;
        }
        texts.names() = names;
        return cpp11::sexp(texts);
    });
}

// Each kept series' m, u, P and rate ratio per decade, or NULL when the series were not kept.
[[cpp11::register]] SEXP core_series(SEXP pointer) {
    return guarded([&]() -> cpp11::sexp {
        const zorvi::Study& study = zorvi::r::study_of(pointer);
        const std::size_t n = study.series.size();
        if (n != study.analysis.settings.series) return R_NilValue;
        cpp11::writable::integers m(static_cast<R_xlen_t>(n));
        cpp11::writable::doubles u(static_cast<R_xlen_t>(n));
        cpp11::writable::doubles p(static_cast<R_xlen_t>(n));
        cpp11::writable::doubles ratio(static_cast<R_xlen_t>(n));
        for (std::size_t k = 0; k < n; ++k) {
            const auto i = static_cast<R_xlen_t>(k);
            m[i] = study.series[k].m;
            u[i] = study.series[k].u;
            p[i] = study.series[k].p;
            ratio[i] = study.rate_ratios[k];
        }
        cpp11::writable::list columns({m, u, p, ratio});
        columns.names() = {"m", "u", "p", "rate_ratio_per_decade"};
        return cpp11::sexp(columns);
    });
}

[[cpp11::register]] SEXP core_write_results(SEXP study, std::string path) {
    return guarded([&]() -> cpp11::sexp {
        write_results(zorvi::r::study_of(study), path);
        return R_NilValue;
    });
}

// ISO 8601 dates or date-times as decimal years, by the rule of the CSV reader.
[[cpp11::register]] SEXP core_decimal_years(cpp11::strings texts) {
    return guarded([&] {
        cpp11::writable::doubles years(texts.size());
        for (R_xlen_t i = 0; i < texts.size(); ++i) {
            const cpp11::r_string text = texts[i];
            years[i] =
                text == NA_STRING ? zorvi::not_a_number : zorvi::decimal_year(std::string(text));
        }
        return years;
    });
}
