#include "ui/ScaleStrip.h"

#include "graph/GraphScales.h"

#include <QPainter>

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
    for (int b = 0; b <= 10; ++b) {
        painter.setPen(QColor(0, 0, 0));
        painter.drawText(QRect(2, 30 * b + 1, 38, 14), Qt::AlignLeft | Qt::AlignTop,
                         QString::number(GraphScales::voltageNumber(voltageRange, b)));
        painter.setPen(QColor(0, 128, 0));
        painter.drawText(QRect(40, 30 * b + 1, 40, 14), Qt::AlignLeft | Qt::AlignTop,
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
