#pragma once

#include "graph/GraphView.h"
#include "graph/TracePoints.h"
#include "link/Quantity.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>

namespace svglogger {

// Picture1, the trend plot: a stored frame (background, dotted grid, time labels, the solid
// zero-power line) and the traces drawn over it at each sample. Clearing restores the frame.
class PlotArea final : public QWidget, public GraphView
{
public:
    static constexpr int kWidth = 10560 / 15;
    static constexpr int kHeight = 4560 / 15;
    // The colour of trace t of kTrendTraces.
    static constexpr QRgb traceColour(std::size_t t) { return 0xFF000000 | kTrendTraces[t].colour; }
    static constexpr QRgb kGridColour = qRgb(128, 128, 128);

    explicit PlotArea(QWidget *parent = nullptr);

    // The plot's background colour (Option4); takes effect with the next frame.
    void setBackground(QColor colour) { m_background = colour; }
    // Draws the grid, the time labels and the zero-power line on the background and stores
    // the result as the frame; the plot then shows the frame alone.
    void drawFrame();

    void clearPlot() override;
    void drawTrace(int trace, const TracePoints &points, int first) override;
    void plotDone() override;

    // What the plot area shows now.
    const QImage &canvas() const { return m_canvas; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Rows [top, bottom] of one column, clipped to the area; empty when top > bottom.
    struct Span {
        std::int16_t top = 1;
        std::int16_t bottom = 0;
    };
    static constexpr int kColumns = TracePoints::kPoints;

    void paintSpans();
    void restoreColumns();

    QColor m_background{176, 176, 176};
    QImage m_frame;
    QImage m_canvas;
    // Each trace covers one contiguous run of rows per column: the second half of the
    // segment arriving from the left and the first half of the one leaving to the right.
    // The runs are painted once per sample, later traces over earlier ones, each pixel once.
    std::array<std::array<Span, kColumns>, 5> m_spans{};
    std::array<bool, 5> m_traceWaiting{}; // runs collected, not painted yet
    std::array<bool, 5> m_tracePainted{}; // runs on the canvas, to be restored at the next clear
    bool m_canvasDirty = false;           // a new frame: restore the picture whole
};

} // namespace svglogger
