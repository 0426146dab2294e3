// The tables of the analysis as tidy CSV files, readable as they stand by data-frame readers.
// Each table is built by one function; a new table is one more function and one more entry
// in `tables`.
#include <array>
#include <cmath>
#include <utility>

#include "zorvi/outputs/outputs.hpp"
#include "zorvi/outputs/summary_text.hpp"
#include "zorvi/outputs/writers.hpp"
#include "zorvi/study/error_model.hpp"

namespace zorvi {
namespace {

// Empty for NaN: both common data-frame readers take an empty numeric cell as missing.
std::string cell(double value) {
    if (std::isnan(value)) return "";
    if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
    return detail::shortest_text(value);
}

std::string cell(std::size_t value) {
    return std::to_string(value);
}

std::string cell(bool value) {
    return value ? "TRUE" : "FALSE";
}

std::string cell(std::string_view text) {
    return std::string(text);
}

// A string literal is text: without this it would convert to bool, not to a string view.
std::string cell(const char* text) {
    return std::string(text);
}

CsvTable tests_table(const Analysis& analysis) {
    CsvTable table{
        "tests.csv",
        {"method", "alternative", "statistic", "p_value", "estimate_of", "estimate", "conf_low",
         "conf_high", "simulated_share_p_below_005", "simulated_conf_low", "simulated_conf_high"},
        {}};
    for (const TestRow& row : analysis.tests) {
        table.rows.push_back(
            {cell(row.name.method), cell(row.name.alternative), cell(row.observed.statistic),
             cell(row.observed.p_value), cell(row.name.estimate_of), cell(row.estimate.value),
             cell(row.estimate.interval.low), cell(row.estimate.interval.high),
             cell(row.simulated_below_05.share), cell(row.simulated_below_05.interval.low),
             cell(row.simulated_below_05.interval.high)});
    }
    // The tests that allow for clustering, rising and two-sided; their simulated shares are
    // not computed (the quasi-Poisson share, in each series' own direction, is in the JSON).
    for (std::size_t k = 0; k < clustered_test_count; ++k) {
        const ClusteredTrendTest& test = analysis.clustering.tests[k];
        const bool estimated = k == test_quasi_poisson;
        for (const auto& [alternative, p] :
             {std::pair<std::string_view, double>{"increasing", test.p_value},
              std::pair<std::string_view, double>{"two-sided", test.p_value_two_sided}}) {
            table.rows.push_back({cell(clustered_test_names[k]), cell(alternative),
                                  cell(test.statistic), cell(p),
                                  cell(std::string_view(estimated ? "beta_per_year" : "")),
                                  cell(estimated ? test.estimate : not_a_number), "", "", "", "",
                                  ""});
        }
    }
    return table;
}

// The observed series' selected events in the bins of the clustering check, with the mean of
// each under the fitted trend.
CsvTable bins_table(const Analysis& analysis) {
    const BinnedCounts& counts = analysis.clustering.counts;
    const std::vector<double>& fitted = analysis.clustering.observed.fitted;
    CsvTable table{"bins.csv", {"start", "end", "exposure", "centre", "count", "fitted_mean"}, {}};
    for (std::size_t k = 0; k < counts.counts.size(); ++k) {
        table.rows.push_back({cell(counts.lower[k]), cell(counts.upper[k]),
                              cell(counts.exposure[k]), cell(counts.centre[k]),
                              cell(counts.counts[k]),
                              cell(fitted.empty() ? not_a_number : fitted[k])});
    }
    return table;
}

// Each event; its time also as written, when the times were ISO 8601 times, and its label,
// when the events have labels.
CsvTable events_table(const Analysis& analysis) {
    const std::vector<std::string>& written = analysis.input.times_written;
    const std::vector<std::string>& labels = analysis.input.labels;
    CsvTable table{"events.csv", {"time"}, {}};
    if (!written.empty()) table.columns.push_back("time_written");
    if (!labels.empty()) table.columns.push_back("label");
    for (const char* column :
         {"magnitude", "stderr", "selected_observed", "selected_share", "selection_probability"})
        table.columns.push_back(column);
    for (std::size_t i = 0; i < analysis.events.size(); ++i) {
        const EventRow& row = analysis.events[i];
        std::vector<std::string> cells = {cell(row.time)};
        if (!written.empty()) cells.push_back(written[i]);
        if (!labels.empty()) cells.push_back(labels[i]);
        cells.insert(cells.end(),
                     {cell(row.magnitude), cell(row.standard_error), cell(row.selected_observed),
                      cell(row.selected_share), cell(row.selection_probability)});
        table.rows.push_back(std::move(cells));
    }
    return table;
}

CsvTable m_counts_table(const Analysis& analysis) {
    const MCounts& counts = analysis.summary.m_counts;
    std::size_t total = 0;
    for (std::size_t count : counts)
        total += count;
    CsvTable table{"m_counts.csv", {"m", "series", "share"}, {}};
    for (std::size_t m = 0; m < counts.size(); ++m) {
        if (counts[m] == 0) continue;
        table.rows.push_back({cell(m), cell(counts[m]),
                              cell(static_cast<double>(counts[m]) / static_cast<double>(total))});
    }
    return table;
}

// Both error models side by side, then the posterior model over the prior scale; made only
// under the posterior model.
CsvTable error_models_table(const Analysis& analysis) {
    CsvTable table{std::string(error_models_file_name),
                   {"comparison", "model", "scale_factor", "prior_scale", "expected_m", "mean_m",
                    "share_p_below_005", "conf_low", "conf_high", "rate_ratio_median",
                    "rate_ratio_q025", "rate_ratio_q975", "rate_ratio_series"},
                   {}};
    const auto add = [&](const char* comparison, const ModelFigures& figures) {
        table.rows.push_back(
            {cell(comparison), cell(error_model_name(figures.model)), cell(figures.scale_factor),
             cell(figures.prior_scale), cell(figures.expected_m), cell(figures.mean_m),
             cell(figures.below_05.share), cell(figures.below_05.interval.low),
             cell(figures.below_05.interval.high), cell(figures.ratio.median),
             cell(figures.ratio.q025), cell(figures.ratio.q975), cell(figures.fits)});
    };
    for (const ModelFigures& figures : analysis.error_models.models)
        add("models", figures);
    for (const ModelFigures& figures : analysis.error_models.prior_scales)
        add("prior_scale", figures);
    return table;
}

// One row per point of a sweep; the first column is the point's place, `place`.
CsvTable sweep_table(std::string file_name, const char* place,
                     const std::vector<SweepPoint>& points) {
    CsvTable table{
        std::move(file_name),
        {place, "observed_m", "observed_u", "observed_p", "share_p_below_005", "share_conf_low",
         "share_conf_high", "p_q025", "p_median", "p_q975", "series_without_event", "phi",
         "quasi_poisson_p"},
        {}};
    const bool by_threshold = std::string_view(place) == "threshold";
    for (const SweepPoint& point : points) {
        table.rows.push_back(
            {cell(by_threshold ? point.threshold : point.start), std::to_string(point.observed_m),
             cell(point.observed_u), cell(point.observed_p), cell(point.share_05),
             cell(point.share_05_95.low), cell(point.share_05_95.high), cell(point.p_q025),
             cell(point.p_median), cell(point.p_q975), cell(point.without_event), cell(point.phi),
             cell(point.quasi_poisson_p)});
    }
    return table;
}

CsvTable threshold_sweep_table(const Analysis& analysis) {
    return sweep_table("sweep_threshold.csv", "threshold", analysis.sensitivity.sweeps.threshold);
}

CsvTable start_sweep_table(const Analysis& analysis) {
    return sweep_table("sweep_start_year.csv", "start", analysis.sensitivity.sweeps.start);
}

// series.csv, one row per simulated series, is written row by row as the series are made.
constexpr std::array<CsvTable (*)(const Analysis&), 6> tables = {
    tests_table,           events_table,      m_counts_table,
    threshold_sweep_table, start_sweep_table, bins_table};
constexpr std::string_view series_file_name = "series.csv";
constexpr std::size_t flush_size = 64 * 1024;
const std::vector<std::string> series_columns = {"series", "m", "u", "p", "rate_ratio_per_decade"};

// The row of series k (from 0) in series.csv.
std::vector<std::string> series_cells(std::size_t k, const TrendTest& test, double rate_ratio) {
    return {cell(k + 1), std::to_string(test.m), cell(test.u), cell(test.p), cell(rate_ratio)};
}

// A cell with a separator, a quote or a line end is quoted, its quotes doubled.
void append_cell(std::string& out, const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void append_row(std::string& out, const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) out += ',';
        append_cell(out, cells[i]);
    }
    out += '\n';
}

}  // namespace

