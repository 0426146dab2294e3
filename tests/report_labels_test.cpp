// The figure's labels: in the shipped run, the 64 kt study and an earthquake-like study, no
// label inside a plot touches a line, marker, band edge, bar or another label, read back from
// the SVG document itself.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "report_test_support.hpp"
#include "zorvi/figure/figure_impl.hpp"
#include "zorvi/figure/label_place.hpp"
#include "zorvi/zorvi.hpp"

namespace {

namespace fs = std::filesystem;
using namespace zorvi::detail;
using zorvi::testing::source_dir;

// The value of an element's attribute `name`, or "" without it.
std::string attribute_text(const std::string& element, const std::string& name) {
    const std::string key = " " + name + "=\"";
    const std::size_t start = element.find(key);
    if (start == std::string::npos) return "";
    const std::size_t from = start + key.size();
    return element.substr(from, element.find('"', from) - from);
}

double attribute(const std::string& element, const std::string& name, double otherwise = NAN) {
    const std::string value = attribute_text(element, name);
    const bool number =
        !value.empty() && value.find_first_not_of("-0123456789.") == std::string::npos;
    return number ? std::stod(value) : otherwise;
}

bool has(const std::string& element, const std::string& text) {
    return element.find(text) != std::string::npos;
}

// A stroke as sample points: a label box must hold none of them, widened by half the stroke.
struct Stroke {
    double x1, y1, x2, y2, half;
};

// The straight pieces of a path's d attribute: M, L, H, V and Z.
std::vector<Stroke> path_strokes(const std::string& d, double half) {
    std::vector<Stroke> out;
    double x = 0, y = 0, first_x = 0, first_y = 0;
    for (std::size_t at = d.find_first_of("MLHVZ"); at != std::string::npos;
         at = d.find_first_of("MLHVZ", at + 1)) {
        const char c = d[at];
        const std::size_t end = d.find_first_not_of("-0123456789. ", at + 1);
        std::istringstream values(d.substr(at + 1, end == std::string::npos ? end : end - at - 1));
        if (c == 'M') {
            values >> x >> y;
            first_x = x;
            first_y = y;
            continue;
        }
        double nx = x, ny = y;
        if (c == 'L') values >> nx >> ny;
        if (c == 'H') values >> nx;
        if (c == 'V') values >> ny;
        if (c == 'Z') nx = first_x, ny = first_y;
        out.push_back({x, y, nx, ny, half});
        x = nx;
        y = ny;
    }
    return out;
}

bool stroke_meets(const Stroke& s, const Box& box) {
    const double length = std::hypot(s.x2 - s.x1, s.y2 - s.y1);
    const int samples = static_cast<int>(length / 0.25) + 1;
    for (int k = 0; k <= samples; ++k) {
        const double t = static_cast<double>(k) / samples;
        const double x = s.x1 + t * (s.x2 - s.x1), y = s.y1 + t * (s.y2 - s.y1);
        if (x > box.left - s.half && x < box.right + s.half && y > box.top - s.half &&
            y < box.bottom + s.half)
            return true;
    }
    return false;
}

bool boxes_meet(const Box& a, const Box& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

std::string unescaped(std::string text) {
    for (auto [from, to] :
         {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}})
        for (std::size_t at; (at = text.find(from)) != std::string::npos;)
            text.replace(at, std::string(from).size(), to);
    return text;
}

// Every label inside a plot of `svg` that meets something, described.
std::vector<std::string> collisions(const std::string& svg) {
    std::vector<std::string> found;
    std::istringstream lines(svg);
    std::string line;
    int panel = -1;
    std::vector<Stroke> strokes;
    std::vector<Box> boxes;
    std::vector<std::pair<Box, std::string>> labels;
    std::size_t labels_read = 0, strokes_read = 0, boxes_read = 0;
    const auto finish_panel = [&] {
        labels_read += labels.size();
        strokes_read += strokes.size();
        boxes_read += boxes.size();
        for (std::size_t i = 0; i < labels.size(); ++i) {
            const auto& [box, text] = labels[i];
            for (const Stroke& s : strokes)
                if (stroke_meets(s, box)) found.push_back(text + " meets a line");
            for (const Box& b : boxes)
                if (boxes_meet(box, b)) found.push_back(text + " meets a bar or dot");
            for (std::size_t j = i + 1; j < labels.size(); ++j)
                if (boxes_meet(box, labels[j].first))
                    found.push_back(text + " meets " + labels[j].second);
        }
        strokes.clear();
        boxes.clear();
        labels.clear();
    };
    while (std::getline(lines, line)) {
        if (line.rfind("<g id=\"panel-", 0) == 0) {
            ++panel;
            continue;
        }
        if (line == "</g>") {
            finish_panel();
            continue;
        }
        if (panel < 0) continue;
        const Rect plot = panel_frame(figure_layout, static_cast<std::size_t>(panel)).plot;
        const double half = attribute(line, "stroke-width", 1) / 2;
        if (line.rfind("<line ", 0) == 0 && !has(line, grid_colour)) {
            strokes.push_back({attribute(line, "x1"), attribute(line, "y1"), attribute(line, "x2"),
                               attribute(line, "y2"), half});
        } else if (line.rfind("<path ", 0) == 0) {
            const std::size_t d = line.find("d=\"") + 3;
            const bool filled = has(line, "stroke=\"none\"");
            for (const Stroke& s :
                 path_strokes(line.substr(d, line.find('"', d) - d), filled ? 0.0 : half))
                strokes.push_back(s);
        } else if (line.rfind("<rect ", 0) == 0 && has(line, bar_colour)) {
            const double x = attribute(line, "x"), y = attribute(line, "y");
            boxes.push_back({x, y, x + attribute(line, "width"), y + attribute(line, "height")});
        } else if (line.rfind("<circle ", 0) == 0) {
            const double x = attribute(line, "cx"), y = attribute(line, "cy"),
                         r = attribute(line, "r");
            boxes.push_back({x - r, y - r, x + r, y + r});
        } else if (line.rfind("<text ", 0) == 0) {
            const double x = attribute(line, "x"), y = attribute(line, "y");
            if (!(x > plot.left && x < plot.right() && y > plot.top && y < plot.bottom())) continue;
            const std::string anchor_name = attribute_text(line, "text-anchor");
            const Anchor anchor = anchor_name == "end"      ? Anchor::end
                                  : anchor_name == "middle" ? Anchor::middle
                                                            : Anchor::start;
            const std::size_t open = line.find('>') + 1;
            const std::string text = unescaped(line.substr(open, line.rfind("</text>") - open));
            const Box box =
                label_box({x, y, anchor}, text, static_cast<int>(attribute(line, "font-size")));
            if (box.left < plot.left || box.right > plot.right() || box.top < plot.top ||
                box.bottom > plot.bottom())
                found.push_back(text + " leaves its plot");
            labels.push_back({box, text});
        }
    }
    // A reader that read nothing would find nothing.
    if (labels_read == 0 || strokes_read == 0 || boxes_read == 0)
        found.push_back("the figure's labels, lines or marks were not read");
    return found;
}

zorvi::Study study_of(const fs::path& data, const zorvi::ReadOptions& read, double threshold,
                      double start, double end, std::vector<double> classes, bool winds) {
    const zorvi::EventData events = zorvi::read_events(data, read);
    zorvi::StudySettings settings;
    settings.threshold = threshold;
    settings.start = start;
    settings.end = end;
    if (!classes.empty()) {
        settings.class_bounds = classes;
        settings.own_classes = true;
    }
    zorvi::describe_magnitudes(events.events, winds, settings);
    return zorvi::run_study(events, settings);
}

TEST(ReportLabels, NoLabelMeetsAnythingInItsPlot) {
    const fs::path hurricanes = source_dir / "data" / "us-hurricane-landfalls-1980-2018.csv";
    const zorvi::ReadOptions quake_columns{zorvi::DataFormat::automatic,
                                           {"year", "magnitude", "stderr"}};
    struct Case {
        const char* name;
        zorvi::Study study;
    };
    const std::vector<Case> cases = {
        {"shipped run",
         study_of(source_dir / "data" / "Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat", {},
                  113, zorvi::program_start, zorvi::program_end, {}, true)},
        {"64 kt", study_of(hurricanes, {}, 64, zorvi::program_start, zorvi::program_end, {}, true)},
        {"quakes", study_of(source_dir / "data" / "examples" / "quakes-made-up.csv", quake_columns,
                            6.35, 1700, 2020, {6, 6.5, 7}, false)},
    };
    for (const Case& c : cases) {
        const std::string svg = zorvi::svg_figure(c.study);
        EXPECT_EQ(collisions(svg), std::vector<std::string>{}) << c.name;
        // The labels looked for are there: the check above has something to check.
        EXPECT_TRUE(has(svg, "% of series below P = 0.05")) << c.name;
        EXPECT_TRUE(has(svg, ">m = ")) << c.name;
    }
}

// Placement itself: the first free spot in order, the scan when none is, and a label placed
// later keeps clear of one placed before.
TEST(ReportLabels, FirstFreeSpotInOrder) {
    const Rect plot{0, 0, 200, 100};
    PlotMarks marks;
    mark_segment(marks, 100, 0, 100, 100, 2);  // a vertical line across the middle
    const std::vector<LabelSpot> spots = {{90, 20, Anchor::start}, {95, 20, Anchor::end}};
    const LabelSpot first = place_label(marks, plot, spots, "label", 12);
    EXPECT_EQ(first.x, 95);  // the first spot would cross the line
    const LabelSpot second = place_label(marks, plot, spots, "label", 12);
    EXPECT_FALSE(second.x == 95 && second.y == 20);  // taken by the first label
    EXPECT_TRUE(box_is_free(label_box(second, "label", 12), PlotMarks{}, plot));
    EXPECT_FALSE(box_is_free(label_box({195, 20, Anchor::start}, "label", 12), {}, plot));
}

}  // namespace
