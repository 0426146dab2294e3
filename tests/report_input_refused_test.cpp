// Hostile and malformed inputs of zorvi-report: each is refused at once with one line that
// names the file and the line and shows the bytes at fault, escaped and cut; the streamed
// reading gives what a reading of the whole text gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "report_test_support.hpp"
#include "textio/textio.hpp"
#include "zorvi/events/input_stream.hpp"
#include "zorvi/zorvi.hpp"

namespace {

namespace fs = std::filesystem;
using namespace zorvi::testing;
using namespace zorvi;
namespace textio = zorvi::textio;

const std::string csv_header = "time_decimal_year,name,max_wind_kt,stderr_kt\n";

// A file of the case: its bytes, or (when `link` is set) a symbolic link to that path.
struct Input {
    std::string bytes;
    std::string link = {};
};

// Every input is refused with status 1, nothing on standard output, the one line on standard
// error, every input left as it was and nothing else left in the directory.
TEST(ReportInputRefused, EachIsNamedAndLeavesEverythingAsItWas) {
    struct Case {
        std::map<std::string, Input> files;
        std::vector<std::string> arguments;
        std::string error;
    };
    const std::string results =
        read_file(fs::path(ZORVI_SOURCE_DIR) / "tests" / "golden" / results_file_name);
    const std::string data = read_file(shipped_data_file());
    const std::string long_name(30'000'000, 'a');  // a header of 30 MB in one cell
    const std::vector<Case> cases = {
        // A name with an unquoted comma would shift the columns: refused, not read shifted.
        {{{"d.csv", {csv_header + "1990.5,Allen,100,5\n1991.5,Bob, Jr.,90,5\n"}}},
         {"--data", "d.csv"},
         "d.csv, line 3 (event 2): the row has more cells than the header's 4; a cell that holds "
         "a comma must be in double quotes"},
        {{{"d.csv", {csv_header + "1990.5,Allen,100\n"}}},
         {"--data", "d.csv"},
         "d.csv, line 2 (event 1): the row has 3 cells, the header 4"},
        // A quoted cell spans lines 2 and 3: the next row starts on line 4.
        {{{"d.csv", {csv_header + "1990.5,\"Allen,\nTX \"\"3\"\"\",100,5\n1991.5,Bob,9O,5\n"}}},
         {"--data", "d.csv"},
         "d.csv, line 4 (event 2): the magnitude '9O' (column 'max_wind_kt') is not a number"},
        {{{"d.csv", {"time,max_wind_kt,stderr_kt,max_wind_kt\n1990,100,5,4\n"}}},
         {"--data", "d.csv", "--columns", "time,max_wind_kt,stderr_kt"},
         "d.csv, line 1: the header names the column 'max_wind_kt' more than once"},
        {{{"d.csv", {csv_header + "1990.5,\"Allen\" TX,100,5\n"}}},
         {"--data", "d.csv"},
         "d.csv, line 2 (event 1): cell 2 goes on after its closing quote with 'T'; a "
         "quote within quotes is written twice"},
        {{{"d.csv", {csv_header + "1990.5,Allen \"TX\",100,5\n"}}},
         {"--data", "d.csv"},
         "d.csv, line 2 (event 1): cell 2 holds a double quote but does not start with one; a "
         "cell with quotes is quoted whole, its quotes written twice"},
        {{{"d.csv", {csv_header + "1990.5,\"Allen,100,5\n1991.5,Bob,90,5\n"}}},
         {"--data", "d.csv"},
         "d.csv, line 2 (event 1): cell 2 opens a quote that the file never closes"},
        // A CR that is not part of a line end is shown, not hidden.
        {{{"d.csv", {csv_header + "1990.5,Allen,100\r,5\r\n"}}},
         {"--data", "d.csv"},
         "d.csv, line 2 (event 1): the magnitude '100\\r' (column 'max_wind_kt') is not a "
         "number"},
        {{{"d.csv", {long_name + "\n1990.5,Allen,100,5\n"}}},
         {"--data", "d.csv"},
         "d.csv, line 1: no column 'time_decimal_year' in the header (" + std::string(80, 'a') +
             "...); --columns TIME,MAG,SE names the columns to use"},
        // Endless sources end at their first byte.
        {{{"data.csv", {"", "/dev/zero"}}},
         {"--data", "data.csv"},
         "data.csv, line 1: cell 1 holds a NUL byte (\\x00); a CSV file is text"},
        {{},
         {"--data", "/dev/zero"},
         "/dev/zero, line 1 (event 1): Bad real number in item 1 of list input"},
        {{{results_file_name, {"", "/dev/zero"}}, {data_file_name, {data}}},
         {"--no-figure"},
         "Zorviresult.dat, line 1: not a Zorvi results file: \" Zorvi: Results\" expected, found "
         "\"\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00"
         "\\x00\\x00\\x00...\""},
        {{{results_file_name, {results}}, {data_file_name, {"", "/dev/zero"}}},
         {"--no-figure"},
         std::string(data_file_name) + ", line 1 (event 1): Bad real number in item 1 of list "
                                       "input"},
        {{{results_file_name, {" Zorvi: Results\r\r\n" + results.substr(results.find('\n') + 1)}},
          {data_file_name, {data}}},
         {"--no-figure"},
         "Zorviresult.dat, line 1: not a Zorvi results file: \" Zorvi: Results\" expected, found "
         "\" Zorvi: Results\\r\""},
        {{{results_file_name, {results + "\n \r\n\xff\n"}}, {data_file_name, {data}}},
         {"--no-figure"},
         "Zorviresult.dat, line 2006: more than the 2000 records of a run"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        for (const auto& [name, input] : c.files) {
            if (input.link.empty())
                write_file(dir.path / name, input.bytes);
            else
                fs::create_symlink(input.link, dir.path / name);
        }
        std::vector<std::string> argv = {report_binary};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        const ProcessResult result = run_program(argv, dir.path);
        EXPECT_EQ(result.status, 1) << c.error;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "zorvi-report: " + c.error + "\n");
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(dir.path))
            left.push_back(entry.path().filename().string());
        std::sort(left.begin(), left.end());
        std::vector<std::string> inputs;
        for (const auto& [name, input] : c.files) {
            inputs.push_back(name);
            if (!input.link.empty()) {
                EXPECT_EQ(fs::read_symlink(dir.path / name), input.link);
            } else {
                EXPECT_TRUE(read_file(dir.path / name) == input.bytes) << name << ": " << c.error;
            }
        }
        EXPECT_EQ(left, inputs) << c.error;
    }
}

