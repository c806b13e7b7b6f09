#include "viewer/ReportPictures.h"

#include "quality/EventTables.h"
#include "reading/LocalClock.h"
#include "reading/RecordTime.h"
#include "viewer/ReportText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

namespace svglogger {

using namespace reportText;

namespace {

const QColor kInk(60, 60, 60), kGrid(200, 200, 200), kBlue(0, 0, 180), kRed(200, 0, 0), kOrange(200, 120, 0),
    kGreen(0, 140, 0), kGrey(150, 150, 150), kLightGrey(190, 190, 190), kBar(120, 150, 220), kShade(232, 232, 232),
    kDot(0, 0, 180, 140);

// The height of a line of the painter's font on its own device (a PDF page's 300 dpi, an SVG's
// 72): the pictures' margins and marks are measured in it.
double lineHeight(const QPainter &p)
{
    return QFontMetricsF(p.font(), p.device()).height();
}

// One entry of a picture's legend: its mark, then its words.
struct LegendItem {
    enum class Mark { None, Box, Line, Dashed, Dot, Number };
    Mark mark = Mark::Box;
    QColor colour;
    QString text;
};

// The legend in rows across the top of `area`, wrapped where a row is full; the height it takes.
// Without `draw` only measured.
double legend(QPainter &p, const QRectF &area, const QList<LegendItem> &items, bool draw)
{
    const QFontMetricsF metrics(p.font(), p.device());
    const double unit = metrics.height(), markWidth = unit * 1.6, gap = unit * 1.2;
    double x = area.left(), y = area.top();
    for (const LegendItem &item : items) {
        const double width = markWidth + unit * 0.4 + metrics.horizontalAdvance(item.text);
        if (x > area.left() && x + width > area.right()) {
            x = area.left();
            y += unit * 1.2;
        }
        if (draw) {
            const QRectF mark(x, y + unit * 0.2, markWidth, unit * 0.6);
            p.setBrush(Qt::NoBrush);
            switch (item.mark) {
            case LegendItem::Mark::None:
                break;
            case LegendItem::Mark::Box:
                p.setPen(Qt::NoPen);
                p.setBrush(item.colour);
                p.drawRect(mark);
                break;
            case LegendItem::Mark::Line:
            case LegendItem::Mark::Dashed:
                p.setPen(QPen(item.colour, unit / 8.0, item.mark == LegendItem::Mark::Line ? Qt::SolidLine : Qt::DashLine));
                p.drawLine(QPointF(mark.left(), mark.center().y()), QPointF(mark.right(), mark.center().y()));
                break;
            case LegendItem::Mark::Dot:
                p.setPen(Qt::NoPen);
                p.setBrush(item.colour);
                p.drawEllipse(mark.center(), unit * 0.3, unit * 0.3);
                break;
            case LegendItem::Mark::Number:
                p.setPen(item.colour);
                p.drawText(mark.adjusted(0, -unit * 0.2, 0, unit * 0.2), Qt::AlignCenter, "n");
                break;
            }
            p.setPen(kInk);
            p.drawText(QRectF(mark.right() + unit * 0.4, y, width, unit), Qt::AlignLeft | Qt::AlignVCenter, item.text);
        }
        x += width + gap;
    }
    return y + unit * 1.2 - area.top();
}

// A picture's plot frame inside its area and its scales: x linear or logarithmic, y linear.
struct Frame {
    QRectF plot;
    double x0 = 0, x1 = 1, y0 = 0, y1 = 1;
    bool logX = false;

