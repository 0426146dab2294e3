// The figure of a study's analysis: a standalone SVG document of eight panels, each panel on
// its own for an HTML page, and a PNG of the figure made with rsvg-convert.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "zorvi/study/analysis.hpp"

namespace zorvi {

inline constexpr std::string_view figure_file_name = "Zorvireport.svg";
inline constexpr std::string_view png_file_name = "Zorvireport.png";

// The figure as a standalone SVG document: a grid of panels, each in a group with an id. The
// simulated u (histogram) and P (distribution function); the cumulative count of selected
// events against time and each event's selection share; P and the share with P < 0.05 against
// the threshold and against the start of the interval.
std::string render_svg(const Analysis& analysis);

// The figure's panels; the prior scale's only under the posterior error model.
enum class Panel {
    u_histogram,
    p_distribution,
    cumulative_count,
    selection_shares,
    threshold_p,
    start_p,
    threshold_share,
    start_share,
    prior_scale_share,
    bin_tally
};

// One panel as an SVG element to place inline in an HTML page: its own view box, so that it
// scales with the page, and its title and description (caption and legend) first, for readers
// that do not see it. Empty for a panel the analysis does not show.
std::string render_panel(const Analysis& analysis, Panel panel);

// The note under the figure: what its colours and dashed lines mean.
std::string figure_note(const Analysis& analysis);

}  // namespace zorvi

namespace zorvi::detail {

struct TemporaryFile;  // files/temporary_file.hpp

// The converter that a PNG is made with, found on PATH; empty when there is none.
std::filesystem::path find_converter();
// Turns the whole SVG figure in `svg` into a PNG in `png`, both temporary files: the converter
// reads the one on its standard input and writes the other on its standard output. False,
// with `error` saying why, when it cannot be started or fails.
bool convert_to_png(const std::filesystem::path& converter, TemporaryFile& svg, TemporaryFile& png,
                    std::string& error);

}  // namespace zorvi::detail
