// zorvi-report's outputs in hostile surroundings: clashes refused before anything is read,
// files committed together or not at all, no temporary file left by a signal, one file mode.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "report_test_support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace zorvi::testing;

const std::string data = "1990.5 100 5\n2000.5 120 5\n2010.5 90 5\n";
const std::string old_figure = "an earlier figure\n";
const std::string old_results = "earlier results\n";
const std::string old_table = "an earlier table\n";

// Every entry under `dir`, by name: its type and its bytes or the name it links to.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string name = entry.path().lexically_relative(dir).string();
        const fs::file_status status = entry.symlink_status();
        if (fs::is_symlink(status))
            entries[name] = "link to " + fs::read_symlink(entry.path()).string();
        else if (fs::is_regular_file(status))
            entries[name] = "file " + read_file(entry.path());
        else
            entries[name] = fs::is_directory(status) ? "directory" : "special";
    }
    return entries;
}

// Names of temporary files left: every temporary is hidden.
std::vector<std::string> hidden_entries(const fs::path& dir) {
    std::vector<std::string> hidden;
    for (const auto& [name, entry] : snapshot(dir))
        if (fs::path(name).filename().string().front() == '.') hidden.push_back(name);
    return hidden;
}

// A directory of stand-ins for rsvg-convert, each a shell script.
struct Converters {
    TempDir dir;
    // Copies the SVG it reads to the "PNG" it writes: the bytes show what it was given.
    std::string copying() { return make("copying", "exec cat\n"); }
    std::string failing() { return make("failing", "exit 3\n"); }
    // Writes its process id to $MARK, then sleeps in that same process.
    std::string sleeping() { return make("sleeping", "echo $$ > \"$MARK\"\nexec sleep 60\n"); }
    std::string make(const std::string& name, const std::string& body) {
        const fs::path bin = dir.path / name;
        fs::create_directories(bin);
        write_file(bin / "rsvg-convert", "#!/bin/sh\n" + body);
        fs::permissions(bin / "rsvg-convert", fs::perms::owner_all);
        return "PATH=" + bin.string() + ":/usr/bin:/bin";
    }
};

// A study's directory with its data file and the earlier outputs of a report.
void plant_earlier_outputs(const fs::path& dir) {
    write_file(dir / "d.dat", data);
    write_file(dir / "Zorvireport.svg", old_figure);
    write_file(dir / "study-results.dat", old_results);
    fs::create_directory(dir / "tables");
    write_file(dir / "tables" / "tests.csv", old_table);
}

ProcessResult report(const fs::path& dir, const std::string& path_setting,
                     std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(),
                     {"env", path_setting, report_binary, "--data", "d.dat", "--series", "50"});
    return run_program(arguments, dir);
}

ProcessResult report_with(const fs::path& dir, const std::string& path_setting,
                          std::vector<std::string> arguments,
                          const std::function<void()>& prepare) {
    arguments.insert(arguments.begin(),
                     {"env", path_setting, report_binary, "--data", "d.dat", "--series", "50"});
    return run_program_with(arguments, dir, prepare);
}

void make_fifo(const fs::path& path) {
    fs::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0) << path;
}

