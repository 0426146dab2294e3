// Zorvi: Cox-Lewis test for a trend in the rate of events, and its sensitivity to the
// uncertainty of the event magnitudes over simulated series.
//
// Every input/output statement carries a fixed source line for its error report; the
// constants below are those lines.
#include <cstdint>
#include <span>
#include <string_view>

#include "driver/run_files.hpp"
#include "driver/run_state.hpp"
#include "driver/simulation.hpp"
#include "random/random.hpp"
#include "textio/textio.hpp"

namespace {

using namespace zorvi::driver;
namespace textio = zorvi::textio;
using textio::console_unit;

constexpr std::string_view source_name = "Zorvi.cpp";
constexpr textio::Locus at(int line) {
    return {source_name, line};
}

constexpr int file_unit = 1;

// Statement lines of the data file and the results file.
constexpr int line_open_data = 165;
constexpr int line_read_event = 167;
constexpr int line_close_data = 169;
constexpr int line_open_results = 211;
constexpr int line_results_title = 213;
constexpr int line_results_heads = 215;
constexpr int line_results_blank = 217;
constexpr int line_results_record = 234;
constexpr int line_close_results = 240;

RunState run;  // the whole run's state; static, never allocated

void blank_line(int line) {
    textio::write_free(console_unit, at(line), {});
}

void print_banner() {
    blank_line(136);
    blank_line(137);
    blank_line(138);
    textio::write_free(console_unit, at(140), {" Zorvi: Cox--Lewis test with simulated series"});
    textio::write_free(console_unit, at(142), {" ============================================"});
    blank_line(143);
    blank_line(144);
    textio::write_free(console_unit, at(146),
                       {" Cox, Lewis (1966): Statistical Analysis of Series of Events"});
    textio::write_free(console_unit, at(148), {" Methuen & Co. Ltd., London."});
    blank_line(149);
    textio::write_free(console_unit, at(151), {" https://www.aoml.noaa.gov/hrd/hurdat"});
    blank_line(152);
    blank_line(153);
    blank_line(154);
}

// Reads the 60 events, one free-format statement of three values each.
void read_data_file() {
    textio::open_unit(file_unit, data_file_name, textio::OpenStatus::old, at(line_open_data));
    // A failed statement ends the run with its report, so every statement that returns read.
    zorvi::driver::read_events(
        [](std::span<double> values) {
            textio::read_free(file_unit, at(line_read_event), values);
            return true;
        },
        run.t, run.x, run.sx);
    textio::release_unit(file_unit, at(line_close_data));
}

void print_result() {
    textio::write_free(console_unit, at(192), {" Result on infile_"});
    blank_line(193);
    textio::write_free(console_unit, at(194),
                       {" m = ", run.m, "        u = ", run.u, "        P = ", run.p});
}

// 2000 series: every magnitude moved by its own Gaussian deviate scaled with its standard
// error, selected and tested like the observed series; one (u, P) record each.
void simulate() {
    textio::open_unit(file_unit, results_file_name, textio::OpenStatus::unknown,
                      at(line_open_results));
    textio::write_edited(file_unit, at(line_results_title), "(a)", {results_title});
    textio::write_edited(file_unit, at(line_results_heads), "(a)", {results_heads});
    textio::write_edited(file_unit, at(line_results_blank), "(a)", {results_blank});

    discard_first_deviate(run);
    for (std::int32_t k = 1; k <= nsim; ++k) {
        simulate_series(run);
        textio::write_edited(file_unit, at(line_results_record), results_format,
                             {run.usim, run.psim});
    }
    textio::release_unit(file_unit, at(line_close_results));
}

void print_closing_banner() {
    blank_line(241);
    blank_line(242);
    blank_line(243);
    textio::write_free(console_unit, at(244),
                       {" Simulation results written to: ", results_file_name});
    blank_line(245);
    blank_line(246);
    blank_line(247);
    textio::write_free(console_unit, at(248), {" Zorvi terminated successfully"});
    textio::write_free(console_unit, at(249), {" ============================="});
    blank_line(250);
}

[[noreturn]] void run_sequence() {
    print_banner();
    zorvi::random::ranseed();
    read_data_file();
    test_observed(run);
    print_result();
    simulate();
    print_closing_banner();
    textio::stop_normal();
}

}  // namespace

int main(int argc, char** argv) {
    textio::start(argc, argv);
    textio::set_options({.warn_std = 68,
                         .allow_std = 511,
                         .pedantic = 0,
                         .dump_core = 0,
                         .backtrace = 0,
                         .sign_zero = 1,
                         .bounds_check = 0,
                         .range_check = 1});
    run_sequence();
}
