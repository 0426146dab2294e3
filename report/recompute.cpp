// The data file read as the program reads it, and the program's series recomputed from it.
#include <algorithm>
#include <string>

#include "driver/run_files.hpp"
#include "driver/simulation.hpp"
#include "random/random.hpp"
#include "report/report.hpp"
#include "textio/list_read.hpp"

namespace zorvi::report {
namespace {

namespace detail = zorvi::textio::detail;

// The line the reader stopped on: after a failed value it has skipped the rest of that record,
// line end included, so the record is the last line begun in the consumed text.
std::size_t line_of_failure(std::string_view consumed) {
    const auto line_ends =
        static_cast<std::size_t>(std::count(consumed.begin(), consumed.end(), '\n'));
    const bool ended_on_line_end = !consumed.empty() && consumed.back() == '\n';
    return ended_on_line_end ? line_ends : line_ends + 1;
}

}  // namespace

bool parse_event_data(std::string_view text, std::string_view file_name, driver::RunState& run,
                      std::string& error) {
    detail::CharSource source = detail::CharSource::from_string(text);
    detail::ListReadResult failure;
    const std::int32_t events = driver::read_events(
        [&](std::span<double> values) {
            failure = detail::read_list(source, values);
            return failure.status == detail::ListReadStatus::ok;
        },
        run.t, run.x, run.sx);
    if (events == driver::nevent) return true;

    const std::string event = "event " + std::to_string(events + 1);
    if (failure.status == detail::ListReadStatus::end_of_file) {
        error = std::string(file_name) + ": ends in " + event + " of " +
                std::to_string(driver::nevent) + "; each event is three values (time, " +
                "magnitude, standard error)";
        return false;
    }
    // The source holds the whole text in one buffer: what is left of it tells how far it read.
    const std::size_t left = static_cast<std::size_t>(source.end_ - source.next_);
    const std::size_t line = line_of_failure(text.substr(0, text.size() - left));
    error = std::string(file_name) + ", line " + std::to_string(line) + " (" + event +
            "): " + detail::list_read_message(failure, source);
    return false;
}

Recomputed recompute(driver::RunState& run, std::size_t count) {
    // The generator state is program-wide: start it afresh, as a run starts it.
    random::reset_uniform_state();
    random::reset_gaussian_state();
    random::ranseed();

    Recomputed out;
    driver::test_observed(run);
    out.m = run.m;
    out.u = run.u;
    out.p = run.p;

    out.msim.reserve(count);
    out.usim.reserve(count);
    out.psim.reserve(count);
    out.xsim.reserve(count * run.xsim.size());
    driver::discard_first_deviate(run);
    for (std::size_t k = 0; k < count; ++k) {
        driver::simulate_series(run);
        out.msim.push_back(run.msim);
        out.usim.push_back(run.usim);
        out.psim.push_back(run.psim);
        out.xsim.insert(out.xsim.end(), run.xsim.begin(), run.xsim.end());
    }
    return out;
}

}  // namespace zorvi::report
