// The simulated magnitudes drawn ahead on a second thread, a block of series at a time, while
// the caller analyses the block before. Only that thread touches the program's generator, and
// it draws the series one after another as the program does: the caller receives exactly the
// series it would have drawn itself, in the same order.
#include <algorithm>
#include <system_error>

#include "zorvi/files/temporary_file.hpp"
#include "zorvi/statistics/distributions.hpp"
#include "zorvi/study/internal.hpp"

namespace zorvi::detail {
namespace {

constexpr std::size_t block_values = 1 << 16;  // about 512 KiB of magnitudes a block

void draw_blocks(SeriesAhead& ahead, const EventSeries& events, const StudySettings& settings) {
    leave_ending_signals_to_others();
    start_generator(settings.seed);
    const std::size_t width = events.x.size();
    std::size_t slot = 0;
    for (std::size_t first = 0; first < settings.series; first += ahead.block_series) {
        {
            std::unique_lock lock(ahead.mutex);
            ahead.changed.wait(lock, [&] { return ahead.stopping || ahead.filled[slot] == 0; });
            if (ahead.stopping) return;
        }
        const std::size_t count = std::min(ahead.block_series, settings.series - first);
        std::span<double> block(ahead.blocks[slot]);
        std::span<double> deviates(ahead.deviate_blocks[slot]);
        for (std::size_t k = 0; k < count; ++k)
            draw_series(events, ahead.draw, block.subspan(k * width, width),
                        deviates.empty() ? deviates : deviates.subspan(k * width, width));
        {
            std::lock_guard lock(ahead.mutex);
            ahead.filled[slot] = count;
        }
        ahead.changed.notify_all();
        slot = 1 - slot;
    }
}

}  // namespace

void start_drawing(SeriesAhead& ahead, const EventSeries& events, const StudySettings& settings,
                   std::span<const double> thresholds, bool keep_deviates) {
    ahead.width = events.x.size();
    ahead.draw = series_draw(events, settings);
    add_threshold_table(ahead.draw, thresholds);
    ahead.block_series =
        std::max<std::size_t>(1, block_values / std::max<std::size_t>(1, ahead.width));
    for (std::vector<double>& block : ahead.blocks)
        block.resize(ahead.block_series * ahead.width);
    if (keep_deviates && ahead.draw.posterior) {
        for (std::vector<double>& block : ahead.deviate_blocks)
            block.resize(ahead.block_series * ahead.width);
    }
    try {
        ahead.drawer =
            std::thread(draw_blocks, std::ref(ahead), std::cref(events), std::cref(settings));
    } catch (const std::system_error&) {
        // No thread to be had (a process or memory limit): the same series, drawn in turn.
        start_generator(settings.seed);
        ahead.drawn_here = &events;
    }
}

std::span<const double> next_series(SeriesAhead& ahead) {
    if (ahead.drawn_here != nullptr) {
        const std::span<double> series = std::span<double>(ahead.blocks[0]).first(ahead.width);
        std::span<double> deviates(ahead.deviate_blocks[0]);
        draw_series(*ahead.drawn_here, ahead.draw, series,
                    deviates.empty() ? deviates : deviates.first(ahead.width));
        return series;
    }
    if (ahead.position == ahead.available) {
        std::unique_lock lock(ahead.mutex);
        if (ahead.available > 0) {  // the block just used goes back to the drawer
            ahead.filled[ahead.slot] = 0;
            ahead.slot = 1 - ahead.slot;
            ahead.changed.notify_all();
        }
        ahead.changed.wait(lock, [&] { return ahead.filled[ahead.slot] > 0; });
        ahead.available = ahead.filled[ahead.slot];
        ahead.position = 0;
    }
    const std::span<const double> series = std::span<const double>(ahead.blocks[ahead.slot])
                                               .subspan(ahead.position * ahead.width, ahead.width);
    ++ahead.position;
    return series;
}

std::span<const double> last_deviates(const SeriesAhead& ahead) {
    const std::vector<double>& block = ahead.deviate_blocks[ahead.slot];
    if (block.empty()) return {};
    if (ahead.drawn_here != nullptr) return std::span<const double>(block).first(ahead.width);
    return std::span<const double>(block).subspan((ahead.position - 1) * ahead.width, ahead.width);
}

SeriesAhead::~SeriesAhead() {
    if (!drawer.joinable()) return;
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    drawer.join();
}

}  // namespace zorvi::detail
