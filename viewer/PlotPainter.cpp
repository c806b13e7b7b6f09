#include "viewer/PlotPainter.h"

#include "common/Contrast.h"

#include "link/Quantity.h"
#include "reading/LocalClock.h"
#include "reading/RecordTime.h"

#include <QBuffer>
#include <QFile>
#include <QSvgGenerator>
#include <QImage>

#include <QFontMetrics>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace svglogger {

namespace c = recordColumn;

namespace {

constexpr int kLeft = 64, kRight = 10, kTop = 8, kTitle = 18, kAxis = 20, kOverview = 36, kLaneGap = 6,
              kStatusLane = 16 * 5;
constexpr int kLabelHeight = 14, kLabelsALane = 4; // a lane's scale: at least four values, readable
constexpr int kSmallestWidth = 640;

// "H:MM:SS" of a time by the wall clock, tenths when the step is below a second.
QString timeOfDay(double time, double step)
{
    const double whole = std::floor(time);
    const std::int64_t seconds = localClock().wallOf(static_cast<std::int64_t>(whole));
    const std::int64_t ofDay = ((seconds % 86400) + 86400) % 86400;
    QString text = QString("%1:%2:%3").arg(ofDay / 3600).arg(ofDay / 60 % 60, 2, 10, QChar('0')).arg(ofDay % 60, 2, 10, QChar('0'));
    if (step < 1.0)
        text += QString(".%1").arg(static_cast<int>(std::floor((time - whole) * 10.0 + 1e-6)) % 10);
    return text;
}

double niceStep(double span, int wanted)
{
    const double raw = span / std::max(wanted, 1);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude >= raw)
            return m * magnitude;
    return 10.0 * magnitude;
}

// The round step (1, 2, 2.5, 4 or 5 times a power of ten) below `step`.
double smallerRoundStep(double step)
{
    const double magnitude = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    const double mantissa = step / magnitude;
    for (const double m : {5.0, 4.0, 2.5, 2.0, 1.0})
        if (m < mantissa - 1e-9)
            return m * magnitude;
    return 0.5 * magnitude;
}

double niceTimeStep(double span)
{
    static constexpr double steps[] = {0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600,
                                       7200, 10800, 21600, 43200, 86400, 172800, 604800};
    for (double s : steps)
        if (span / s <= 8.0)
            return s;
    return 604800.0 * std::ceil(span / 604800.0 / 8.0);
}

// The rows whose extremes may be drawn as bands over [from, to], in runs [first, last) of the
// table: the interval files' parts there and the widest of their intervals; without any, every
// row (extremes without a span, from no interval file), each as wide as the set's step.
struct BandRows {
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    double widest = 0.0;
};

BandRows bandRows(const RecordSet &set, double from, double to)
{
    BandRows rows;
    for (const RecordSet::Part &part : set.parts())
        if (part.intervalSeconds > 0 && part.lastTime >= from && part.firstTime - part.intervalSeconds <= to) {
            rows.runs.emplace_back(part.firstRow, part.firstRow + part.rows);
            rows.widest = std::max(rows.widest, static_cast<double>(part.intervalSeconds));
        }
    if (rows.runs.empty()) {
        rows.runs.emplace_back(0, set.table().rows());
        rows.widest = set.samplePeriod();
    }
    return rows;
}

} // namespace

std::optional<PlotPainter::Picture> PlotPainter::pictureFormatOf(const QString &path)
{
    const QString name = path.toLower();
    if (name.endsWith(".png"))
        return Picture::Png;
    if (name.endsWith(".jpg") || name.endsWith(".jpeg"))
        return Picture::Jpeg;
    if (name.endsWith(".svg"))
        return Picture::Svg;
    return std::nullopt;
}

bool PlotPainter::writePicture(const QSize &size, const QString &path, Picture kind)
{
    layout(size);
    if (kind == Picture::Svg) {
        const QByteArray document = svg(size);
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(document) == document.size()
            && file.flush();
    }
    QImage image(size, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        paint(painter, &image);
    }
    return kind == Picture::Jpeg ? image.save(path, "JPEG", 92) : image.save(path, "PNG");
}

