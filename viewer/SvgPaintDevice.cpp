#include "viewer/SvgPaintDevice.h"

#include <QPaintEngine>
#include <QPainterPath>
#include <QTextItem>

namespace svglogger {

class SvgPaintEngine final : public QPaintEngine
{
public:
    explicit SvgPaintEngine(const QSize &size)
        : QPaintEngine(QPaintEngine::AllFeatures)
        , m_size(size)
    {
    }

    bool begin(QPaintDevice *) override
    {
        m_body.clear();
        m_clips = 0;
        m_inClip = false;
        return true;
    }
    bool end() override
    {
        closeClip();
        return true;
    }
    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState &state) override
    {
        if (state.state() & DirtyPen)
            m_pen = state.pen();
        if (state.state() & DirtyBrush)
            m_brush = state.brush();
        if (state.state() & DirtyFont)
            m_font = state.font();
        if (state.state() & (DirtyClipRegion | DirtyClipPath | DirtyClipEnabled)) {
            closeClip();
            const bool on = state.state() & DirtyClipEnabled ? state.isClipEnabled() : true;
            if (on && state.clipOperation() != Qt::NoClip && !state.clipRegion().isEmpty()) {
                const QRect r = state.clipRegion().boundingRect();
                const QString id = QString("c%1").arg(++m_clips);
                m_body += QString("<clipPath id=\"%1\"><rect x=\"%2\" y=\"%3\" width=\"%4\" height=\"%5\"/></clipPath>\n<g clip-path=\"url(#%1)\">\n")
                              .arg(id).arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
                m_inClip = true;
            }
        }
    }

    void drawLines(const QLineF *lines, int count) override
    {
        if (m_pen.style() == Qt::NoPen)
            return;
        QString d;
        for (int i = 0; i < count; ++i)
            d += QString("M%1 %2L%3 %4").arg(lines[i].x1() + 0.5).arg(lines[i].y1() + 0.5).arg(lines[i].x2() + 0.5).arg(lines[i].y2() + 0.5);
        m_body += QString("<path d=\"%1\" fill=\"none\" %2/>\n").arg(d, stroke());
    }
    void drawLines(const QLine *lines, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QLineF line(lines[i]);
            drawLines(&line, 1);
        }
    }
    void drawRects(const QRectF *rects, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QRectF &r = rects[i];
            m_body += QString("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" %5 %6/>\n")
                          .arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).arg(fill(), stroke());
        }
    }
    void drawRects(const QRect *rects, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QRectF r(rects[i]);
            drawRects(&r, 1);
        }
    }
    void drawPolygon(const QPointF *points, int count, PolygonDrawMode mode) override
    {
        QString d;
        for (int i = 0; i < count; ++i)
            d += QString("%1%2 %3").arg(i == 0 ? "M" : "L").arg(points[i].x()).arg(points[i].y());
        if (mode != PolylineMode)
            d += "Z";
        m_body += QString("<path d=\"%1\" %2 %3/>\n").arg(d, mode == PolylineMode ? "fill=\"none\"" : fill(), stroke());
    }
    void drawPath(const QPainterPath &path) override
    {
        for (const QPolygonF &polygon : path.toSubpathPolygons())
            drawPolygon(polygon.constData(), static_cast<int>(polygon.size()), OddEvenMode);
    }
    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        QString text = item.text().toHtmlEscaped();
        m_body += QString("<text x=\"%1\" y=\"%2\" font-family=\"%3\" font-size=\"%4px\" fill=\"%5\">%6</text>\n")
                      .arg(p.x()).arg(p.y()).arg(item.font().family().toHtmlEscaped())
                      .arg(item.font().pixelSize() > 0 ? item.font().pixelSize() : 11)
                      .arg(m_pen.color().name()).arg(text);
    }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}

    QString document() const
    {
        return QString("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" "
                       "height=\"%2\" viewBox=\"0 0 %1 %2\">\n")
                   .arg(m_size.width()).arg(m_size.height())
            + m_body + "</svg>\n";
    }

private:
    void closeClip()
    {
        if (m_inClip)
            m_body += "</g>\n";
        m_inClip = false;
    }
    QString stroke() const
    {
        if (m_pen.style() == Qt::NoPen)
            return "stroke=\"none\"";
        const QColor c = m_pen.color();
        QString s = QString("stroke=\"%1\" stroke-width=\"%2\"").arg(c.name()).arg(std::max(1.0, m_pen.widthF()));
        if (c.alpha() != 255)
            s += QString(" stroke-opacity=\"%1\"").arg(c.alphaF());
        if (m_pen.style() == Qt::DashLine)
            s += " stroke-dasharray=\"4 2\"";
        return s;
    }
    QString fill() const
    {
        if (m_brush.style() == Qt::NoBrush)
            return "fill=\"none\"";
        const QColor c = m_brush.color();
        QString s = QString("fill=\"%1\"").arg(c.name());
        if (c.alpha() != 255)
            s += QString(" fill-opacity=\"%1\"").arg(c.alphaF());
        return s;
    }

    QSize m_size;
    QString m_body;
    QPen m_pen;
    QBrush m_brush;
    QFont m_font;
    int m_clips = 0;
    bool m_inClip = false;
};

SvgPaintDevice::SvgPaintDevice(const QSize &size)
    : m_size(size)
    , m_engine(std::make_unique<SvgPaintEngine>(size))
{
}

SvgPaintDevice::~SvgPaintDevice() = default;

QPaintEngine *SvgPaintDevice::paintEngine() const
{
    return m_engine.get();
}

QString SvgPaintDevice::svg() const
{
    return m_engine->document();
}

int SvgPaintDevice::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth:
        return m_size.width();
    case PdmHeight:
        return m_size.height();
    case PdmWidthMM:
        return m_size.width() * 254 / 960;
    case PdmHeightMM:
        return m_size.height() * 254 / 960;
    case PdmNumColors:
        return 0x7fffffff;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return 96;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return static_cast<int>(QPaintDevice::devicePixelRatioFScale());
    default:
        return 0;
    }
}

} // namespace svglogger
