// Drawing primitives of the figure: SVG elements, axes, panel headings and legends, each
// appended to one growing string.
#include <algorithm>
#include <cassert>
#include <cmath>

#include "zorvi/figure/figure.hpp"
#include "zorvi/figure/figure_impl.hpp"
#include "zorvi/figure/label_place.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi::detail {
namespace {

constexpr double tick_length = 5;
constexpr double tick_label_gap = 8;  // between a y tick and its label
constexpr double x_label_drop = 44;   // below the plot, to the x axis label's baseline
constexpr double y_label_gap = 58;    // left of the plot, to the y axis label's centre
constexpr double legend_symbol = 20;  // width of a legend item's symbol
constexpr double legend_gap = 14;     // between legend items

// A character's advance in ems, by class, close to the sans-serif faces the figure asks for
// and on the wide side of them; a character beyond ASCII counts as a wide one.
double glyph_width(unsigned char c) {
    constexpr std::string_view narrow = " .,;:'|!ijl()[]";
    constexpr std::string_view slim = "frtI-/";
    constexpr std::string_view wide = "mwMW%";
    if (c >= 0x80) return 0.85;
    if (narrow.find(static_cast<char>(c)) != std::string_view::npos) return 0.33;
    if (slim.find(static_cast<char>(c)) != std::string_view::npos) return 0.43;
    if (wide.find(static_cast<char>(c)) != std::string_view::npos) return 0.98;
    if (c >= 'A' && c <= 'Z') return 0.74;
    return 0.64;
}

}  // namespace

std::string px(double v) {
    return fixed_text(v, 2);
}

void append(std::string& out, std::initializer_list<std::string_view> parts) {
    for (std::string_view part : parts)
        out += part;
}

std::string escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

double text_width(std::string_view text, int size) {
    double ems = 0.0;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0u) == 0x80u) continue;  // a UTF-8 continuation: counted with its lead
        ems += glyph_width(byte);
    }
    return ems * size;
}

void add_text(std::string& out, double x, double y, std::string_view text, Anchor anchor, int size,
              std::string_view extra) {
    static constexpr const char* anchors[] = {"start", "middle", "end"};
    append(out, {"<text x=\"", px(x), "\" y=\"", px(y), "\" text-anchor=\"",
                 anchors[static_cast<int>(anchor)], "\" font-size=\"", std::to_string(size), "\""});
    if (!extra.empty()) append(out, {" ", extra});
    append(out, {">", escaped(text), "</text>\n"});
}

void add_line(std::string& out, double x1, double y1, double x2, double y2, std::string_view colour,
              double width, std::string_view extra) {
    append(out, {"<line x1=\"", px(x1), "\" y1=\"", px(y1), "\" x2=\"", px(x2), "\" y2=\"", px(y2),
                 "\" stroke=\"", colour, "\" stroke-width=\"", px(width), "\""});
    if (!extra.empty()) append(out, {" ", extra});
    out += "/>\n";
}

void add_rect(std::string& out, const Rect& rect, std::string_view fill, std::string_view extra) {
    append(out, {"<rect x=\"", px(rect.left), "\" y=\"", px(rect.top), "\" width=\"",
                 px(rect.width), "\" height=\"", px(rect.height), "\" fill=\"", fill, "\""});
    if (!extra.empty()) append(out, {" ", extra});
    out += "/>\n";
}

void add_circle(std::string& out, double x, double y, double r, std::string_view fill,
                std::string_view tooltip) {
    append(out, {"<circle cx=\"", px(x), "\" cy=\"", px(y), "\" r=\"", px(r), "\" fill=\"", fill});
    if (tooltip.empty())
        out += "\"/>\n";
    else
        append(out, {"\"><title>", escaped(tooltip), "</title></circle>\n"});
}

void add_polyline(std::string& out, const std::vector<double>& x, const std::vector<double>& y,
                  std::string_view colour, double width, std::string_view extra) {
    if (x.empty()) return;
    out += "<path d=\"";
    bool drawing = false;  // a point that is not a number breaks the line
    for (std::size_t k = 0; k < x.size(); ++k) {
        if (!std::isfinite(y[k])) {
            drawing = false;
            continue;
        }
        append(out, {drawing ? "L" : "M", px(x[k]), " ", px(y[k])});
        drawing = true;
    }
    append(out, {"\" fill=\"none\" stroke=\"", colour, "\" stroke-width=\"", px(width),
                 "\" stroke-linejoin=\"round\""});
    if (!extra.empty()) append(out, {" ", extra});
    out += "/>\n";
}

void add_band(std::string& out, const std::vector<double>& x, const std::vector<double>& low,
              const std::vector<double>& high, std::string_view fill) {
    out += "<path d=\"";
    // One closed region per run of points where both lines are numbers.
    std::size_t k = 0;
    while (k < x.size()) {
        if (!std::isfinite(low[k]) || !std::isfinite(high[k])) {
            ++k;
            continue;
        }
        const std::size_t first = k;
        while (k < x.size() && std::isfinite(low[k]) && std::isfinite(high[k]))
            ++k;
        for (std::size_t j = first; j < k; ++j)
            append(out, {j == first ? "M" : "L", px(x[j]), " ", px(high[j])});
        for (std::size_t j = k; j-- > first;)
            append(out, {"L", px(x[j]), " ", px(low[j])});
        out += "Z";
    }
    append(out, {"\" fill=\"", fill, "\" stroke=\"none\"/>\n"});
}

AxisSpec axis_over(double low, double high, int parts, std::string label) {
    const double step = nice_step(high - low, parts);
    return {ticks_between(low, high, step), decimals_for_step(step), std::move(label)};
}

