// Looking at R from inside long work: the user's interrupt and the progress function.
#pragma once

#include <cpp11.hpp>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <exception>
#include <stop_token>

namespace zorvi::r {

// Looks at R between the series of a running study or the blocks of a permutation test. R's
// interrupt and the progress function's errors arrive as C++ exceptions (cpp11 unwinds R's
// jumps into them); the first one is kept, the work stopped, and the exception thrown again
// once the work has unwound.
struct Poll {
    // Series between two looks at the clock: fewer for many events, whose series take longer.
    static std::size_t poll_every(std::size_t events) {
        return std::clamp<std::size_t>(65536 / std::max<std::size_t>(1, events), 1, 16);
    }
    static constexpr std::chrono::milliseconds interval{100};
    SEXP progress = R_NilValue;  // NULL or function(done, total)
    std::stop_source stop;
    std::exception_ptr kept;
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();

    void operator()(std::size_t done, std::size_t total) {
        const auto now = std::chrono::steady_clock::now();
        if ((done < total && now - last < interval) || kept) return;
        last = now;
        try {
            cpp11::check_user_interrupt();
            if (progress != R_NilValue) {
                const cpp11::function call(progress);
                call(static_cast<double>(done), static_cast<double>(total));
            }
        } catch (...) {
            kept = std::current_exception();
            stop.request_stop();
        }
    }
};

}  // namespace zorvi::r
