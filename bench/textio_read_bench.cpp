// Speed of the free-format reader: one three-value record, the data file, long digit runs.
#include <benchmark/benchmark.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "textio/textio.hpp"

namespace {

using zorvi::textio::CharSource;
using zorvi::textio::ListReadStatus;
using zorvi::textio::read_list;

std::string repeated(const std::string& record, int count) {
    std::string text;
    text.reserve(record.size() * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        text += record;
    return text;
}

// One read statement of three targets on a record of the data file's form.
void read_one_record(benchmark::State& state) {
    constexpr int records = 100000;
    const std::string text = repeated(" 1980.608   100.0   12.5\n", records);
    CharSource source = CharSource::from_string(text);
    std::array<double, 3> targets{};
    int left = records;
    for (auto _ : state) {
        if (left-- == 0) {  // refill: one copy per 100000 statements
            source = CharSource::from_string(text);
            left = records - 1;
        }
        if (read_list(source, targets).status != ListReadStatus::ok) state.SkipWithError("read");
        benchmark::DoNotOptimize(targets);
    }
}
BENCHMARK(read_one_record);

// The shipped data file: 60 statements of three targets.
void read_data_file(benchmark::State& state) {
    // The build passes the source's full path; the data file sits beside the bench folder.
    const std::filesystem::path data = std::filesystem::path(__FILE__).parent_path().parent_path() /
                                       "data" / "Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat";
    std::ifstream in(data, std::ios::binary);
    if (!in) state.SkipWithError("no data file");
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    std::array<double, 3> targets{};
    for (auto _ : state) {
        CharSource source = CharSource::from_string(text);
        for (int i = 0; i < 60; ++i) {
            if (read_list(source, targets).status != ListReadStatus::ok) {
                state.SkipWithError("read");
            }
        }
        benchmark::DoNotOptimize(targets);
    }
}
BENCHMARK(read_data_file);

// A value of 10 MB of digits: linear time, bounded memory.
void read_long_digit_run(benchmark::State& state) {
    const std::string text = std::string(10'000'000, '7') + "e-9999990 0 0\n";
    std::array<double, 3> targets{};
    for (auto _ : state) {
        CharSource source = CharSource::from_string(text);
        if (read_list(source, targets).status != ListReadStatus::ok) state.SkipWithError("read");
        benchmark::DoNotOptimize(targets);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(read_long_digit_run)->Unit(benchmark::kMillisecond);

}  // namespace
