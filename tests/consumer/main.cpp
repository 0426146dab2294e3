// Runs a study of a data file through the installed library and prints its JSON document.
//   consumer DATA_FILE [THRESHOLD]
#include <cstdio>
#include <cstdlib>
#include <zorvi/zorvi.hpp>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    try {
        const zorvi::EventData data = zorvi::read_events(argv[1]);
        zorvi::StudySettings settings;
        if (argc > 2) settings.threshold = std::strtod(argv[2], nullptr);
        zorvi::describe_magnitudes(data.events, true, settings);
        const zorvi::Study study = zorvi::run_study(data, settings, {}, argv[1]);
        std::fputs(zorvi::json_text(study).c_str(), stdout);
    } catch (const zorvi::Error& error) {
        std::fprintf(stderr, "consumer: %s\n", error.what());
        return 1;
    }
}
