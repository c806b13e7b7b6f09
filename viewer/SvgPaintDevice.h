#pragma once

#include <QPaintDevice>
#include <QSize>
#include <QString>

#include <memory>

namespace svglogger {

class SvgPaintEngine;

// A paint device that writes what is painted on it as SVG: lines, rectangles, polygons, paths
// and text with their pens, brushes and clip rectangles; all the plot's drawing uses.
class SvgPaintDevice final : public QPaintDevice
{
public:
    explicit SvgPaintDevice(const QSize &size);
    ~SvgPaintDevice() override;

    QPaintEngine *paintEngine() const override;
    // The document, complete once the painter has ended.
    QString svg() const;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QSize m_size;
    std::unique_ptr<SvgPaintEngine> m_engine;
};

} // namespace svglogger
