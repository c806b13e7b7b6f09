#include "ui/PlotArea.h"

#include "graph/TracePoints.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

namespace svglogger {

PlotArea::PlotArea(QWidget *parent)
    : QWidget(parent)
    , m_frame(kWidth, kHeight, QImage::Format_RGB32)
    , m_canvas(kWidth, kHeight, QImage::Format_RGB32)
{
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_frame.fill(m_background);
    m_canvas.fill(m_background);
}

void PlotArea::drawFrame()
{
    m_frame.fill(m_background);
    QPainter painter(&m_frame);
    QPen dotted(QColor(kGridColour), 1, Qt::CustomDashLine);
    dotted.setDashPattern({1, 1}); // every other pixel
    painter.setPen(dotted);
    for (int k = 1; k <= 9; ++k)
        painter.drawLine(0, 30 * k, 700, 30 * k);
    QFont small = font();
    small.setPointSize(7);
    painter.setFont(small);
    for (int i = 1; i <= 13; ++i) {
        painter.setPen(dotted);
        painter.drawLine(50 * i, 0, 50 * i, 300);
        // Seconds before the newest sample, which is drawn at x = 700.
        painter.setPen(QColor(kGridColour));
        painter.drawText(QRect(50 * i - 10, 290, 40, 14), Qt::AlignLeft | Qt::AlignTop, QString::number(140 - 10 * i));
    }
    painter.setPen(QPen(QColor(kGridColour), 1, Qt::SolidLine));
    painter.drawLine(0, 180, 700, 180); // zero power
    painter.end();
    m_canvasDirty = true;
    clearPlot();
    update();
}

void PlotArea::clearPlot()
{
    restoreColumns();
}

// Puts back the frame where the last traces changed it: run by run when that is little,
// else the whole picture in one copy.
void PlotArea::restoreColumns()
{
    constexpr std::size_t kCopyWholeAbove = 40000; // pixels; one whole copy costs about as much
    std::size_t changed = 0;
    for (std::size_t t = 0; t < m_spans.size(); ++t) {
        if (!m_tracePainted[t])
            continue;
        for (const Span &span : m_spans[t])
            changed += span.top <= span.bottom ? static_cast<std::size_t>(span.bottom - span.top + 1) : 0;
    }
    if (m_canvasDirty || changed > kCopyWholeAbove) {
        std::memcpy(m_canvas.bits(), m_frame.constBits(), static_cast<std::size_t>(m_frame.sizeInBytes()));
    } else if (changed > 0) {
        const qsizetype stride = m_canvas.bytesPerLine() / 4;
        auto *to = reinterpret_cast<QRgb *>(m_canvas.bits());
        const auto *from = reinterpret_cast<const QRgb *>(m_frame.constBits());
        for (std::size_t t = 0; t < m_spans.size(); ++t) {
            if (!m_tracePainted[t])
                continue;
            for (int x = 0; x < kColumns && x < kWidth; ++x) {
                const Span span = m_spans[t][static_cast<std::size_t>(x)];
                for (int y = span.top; y <= span.bottom; ++y)
                    to[y * stride + x] = from[y * stride + x];
            }
        }
    }
    m_tracePainted.fill(false);
    m_traceWaiting.fill(false);
    m_canvasDirty = false;
}

void PlotArea::drawTrace(int trace, const TracePoints &points, int first)
{
    // Trace points stand in consecutive columns (x of point j is j): their runs are collected
    // and painted with the others in plotDone.
    const int count = TracePoints::kPoints - first;
    auto &spans = m_spans[static_cast<std::size_t>(trace)];
    spans.fill(Span{});
    m_traceWaiting[static_cast<std::size_t>(trace)] = true;
    if (count < 2)
        return; // a single point draws nothing
    const std::int32_t *ys = points.ys().data();
    for (int j = first; j < TracePoints::kPoints; ++j) {
        std::int64_t top = ys[j];
        std::int64_t bottom = ys[j];
        if (j > first) { // the second half of the segment from the left ends here
            const std::int64_t dy = std::int64_t{ys[j]} - ys[j - 1];
            const std::int64_t start = dy == 0 ? ys[j] : ys[j - 1] + dy / 2 + (dy > 0 ? 1 : -1);
            top = std::min(top, start);
            bottom = std::max(bottom, start);
        }
        if (j + 1 < TracePoints::kPoints) { // the first half of the segment to the right
            const std::int64_t end = ys[j] + (std::int64_t{ys[j + 1]} - ys[j]) / 2;
            top = std::min(top, end);
            bottom = std::max(bottom, end);
        }
        top = std::max<std::int64_t>(top, 0);
        bottom = std::min<std::int64_t>(bottom, kHeight - 1);
        if (top <= bottom && j < kWidth)
            spans[static_cast<std::size_t>(j)] = {static_cast<std::int16_t>(top), static_cast<std::int16_t>(bottom)};
    }
}

void PlotArea::plotDone()
{
    paintSpans();
    update();
}

// Per column: short runs are painted trace after trace; where they are long, the traces go
// from the last to the first and each paints only the rows no later trace covers, so every
// pixel is written once. Either way the picture is that of drawing the traces in order.
void PlotArea::paintSpans()
{
    constexpr int kOverdrawUpTo = 24; // rows in a column below which painting over is cheaper
    const qsizetype stride = m_canvas.bytesPerLine() / 4;
    auto *bits = reinterpret_cast<QRgb *>(m_canvas.bits());
    for (int x = 0; x < kColumns && x < kWidth; ++x) {
        const auto column = static_cast<std::size_t>(x);
        int rows = 0;
        for (std::size_t t = 0; t < m_spans.size(); ++t) {
            const Span span = m_spans[t][column];
            if (m_traceWaiting[t] && span.top <= span.bottom)
                rows += span.bottom - span.top + 1;
        }
        if (rows == 0)
            continue;
        if (rows <= kOverdrawUpTo) {
            for (std::size_t t = 0; t < m_spans.size(); ++t) {
                if (!m_traceWaiting[t])
                    continue;
                const Span span = m_spans[t][column];
                for (int y = span.top; y <= span.bottom; ++y)
                    bits[y * stride + x] = traceColour(t);
            }
            continue;
        }
        Span covered[5];
        int coveredCount = 0; // disjoint runs already painted in this column, sorted by top
        for (std::size_t t = m_spans.size(); t-- > 0;) {
            const Span span = m_spans[t][column];
            if (!m_traceWaiting[t] || span.top > span.bottom)
                continue;
            const QRgb colour = traceColour(t);
            int y = span.top;
            for (int c = 0; c < coveredCount && y <= span.bottom; ++c) {
                for (int end = std::min<int>(covered[c].top - 1, span.bottom); y <= end; ++y)
                    bits[y * stride + x] = colour;
                y = std::max<int>(y, covered[c].bottom + 1);
            }
            for (; y <= span.bottom; ++y)
                bits[y * stride + x] = colour;
            // Add the run to the covered ones, merging what overlaps or touches.
            Span merged = span;
            Span next[5];
            int kept = 0;
            bool placed = false;
            for (int c = 0; c < coveredCount; ++c) {
                const Span &run = covered[c];
                if (run.bottom + 1 < merged.top) {
                    next[kept++] = run;
                } else if (merged.bottom + 1 < run.top) {
                    if (!placed) {
                        next[kept++] = merged;
                        placed = true;
                    }
                    next[kept++] = run;
                } else {
                    merged.top = std::min(merged.top, run.top);
                    merged.bottom = std::max(merged.bottom, run.bottom);
                }
            }
            if (!placed)
                next[kept++] = merged;
            std::copy(next, next + kept, covered);
            coveredCount = kept;
        }
    }
    m_tracePainted = m_traceWaiting;
    m_traceWaiting.fill(false);
}

void PlotArea::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_canvas);
}

} // namespace svglogger