    double x(double v) const
    {
        const double a = logX ? std::log10(std::max(v, 1e-9)) : v, lo = logX ? std::log10(x0) : x0, hi = logX ? std::log10(x1) : x1;
        return plot.left() + (a - lo) / (hi - lo) * plot.width();
    }
    double y(double v) const { return plot.bottom() - (v - y0) / (y1 - y0) * plot.height(); }
};

// The legend at the top of `area`, the plot under it with room for the left axis's labels, the
// right axis's where there is one, and the labels below.
Frame frameIn(QPainter &p, const QRectF &area, const QList<LegendItem> &items, bool rightAxis)
{
    const double unit = lineHeight(p);
    const QRectF row = area.adjusted(unit * 4.5, 0, rightAxis ? -unit * 4.5 : -unit, 0);
    const double top = legend(p, row, items, false);
    legend(p, row, items, true);
    Frame f;
    f.plot = QRectF(row.left(), area.top() + top + unit * 0.3, row.width(), area.height() - top - unit * 0.3 - unit * 1.8);
    return f;
}

// Labels beside the plot at the values `at` of the y scale (left or right of it), each with a
// light line across the plot where `grid`.
void yAxis(QPainter &p, const Frame &f, const QList<double> &at, const QStringList &labels, bool right, bool grid,
           const std::function<double(double)> &yOf = {})
{
    const double unit = lineHeight(p);
    for (int i = 0; i < at.size(); ++i) {
        const double y = yOf ? yOf(at[i]) : f.y(at[i]);
        if (grid) {
            p.setPen(QPen(kGrid, 0));
            p.drawLine(QPointF(f.plot.left(), y), QPointF(f.plot.right(), y));
        }
        p.setPen(kInk);
        if (right)
            p.drawText(QRectF(f.plot.right() + unit * 0.3, y - unit / 2, unit * 4.2, unit), Qt::AlignLeft | Qt::AlignVCenter, labels[i]);
        else
            p.drawText(QRectF(f.plot.left() - unit * 4.5, y - unit / 2, unit * 4.2, unit), Qt::AlignRight | Qt::AlignVCenter, labels[i]);
    }
}

// Labels under the plot at the x positions `at`, centred on their tick but kept inside the
// picture; one that would touch the last drawn is left out.
void xAxis(QPainter &p, const Frame &f, const QList<double> &at, const QStringList &labels, bool grid)
{
    const QFontMetricsF metrics(p.font(), p.device());
    const double unit = metrics.height();
    double lastRight = -1e300;
    for (int i = 0; i < at.size(); ++i) {
        const double x = at[i];
        p.setPen(QPen(grid ? kGrid : kInk, 0));
        if (grid)
            p.drawLine(QPointF(x, f.plot.top()), QPointF(x, f.plot.bottom()));
        p.setPen(QPen(kInk, 0));
        p.drawLine(QPointF(x, f.plot.bottom()), QPointF(x, f.plot.bottom() + unit * 0.4));
        const double width = metrics.horizontalAdvance(labels[i]);
        const double left = std::clamp(x - width / 2, f.plot.left() - unit * 4.0, f.plot.right() + unit * 0.8 - width);
        if (left < lastRight + unit * 0.5)
            continue;
        p.drawText(QRectF(left, f.plot.bottom() + unit * 0.55, width + 1, unit), Qt::AlignLeft | Qt::AlignTop, labels[i]);
        lastRight = left + width;
    }
}

QList<double> steps(double low, double high, int count)
{
    QList<double> at;
    for (int i = 0; i <= count; ++i)
        at << low + (high - low) * i / count;
    return at;
}

QStringList labels(const QList<double> &at, int decimals, const QString &unit = {})
{
    QStringList out;
    for (double v : at)
        out << number(v, decimals) + unit;
    return out;
}

// A round step (1, 2, 2.5 or 5 times a power of ten) at least `rough`.
double roundStep(double rough)
{
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 2.5, 5.0})
        if (m * power >= rough * (1.0 - 1e-9))
            return m * power;
    return 10.0 * power;
}

// The places a round step needs: 2.5 one, 0.25 two.
int decimalsOf(double step)
{
    int decimals = 0;
    while (decimals < 3 && std::abs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) > 1e-9)
        ++decimals;
    return decimals;
}

