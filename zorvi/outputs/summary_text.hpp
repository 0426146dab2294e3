// Internal to the text summary: its rows and its sections.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "zorvi/study/analysis.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi::detail {

// Rows of the text summary: a label padded to `label_width`, then the value.
inline constexpr std::size_t label_width = 34;
void add_row(std::string& out, std::string_view label, std::string_view value);
std::string padded_left(std::string text, std::size_t width);
std::string percent(double share);                                  // "13.65 %"
std::string interval_text(const Interval& interval, int decimals);  // "low to high"
// "273 of 2000 = 13.65 %  (95 % interval 12.22 % to 15.22 %)"
std::string share_text(std::size_t count, std::size_t series, const Interval& interval);
// `text` broken into lines of at most `width` characters at its spaces, ending in a line end.
std::string wrapped(std::string_view text, std::size_t width);

// The sections of the summary that go beyond the simulated u: the size of the trend, the
// tests side by side, the deciding events.
void add_trend_section(std::string& out, const Analysis& analysis);
void add_tests_section(std::string& out, const Analysis& analysis);
void add_events_section(std::string& out, const Analysis& analysis);
// The sweep tables: every 5th threshold with the class bounds and the main threshold, and
// every 5th start.
void add_sweep_sections(std::string& out, const Analysis& analysis);
// Under the posterior error model only (nothing otherwise): its settings' rows, both models
// side by side with the prior scale's row, and the paragraph on what the model assumes.
void add_error_model_rows(std::string& out, const Analysis& analysis);
void add_error_models_section(std::string& out, const Analysis& analysis);
std::string error_model_note();

}  // namespace zorvi::detail
