// How a face names the settings that the library's messages point to: the command line's
// options, or a package's arguments. A message names the setting at fault and, where it
// helps, how to give it, in the words of the face that was used.
#pragma once

#include <string_view>

namespace zorvi {

struct ArgumentNames {
    // The settings, as a message names them before a colon.
    std::string_view threshold;
    std::string_view interval;  // the test's interval, start and end together
    std::string_view series;
    std::string_view seed;
    std::string_view start_sweep;
    std::string_view bin_width;
    std::string_view floor;
    std::string_view prior_scale;
    std::string_view standard_error;  // given to events without one
    std::string_view labels;          // the column that names the events
    // How to give some of them, for the hints that end a message.
    std::string_view give_interval;
    std::string_view give_columns;
    std::string_view give_floor;
    std::string_view give_prior_scale;
    std::string_view give_standard_error;
    std::string_view give_labels;
};

// zorvi-report's options, and the messages of the C++ library by default.
inline constexpr ArgumentNames command_line_names = {
    .threshold = "--threshold",
    .interval = "--interval",
    .series = "--series",
    .seed = "--seed",
    .start_sweep = "--sweep-starts",
    .bin_width = "--bin-width",
    .floor = "--floor",
    .prior_scale = "--prior-scale",
    .standard_error = "--se",
    .labels = "--labels",
    .give_interval = "--interval A B",
    .give_columns = "--columns TIME,MAG,SE",
    .give_floor = "--floor X",
    .give_prior_scale = "--prior-scale X",
    .give_standard_error = "--se X",
    .give_labels = "--labels COLUMN",
};

}  // namespace zorvi
