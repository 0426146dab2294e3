// The progress bar of long studies: drawn on a terminal, never anywhere else.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

#include "report/run_report.hpp"
#include "test_support.hpp"

namespace {

using zorvi::report::progress_bar;
using zorvi::testing::ProcessResult;
using zorvi::testing::run_in_child;

// The bar is drawn on a terminal, and nothing at all is written when standard error is not one.
TEST(ReportProgress, OnATerminalOnly) {
    const ProcessResult to_file = run_in_child([] {
        if (progress_bar(1000000, 60)) std::fputs("a bar", stdout);
    });
    EXPECT_EQ(to_file.out, "");
    EXPECT_EQ(to_file.err, "");

    const ProcessResult on_terminal = run_in_child([] {
        int terminal = -1, device = -1;
        if (openpty(&terminal, &device, nullptr, nullptr, nullptr) != 0) _exit(77);
        dup2(device, STDERR_FILENO);
        const zorvi::ProgressStep step = progress_bar(1000000, 60);
        if (!step) _exit(1);
        step(250000);
        step(1000000);  // the end: the line cleared
        // The terminal passes the output on in its own time: read until it has been quiet.
        std::string drawn;
        std::array<char, 4096> chunk{};
        pollfd ready{terminal, POLLIN, 0};
        while (poll(&ready, 1, 500) > 0) {
            const ssize_t n = read(terminal, chunk.data(), chunk.size());
            if (n <= 0) break;
            drawn.append(chunk.data(), static_cast<std::size_t>(n));
        }
        std::fwrite(drawn.data(), 1, drawn.size(), stdout);
        // A small study is not worth a bar.
        if (progress_bar(2000, 60)) std::fputs("\nsmall", stdout);
    });
    if (on_terminal.status == 77) GTEST_SKIP() << "no pseudo-terminal";
    ASSERT_EQ(on_terminal.status, 0);
    const std::string bar =
        "\rsimulating [#######                       ] 25 %  250000 of 1000000 series";
    EXPECT_EQ(on_terminal.out.substr(0, bar.size()), bar) << on_terminal.out;
    EXPECT_EQ(on_terminal.out.substr(bar.size()), "\r" + std::string(bar.size() - 1, ' ') + "\r");
}

}  // namespace
