// Fuzz target: arbitrary bytes read as a study's CSV data file.
//
// Every input must end either with its events read or with one error line, with no crash,
// hang or sanitizer finding. Further checks catch wrong answers and unreadable messages: the
// same bytes delivered through a file descriptor in three pieces give the same events and the
// same message as the bytes held whole; every event's line is at least 1 and never goes back;
// a message is one line of printable text of bounded length, whatever bytes it quotes.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "packets.hpp"
#include "zorvi/events/events.hpp"
#include "zorvi/events/input_stream.hpp"

namespace {

using namespace zorvi;

// A message names the file and the line, and quotes at most two excerpts of about 80 bytes.
constexpr std::size_t longest_message = 600;

[[noreturn]] void fail(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "csv_read_fuzz: %s %s\n", what, detail.c_str());
    std::abort();
}

struct Outcome {
    bool ok = false;
    std::string error;
    std::vector<std::uint64_t> bits;  // every value's bits, in order
    std::vector<std::size_t> lines;
};

Outcome read_csv(InputStream& in, const CsvColumns& columns) {
    Outcome outcome;
    EventData data;
    outcome.ok = parse_csv_events(in, "d.csv", CsvReading{columns}, data, outcome.error);
    for (std::size_t i = 0; i < data.events.t.size(); ++i)
        for (const double value : {data.events.t[i], data.events.x[i], data.events.sx[i]})
            outcome.bits.push_back(std::bit_cast<std::uint64_t>(value));
    outcome.lines = data.lines;
    return outcome;
}

// The same bytes through a file descriptor, delivered in three reads.
std::optional<Outcome> read_in_pieces(std::string_view bytes, const CsvColumns& columns) {
    return fuzzing::read_in_packets(bytes, bytes.size() / 3 + 1, [&](int fd) {
        InputStream in = stream_of_fd(fd);
        return read_csv(in, columns);
    });
}

void check(std::string_view bytes, const CsvColumns& columns) {
    InputStream whole = stream_of_text(bytes);
    const Outcome outcome = read_csv(whole, columns);
    if (outcome.ok != outcome.error.empty()) fail("success and message disagree", outcome.error);
    if (outcome.ok && outcome.lines.empty()) fail("success without events");
    if (!std::is_sorted(outcome.lines.begin(), outcome.lines.end()) ||
        (!outcome.lines.empty() && outcome.lines.front() == 0))
        fail("event lines out of order");
    if (outcome.error.size() > longest_message) fail("message too long", outcome.error);
    for (const char c : outcome.error)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            fail("control byte in", outcome.error);

    const std::optional<Outcome> in_pieces = read_in_pieces(bytes, columns);
    if (in_pieces && (in_pieces->ok != outcome.ok || in_pieces->error != outcome.error ||
                      in_pieces->bits != outcome.bits || in_pieces->lines != outcome.lines))
        fail("reading in pieces and reading the bytes whole disagree",
             outcome.error + " | " + in_pieces->error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check(bytes, CsvColumns{});
    check(bytes, CsvColumns{"t", "x", "s"});
    return 0;
}