TEST(ReportOutputs, ClashesAreRefusedBeforeAnythingIsRead) {
    struct Case {
        std::string label;
        std::function<void(const fs::path&)> plant;
        std::vector<std::string> arguments;
        std::string error;  // empty: the run succeeds, every planted entry left as it was
        bool converter = true;
    };
    const auto link_to_data = [](std::vector<std::string> names) {
        return [names](const fs::path& dir) {
            for (const std::string& name : names)
                fs::create_symlink(fs::absolute(dir / "d.dat"), dir / name);
        };
    };
    const std::string not_regular = ": not a regular file, left as it is";
    const std::vector<Case> cases = {
        {"links at temporary-looking names",
         link_to_data({"Zorvireport.png.tmp", ".Zorvireport.png.tmp", "Zorvireport.svg.tmp",
                       ".study-results.dat.tmp", "tables/.series.csv.tmp", "tables/tests.csv.tmp",
                       ".r.html.tmp"}),
         {"--png", "--csv", "tables", "--html", "r.html"},
         ""},
        {"the PNG a link to the data file",
         link_to_data({"Zorvireport.png"}),
         {"--png"},
         "the figure would replace the data file 'd.dat'; --no-figure leaves it out"},
        {"the figure a FIFO",
         [](const fs::path& dir) { make_fifo(dir / "Zorvireport.svg"); },
         {},
         "cannot write 'Zorvireport.svg'" + not_regular},
        {"the PNG a FIFO",
         [](const fs::path& dir) { make_fifo(dir / "Zorvireport.png"); },
         {"--png"},
         "cannot write 'Zorvireport.png'" + not_regular},
        {"a table a FIFO",
         [](const fs::path& dir) { make_fifo(dir / "tables" / "events.csv"); },
         {"--csv", "tables"},
         "cannot write 'tables/events.csv'" + not_regular},
        {"a table a link to a FIFO",
         [](const fs::path& dir) {
             make_fifo(dir / "fifo");
             fs::create_symlink("../fifo", dir / "tables" / "m_counts.csv");
         },
         {"--csv", "tables"},
         "cannot write 'tables/m_counts.csv'" + not_regular},
        {"the results a FIFO",
         [](const fs::path& dir) { make_fifo(dir / "r.fifo"); },
         {"--results", "r.fifo"},
         "cannot write 'r.fifo'" + not_regular},
        {"the figure a link to /dev/null",
         [](const fs::path& dir) {
             fs::remove(dir / "Zorvireport.svg");
             fs::create_symlink("/dev/null", dir / "Zorvireport.svg");
         },
         {},
         "cannot write 'Zorvireport.svg'" + not_regular},
        {"the figure a directory",
         [](const fs::path& dir) {
             fs::remove(dir / "Zorvireport.svg");
             fs::create_directory(dir / "Zorvireport.svg");
         },
         {},
         "cannot write 'Zorvireport.svg'" + not_regular},
        {"the results a directory",
         [](const fs::path& dir) { fs::create_directory(dir / "sub"); },
         {"--results", "sub"},
         "--results 'sub' would replace a directory; name another results file"},
        {"the results one of the tables",
         [](const fs::path&) {},
         {"--results", "tables/series.csv", "--csv", "tables"},
         "--csv 'tables': its table series.csv would replace the results file "
         "'tables/series.csv'; write the tables into another directory"},
        {"the results in a missing directory",
         [](const fs::path&) {},
         {"--results", "missing/r.dat"},
         "cannot write 'missing/r.dat': No such file or directory"},
        {"--csv a plain file",
         [](const fs::path&) {},
         {"--csv", "d.dat"},
         "--csv 'd.dat': not a directory; name a directory for the tables"},
        {"the HTML report a FIFO",
         [](const fs::path& dir) { make_fifo(dir / "r.html"); },
         {"--html", "r.html"},
         "cannot write 'r.html'" + not_regular},
        {"the HTML report the figure",
         [](const fs::path&) {},
         {"--html", "./Zorvireport.svg"},
         "--html './Zorvireport.svg' would replace the figure; name another file for the HTML "
         "report"},
        {"the HTML report a table",
         [](const fs::path&) {},
         {"--csv", "tables", "--html", "tables/events.csv"},
         "--html 'tables/events.csv' would replace --csv 'tables': its table events.csv; name "
         "another file for the HTML report"},
        {"the HTML report the data file",
         [](const fs::path&) {},
         {"--html", "d.dat"},
         "--html 'd.dat' would replace the data file 'd.dat'; name another file for the HTML "
         "report"},
        {"the HTML report the program's results file",
         [](const fs::path&) {},
         {"--html", "Zorviresult.dat"},
         "--html 'Zorviresult.dat' would replace the program's own file of that name; name "
         "another file for the HTML report"},
        {"the HTML report no file's name",
         [](const fs::path&) {},
         {"--html", "tables/"},
         "--html 'tables/' names no file; name another file for the HTML report"},
        {"the results the HTML report",
         [](const fs::path&) {},
         {"--html", "r.html", "--results", "r.html"},
         "--html 'r.html' would replace the results file 'r.html'; name another file for the "
         "HTML report"},
        {"--png without its converter",
         [](const fs::path&) {},
         {"--png", "--csv", "tables"},
         "--png needs rsvg-convert (Debian package librsvg2-bin), which is not installed",
         false},
    };
    Converters converters;
    const std::string copying = converters.copying();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        plant_earlier_outputs(dir.path);
        c.plant(dir.path);
        const std::map<std::string, std::string> before = snapshot(dir.path);
        const std::vector<std::string> hidden = hidden_entries(dir.path);  // as planted
        const ProcessResult result =
            report(dir.path, c.converter ? copying : "PATH=/nonexistent", c.arguments);
        EXPECT_EQ(hidden_entries(dir.path), hidden);
        if (c.error.empty()) {
            EXPECT_EQ(result.status, 0) << result.err;
            EXPECT_EQ(result.err, "");
            const std::map<std::string, std::string> after = snapshot(dir.path);
            for (const auto& [name, entry] : before)
                if (name.ends_with(".tmp")) {
                    EXPECT_EQ(after.at(name), entry) << name;
                }
            EXPECT_EQ(after.at("d.dat"), "file " + data);
            EXPECT_EQ(read_file(dir.path / "Zorvireport.png"),
                      read_file(dir.path / "Zorvireport.svg"));
            continue;
        }
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "zorvi-report: " + c.error + "\n");
        EXPECT_EQ(snapshot(dir.path), before);
    }
}