// The time axis of [from, to): from two days on the local midnights, each labelled with its date
// ("12/07") where the labels have room, else every 2nd, 7th, 14th or 28th day from the first;
// shorter periods by the clock ("6:00").
void timeAxis(QPainter &p, const Frame &f, double from, double to)
{
    const QFontMetricsF metrics(p.font(), p.device());
    const bool byDay = to - from >= 2 * 86400.0;
    const double room = metrics.horizontalAdvance(byDay ? "00/00" : "00:00") * 1.6;
    const std::vector<std::int64_t> candidates = byDay ? std::vector<std::int64_t>{86400, 2 * 86400, 7 * 86400, 14 * 86400, 28 * 86400}
                                                  : std::vector<std::int64_t>{60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    const auto roomy = std::find_if(candidates.begin(), candidates.end(),
                                    [&](std::int64_t s) { return static_cast<double>(s) / (to - from) * f.plot.width() >= room; });
    const std::int64_t step = roomy != candidates.end() ? *roomy : candidates.back();
    QList<double> at;
    QStringList texts;
    // Days counted from the period's first midnight, clock steps from the day's: the wall
    // clock's blocks, so a day of 23 or 25 hours still ends at a midnight.
    const std::int64_t block = byDay ? 86400 : step;
    const auto advance = [&](std::int64_t t) {
        for (std::int64_t n = byDay ? step / 86400 : 1; n > 0; --n)
            t = nextBlockStart(t, block);
        return t;
    };
    std::int64_t first = blockStart(from, block);
    if (static_cast<double>(first) < from)
        first = nextBlockStart(first, block);
    if (byDay) {
        p.setPen(QPen(kGrid, 0));
        for (std::int64_t midnight = first; static_cast<double>(midnight) <= to; midnight = nextBlockStart(midnight, 86400))
            p.drawLine(QPointF(f.x(static_cast<double>(midnight)), f.plot.top()), QPointF(f.x(static_cast<double>(midnight)), f.plot.bottom()));
    }
    for (std::int64_t t = first; static_cast<double>(t) <= to; t = advance(t)) {
        at << f.x(static_cast<double>(t));
        if (byDay) {
            texts << QString::fromStdString(rowDateText(t)).mid(5);
        } else {
            const std::int64_t wall = localClock().wallOf(t);
            const std::int64_t second = (wall % 86400 + 86400) % 86400;
            texts << QString("%1:%2").arg(second / 3600).arg(second / 60 % 60, 2, 10, QChar('0'));
        }
    }
    xAxis(p, f, at, texts, !byDay);
}

// The dates of day bars under their middles, as far as they have room.
void dayAxis(QPainter &p, const Frame &f, const std::vector<std::int64_t> &days)
{
    QList<double> at;
    QStringList texts;
    const double w = f.plot.width() / static_cast<double>(days.size());
    const double room = QFontMetricsF(p.font(), p.device()).horizontalAdvance("00/00") * 1.4;
    const std::size_t every = static_cast<std::size_t>(std::ceil(room / w));
    for (std::size_t i = 0; i < days.size(); i += std::max<std::size_t>(1, every)) {
        at << f.plot.left() + w * (static_cast<double>(i) + 0.5);
        texts << QString::fromStdString(rowDateText(days[i])).mid(5);
    }
    xAxis(p, f, at, texts, false);
}

using Mark = LegendItem::Mark;

void drawProfile(QPainter &p, const QRectF &area, const PowerQualityReport &r)
{
    const ReportSettings &s = r.settings;
    QList<LegendItem> items{{Mark::Box, kBlue, say(r, "有効な 10 分値", "valid 10-minute value")},
                            {Mark::Box, kRed, say(r, "フラグ付き", "flagged")},
                            {Mark::Box, kGrey, say(r, "不完全", "incomplete")},
                            {Mark::Dashed, kOrange, "±" + number(s.narrowBand * 100.0, 0) + " %"},
                            {Mark::Dashed, kRed, "±" + number(s.wideBand * 100.0, 0) + " %"}};
    if (s.userBand)
        items << LegendItem{Mark::Dashed, kGreen, say(r, "利用者の範囲", "user band")};
    Frame f = frameIn(p, area, items, false);
    const double low = s.nominal * (1.0 - s.wideBand) - 50.0, high = s.nominal * (1.0 + s.wideBand) + 50.0;
    f.x0 = r.from;
    f.x1 = r.to;
    f.y0 = low;
    f.y1 = high;
    const QList<double> at = steps(low, high, 4);
    yAxis(p, f, at, labels(at, 0, " V"), false, true);
    timeAxis(p, f, r.from, r.to);
    const auto limit = [&](double v, const QColor &colour) {
        p.setPen(QPen(colour, 0, Qt::DashLine));
        p.drawLine(QPointF(f.plot.left(), f.y(v)), QPointF(f.plot.right(), f.y(v)));
    };
    limit(s.nominal * (1 - s.narrowBand), kOrange);
    limit(s.nominal * (1 + s.narrowBand), kOrange);
    limit(s.nominal * (1 - s.wideBand), kRed);
    limit(s.nominal * (1 + s.wideBand), kRed);
    if (s.userBand) {
        limit(s.userBand->first, kGreen);
        limit(s.userBand->second, kGreen);
    }
    for (const TenMinuteValue &v : r.tenMinutes) {
        p.setPen(Qt::NoPen);
        p.setBrush(v.flagged ? kRed : v.incomplete ? kGrey : kBlue);
        const double w = std::max(1.0, 600.0 / (r.to - r.from) * f.plot.width());
        const double mark = area.height() / 150.0;
        p.drawRect(QRectF(f.x(static_cast<double>(v.start)), f.y(std::clamp(v.rms, low, high)) - mark / 2, w, mark));
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kInk, 0));
    p.drawRect(f.plot);
}

