// The run's two files: their names, the results file's header texts, and the read statements
// that fill the event arrays from the data file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "driver/run_state.hpp"

namespace zorvi::driver {

inline constexpr std::string_view data_file_name =
    "Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat";
inline constexpr std::string_view results_file_name = "Zorviresult.dat";

// The results file: three header records, then one record of (u, P) per simulated series,
// each value a blank and a fixed-point field of this width and number of decimals.
inline constexpr int results_field_width = 16;
inline constexpr int results_field_decimals = 8;
inline constexpr std::string_view results_title = " Zorvi: Results";
inline constexpr std::string_view results_heads = " u_simulated  P_simulated";
inline constexpr std::string_view results_blank = " ";
inline constexpr std::size_t results_header_records = 3;

namespace detail {

// "(2(1x,fW.D))" for the field above, spelled out at compile time.
struct FormatText {
    std::array<char, 32> chars{};
    std::size_t size = 0;

    constexpr void append(std::string_view text) {
        for (char c : text)
            chars[size++] = c;
    }
    constexpr void append(int number) {  // 0 <= number < 100
        if (number >= 10) chars[size++] = static_cast<char>('0' + number / 10);
        chars[size++] = static_cast<char>('0' + number % 10);
    }
};

constexpr FormatText make_results_format() {
    static_assert(results_field_width < 100 && results_field_decimals < 100);
    FormatText format;
    format.append("(2(1x,f");
    format.append(results_field_width);
    format.append(".");
    format.append(results_field_decimals);
    format.append("))");
    return format;
}
inline constexpr FormatText results_format_text = make_results_format();

}  // namespace detail

inline constexpr std::string_view results_format(detail::results_format_text.chars.data(),
                                                 detail::results_format_text.size);

inline constexpr std::size_t values_per_event = 3;  // time, magnitude, standard error

// Reads the events in file order, one free-format read statement of three targets per event,
// through `read_statement(std::span<double>) -> bool`. Each statement's targets start with
// the values already held, so that a null value keeps them. Stops after the first statement
// that reports failure; returns the number of events read completely (nevent when all were).
template <class ReadStatement>
std::int32_t read_events(ReadStatement&& read_statement, EventArray& t, EventArray& x,
                         EventArray& sx) {
    for (std::size_t i = 0; i < t.size(); ++i) {
        std::array<double, values_per_event> values = {t[i], x[i], sx[i]};
        const bool ok = read_statement(std::span<double>(values));
        t[i] = values[0];
        x[i] = values[1];
        sx[i] = values[2];
        if (!ok) return static_cast<std::int32_t>(i);
    }
    return nevent;
}

}  // namespace zorvi::driver