// Cells quoted by the rules, with commas, doubled quotes and line ends, blanks, CRLF and blank
// lines give the study the plain file gives (the events labelled by their quoted times).
TEST(ReportInputRefused, QuotedCellsReadAsThePlainOnes) {
    TempDir dir;
    write_file(dir.path / "plain.csv",
               csv_header + "1990.5,Allen,100,5\n1995.5,Bob,120,5\n2005.5,Cleo,90,5\n");
    write_file(dir.path / "quoted.csv",
               "\xEF\xBB\xBF" + csv_header.substr(0, csv_header.size() - 1) + "\r\n\r\n" +
                   " \"1990.5\" , \"Allen, \"\"the\"\"\r\nfirst\",100,5\r\n" +
                   "1995.5,\"\",+120,\" 5 \"\n\n2005.5,\"\n\",90,5");
    std::vector<std::string> outputs;
    for (const std::string name : {"plain.csv", "quoted.csv"}) {
        const ProcessResult result =
            run_program({report_binary, "--data", name, "--no-figure", "--json", "--series", "50",
                         "--results", name + ".dat", "--labels", "time_decimal_year"},
                        dir.path);
        ASSERT_EQ(result.status, 0) << result.err;
        const std::string& out = result.out;
        outputs.push_back(out.substr(out.find("\"settings\"")));  // past the file names
    }
    EXPECT_EQ(outputs[0], outputs[1]);
}

