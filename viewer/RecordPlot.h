#pragma once

#include "reading/TraceColumns.h"
#include "reading/ViewWindow.h"
#include "viewer/PlotPainter.h"

#include <QImage>
#include <QWidget>

#include <optional>

namespace svglogger {

// The plot of the viewer: the wheel zooms around the pointer, dragging pans, the keys do both
// (arrows, + and -, Home everything), a click sets cursor A, a right click (or Shift+click)
// cursor B, A and B keys set them at the pointer; a click in the overview centres the view.
class RecordPlot final : public QWidget
{
    Q_OBJECT

public:
    explicit RecordPlot(QWidget *parent = nullptr);

    // Nothing is drawn without data; `columns` must live as long as it is shown.
    void setData(TraceColumns *columns);
    // Whoever takes these may change what is drawn: the kept frame is drawn anew.
    ViewWindow &window()
    {
        m_frameKept = false;
        return m_window;
    }
    PlotOptions &options()
    {
        m_frameKept = false;
        return m_options;
    }
    void showAll();
    // Another view of the same data (its cursors too), kept as given.
    void setView(const ViewWindow &view);

signals:
    void viewChanged();
    void pointerMoved(double time);
    void cursorsChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    PlotPainter painterFor();
    // A change of the view: the frame is drawn anew at the next paint.
    void redraw();
    double timeAt(int x) const;

    TraceColumns *m_columns = nullptr;
    ViewWindow m_window;
    PlotOptions m_options;
    QRect m_plotArea, m_overviewArea;
    // Everything but the pointer line, painted into, then shown; a pointer move draws only
    // its line over it.
    QImage m_frame;
    bool m_frameKept = false;
    std::optional<QPoint> m_pressed;
    double m_pressedFrom = 0.0, m_pressedTo = 0.0;
    bool m_dragged = false;
};

} // namespace svglogger
