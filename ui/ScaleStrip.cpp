#include "ui/ScaleStrip.h"

#include "graph/GraphScales.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace svglogger {

ScaleStrip::ScaleStrip(QWidget *parent)
    : QWidget(parent)
    , m_canvas(82, 304, QImage::Format_RGB32)
{
    setFixedSize(m_canvas.size());
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_canvas.fill(palette().color(QPalette::Window));
}

void ScaleStrip::drawNumbers(int voltageRange, int powerRange)
{
    m_canvas.fill(palette().color(QPalette::Window));
    QPainter painter(&m_canvas);
    QFont small = font();
    small.setPointSize(7);
    painter.setFont(small);
    // Each number stands just below its division line; the last line is the strip's bottom
    // edge, so its numbers stand just above it instead of being cut off.
    const int textHeight = QFontMetrics(small).height();
    for (int b = 0; b <= 10; ++b) {
        const int top = std::min(30 * b + 1, m_canvas.height() - textHeight);
        painter.setPen(QColor(0, 0, 0));
        painter.drawText(QRect(2, top, 38, textHeight), Qt::AlignLeft | Qt::AlignTop,
                         QString::number(GraphScales::voltageNumber(voltageRange, b)));
        painter.setPen(QColor(0, 128, 0));
        painter.drawText(QRect(40, top, 40, textHeight), Qt::AlignLeft | Qt::AlignTop,
                         QString::number(GraphScales::powerNumber(powerRange, b)));
    }
    painter.end();
    update();
}

void ScaleStrip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_canvas);
}

} // namespace svglogger
