#pragma once

#include <QImage>
#include <QWidget>

namespace svglogger {

// Picture2, the narrow strip right of the plot: the voltage numbers in black and the power
// numbers in green at each division line.
class ScaleStrip final : public QWidget
{
public:
    explicit ScaleStrip(QWidget *parent = nullptr);

    // Reprints both columns for the slider positions.
    void drawNumbers(int voltageRange, int powerRange);
    const QImage &canvas() const { return m_canvas; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_canvas;
};

} // namespace svglogger
