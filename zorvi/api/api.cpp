// The one-call interface of the library over its parts: every failure becomes an exception
// carrying the command-line tool's message.
#include "zorvi/api/api.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <utility>

#include "zorvi/figure/figure.hpp"
#include "zorvi/outputs/writers.hpp"
#include "zorvi/study/error_model.hpp"
#include "zorvi/study/study.hpp"
#include "zorvi/text/messages.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi {
namespace {

// The system's reason why `path` cannot be read, or 0 when it can be opened.
int file_problem(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return errno;
    return S_ISDIR(status.st_mode) ? EISDIR : 0;
}

// Throws unless [start, end] is an interval of finite positive width holding every time.
void check_times(std::span<const double> times, double start, double end) {
    if (!(std::isfinite(start) && std::isfinite(end) && std::isfinite(end - start) &&
          end - start > 0.0))
        throw Error("the interval " + detail::shortest_text(start) + " to " +
                    detail::shortest_text(end) + " must have a finite positive width");
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (times[i] >= start && times[i] <= end) continue;
        throw Error("time " + std::to_string(i + 1) + " (" + detail::shortest_text(times[i]) +
                    ") lies outside the interval " + detail::shortest_text(start) + " to " +
                    detail::shortest_text(end));
    }
}

// The times counted in their bins, after the checks of times, interval and bin width.
BinnedCounts checked_counts(std::span<const double> times, double start, double end,
                            double bin_width) {
    check_times(times, start, end);
    std::string error;
    if (!check_bin_width(start, end, bin_width, error)) throw Error(error);
    return count_in_bins(times, bin_layout(start, end, bin_width));
}

// Throws when the results file `path` would replace the data file (none: `data_file` empty).
void check_not_data_file(const std::filesystem::path& path,
                         const std::filesystem::path& data_file) {
    if (data_file.empty() || !detail::same_file(path, data_file)) return;
    throw Error("the results file '" + path.string() +
                "' would replace the study's data file; name another results file");
}

}  // namespace

EventData read_events(const std::filesystem::path& path, const ReadOptions& options) {
    const bool csv = options.format == DataFormat::csv ||
                     (options.format == DataFormat::automatic && names_csv_file(path));
    EventData data;
    std::string error;
    const CsvReading reading{options.columns, options.standard_error, options.names,
                             options.labels};
    if (read_event_file(path, csv, reading, data, error)) {
        data.file = path;
        return data;
    }
    const int problem = file_problem(path);
    if (problem != 0) throw FileError(error, problem);
    throw Error(error);
}

EventData events_from(std::span<const double> times, std::span<const double> magnitudes,
                      std::span<const double> standard_errors, double standard_error,
                      std::size_t first_row, std::vector<std::string> row_labels) {
    if (magnitudes.size() != times.size() || standard_errors.size() != times.size())
        throw Error("the times, magnitudes and standard errors differ in length (" +
                    std::to_string(times.size()) + ", " + std::to_string(magnitudes.size()) + ", " +
                    std::to_string(standard_errors.size()) + ")");
    if (!row_labels.empty() && row_labels.size() != times.size())
        throw Error("the row labels differ in length from the events (" +
                    std::to_string(row_labels.size()) + ", " + std::to_string(times.size()) + ")");
    if (times.empty()) throw Error("no events");
    std::string error;
    if (!std::isnan(standard_error) && !check_given_error(standard_error, error))
        throw Error(error);
    EventData data;
    data.rows = true;
    data.row_labels = std::move(row_labels);
    const bool given = !std::isnan(standard_error);
    for (std::size_t i = 0; i < times.size(); ++i) {
        double error = standard_errors[i];
        if (given && std::isnan(error)) {
            error = standard_error;
            ++data.notes.took_given_error;
        }
        add_event(data, {times[i], magnitudes[i], error}, first_row + i);
    }
    if (given) data.notes.given_error = standard_error;
    return data;
}

void label_events(EventData& data, const std::vector<std::string>& labels,
                  std::string_view column) {
    if (labels.size() != data.events.t.size())
        throw Error("the labels differ in number from the events (" +
                    std::to_string(labels.size()) + ", " + std::to_string(data.events.t.size()) +
                    ")");
    data.notes.labels.clear();
    for (const std::string& label : labels)
        data.notes.labels.push_back(detail::display_label(label));
    data.notes.label_column = detail::display_label(column);
}