// Bars: each bin's share of the valid 10-minute values on the left axis, scaled to a round step
// above the tallest; the cumulative probability over them on the right axis, 0 to 100 %.
void drawHistogram(QPainter &p, const QRectF &area, const PowerQualityReport &r)
{
    std::vector<double> values;
    for (const TenMinuteValue &v : r.tenMinutes)
        if (v.valid())
            values.push_back(v.rms);
    Frame f = frameIn(p, area,
                      {{Mark::Box, kBar, say(r, "各区間の 10 分値の割合（左軸）", "share of the 10-minute values in each bin (left axis)")},
                       {Mark::Line, kRed, say(r, "累積確率（右軸）", "cumulative probability (right axis)")}},
                      true);
    if (values.empty()) {
        p.setPen(QPen(kInk, 0));
        p.drawRect(f.plot);
        return;
    }
    std::sort(values.begin(), values.end());
    const double low = std::floor(values.front() / 10.0) * 10.0, high = std::max(low + 10.0, std::ceil(values.back() / 10.0) * 10.0);
    constexpr int kBins = 40;
    std::vector<std::size_t> bins(kBins, 0);
    for (double v : values)
        ++bins[static_cast<std::size_t>(std::min<double>(kBins - 1, (v - low) / (high - low) * kBins))];
    const double count = static_cast<double>(values.size());
    const double tallest = 100.0 * static_cast<double>(*std::max_element(bins.begin(), bins.end())) / count;
    const double step = roundStep(tallest / 4.0);
    const double top = std::max(step, std::ceil(tallest / step - 1e-9) * step);
    f.x0 = low;
    f.x1 = high;
    f.y0 = 0.0;
    f.y1 = top;
    const QList<double> shares = steps(0.0, top, static_cast<int>(std::lround(top / step)));
    yAxis(p, f, shares, labels(shares, decimalsOf(step), " %"), false, true);
    const QList<double> cumulative = steps(0.0, 100.0, 4);
    yAxis(p, f, cumulative, labels(cumulative, 0, " %"), true, false, [&](double v) { return f.y(v / 100.0 * top); });
    const double voltStep = roundStep((high - low) / 6.0);
    QList<double> voltsAt;
    QStringList voltLabels;
    for (double v = std::ceil(low / voltStep) * voltStep; v <= high + 1e-9; v += voltStep) {
        voltsAt << f.x(v);
        voltLabels << number(v, decimalsOf(voltStep)) + " V";
    }
    xAxis(p, f, voltsAt, voltLabels, false);
    p.setPen(Qt::NoPen);
    p.setBrush(kBar);
    for (int b = 0; b < kBins; ++b) {
        const double x = f.x(low + (high - low) * b / kBins), w = f.plot.width() / kBins;
        const double share = 100.0 * static_cast<double>(bins[static_cast<std::size_t>(b)]) / count;
        p.drawRect(QRectF(x, f.y(share), w * 0.9, f.y(0.0) - f.y(share)));
    }
    QPainterPath curve;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const QPointF point(f.x(values[i]), f.y(static_cast<double>(i + 1) / count * top));
        i == 0 ? curve.moveTo(point) : curve.lineTo(point);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kRed, 0));
    p.drawPath(curve);
    p.setPen(QPen(kInk, 0));
    p.drawRect(f.plot);
}