double nice_top(double high, int parts) {
    if (!(high > 0)) return 1.0;
    const double step = nice_step(high, parts);
    return std::ceil(high / step - 1e-9) * step;
}

AxisSpec count_axis(double high, int parts, std::string label) {
    // Counts are whole: a step of at least one.
    const double step = std::ceil(nice_step(std::max(1.0, high), parts));
    const double top = std::max(1.0, std::ceil(high / step)) * step;
    return {ticks_between(0.0, top, step), 0, std::move(label)};
}

void add_axes(std::string& out, const Rect& plot, const Scale& x, const Scale& y,
              const AxisSpec& x_axis, const AxisSpec& y_axis) {
    for (double tick : y_axis.ticks) {
        const double py = y(tick);
        add_line(out, plot.left, py, plot.right(), py, grid_colour, 1);
        add_line(out, plot.left - tick_length, py, plot.left, py, guide_colour, 1);
        add_text(out, plot.left - tick_label_gap, py + 4, fixed_text(tick, y_axis.decimals),
                 Anchor::end, label_size);
    }
    for (double tick : x_axis.ticks) {
        const double px_ = x(tick);
        add_line(out, px_, plot.bottom(), px_, plot.bottom() + tick_length, guide_colour, 1);
        add_text(out, px_, plot.bottom() + tick_label_drop, fixed_text(tick, x_axis.decimals),
                 Anchor::middle, label_size);
    }
    add_line(out, plot.left, plot.top, plot.left, plot.bottom(), guide_colour, 1);
    add_line(out, plot.left, plot.bottom(), plot.right(), plot.bottom(), guide_colour, 1);
    add_text(out, plot.centre_x(), plot.bottom() + x_label_drop, x_axis.label, Anchor::middle,
             label_size + 1);
    const double label_x = plot.left - y_label_gap;
    add_text(out, label_x, plot.centre_y(), y_axis.label, Anchor::middle, label_size + 1,
             "transform=\"rotate(-90 " + px(label_x) + " " + px(plot.centre_y()) + ")\"");
}

void add_heading(std::string& out, const PanelFrame& frame, std::string_view title,
                 std::string_view caption) {
    if (frame.text != nullptr) {
        frame.text->title = title;
        frame.text->caption = caption;
    }
    add_text(out, frame.plot.left, frame.title_y, title, Anchor::start, title_size,
             "font-weight=\"bold\"");
    // Both lines stay within the cell.
    assert(frame.plot.left + text_width(title, title_size) <=
           frame.plot.right() + figure_layout.cell.right);
    assert(frame.plot.left + text_width(caption, note_size) <=
           frame.plot.right() + figure_layout.cell.right);
    if (!caption.empty()) {
        add_text(out, frame.plot.left, frame.caption_y, caption, Anchor::start, note_size,
                 std::string("fill=\"") + note_colour + "\"");
    }
}

void add_legend(std::string& out, const PanelFrame& frame, const std::vector<LegendItem>& items) {
    double x = frame.plot.left;
    const double y = frame.legend_y - 4;  // the symbols' middle, level with the lower case
    for (const LegendItem& item : items) {
        const double end = x + legend_symbol;
        switch (item.symbol) {
            case Symbol::line:
                add_line(out, x, y, end, y, item.colour, 2);
                break;
            case Symbol::dashed_line:
                add_line(out, x, y, end, y, item.colour, 1.5, dashed);
                break;
            case Symbol::dotted_line:
                add_line(out, x, y, end, y, item.colour, 2, dotted);
                break;
            case Symbol::band:
                add_rect(out, {x, y - 5, legend_symbol, 10}, item.colour);
                break;
            case Symbol::dot:
                add_circle(out, x + legend_symbol / 2, y, 3.5, item.colour);
                break;
        }
        add_text(out, end + 5, frame.legend_y, item.label, Anchor::start, note_size);
        if (frame.text != nullptr) frame.text->legend.push_back(item.label);
        x = end + 5 + text_width(item.label, note_size) + legend_gap;
    }
    // The legend stays within its cell.
    assert(x - legend_gap <= frame.plot.right() + figure_layout.cell.right);
}

Anchor side_of(double x, const Rect& plot) {
    return x > plot.centre_x() ? Anchor::end : Anchor::start;
}

double beside(double x, Anchor anchor) {
    return anchor == Anchor::end ? x - 5 : x + 5;
}

void add_observed_marker(std::string& out, const Rect& plot, double x, std::string_view id,
                         const std::string& label, PlotMarks& marks) {
    add_line(out, x, plot.top, x, plot.bottom(), observed_colour, 2,
             "id=\"" + std::string(id) + "\"");
    mark_segment(marks, x, plot.top, x, plot.bottom(), 2);
    const LabelSpot spot =
        place_label(marks, plot, spots_beside(x, plot, side_of(x, plot), plot.top + 30, label_size),
                    label, label_size);
    add_text(out, spot.x, spot.y, label, spot.anchor, label_size,
             std::string("fill=\"") + observed_colour + "\" " + halo);
}

std::string selection_text(const FigureData& data) {
    const StudySettings& settings = data.settings();
    std::string text = "magnitude ≥ ";  // built in steps: g++ 12 warns wrongly on "" + string
    text += fixed_text(settings.threshold, decimals_for_step(settings.threshold));
    if (!settings.magnitude_unit.empty()) {
        text += ' ';
        text += settings.magnitude_unit;
    }
    return text;
}

std::string year_text(double year) {
    return fixed_text(year, decimals_for_step(year));
}

}  // namespace zorvi::detail
