// The figure's page layout: a grid of equal cells, every position derived from FigureLayout.
#include "zorvi/figure/figure_impl.hpp"

namespace zorvi::detail {

double cell_width(const FigureLayout& layout) {
    return layout.cell.left + layout.plot_width + layout.cell.right;
}

double cell_height(const FigureLayout& layout) {
    return layout.cell.top + layout.plot_height + layout.cell.bottom;
}

std::size_t grid_rows(const FigureLayout& layout, std::size_t panels) {
    return (panels + layout.columns - 1) / layout.columns;
}

PanelFrame panel_frame(const FigureLayout& layout, std::size_t index) {
    const auto column = static_cast<double>(index % layout.columns);
    const auto row = static_cast<double>(index / layout.columns);
    const double cell_left = layout.side + column * cell_width(layout);
    const double cell_top = layout.header + row * cell_height(layout);
    PanelFrame frame;
    frame.plot = {cell_left + layout.cell.left, cell_top + layout.cell.top, layout.plot_width,
                  layout.plot_height};
    frame.title_y = cell_top + layout.heading_line;
    frame.caption_y = frame.title_y + layout.heading_line;
    frame.legend_y = frame.caption_y + layout.heading_line;
    return frame;
}

Rect page_rect(const FigureLayout& layout, std::size_t panels) {
    const double columns = static_cast<double>(layout.columns);
    const double rows = static_cast<double>(grid_rows(layout, panels));
    return {0.0, 0.0, 2 * layout.side + columns * cell_width(layout),
            layout.header + rows * cell_height(layout) + layout.footer};
}

}  // namespace zorvi::detail
