// zorvi-report: run in the directory of a finished zorvi run; prints the analysis of the
// simulated series (text or JSON), writes the figure Zorvireport.svg and, when asked, the
// tables as CSV files.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "report/options.hpp"
#include "report/run_report.hpp"
#include "textio/textio.hpp"
#include "zorvi/files/temporary_file.hpp"

namespace {

void print(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

// Reads the command line and runs the report; the status to end with.
int report(int argc, char** argv) {
    zorvi::report::CommandLine line =
        zorvi::report::parse_report_options(argc, argv, zorvi::report::paths_in({}));
    if (!line.run) {
        print(stdout, line.out);
        print(stderr, line.error);
        return line.status;
    }
    line.options.progress = true;  // when standard error is a terminal and the work is long
    const zorvi::report::ReportOutcome outcome =
        zorvi::report::run_report(line.paths, line.options);
    // A summary longer than the stream's buffer is written at once: a failure shows in the
    // stream's error flag, not in the flush. A report whose files could not be written still
    // gives its summary, before the error that ends it.
    errno = 0;
    print(stdout, outcome.summary);
    const bool printed = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    if (outcome.status != 0) {
        print(stderr, "zorvi-report: " + outcome.error + "\n");
        return outcome.status;
    }
    if (printed) return 0;
    const int reason = errno;
    print(stderr, "zorvi-report: cannot write the analysis to standard output");
    print(stderr, reason == 0 ? std::string() : std::string(": ") + std::strerror(reason));
    print(stderr, "\n");
    return zorvi::report::status_failed;
}

}  // namespace

int main(int argc, char** argv) {
    // Closed standard streams are connected to /dev/null first, so that no file written later
    // takes their place, and a write beyond the file-size limit fails instead of ending the
    // process.
    zorvi::textio::start(argc, argv);
    // A signal that ends the report removes its temporary files first, and ends the converter.
    zorvi::detail::remove_temporaries_when_ended();
    // An exception ends the report like any failure: the files begun are given up as the stack
    // unwinds, where an uncaught one would leave them behind. Reading the options and composing
    // the help allocate too.
    try {
        return report(argc, argv);
    } catch (const std::bad_alloc&) {
        print(stderr, "zorvi-report: out of memory\n");
    } catch (const std::exception& exception) {
        print(stderr, "zorvi-report: ");
        print(stderr, exception.what());
        print(stderr, "\n");
    }
    return zorvi::report::status_failed;
}