std::vector<CsvTable> csv_tables(const Analysis& analysis) {
    std::vector<CsvTable> out;
    for (const auto build : tables)
        out.push_back(build(analysis));
    if (!analysis.error_models.models.empty()) out.push_back(error_models_table(analysis));
    return out;
}

CsvTable series_table(std::span<const TrendTest> tests, std::span<const double> rate_ratios) {
    CsvTable table{std::string(series_file_name), series_columns, {}};
    table.rows.reserve(tests.size());
    for (std::size_t k = 0; k < tests.size(); ++k)
        table.rows.push_back(series_cells(k, tests[k], rate_ratios[k]));
    return table;
}

std::vector<std::string> csv_file_names() {
    std::vector<std::string> names{std::string(series_file_name)};
    for (const CsvTable& table : csv_tables(Analysis{}))
        names.push_back(table.file_name);
    return names;
}

bool detail::begin_series_table(const std::filesystem::path& directory, SeriesTableWriter& writer,
                                std::string& error) {
    if (!create_temporary(directory / series_file_name, writer.file, error)) return false;
    writer.buffer.clear();
    append_row(writer.buffer, series_columns);
    return true;
}

bool detail::add_series_row(SeriesTableWriter& writer, std::size_t series, const TrendTest& test,
                            double rate_ratio, std::string& error) {
    append_row(writer.buffer, series_cells(series, test, rate_ratio));
    if (writer.buffer.size() < flush_size) return true;
    const bool written = write_temporary(writer.file, writer.buffer, error);
    writer.buffer.clear();
    return written;
}

bool detail::finish_series_table(SeriesTableWriter& writer, std::string& error) {
    const bool written = write_temporary(writer.file, writer.buffer, error);
    writer.buffer.clear();
    return written;
}

std::string csv_text(const CsvTable& table) {
    std::string out;
    append_row(out, table.columns);
    for (const std::vector<std::string>& row : table.rows)
        append_row(out, row);
    return out;
}

}  // namespace zorvi
