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

struct TemporaryFile;  // files/temporary_file.hpp

// The converter that a PNG is made with, found on PATH; empty when there is none.
std::filesystem::path find_converter();
// Turns the whole SVG figure in `svg` into a PNG in `png`, both temporary files: the converter
// reads the one on its standard input and writes the other on its standard output. False,
// with `error` saying why, when it cannot be started or fails.
bool convert_to_png(const std::filesystem::path& converter, TemporaryFile& svg, TemporaryFile& png,
                    std::string& error);

}  // namespace zorvi::detail