// A directory the user may not write is refused first: before the data file, which that user
// may not read either, is opened.
TEST(ReportOutputs, AnUnwritableDirectoryIsRefusedFirst) {
    if (!can_drop_root()) GTEST_SKIP() << "needs root and setpriv to run as another user";
    TempDir bin;
    const fs::path copy = bin.path / "zorvi-report";
    fs::copy_file(report_binary, copy);
    fs::permissions(bin.path, fs::perms(0755));
    fs::permissions(copy, fs::perms(0755));
    TempDir dir;
    plant_earlier_outputs(dir.path);
    fs::permissions(dir.path, fs::perms(0755));
    fs::permissions(dir.path / "d.dat", fs::perms(0600));
    const std::map<std::string, std::string> before = snapshot(dir.path);
    const ProcessResult result =
        run_program({copy.string(), "--data", "d.dat", "--series", "50"}, dir.path, true);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "zorvi-report: cannot write 'study-results.dat': Permission denied\n");
    EXPECT_EQ(snapshot(dir.path), before);
}

// A figure or table that cannot be written: no file is written or replaced, the results file
// included, and the summary still reaches standard output; the status is 1.
TEST(ReportOutputs, AFailedFigureWritesNoFileButGivesTheSummary) {
    Converters converters;
    struct Case {
        std::string path_setting;
        std::function<void()> prepare;
        std::string error;
    };
    const std::vector<Case> cases = {
        {converters.failing(), [] {},
         "rsvg-convert could not write 'Zorvireport.png' (status 3); no file was written"},
        {converters.copying(),
         [] {  // the figure is about 40 kB, the summary and every other file far less
             constexpr rlim_t limit = 20000;
             const rlimit size{limit, limit};
             setrlimit(RLIMIT_FSIZE, &size);
         },
         "cannot write 'Zorvireport.svg': File too large; no file was written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        TempDir dir;
        plant_earlier_outputs(dir.path);
        const std::map<std::string, std::string> before = snapshot(dir.path);
        const ProcessResult result = report_with(
            dir.path, c.path_setting, {"--png", "--csv", "tables", "--html", "r.html"}, c.prepare);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "zorvi-report: " + c.error + "\n");
        EXPECT_EQ(result.out.rfind("Zorvi report on study-results.dat\n", 0), 0u) << result.out;
        EXPECT_NE(result.out.find("(their results file could not be written)\n"),
                  std::string::npos);
        EXPECT_EQ(result.out.find("Figure "), std::string::npos);
        EXPECT_EQ(snapshot(dir.path), before);
    }
}

