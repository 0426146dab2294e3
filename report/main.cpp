// zorvi-report: run in the directory of a finished zorvi run; prints the analysis of the
// simulated series (text or JSON), writes the figure Zorvireport.svg and, when asked, the
// tables as CSV files.
#include <unistd.h>

#include <cerrno>
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

// Writes the whole of `text` to the descriptor, past interruptions and short writes, needing
// no memory; the system's error number when it cannot, else 0.
int print(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t count = ::write(fd, text.data(), text.size());
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return count < 0 ? errno : EIO;
        text.remove_prefix(static_cast<std::size_t>(count));
    }
    return 0;
}

// Writes the whole of `text` (`what` it is) to standard output and gives `status`, or ends
// with one line on standard error and status 1.
int print_out(std::string_view text, std::string_view what, int status) {
    const int reason = print(STDOUT_FILENO, text);
    if (reason == 0) return status;
    print(STDERR_FILENO, "zorvi-report: cannot write ");
    print(STDERR_FILENO, what);
    print(STDERR_FILENO, " to standard output: ");
    print(STDERR_FILENO, std::strerror(reason));
    print(STDERR_FILENO, "\n");
    return zorvi::report::status_failed;
}

// Reads the command line and runs the report; the status to end with.
int report(int argc, char** argv) {
    zorvi::report::CommandLine line =
        zorvi::report::parse_report_options(argc, argv, zorvi::report::paths_in({}));
    if (!line.run) {
        print(STDERR_FILENO, line.error);
        return line.out.empty() ? line.status : print_out(line.out, "the text", line.status);
    }
    line.options.progress = true;  // when standard error is a terminal and the work is long
    const zorvi::report::ReportOutcome outcome =
        zorvi::report::run_report(line.paths, line.options);
    // A report whose files could not be written still gives its summary, before the error
    // that ends it.
    if (outcome.status != 0) {
        print(STDOUT_FILENO, outcome.summary);
        print(STDERR_FILENO, "zorvi-report: " + outcome.error + "\n");
        return outcome.status;
    }
    return print_out(outcome.summary, "the analysis", 0);
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
        print(STDERR_FILENO, "zorvi-report: out of memory\n");
    } catch (const std::exception& exception) {
        print(STDERR_FILENO, "zorvi-report: ");
        print(STDERR_FILENO, exception.what());
        print(STDERR_FILENO, "\n");
    }
    return zorvi::report::status_failed;
}