// The statements read from a file as a stream, through windows widened on demand, give what
// the reader gives on the whole text: long blank runs, repeat counts, slashes, nulls, CRs.
TEST(ReportInputRefused, StreamedStatementsReadAsTheWholeText) {
    std::string text;
    std::uint32_t state = 12345;
    const auto next = [&](std::uint32_t n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    };
    const std::array<std::string, 7> separators = {
        " ", ",", "\n", "\r\n", "\t ,  ", "\r", std::string(300, ' ')};
    for (int event = 0; event < 400; ++event) {
        for (int value = 0; value < 3; ++value) {
            text += next(7) == 0 ? "2*" + std::to_string(next(1000)) : std::to_string(next(100000));
            text += separators[next(separators.size())];
            if (next(100) == 0) text += std::string(70'000, ' ') + "\n";  // beyond a chunk
        }
        if (next(9) == 0) text += "/ rest of the record\n";
    }
    text += "1 2";  // ends within a statement
    TempDir dir;
    write_file(dir.path / "d.dat", text);

    textio::CharSource whole = textio::CharSource::from_string(text);
    std::size_t statements = 0;
    textio::ListReadStatus last = textio::ListReadStatus::ok;
    std::string error;
    const bool read = read_input(
        dir.path / "d.dat",
        [&](InputStream& in) {
            textio::RecordLeftover leftover = textio::RecordLeftover::nothing;
            for (;; ++statements) {
                std::array<double, 3> a = {-1, -1, -1};
                std::array<double, 3> b = {-1, -1, -1};
                const textio::ListReadResult ra = textio::read_list(whole, a);
                const textio::ListReadResult rb = read_statement(in, leftover, b);
                EXPECT_EQ(ra.status, rb.status);
                EXPECT_EQ(a, b);
                const auto upto = text.begin() + static_cast<std::ptrdiff_t>(whole.consumed());
                EXPECT_EQ(in.line_ends, std::count(text.begin(), upto, '\n'));
                last = rb.status;
                if (ra.status != textio::ListReadStatus::ok || rb.status != ra.status) return true;
            }
        },
        error);
    EXPECT_TRUE(read) << error;
    EXPECT_EQ(last, textio::ListReadStatus::end_of_file);  // "1 2": read to the end
    EXPECT_GT(statements, 300u);
}

TEST(ReportInputRefused, ExcerptsShowEveryByteAndStopNear80) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a\tb\r\n", "a\\tb\\r\\n"},
        {std::string("\0\x7f\\", 3), "\\x00\\x7f\\\\"},
        {"Zo\xc3\xabl \xe2\x82\xac", "Zo\xc3\xabl \xe2\x82\xac"},                   // UTF-8 kept
        {"\xff\xc3(\xc0\xaf\xed\xa0\x80", "\\xff\\xc3(\\xc0\\xaf\\xed\\xa0\\x80"},  // not UTF-8
        {std::string(80, 'x'), std::string(80, 'x')},
        {std::string(81, 'x'), std::string(80, 'x') + "..."},
        {std::string(30, 'x') + std::string(20, '\0'),
         std::string(30, 'x') + std::string(12, 'N') + "..."},
    };
    for (auto [bytes, shown] : cases) {
        // 'N' stands for an escaped NUL, four characters.
        for (std::size_t at = shown.find('N'); at != std::string::npos; at = shown.find('N'))
            shown.replace(at, 1, "\\x00");
        EXPECT_EQ(detail::input_excerpt(bytes), shown);
    }
}

}  // namespace

// After the last record only blanks may follow, and only so far are they read: a stray byte
// close behind is refused, one beyond 64 KiB of blank lines is never looked at.
TEST(ReportInputRefused, BlanksAfterTheLastRecordAreReadOnlySoFar) {
    const std::string results =
        read_file(fs::path(ZORVI_SOURCE_DIR) / "tests" / "golden" / results_file_name);
    Results read;
    std::string error;
    EXPECT_FALSE(parse_results(results + "\n \nx", "r", 2000, read, error));
    EXPECT_EQ(error, "r, line 2006: more than the 2000 records of a run");
    EXPECT_TRUE(parse_results(results + std::string(100'000, '\n') + "x", "r", 2000, read, error))
        << error;
    EXPECT_EQ(read.u.size(), 2000u);
}
