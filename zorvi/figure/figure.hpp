// The figure of a study's analysis: a standalone SVG document of eight panels, and a PNG of it
// made with rsvg-convert.
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

}  // namespace zorvi

namespace zorvi::detail {

// Turns the SVG figure into a PNG beside it with rsvg-convert, written whole or not at all.
// False, with `error` saying why, when rsvg-convert is missing or fails.
bool convert_to_png(const std::filesystem::path& svg, const std::filesystem::path& png,
                    std::string& error);

}  // namespace zorvi::detail
