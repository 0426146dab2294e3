// Zorvi: tests of a trend in the rate of dated events, and how far the answer depends on the
// uncertainty of their magnitudes. The whole analysis library in one header:
//   events/      reading events from free-format or CSV data files
//   statistics/  summary statistics, the trend fit, the trend tests and their power
//   sweeps/      the answer along the threshold and the start of the record
//   study/       a whole study in one pass over its simulated series
//   outputs/     the text summary, JSON and CSV tables
//   figure/      the SVG figure
//   html/        the whole report as one self-contained HTML page
//   api/         the one-call interface: read, run, render, and each statistic on its own
#pragma once

#include "zorvi/api/api.hpp"
#include "zorvi/events/events.hpp"
#include "zorvi/figure/figure.hpp"
#include "zorvi/html/html.hpp"
#include "zorvi/outputs/outputs.hpp"
#include "zorvi/statistics/statistics.hpp"
#include "zorvi/statistics/trend.hpp"
#include "zorvi/study/analysis.hpp"
#include "zorvi/study/settings.hpp"
#include "zorvi/study/study.hpp"
#include "zorvi/sweeps/sweeps.hpp"