// The state of process `pid` ('Z' for a zombie), or 0 once it is gone.
char process_state(pid_t pid) {
    const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? 0 : stat[close + 2];
}

// SIGTERM while the converter runs: every temporary file is removed, the PNG's included, the
// converter is ended, and every earlier file is as it was.
TEST(ReportOutputs, ASignalWhileTheConverterRunsLeavesNoTemporary) {
    Converters converters;
    const std::string sleeping = converters.sleeping();
    TempDir outside;
    const fs::path mark = outside.path / "converter.pid";
    TempDir dir;
    plant_earlier_outputs(dir.path);
    const std::map<std::string, std::string> before = snapshot(dir.path);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(dir.path.c_str()) != 0) _exit(127);
        setenv("MARK", mark.c_str(), 1);
        putenv(const_cast<char*>(sleeping.c_str()));
        freopen("/dev/null", "w", stdout);
        execl(report_binary.c_str(), report_binary.c_str(), "--data", "d.dat", "--series", "50",
              "--png", "--csv", "tables", nullptr);
        _exit(127);
    }
    std::string converter;
    for (int wait = 0; wait < 3000 && converter.find('\n') == std::string::npos; ++wait) {
        usleep(10000);
        if (fs::exists(mark)) converter = read_file(mark);
    }
    ASSERT_NE(converter.find('\n'), std::string::npos) << "the converter never started";
    EXPECT_EQ(hidden_entries(dir.path).size(), 4u);  // results, series.csv, figure and PNG
    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(snapshot(dir.path), before);

    const pid_t converter_pid = std::stoi(converter);
    for (int wait = 0;
         wait < 1000 && process_state(converter_pid) != 0 && process_state(converter_pid) != 'Z';
         ++wait)
        usleep(10000);
    const char state = process_state(converter_pid);
    EXPECT_TRUE(state == 0 || state == 'Z') << "the converter still runs: " << state;
}

// A new file gets 0666 less the umask, a replaced one keeps its mode, and a link is replaced
// by a new file, never written through.
TEST(ReportOutputs, EveryFileGetsTheSameModeRule) {
    Converters converters;
    const std::string copying = converters.copying();
    TempDir dir;
    write_file(dir.path / "d.dat", data);
    const auto mode = [&](const std::string& name) {
        struct stat found {};
        EXPECT_EQ(lstat((dir.path / name).c_str(), &found), 0) << name;
        return found.st_mode & 07777;
    };
    const std::vector<std::string> outputs = {"study-results.dat",
                                              "Zorvireport.svg",
                                              "Zorvireport.png",
                                              "tables/tests.csv",
                                              "tables/events.csv",
                                              "tables/m_counts.csv",
                                              "tables/series.csv",
                                              "tables/sweep_threshold.csv",
                                              "tables/sweep_start_year.csv",
                                              "report.html"};
    const auto run = [&] {
        const ProcessResult result =
            report_with(dir.path, copying, {"--png", "--csv", "tables", "--html", "report.html"},
                        [] { umask(027); });
        EXPECT_EQ(result.status, 0) << result.err;
    };
    run();
    for (const std::string& name : outputs)
        EXPECT_EQ(mode(name), 0640u) << name;

    fs::permissions(dir.path / "study-results.dat", fs::perms(0604));
    fs::permissions(dir.path / "tables/tests.csv", fs::perms(0600));
    write_file(dir.path / "other.png", "another file\n");
    fs::permissions(dir.path / "other.png", fs::perms(0666));
    fs::remove(dir.path / "Zorvireport.png");
    fs::create_symlink("other.png", dir.path / "Zorvireport.png");
    run();
    EXPECT_EQ(mode("study-results.dat"), 0604u);
    EXPECT_EQ(mode("tables/tests.csv"), 0600u);
    EXPECT_EQ(mode("Zorvireport.png"), 0640u);  // a regular file now
    EXPECT_EQ(mode("other.png"), 0666u);
    EXPECT_EQ(read_file(dir.path / "other.png"), "another file\n");
}

}  // namespace
