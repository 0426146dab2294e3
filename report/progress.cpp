// A progress bar for long simulations, drawn over one line of standard error.
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

#include "report/run_report.hpp"

namespace zorvi::report {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double work_per_event_series = 30e-9;  // seconds, a generous figure of the pass
constexpr double worth_showing = 1.0;            // seconds of expected work
constexpr auto redraw_interval = std::chrono::milliseconds(100);
constexpr std::size_t bar_width = 30;

struct Bar {
    std::size_t total = 0;
    Clock::time_point next_draw;
    std::size_t drawn_length = 0;
};

void put(std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
        if (written <= 0) return;  // a progress bar is not worth an error
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

void draw(Bar& bar, std::size_t done) {
    const double share = static_cast<double>(done) / static_cast<double>(bar.total);
    const auto filled = static_cast<std::size_t>(share * bar_width);
    std::string line = "\rsimulating [" + std::string(filled, '#') +
                       std::string(bar_width - filled, ' ') + "] " +
                       std::to_string(static_cast<int>(share * 100.0)) + " %  " +
                       std::to_string(done) + " of " + std::to_string(bar.total) + " series";
    bar.drawn_length = line.size() - 1;
    put(line);
}

void clear(const Bar& bar) {
    std::string blank(bar.drawn_length + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    put(blank);
}

}  // namespace

ProgressStep progress_bar(std::size_t series, std::size_t events) {
    const double expected =
        static_cast<double>(series) * static_cast<double>(events + 1) * work_per_event_series;
    if (expected < worth_showing || isatty(STDERR_FILENO) != 1) return {};
    auto bar = std::make_shared<Bar>();
    bar->total = series;
    bar->next_draw = Clock::now();
    return [bar](std::size_t done) {
        if (done >= bar->total) {
            clear(*bar);
            return;
        }
        const Clock::time_point now = Clock::now();
        if (now < bar->next_draw) return;
        bar->next_draw = now + redraw_interval;
        draw(*bar, done);
    };
}

}  // namespace zorvi::report