double decimal_year(std::string_view iso_time) {
    double year = 0.0;
    std::string problem;
    if (!iso_decimal_year(iso_time, year, problem))
        throw Error(detail::quoted_for_message(iso_time) + " is " + problem);
    return year;
}

Study run_study(const EventData& data, const StudySettings& asked, const StudyControl& control,
                std::string_view source) {
    std::string error;
    StudySettings settings = asked;  // with the error model's floor and scale from the data
    if (!check_settings(settings, error, control.names) ||
        !check_events(data, source, settings.start, settings.end, error, control.names) ||
        !resolve_error_model(data, source, settings, error, control.names))
        throw Error(error);

    Study study;
    study.source = std::string(source);
    study.data_file = data.file;
    std::vector<double> ratios;
    if (control.keep_series) {
        study.series.reserve(settings.series);
        ratios.reserve(settings.series);
    }
    // The results file, when asked for: begun before the first series, discarded unless whole.
    detail::ResultsWriter results;
    struct Discard {
        detail::TemporaryFile& file;
        ~Discard() { detail::discard_temporary(file); }
    } discard{results.file};
    const bool writes = !control.results.empty();
    if (writes) check_not_data_file(control.results, data.file);
    if (writes && !(detail::check_output_target(control.results, error) &&
                    detail::begin_results(control.results, results, error)))
        throw FileError(error, errno);

    bool stopped = false;
    int file_failed = -1;  // the system's error number once the results file fails
    const std::size_t every = std::max<std::size_t>(1, control.progress_every);
    PassSteps steps;
    // The values as the results file would show them, as the command-line tool counts them.
    steps.records_exact = settings.exact_quantiles();
    steps.record = [&](std::size_t k, const TrendTest& test, double& u, double& p,
                       std::string& step_error) {
        if (control.progress && k > 0 && k % every == 0) control.progress(k, settings.series);
        if (control.stop.stop_requested()) {
            stopped = true;
            step_error = "the study was stopped after " + std::to_string(k) + " series";
            return false;
        }
        if (writes) {
            if (detail::write_record(results, test.u, test.p, steps.records_exact, u, p,
                                     step_error))
                return true;
            file_failed = errno;
            return false;
        }
        u = test.u;
        p = test.p;
        if (steps.records_exact) detail::record_as_read(test.u, test.p, u, p);
        return true;
    };
    if (control.keep_series) {
        steps.row = [&](std::size_t, const TrendTest& test, double ratio, std::string&) {
            study.series.push_back(test);
            ratios.push_back(ratio);
            return true;
        };
    }
    if (!analyse_study(data.events, settings, steps, study.analysis, error)) {
        if (stopped) throw Stopped(error);
        if (file_failed >= 0) throw FileError(error, file_failed);
        throw Error(error);
    }
    if (writes && !(detail::finish_results(results, error) &&
                    detail::commit_together({&results.file}, error)))
        throw FileError(error, errno);
    if (control.progress) control.progress(settings.series, settings.series);
    study.rate_ratios = std::move(ratios);
    study.analysis.input = data.notes;
    return study;
}

namespace {

ReportNames names_of(const Study& study, std::string_view results) {
    return {std::string(results), study.source, {}, true};
}

}  // namespace

std::string summary_text(const Study& study, std::string_view results) {
    return format_summary(study.analysis, names_of(study, results));
}

std::string json_text(const Study& study, std::string_view results) {
    return format_json(study.analysis, names_of(study, results));
}

std::vector<CsvTable> tables(const Study& study) {
    std::vector<CsvTable> out = csv_tables(study.analysis);
    if (!study.series.empty())
        out.insert(out.begin() + 3, series_table(study.series, study.rate_ratios));
    return out;
}

std::string svg_figure(const Study& study) {
    return render_svg(study.analysis);
}

std::string html_report(const Study& study, std::string_view results, HtmlForm form) {
    return format_html(study.analysis, names_of(study, results), form);
}

