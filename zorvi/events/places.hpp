// Where in an input file a message points, and the names of an event's values.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace zorvi::detail {

// The names of an event's three values, in the order they are read.
inline constexpr std::array<std::string_view, 3> value_names = {"time", "magnitude",
                                                                "standard error"};

// "<file>, line N: ", the start of a message about that line.
inline std::string at_line(std::string_view file_name, std::size_t line) {
    return std::string(file_name) + ", line " + std::to_string(line) + ": ";
}

// "<file>, line N (event K): ", the start of a message about the event read there.
inline std::string at_event(std::string_view file_name, std::size_t line, std::size_t event) {
    return std::string(file_name) + ", line " + std::to_string(line) + " (event " +
           std::to_string(event) + "): ";
}

}  // namespace zorvi::detail
