// The HTML report's sections after the answer, each with the summary's own rows and tables
// and the figure's panels that belong to it.
#include <string>
#include <vector>

#include "zorvi/html/html_impl.hpp"

namespace zorvi::detail {

void add_study_section(std::string& out, const Analysis& analysis, const ReportNames& names) {
    begin_section(out, "study", "The study");
    add_labelled_table(out, "Data, selection and simulation", study_rows(analysis, names));
    end_section(out);
}

void add_simulated_section(std::string& out, const Analysis& analysis) {
    begin_section(out, "simulated", "The simulated series");
    add_labelled_table(out, simulated_u_title, simulated_u_rows(analysis));
    add_labelled_table(out, "Simulated series with small P", share_rows(analysis));
    add_panels(out, analysis, {Panel::u_histogram, Panel::p_distribution});
    add_paragraph(out, figure_note(analysis), "note figure-note");
    add_cell_table(out, m_count_table(analysis));
    end_section(out);
}

void add_trend_html(std::string& out, const Analysis& analysis) {
    begin_section(out, "trend", "Size of the trend");
    add_labelled_table(out, trend_title, trend_rows(analysis));
    add_panels(out, analysis, {Panel::cumulative_count});
    end_section(out);
}

void add_tests_html(std::string& out, const Analysis& analysis) {
    begin_section(out, "tests", "Trend tests");
    add_cell_table(out, tests_table(analysis));
    add_row_paragraph(out, shape_row(analysis));
    end_section(out);
}

void add_events_html(std::string& out, const Analysis& analysis) {
    begin_section(out, "events", "Events that decide");
    add_cell_table(out, deciding_events_table(analysis));
    add_row_paragraph(out, expected_m_row(analysis));
    add_paragraph(out, entering_and_leaving(analysis));
    add_panels(out, analysis, {Panel::selection_shares});
    end_section(out);
}

void add_error_models_html(std::string& out, const Analysis& analysis) {
    if (analysis.error_models.models.empty()) return;
    begin_section(out, "error-models", "Error models");
    add_cell_table(out, error_models_table(analysis));
    add_cell_table(out, prior_scale_table(analysis));
    add_paragraph(out, error_models_legend, "note");
    add_panels(out, analysis, {Panel::prior_scale_share});
    end_section(out);
}

void add_sweeps_html(std::string& out, const Analysis& analysis) {
    begin_section(out, "threshold", "Sensitivity to the threshold");
    add_cell_table(out, threshold_sweep_table(analysis));
    const std::string threshold_note = threshold_grid_note(analysis);
    if (!threshold_note.empty()) add_paragraph(out, threshold_note, "note");
    add_panels(out, analysis, {Panel::threshold_p, Panel::threshold_share});
    end_section(out);

    begin_section(out, "start", "Sensitivity to the start");
    add_cell_table(out, start_sweep_table(analysis));
    const std::string start_note = start_grid_note(analysis);
    if (!start_note.empty()) add_paragraph(out, start_note, "note");
    add_panels(out, analysis, {Panel::start_p, Panel::start_share});
    end_section(out);
}

void add_clustering_html(std::string& out, const Analysis& analysis) {
    begin_section(out, "clustering", "Clustering");
    add_labelled_table(out, clustering_title(analysis), clustering_rows(analysis));
    if (analysis.clustering.observed.reason.empty()) add_cell_table(out, bin_tally_table(analysis));
    add_cell_table(out, clustering_tests_table(analysis));
    add_labelled_table(out, "The simulated series: dispersion and the quasi-Poisson test",
                       clustering_simulated_rows(analysis));
    add_paragraph(out, clustering_verdict(analysis));
    add_panels(out, analysis, {Panel::bin_tally});
    add_cell_table(out, clustering_threshold_table(analysis));
    add_cell_table(out, clustering_start_table(analysis));
    end_section(out);
}

void add_check_html(std::string& out, const Analysis& analysis, const ReportNames& names) {
    begin_section(out, "check", "Check");
    add_labelled_table(out, "The results file against the recomputed series",
                       check_rows(analysis, names));
    end_section(out);
}

void add_methods_html(std::string& out, const Analysis& analysis) {
    begin_section(out, "methods", "Methods and assumptions");
    const std::string notes = method_notes(analysis);
    // Paragraphs are apart by a blank line.
    std::size_t at = 0;
    while (at < notes.size()) {
        std::size_t end = notes.find("\n\n", at);
        if (end == std::string::npos) end = notes.size();
        add_paragraph(out, std::string_view(notes).substr(at, end - at));
        at = end + 2;
    }
    end_section(out);
}

}  // namespace zorvi::detail