// EN 50160's dip and swell table as a grid: residual voltage (% of Uc) up, duration across on a
// logarithmic axis from 10 ms to 60 s, each row of the table an equal band. The counts of
// `report.tables` in its cells, the events as dots whose area grows with how many share a place.
void drawDipsAndSwells(QPainter &p, const QRectF &area, const PowerQualityReport &r)
{
    using T = EventTables;
    // The bands from the bottom, as fractions of Uc: the dip rows (< 5 % first), the band
    // without events, the swell rows; the top row (≥ 120 %) drawn up to 140 %.
    const std::vector<double> edges{0.0,
                                    T::kDipResiduals[4],
                                    T::kDipResiduals[3],
                                    T::kDipResiduals[2],
                                    T::kDipResiduals[1],
                                    T::kDipResiduals[0],
                                    T::kSwellLevels[1],
                                    T::kSwellLevels[0],
                                    1.40};
    const std::size_t bands = edges.size() - 1, normalBand = T::kDipResiduals.size();
    constexpr double kShortest = 0.01, kLongest = 60.0;

    // Events drawn where they fall in the table; those longer or of unknown duration are said.
    std::size_t notDrawn = 0;
    for (const VoltageEvent &e : r.events)
        if (!e.seconds || *e.seconds > kLongest + 1e-6)
            ++notDrawn;
    QList<LegendItem> items{{Mark::Dot, kDot, say(r, "事象（点の面積は件数に比例）", "events (a dot's area by their number)")},
                            {Mark::Number, kInk, say(r, "表の各欄の件数", "count in each cell of the table")},
                            {Mark::Box, kShade, say(r, "0.2 s 未満は測定不可（1 サンプル）", "below 0.2 s not measurable (one sample)")}};
    if (notDrawn)
        items << LegendItem{Mark::None, {},
                            say(r, "60 s 超・継続時間不明の %1 件は描かない", "%1 longer than 60 s or of unknown duration not drawn").arg(notDrawn)};
    Frame f = frameIn(p, area, items, false);
    const auto yOf = [&](double level) {
        level = std::clamp(level, 0.0, edges.back());
        std::size_t band = 0;
        while (band + 1 < bands && level > edges[band + 1])
            ++band;
        const double within = (level - edges[band]) / (edges[band + 1] - edges[band]);
        return f.plot.bottom() - (static_cast<double>(band) + within) / static_cast<double>(bands) * f.plot.height();
    };
    f.x0 = kShortest;
    f.x1 = kLongest;
    f.logX = true;
    const double rowHeight = f.plot.height() / static_cast<double>(bands);
    const auto bandTop = [&](std::size_t band) { return f.plot.bottom() - static_cast<double>(band + 1) * rowHeight; };

    // Shading: below one sample, and the band without events.
    p.setPen(Qt::NoPen);
    p.setBrush(kShade);
    p.drawRect(QRectF(QPointF(f.plot.left(), f.plot.top()), QPointF(f.x(T::kDipSeconds[0]), f.plot.bottom())));
    p.setBrush(QColor(244, 248, 244));
    p.drawRect(QRectF(QPointF(f.plot.left(), bandTop(normalBand)), QPointF(f.plot.right(), bandTop(normalBand) + rowHeight)));
    p.setPen(kGrey);
    p.drawText(QRectF(f.plot.left(), bandTop(normalBand), f.plot.width(), rowHeight), Qt::AlignCenter,
               number(edges[normalBand] * 100.0, 0) + "–" + number(edges[normalBand + 1] * 100.0, 0) + " %: "
                   + say(r, "事象なし", "no event"));
    // The table's cells: rows across, the dips' and the swells' columns down their own rows.
    QList<double> rowsAt;
    QStringList rowLabels;
    for (std::size_t edge = 0; edge < bands; ++edge) {
        rowsAt << edges[edge];
        rowLabels << number(edges[edge] * 100.0, 0) + " %";
    }
    yAxis(p, f, rowsAt, rowLabels, false, true, yOf);
    p.setPen(QPen(kGrid, 0));
    for (std::size_t c = 0; c + 1 < T::kDipSeconds.size(); ++c)
        p.drawLine(QPointF(f.x(T::kDipSeconds[c]), bandTop(normalBand - 1)), QPointF(f.x(T::kDipSeconds[c]), f.plot.bottom()));
    for (std::size_t c = 0; c + 1 < T::kSwellSeconds.size(); ++c)
        p.drawLine(QPointF(f.x(T::kSwellSeconds[c]), f.plot.top()), QPointF(f.x(T::kSwellSeconds[c]), bandTop(normalBand + 1)));
    QList<double> secondsAt{f.x(kShortest)};
    QStringList secondsLabels{number(kShortest, 2) + " s"};
    std::vector<double> columnEdges(T::kDipSeconds.begin(), T::kDipSeconds.end());
    for (double s : T::kSwellSeconds)
        if (std::find(columnEdges.begin(), columnEdges.end(), s) == columnEdges.end())
            columnEdges.push_back(s);
    std::sort(columnEdges.begin(), columnEdges.end());
    for (double s : columnEdges) {
        secondsAt << f.x(s);
        secondsLabels << (s < 1.0 ? number(s, 1) : number(s, 0)) + " s";
    }
    xAxis(p, f, secondsAt, secondsLabels, false);

    // The events as dots, one at the mean place of those close together, its area by their
    // number: first those within a quarter of a band of a dot's first event, then dots that
    // would touch merged until none do.
    struct Dot {
        double firstX = 0, firstY = 0, sumX = 0, sumY = 0;
        std::size_t n = 0;
        QPointF centre() const { return {sumX / static_cast<double>(n), sumY / static_cast<double>(n)}; }
    };
    std::vector<std::pair<double, double>> spots;
    for (const VoltageEvent &e : r.events)
        if (e.seconds && *e.seconds <= kLongest + 1e-6)
            spots.emplace_back(f.x(std::max(*e.seconds, kShortest)), yOf(e.extreme / r.settings.nominal));
    std::sort(spots.begin(), spots.end());
    std::vector<Dot> dots; // by their first event's x, as the spots come
    const double reach = rowHeight / 4.0;
    for (const auto &[x, y] : spots) {
        Dot *near = nullptr;
        for (auto d = dots.rbegin(); d != dots.rend() && d->firstX >= x - reach && !near; ++d)
            if (std::hypot(d->firstX - x, d->firstY - y) <= reach)
                near = &*d;
        Dot &dot = near ? *near : dots.emplace_back(Dot{x, y, 0, 0, 0});
        dot.sumX += x;
        dot.sumY += y;
        ++dot.n;
    }
    const double smallest = rowHeight * 0.08, largest = rowHeight * 0.45;
    std::size_t most = 1;
    const auto radius = [&](const Dot &d) { return std::max(smallest, largest * std::sqrt(static_cast<double>(d.n) / static_cast<double>(most))); };
    for (bool merged = true; merged;) {
        merged = false;
        for (const Dot &d : dots)
            most = std::max(most, d.n);
        for (std::size_t i = 0; i < dots.size(); ++i)
            for (std::size_t j = i + 1; j < dots.size();) {
                const QPointF apart = dots[i].centre() - dots[j].centre();
                if (std::hypot(apart.x(), apart.y()) >= radius(dots[i]) + radius(dots[j])) {
                    ++j;
                    continue;
                }
                dots[i].sumX += dots[j].sumX;
                dots[i].sumY += dots[j].sumY;
                dots[i].n += dots[j].n;
                dots.erase(dots.begin() + static_cast<std::ptrdiff_t>(j));
                merged = true;
            }
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kDot);
    for (const Dot &d : dots)
        p.drawEllipse(d.centre(), radius(d), radius(d));
    // The counts, over the dots: bold where some, light where none.
    const auto count = [&](std::size_t band, double from, double to, std::size_t n) {
        QFont font = p.font();
        font.setBold(n > 0);
        p.save();
        p.setFont(font);
        p.setPen(n > 0 ? QColor(20, 20, 20) : kGrey);
        const double left = f.x(from), right = f.x(to);
        p.drawText(QRectF(left, bandTop(band), right - left, rowHeight), Qt::AlignCenter, QString::number(n));
        p.restore();
    };
    for (std::size_t row = 0; row < T::kDipResiduals.size(); ++row)
        for (std::size_t c = 0; c < T::kDipSeconds.size(); ++c)
            count(normalBand - 1 - row, c == 0 ? kShortest : T::kDipSeconds[c - 1], T::kDipSeconds[c], r.tables.dips[row][c]);
    for (std::size_t row = 0; row < T::kSwellLevels.size(); ++row)
        for (std::size_t c = 0; c < T::kSwellSeconds.size(); ++c)
            count(bands - 1 - row, c == 0 ? kShortest : T::kSwellSeconds[c - 1], T::kSwellSeconds[c], r.tables.swells[row][c]);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kInk, 0));
    p.drawLine(QPointF(f.plot.left(), bandTop(normalBand)), QPointF(f.plot.right(), bandTop(normalBand)));
    p.drawLine(QPointF(f.plot.left(), bandTop(normalBand) + rowHeight), QPointF(f.plot.right(), bandTop(normalBand) + rowHeight));
    p.drawRect(f.plot);
}