QByteArray PlotPainter::svg(const QSize &size)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(size);
    generator.setViewBox(QRect(QPoint(0, 0), size));
    generator.setResolution(96); // its width and height in millimetres: the pixel size on a 96 dpi screen
    generator.setTitle(QStringLiteral("svg-logger-view"));
    {
        QPainter painter(&generator);
        paint(painter);
    }
    return buffer.data();
}

QColor PlotPainter::colourOf(int quantity)
{
    // The main window draws on grey; here the ground is white: each trace darkened as far as it
    // takes to stand 3:1 from it (bright green and cyan do not).
    const std::uint32_t rgb = withContrast(kQuantities[static_cast<std::size_t>(quantity)].traceColour, 0xFFFFFF);
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

PlotPainter::PlotPainter(TraceColumns &columns, const ViewWindow &window, const PlotOptions &options)
    : m_columns(columns)
    , m_window(window)
    , m_options(options)
{
}

double PlotPainter::timeAt(int x) const
{
    return m_window.from() + (m_window.to() - m_window.from()) * (x - m_plot.left()) / std::max(1, m_plot.width());
}

int PlotPainter::xOf(double time) const
{
    return m_plot.left()
        + static_cast<int>(std::lround((time - m_window.from()) / (m_window.to() - m_window.from()) * m_plot.width()));
}

int PlotPainter::yOf(const Lane &lane, double value) const
{
    const double f = (value - lane.low) / (lane.high - lane.low);
    return lane.area.bottom() - static_cast<int>(std::lround(f * (lane.area.height() - 1)));
}

void PlotPainter::layout(const QSize &size)
{
    m_size = size;
    const int overview = m_options.overview ? kOverview : 0;
    const int top = kTop + (m_options.source.empty() ? 0 : kTitle) + captionLines() * kLabelHeight;
    m_plot = QRect(kLeft, top, std::max(10, size.width() - kLeft - kRight),
                   std::max(10, size.height() - top - kAxis - overview));
    m_overview = QRect(kLeft, m_plot.bottom() + kAxis, m_plot.width(), overview - 6);
    m_columns.layout(m_window.from(), m_window.to(), m_plot.width());

    // The lanes the files hold, by unit.
    const RecordSet &set = m_columns.set();
    m_lanes.clear();
    // An axis per unit; the negative-sequence quantities, tens of volts or amperes beside
    // the grid's thousands, on axes of their own.
    struct Group {
        const char *name;
        std::vector<std::string_view> units;
        ControllerVersion since;
    };
    const Group groups[] = {{"V", {"V"}, ControllerVersion::Older},
                            {"kW / kVar", {"kW", "kVar"}, ControllerVersion::Older},
                            {"V 逆相", {"V"}, ControllerVersion::Version2},
                            {"A 逆相", {"A"}, ControllerVersion::Version2}};
    for (const Group &group : groups) {
        Lane lane;
        lane.unit = QString::fromUtf8(group.name);
        for (std::size_t q = 0; q < kQuantities.size(); ++q) {
            const Quantity &quantity = kQuantities[q];
            const bool ofGroup = quantity.since == group.since
                && std::find(group.units.begin(), group.units.end(), quantity.unit) != group.units.end();
            if (ofGroup && set.table().has(c::value(quantity.index)) && !m_options.hidden[q])
                lane.quantities.push_back(static_cast<int>(q));
        }
        if (!lane.quantities.empty())
            m_lanes.push_back(lane);
    }
    const bool status = set.table().has(c::kStatus) && !m_options.statusHidden;
    const int statusHeight = status ? std::min(kStatusLane, m_plot.height() / 3) : 0;
    const int traceLanes = static_cast<int>(m_lanes.size());
    const int free = m_plot.height() - statusHeight - kLaneGap * traceLanes;
    int y = m_plot.top();
    for (Lane &lane : m_lanes) {
        const int h = std::max(8, free / std::max(1, traceLanes));
        lane.area = QRect(m_plot.left(), y, m_plot.width(), h);
        y += h + kLaneGap;
        // The lane's scale from what it shows now: averages and, for interval rows, the band.
        bool any = false;
        double low = 0, high = 0;
        for (int q : lane.quantities) {
            auto &ranges = lane.ranges.emplace_back();
            const MeasurementSample::Index quantity = kQuantities[static_cast<std::size_t>(q)].index;
            const int statSlots[3] = {c::value(quantity), c::max(quantity), c::min(quantity)};
            for (int s = 0; s < 3; ++s) {
                if (!set.table().has(statSlots[s]))
                    continue;
                ranges[static_cast<std::size_t>(s)].resize(static_cast<std::size_t>(m_plot.width()));
                for (int x = 0; x < m_plot.width(); ++x) {
                    const MinMaxPyramid::Range r = m_columns.range(statSlots[s], x);
                    ranges[static_cast<std::size_t>(s)][static_cast<std::size_t>(x)] = r;
                    if (!r.any)
                        continue;
                    low = any ? std::min<double>(low, r.min) : r.min;
                    high = any ? std::max<double>(high, r.max) : r.max;
                    any = true;
                }
            }
        }
        if (!any || high - low < 1e-6) {
            low -= 1.0;
            high += 1.0;
        }
        const double margin = (high - low) * 0.05;
        lane.low = low - margin;
        lane.high = high + margin;
    }
    if (status) {
        Lane lane;
        lane.unit = QString::fromUtf8("状態");
        lane.status = true;
        lane.area = QRect(m_plot.left(), m_plot.bottom() - statusHeight + 1, m_plot.width(), statusHeight);
        m_lanes.push_back(lane);
    }
}

int PlotPainter::captionLines() const
{
    if (m_options.caption.empty())
        return 0;
    return 1 + static_cast<int>(std::count(m_options.caption.begin(), m_options.caption.end(), '\n'));
}

QSize PlotPainter::smallestReadableSize() const
{
    int height = kTop + (m_options.source.empty() ? 0 : kTitle) + captionLines() * kLabelHeight + kAxis
        + (m_options.overview ? kOverview : 0);
    for (const Lane &lane : m_lanes)
        height += lane.status ? kStatusLane : kLabelsALane * (kLabelHeight + 2) + kLaneGap;
    return QSize(kSmallestWidth, height);
}

void PlotPainter::paint(QPainter &painter, QImage *image)
{
    painter.fillRect(QRect(QPoint(0, 0), m_size), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    paintMarks(painter);
    for (const Lane &lane : m_lanes) {
        painter.setPen(QColor(200, 200, 200));
        painter.drawRect(lane.area.adjusted(0, 0, -1, -1));
        if (lane.status)
            paintStatusLane(painter, lane);
        else
            paintLane(painter, lane, image);
    }
    paintTimeAxis(painter);
    if (!m_options.source.empty()) {
        // The title: the range with its year, and where the rows come from.
        const QString title = QString::fromStdString(rowTimeText(static_cast<std::int64_t>(std::floor(m_window.from()))))
            + QString::fromUtf8(" – ") + QString::fromStdString(rowTimeText(static_cast<std::int64_t>(std::floor(m_window.to()))))
            + "    " + QString::fromStdString(m_options.source);
        painter.setPen(QColor(30, 30, 30));
        painter.drawText(QRect(kLeft, kTop - 4, m_size.width() - kLeft - kRight, kTitle), Qt::AlignLeft | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(title, Qt::ElideMiddle, m_size.width() - kLeft - kRight));
        int y = kTop - 4 + kTitle;
        for (const QString &line : QString::fromStdString(m_options.caption).split('\n', Qt::SkipEmptyParts)) {
            painter.drawText(QRect(kLeft, y, m_size.width() - kLeft - kRight, kLabelHeight), Qt::AlignLeft | Qt::AlignVCenter,
                             painter.fontMetrics().elidedText(line, Qt::ElideRight, m_size.width() - kLeft - kRight));
            y += kLabelHeight;
        }
    }
    for (const auto &[cursor, name] : {std::pair{m_window.cursorA, QString("A")}, std::pair{m_window.cursorB, QString("B")}}) {
        if (!cursor)
            continue;
        const int x = xOf(*cursor);
        if (x < m_plot.left() || x > m_plot.right())
            continue;
        painter.setPen(QPen(QColor(0, 0, 0), 1, Qt::DashLine));
        painter.drawLine(x, m_plot.top(), x, m_plot.bottom());
        painter.drawText(x + 3, m_plot.top() + 11, name);
    }
    if (m_options.pointer)
        paintPointer(painter, m_plot, xOf(*m_options.pointer));
    if (m_options.overview)
        paintOverview(painter);
}

std::string PlotPainter::sourceOf(const QStringList &inputs)
{
    bool oneFolder = inputs.size() > 2;
    const QString folder = inputs.isEmpty() ? QString() : QFileInfo(inputs.constFirst()).absolutePath();
    for (const QString &input : inputs)
        oneFolder = oneFolder && !QFileInfo(input).isDir() && QFileInfo(input).absolutePath() == folder;
    if (oneFolder)
        return QString("%1 (%2 files)").arg(QDir::toNativeSeparators(folder)).arg(inputs.size()).toStdString();
    return inputs.join(", ").toStdString();
}

void PlotPainter::paintPointer(QPainter &painter, const QRect &plot, int x)
{
    painter.setPen(QColor(120, 120, 120));
    painter.drawLine(x, plot.top(), x, plot.bottom());
}

void PlotPainter::paintLane(QPainter &painter, const Lane &lane, QImage *image)
{
    const RecordTable &table = m_columns.set().table();
    const std::vector<TraceColumns::Column> &columns = m_columns.columns();
    // The scale: a few values at the left.
    painter.setPen(QColor(90, 90, 90));
    // At least four values where the lane is tall enough to hold them apart.
    double step = niceStep(lane.high - lane.low, std::max(kLabelsALane, lane.area.height() / 30));
    auto labels = [&](double at) { return std::floor(lane.high / at) - std::ceil(lane.low / at) + 1; };
    for (double finer = smallerRoundStep(step);
         labels(step) < kLabelsALane && labels(finer) * (kLabelHeight + 2) <= lane.area.height();
         finer = smallerRoundStep(finer))
        step = finer;
    for (double v = std::ceil(lane.low / step) * step; v <= lane.high; v += step) {
        const int y = yOf(lane, v);
        painter.setPen(QColor(235, 235, 235));
        painter.drawLine(lane.area.left() + 1, y, lane.area.right() - 1, y);
        painter.setPen(QColor(90, 90, 90));
        painter.drawText(QRect(0, y - 7, kLeft - 4, 14), Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'g', 6));
    }
    // No clip: the lane's scale holds every value it shows (a clipped fill is the slow path).
    // Drawn together, one call a trace: each pixel column's extremes as a one-pixel-wide
    // rectangle (filled spans are the raster engine's fastest path), the joins as lines.
    std::vector<QRect> spans;
    std::vector<QLine> lines;
    spans.reserve(columns.size());
    lines.reserve(columns.size());
    auto span = [&](int x, int yTop, int yBottom) {
        spans.emplace_back(x, std::min(yTop, yBottom), 1, std::abs(yBottom - yTop) + 1);
    };
    auto fillSpans = [&](const QColor &colour) {
        if (image && (image->format() == QImage::Format_RGB32 || image->format() == QImage::Format_ARGB32_Premultiplied)) {
            QRgb *bits = reinterpret_cast<QRgb *>(image->bits());
            const qsizetype stride = image->bytesPerLine() / 4;
            const int alpha = colour.alpha();
            const QRgb solid = colour.rgb() | 0xFF000000u;
            const QRect bounds = image->rect();
            for (const QRect &r : spans) {
                if (!bounds.contains(r.topLeft()) || !bounds.contains(r.bottomRight()))
                    continue;
                for (int y = r.top(); y <= r.bottom(); ++y)
                    for (int x = r.left(); x <= r.right(); ++x) {
                        QRgb &pixel = bits[y * stride + x];
                        if (alpha == 255) {
                            pixel = solid;
                        } else {
                            auto mix = [&](int src, int dst) { return (src * alpha + dst * (255 - alpha)) / 255; };
                            pixel = qRgb(mix(colour.red(), qRed(pixel)), mix(colour.green(), qGreen(pixel)),
                                         mix(colour.blue(), qBlue(pixel)));
                        }
                    }
            }
            return;
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawRects(spans.data(), static_cast<int>(spans.size()));
        painter.setBrush(Qt::NoBrush);
    };
    for (std::size_t i = 0; i < lane.quantities.size(); ++i) {
        const int q = lane.quantities[i];
        const MeasurementSample::Index quantity = kQuantities[static_cast<std::size_t>(q)].index;
        const auto &ranges = lane.ranges[i];
        const QColor colour = colourOf(q);
        // Interval rows: the band from the minima to the maxima under the average.
        const double pixelSeconds = (m_window.to() - m_window.from()) / std::max(1, m_plot.width());
        const BandRows bands = bandRows(m_columns.set(), m_window.from(), m_window.to());
        if (!ranges[1].empty() && !ranges[2].empty() && bands.widest >= 2.0 * pixelSeconds) {
            // Zoomed in so far that an interval is wider than a pixel: each row's band spans
            // its own interval (stamp − span, stamp], its edges solid, the steps from one
            // interval to the next joined.
            QColor band = colour;
            band.setAlpha(60);
            QColor edge = colour;
            edge.setAlpha(170);
            const std::vector<double> &times = table.times();
            const double step = m_columns.set().samplePeriod();
            const std::size_t shown = table.lowerBound(m_window.from()), after = table.lowerBound(m_window.to() + bands.widest);
            std::vector<QRect> edges;
            std::optional<int> lastHigh, lastLow;
            std::optional<std::size_t> lastRow;
            spans.clear();
            for (const auto &[begin, end] : bands.runs)
                for (std::size_t r = std::max(begin, shown); r < std::min(end, after); ++r) {
                    const float high = table.value(c::max(quantity), r), low = table.value(c::min(quantity), r);
                    if (std::isnan(high) || std::isnan(low))
                        continue;
                    const double span = table.span(r);
                    // Joined to the row before where this one's time begins without a gap.
                    if (!lastRow || *lastRow + 1 != r || times[r] - span - times[r - 1] > m_columns.gapSeconds()) {
                        lastHigh.reset();
                        lastLow.reset();
                    }
                    lastRow = r;
                    const int x0 = std::max(m_plot.left(), xOf(times[r] - (span > 0.0 ? span : step)));
                    const int x1 = std::min(m_plot.right(), xOf(times[r]));
                    if (x1 < x0)
                        continue;
                    const int top = yOf(lane, high), bottom = yOf(lane, low);
                    spans.emplace_back(x0, top, x1 - x0 + 1, bottom - top + 1);
                    edges.emplace_back(x0, top, x1 - x0 + 1, 1);
                    edges.emplace_back(x0, bottom, x1 - x0 + 1, 1);
                    if (lastHigh)
                        edges.emplace_back(x0, std::min(top, *lastHigh), 1, std::abs(top - *lastHigh) + 1);
                    if (lastLow)
                        edges.emplace_back(x0, std::min(bottom, *lastLow), 1, std::abs(bottom - *lastLow) + 1);
                    lastHigh = top;
                    lastLow = bottom;
                }
            fillSpans(band);
            spans = std::move(edges);
            fillSpans(edge);
        } else if (!ranges[1].empty() && !ranges[2].empty()) {
            QColor band = colour;
            band.setAlpha(60);
            spans.clear();
            for (int x = 0; x < static_cast<int>(columns.size()); ++x) {
                const MinMaxPyramid::Range &high = ranges[1][static_cast<std::size_t>(x)];
                const MinMaxPyramid::Range &low = ranges[2][static_cast<std::size_t>(x)];
                if (high.any && low.any)
                    span(m_plot.left() + x, yOf(lane, high.max), yOf(lane, low.min));
            }
            fillSpans(band);
            // Its edges solid, joined column to column: an interval's extreme (a dip within
            // a 5 s row) stands out at any zoom, not only as a pale hairline.
            spans.clear();
            std::optional<int> lastHigh, lastLow;
            for (int x = 0; x < static_cast<int>(columns.size()); ++x) {
                const MinMaxPyramid::Range &high = ranges[1][static_cast<std::size_t>(x)];
                const MinMaxPyramid::Range &low = ranges[2][static_cast<std::size_t>(x)];
                if (!high.any || !low.any || columns[static_cast<std::size_t>(x)].gapBefore) {
                    lastHigh.reset();
                    lastLow.reset();
                    if (!high.any || !low.any)
                        continue;
                }
                const int top = yOf(lane, high.max), bottom = yOf(lane, low.min);
                span(m_plot.left() + x, top, lastHigh.value_or(top));
                span(m_plot.left() + x, bottom, lastLow.value_or(bottom));
                lastHigh = top;
                lastLow = bottom;
            }
            QColor edge = colour;
            edge.setAlpha(170);
            fillSpans(edge);
        }
        spans.clear();
        lines.clear();
        const int slot = c::value(quantity);
        QPoint last;           // the last row drawn, for the line to the next one
        bool lastDrawn = false;
        for (int x = 0; x < static_cast<int>(columns.size()); ++x) {
            const TraceColumns::Column &col = columns[static_cast<std::size_t>(x)];
            if (col.first == col.last)
                continue;
            const MinMaxPyramid::Range &r = ranges[0][static_cast<std::size_t>(x)];
            if (!r.any) {
                lastDrawn = false;
                continue;
            }
            const int px = m_plot.left() + x;
            const float first = table.value(slot, col.first);
            if (lastDrawn && !col.gapBefore && !std::isnan(first))
                lines.emplace_back(last, QPoint(px, yOf(lane, first)));
            span(px, yOf(lane, r.max), yOf(lane, r.min));
            const float end = table.value(slot, col.last - 1);
            lastDrawn = !std::isnan(end);
            if (lastDrawn)
                last = QPoint(px, yOf(lane, end));
        }
        fillSpans(colour);
        painter.setPen(colour);
        painter.drawLines(lines.data(), static_cast<int>(lines.size()));
    }
    painter.setPen(QColor(60, 60, 60));
    painter.drawText(lane.area.left() + 4, lane.area.top() + 12, lane.unit);
    // The legend: each trace by its column's name in the CSV header, at the lane's top right.
    const QFontMetrics metrics = painter.fontMetrics();
    int right = lane.area.right() - 6;
    int backRight = right + 2; // the legend's background one piece, the gaps between its names too
    for (auto q = lane.quantities.rbegin(); q != lane.quantities.rend(); ++q) {
        const QString name = QString::fromStdString(kQuantities[static_cast<std::size_t>(*q)].csvHeader());
        const int width = metrics.horizontalAdvance(name);
        const QRect text(right - width, lane.area.top() + 3, width, kLabelHeight);
        painter.fillRect(QRect(QPoint(text.left() - 16, text.top() - 1), QPoint(backRight, text.bottom() + 1)),
                         QColor(255, 255, 255, 220));
        backRight = text.left() - 17;
        painter.fillRect(QRect(text.left() - 13, text.top() + 4, 10, 6), colourOf(*q));
        painter.setPen(QColor(40, 40, 40));
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, name);
        right = text.left() - 24;
    }
}

void PlotPainter::paintStatusLane(QPainter &painter, const Lane &lane)
{
    const int rowHeight = std::max(1, lane.area.height() / 16);
    painter.setPen(QColor(90, 90, 90));
    painter.drawText(QRect(0, lane.area.top(), kLeft - 4, 14), Qt::AlignRight | Qt::AlignTop, QString::fromUtf8("状態 bit0"));
    painter.drawText(QRect(0, lane.area.bottom() - 13, kLeft - 4, 14), Qt::AlignRight | Qt::AlignBottom, "bit15");
    // The bits whose meaning is known named at their rows, where a row is tall enough.
    if (rowHeight >= 9) {
        for (const StatusBit &known : kStatusBits)
            painter.drawText(QRect(m_plot.left() + 2, lane.area.top() + known.bit * rowHeight, 200, rowHeight),
                             Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(known.name.data(),
                                                                               static_cast<qsizetype>(known.name.size())));
    }
    const std::vector<TraceColumns::Column> &columns = m_columns.columns();
    for (int x = 0; x < static_cast<int>(columns.size()); ++x) {
        const std::uint16_t bits = m_columns.bitsSet(x);
        if (bits == 0)
            continue;
        for (int b = 0; b < 16; ++b) {
            if (bits & (1u << b))
                painter.fillRect(m_plot.left() + x, lane.area.top() + b * rowHeight, 1, std::max(1, rowHeight - 1),
                                 QColor(120, 60, 0));
        }
    }
}

void PlotPainter::paintTimeAxis(QPainter &painter)
{
    const double span = m_window.to() - m_window.from();
    const double step = niceTimeStep(span);
    painter.setPen(QColor(90, 90, 90));
    const int y = m_plot.bottom() + 14;
    std::int64_t lastDay = -1;
    for (double t = std::ceil(m_window.from() / step) * step; t <= m_window.to(); t += step) {
        const int x = xOf(t);
        painter.drawLine(x, m_plot.bottom(), x, m_plot.bottom() + 3);
        QString label = timeOfDay(t, step);
        const std::int64_t wall = localClock().wallOf(static_cast<std::int64_t>(std::floor(t)));
        const std::int64_t day = wall >= 0 ? wall / 86400 : (wall - 86399) / 86400;
        if (day != lastDay) {
            label = QString::fromStdString(rowDateText(localClock().standardOf(day * 86400))).mid(5) + " " + label; // "mm/dd H:MM:SS"
            lastDay = day;
        }
        const int left = std::clamp(x - 60, 0, std::max(0, m_size.width() - 120));
        painter.drawText(QRect(left, y - 10, 120, 14), Qt::AlignCenter, label);
    }
}

void PlotPainter::paintMarks(QPainter &painter)
{
    for (const auto &[from, to] : m_options.shaded) {
        const int a = std::max(xOf(from), m_plot.left()), b = std::min(xOf(to), m_plot.right());
        if (a <= b)
            painter.fillRect(QRect(QPoint(a, m_plot.top()), QPoint(b, m_plot.bottom())), QColor(255, 230, 160));
    }
    painter.setPen(QPen(QColor(220, 0, 0), 2));
    for (double mark : m_options.marks) {
        const int x = xOf(mark);
        if (x >= m_plot.left() && x <= m_plot.right())
            painter.drawLine(x, m_plot.top(), x, m_plot.bottom());
    }
}

void PlotPainter::paintOverview(QPainter &painter)
{
    const RecordTable &table = m_columns.set().table();
    painter.setPen(QColor(200, 200, 200));
    painter.drawRect(m_overview.adjusted(0, 0, -1, -1));
    if (table.rows() == 0)
        return;
    // The grid voltage over the whole timeline, drawn from its own columns.
    const double first = table.times().front(), last = std::max(table.times().back(), first + 1.0);
    const int slot = table.has(c::value(MeasurementSample::GridVoltage)) ? c::value(MeasurementSample::GridVoltage) : -1;
    if (slot >= 0) {
        const MinMaxPyramid::Range all = m_columns.pyramid(slot).range(0, table.rows());
        const std::vector<TraceColumns::OverviewColumn> &overview = m_columns.overview(slot, m_overview.width());
        if (all.any) {
            painter.setPen(colourOf(0));
            const double span = std::max(1e-6, double{all.max} - all.min);
            const int h = m_overview.height() - 3;
            auto y = [&](double v) { return m_overview.bottom() - 1 - static_cast<int>((v - all.min) / span * h); };
            std::optional<QPoint> previous; // sparse rows: joined unless a gap lies between
            for (int x = 0; x < m_overview.width(); ++x) {
                const std::size_t a = overview[static_cast<std::size_t>(x)].first;
                const std::size_t b = overview[static_cast<std::size_t>(x)].last;
                const MinMaxPyramid::Range &r = overview[static_cast<std::size_t>(x)].range;
                if (!r.any)
                    continue;
                const int px = m_overview.left() + x;
                if (previous && a > 0 && table.times()[a] - table.times()[a - 1] <= m_columns.gapSeconds())
                    painter.drawLine(*previous, QPoint(px, y(table.value(slot, a))));
                painter.drawLine(px, y(r.max), px, y(r.min));
                previous = QPoint(px, y(table.value(slot, b - 1)));
            }
        }
    }
    // The part the plot shows.
    const int a = m_overview.left() + static_cast<int>((m_window.from() - first) / (last - first) * m_overview.width());
    const int b = m_overview.left() + static_cast<int>((m_window.to() - first) / (last - first) * m_overview.width());
    painter.fillRect(QRect(QPoint(std::max(a, m_overview.left()), m_overview.top()),
                           QPoint(std::min(std::max(b, a + 1), m_overview.right()), m_overview.bottom())),
                     QColor(0, 90, 255, 50));
}

} // namespace svglogger
