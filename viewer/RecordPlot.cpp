#include "viewer/RecordPlot.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>
#include <utility>

namespace svglogger {

RecordPlot::RecordPlot(QWidget *parent)
    : QWidget(parent)
{
    setObjectName("RecordPlot");
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(400, 300);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void RecordPlot::setData(TraceColumns *columns)
{
    m_columns = columns;
    m_frameKept = false;
    m_window.cursorA.reset();
    m_window.cursorB.reset();
    showAll();
}

void RecordPlot::setView(const ViewWindow &view)
{
    m_window = view;
    redraw();
    emit viewChanged();
}

void RecordPlot::showAll()
{
    if (m_columns)
        m_window.showAll(m_columns->set().table());
    redraw();
    emit viewChanged();
}

PlotPainter RecordPlot::painterFor()
{
    PlotPainter plot(*m_columns, m_window, m_options);
    plot.layout(size());
    m_plotArea = plot.plotArea();
    m_overviewArea = plot.overviewArea();
    return plot;
}

double RecordPlot::timeAt(int x) const
{
    return m_window.from() + (m_window.to() - m_window.from()) * (x - m_plotArea.left()) / std::max(1, m_plotArea.width());
}

void RecordPlot::redraw()
{
    m_frameKept = false;
    update();
}

void RecordPlot::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!m_columns) {
        painter.fillRect(rect(), Qt::white);
        painter.setPen(QColor(120, 120, 120));
        painter.drawText(rect(), Qt::AlignCenter,
                         QString::fromUtf8("ファイルかフォルダを開くか、ここにドロップしてください"));
        return;
    }
    if (!m_frameKept || m_frame.size() != size()) {
        const std::optional<double> pointer = std::exchange(m_options.pointer, std::nullopt);
        PlotPainter plot = painterFor();
        if (m_frame.size() != size())
            m_frame = QImage(size(), QImage::Format_RGB32);
        QPainter frame(&m_frame);
        plot.paint(frame, &m_frame);
        m_options.pointer = pointer;
        m_frameKept = true;
    }
    painter.drawImage(0, 0, m_frame);
    if (m_options.pointer) {
        const int x = static_cast<int>(std::lround(m_plotArea.left()
                                                   + (*m_options.pointer - m_window.from()) * m_plotArea.width()
                                                         / std::max(1e-9, m_window.to() - m_window.from())));
        PlotPainter::paintPointer(painter, m_plotArea, x);
    }
}

void RecordPlot::wheelEvent(QWheelEvent *event)
{
    if (!m_columns)
        return;
    const double steps = event->angleDelta().y() / 120.0;
    m_window.zoom(std::pow(0.8, steps), timeAt(static_cast<int>(event->position().x())));
    redraw();
    emit viewChanged();
}

void RecordPlot::mousePressEvent(QMouseEvent *event)
{
    if (!m_columns)
        return;
    const QPoint at = event->position().toPoint();
    if (m_overviewArea.contains(at)) {
        // The whole timeline in the strip: centre the view where it was clicked.
        const RecordTable &table = m_columns->set().table();
        const double first = table.times().front(), last = std::max(table.times().back(), first + 1.0);
        const double centre = first + (last - first) * (at.x() - m_overviewArea.left()) / std::max(1, m_overviewArea.width());
        const double half = (m_window.to() - m_window.from()) / 2.0;
        m_window.setRange(centre - half, centre + half);
        redraw();
        emit viewChanged();
        return;
    }
    m_pressed = at;
    m_pressedFrom = m_window.from();
    m_pressedTo = m_window.to();
    m_dragged = false;
    if (event->button() == Qt::RightButton) {
        m_window.cursorB = timeAt(at.x());
        m_pressed.reset();
        redraw();
        emit cursorsChanged();
    }
}

void RecordPlot::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_columns)
        return;
    const QPoint at = event->position().toPoint();
    if (m_pressed && (event->buttons() & Qt::LeftButton)) {
        const int dx = at.x() - m_pressed->x();
        if (std::abs(dx) > 3)
            m_dragged = true;
        if (m_dragged) {
            const double shift = (m_pressedTo - m_pressedFrom) * dx / std::max(1, m_plotArea.width());
            m_window.setRange(m_pressedFrom - shift, m_pressedTo - shift);
            m_frameKept = false;
            emit viewChanged();
        }
    }
    if (m_plotArea.contains(at)) {
        m_options.pointer = timeAt(at.x());
        emit pointerMoved(*m_options.pointer);
    } else {
        m_options.pointer.reset();
    }
    update();
}

void RecordPlot::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_pressed && !m_dragged && m_plotArea.contains(event->position().toPoint())) {
        const double time = timeAt(static_cast<int>(event->position().x()));
        if (event->modifiers() & Qt::ShiftModifier)
            m_window.cursorB = time;
        else
            m_window.cursorA = time;
        redraw();
        emit cursorsChanged();
    }
    m_pressed.reset();
}

void RecordPlot::leaveEvent(QEvent *)
{
    m_options.pointer.reset();
    update();
}

void RecordPlot::keyPressEvent(QKeyEvent *event)
{
    if (!m_columns)
        return QWidget::keyPressEvent(event);
    const double middle = (m_window.from() + m_window.to()) / 2.0;
    switch (event->key()) {
    case Qt::Key_Left:
        m_window.pan(-0.1);
        break;
    case Qt::Key_Right:
        m_window.pan(0.1);
        break;
    case Qt::Key_Up:
    case Qt::Key_Plus:
        m_window.zoom(0.5, m_options.pointer.value_or(middle));
        break;
    case Qt::Key_Down:
    case Qt::Key_Minus:
        m_window.zoom(2.0, m_options.pointer.value_or(middle));
        break;
    case Qt::Key_Home:
        showAll();
        return;
    case Qt::Key_A:
    case Qt::Key_B:
        (event->key() == Qt::Key_A ? m_window.cursorA : m_window.cursorB) = m_options.pointer.value_or(middle);
        redraw();
        emit cursorsChanged();
        return;
    default:
        return QWidget::keyPressEvent(event);
    }
    redraw();
    emit viewChanged();
}

} // namespace svglogger