// Two bars a day: the SVG's effect (ΔV without and with it) or the power factor (of the load and
// at the point of connection, with the 0.85 line).
void drawDailyBars(QPainter &p, const QRectF &area, ReportBlock::Picture which, const PowerQualityReport &r)
{
    const bool effect = which == ReportBlock::Picture::Effectiveness;
    const std::size_t count = effect ? r.effectiveness.size() : r.energy.size();
    QList<LegendItem> items;
    if (effect)
        items << LegendItem{Mark::Box, kLightGrey, say(r, "SVG なし（ΔV_unc 95 %）", "without the SVG (ΔV_unc 95 %)")}
              << LegendItem{Mark::Box, kBlue, say(r, "SVG あり（ΔV 95 %）", "with the SVG (ΔV 95 %)")};
    else
        items << LegendItem{Mark::Box, kLightGrey, say(r, "負荷", "load")}
              << LegendItem{Mark::Box, kBlue, say(r, "受電点", "point of connection")}
              << LegendItem{Mark::Dashed, kRed, "0.85"};
    Frame f = frameIn(p, area, items, false);
    if (count == 0) {
        p.setPen(QPen(kInk, 0));
        p.drawRect(f.plot);
        return;
    }
    double top = 1.0;
    if (effect)
        for (const DailyEffectiveness &d : r.effectiveness)
            top = std::max({top, d.swingP95, d.uncompensatedP95});
    const QList<double> at = steps(0.0, effect ? std::ceil(top) : 1.0, 4);
    f.x0 = 0.0;
    f.x1 = static_cast<double>(count);
    f.y1 = at.back();
    yAxis(p, f, at, labels(at, 2, effect ? " V" : ""), false, true);
    std::vector<std::int64_t> days;
    const double w = f.plot.width() / static_cast<double>(count);
    for (std::size_t i = 0; i < count; ++i) {
        days.push_back(effect ? r.effectiveness[i].day : r.energy[i].day);
        const double x = f.plot.left() + w * static_cast<double>(i);
        const std::optional<double> a = effect ? std::optional(r.effectiveness[i].uncompensatedP95) : r.energy[i].loadPowerFactor();
        const std::optional<double> b = effect ? std::optional(r.effectiveness[i].swingP95) : r.energy[i].connectionPowerFactor();
        p.setPen(Qt::NoPen);
        p.setBrush(kLightGrey);
        if (a)
            p.drawRect(QRectF(x + w * 0.1, f.y(*a), w * 0.38, f.y(0.0) - f.y(*a)));
        p.setBrush(kBlue);
        if (b)
            p.drawRect(QRectF(x + w * 0.52, f.y(*b), w * 0.38, f.y(0.0) - f.y(*b)));
    }
    dayAxis(p, f, days);
    if (!effect) {
        p.setPen(QPen(kRed, 0, Qt::DashLine));
        p.drawLine(QPointF(f.plot.left(), f.y(0.85)), QPointF(f.plot.right(), f.y(0.85)));
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kInk, 0));
    p.drawRect(f.plot);
}

} // namespace

void drawReportPicture(QPainter &p, const QRectF &area, ReportBlock::Picture which, const PowerQualityReport &r)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    switch (which) {
    case ReportBlock::Picture::None:
        break;
    case ReportBlock::Picture::Profile:
        drawProfile(p, area, r);
        break;
    case ReportBlock::Picture::Histogram:
        drawHistogram(p, area, r);
        break;
    case ReportBlock::Picture::DipsAndSwells:
        drawDipsAndSwells(p, area, r);
        break;
    case ReportBlock::Picture::Effectiveness:
    case ReportBlock::Picture::PowerFactor:
        drawDailyBars(p, area, which, r);
        break;
    }
    p.restore();
}

} // namespace svglogger