void write_results(const Study& study, const std::filesystem::path& path) {
    if (study.series.size() != study.analysis.settings.series)
        throw Error("the results file needs every series; run the study with keep_series");
    check_not_data_file(path, study.data_file);
    std::string error;
    detail::ResultsWriter writer;
    double u = 0.0;
    double p = 0.0;
    bool written =
        detail::check_output_target(path, error) && detail::begin_results(path, writer, error);
    for (std::size_t k = 0; written && k < study.series.size(); ++k)
        written =
            detail::write_record(writer, study.series[k].u, study.series[k].p, false, u, p, error);
    if (written && detail::finish_results(writer, error) &&
        detail::commit_together({&writer.file}, error))
        return;
    detail::discard_temporary(writer.file);
    throw FileError(error, errno);
}

CoxLewisResult cox_lewis(std::span<const double> times, double start, double end) {
    check_times(times, start, end);
    const TrendTest test = cox_lewis_test(times, start, end);
    const TestStatistics all = trend_test_statistics(times, test, start, end);
    return {test.m, test.u, test.p, all[test_cox_lewis_two_sided].p_value};
}

TrendFitResult trend_fit(std::span<const double> times, double start, double end,
                         double confidence_level) {
    check_times(times, start, end);
    if (!(confidence_level > 0.0 && confidence_level < 1.0))
        throw Error("the confidence level " + detail::shortest_text(confidence_level) +
                    " must lie between 0 and 1");
    const TrendFit fit = fit_trend(times, start, end, confidence_level);
    TrendFitResult result;
    result.beta_per_year = fit.beta;
    result.rate_ratio_per_decade = rate_ratio_per_decade(fit.beta);
    result.beta_interval = fit.beta_95;
    result.rate_ratio_interval = {rate_ratio_per_decade(fit.beta_95.low),
                                  rate_ratio_per_decade(fit.beta_95.high)};
    result.confidence_level = confidence_level;
    return result;
}

MilHdbk189Result mil_hdbk_189(std::span<const double> times, double start, double end) {
    check_times(times, start, end);
    const TestStatistics all =
        trend_test_statistics(times, cox_lewis_test(times, start, end), start, end);
    const Estimate shape = mil_hdbk_189_shape(times, start, end);
    return {all[test_mil_hdbk_189].statistic, all[test_mil_hdbk_189].p_value, shape.value,
            shape.interval};
}

LewisRobinsonResult lewis_robinson(std::span<const double> times, double start, double end) {
    check_times(times, start, end);
    const TestStatistics all =
        trend_test_statistics(times, cox_lewis_test(times, start, end), start, end);
    return {all[test_lewis_robinson].statistic, all[test_lewis_robinson].p_value};
}

double detectable_rate_ratio(std::int32_t m, double start, double end, double power, double alpha) {
    check_times({}, start, end);
    if (m < 0) throw Error("the number of events m must not be negative");
    if (!(power > 0.0 && power < 1.0) || !(alpha > 0.0 && alpha < 0.5))
        throw Error("the power must lie between 0 and 1, and alpha between 0 and 0.5");
    return rate_ratio_per_decade(detectable_beta(m, end - start, critical_u(alpha), power));
}

BinnedCounts binned_counts(std::span<const double> times, double start, double end,
                           double bin_width) {
    return checked_counts(times, start, end, bin_width);
}

DispersionCheck dispersion(std::span<const double> times, double start, double end,
                           double bin_width) {
    return check_dispersion(checked_counts(times, start, end, bin_width));
}

ClusteredTrendTest quasi_poisson_trend(std::span<const double> times, double start, double end,
                                       double bin_width) {
    return quasi_poisson_test(check_dispersion(checked_counts(times, start, end, bin_width)));
}

ClusteredTrendTest negative_binomial_trend(std::span<const double> times, double start, double end,
                                           double bin_width) {
    return negative_binomial_test(checked_counts(times, start, end, bin_width));
}

ClusteredTrendTest permutation_trend(std::span<const double> times, double start, double end,
                                     double bin_width, std::size_t permutations, std::int64_t seed,
                                     const PermutationControl& control) {
    const BinnedCounts counts = checked_counts(times, start, end, bin_width);
    if (permutations < 1 || permutations > max_permutations)
        throw Error("the number of permutations must be from 1 to " +
                    std::to_string(max_permutations));
    bool stopped = false;
    const auto look = [&](std::size_t done, std::size_t total) {
        if (control.progress) control.progress(done, total);
        stopped = control.stop.stop_requested();
        return !stopped;
    };
    ClusteredTrendTest test = permutation_test(counts, permutations, seed, look);
    if (stopped) throw Stopped("the permutation test was " + test.reason);
    return test;
}

}  // namespace zorvi
