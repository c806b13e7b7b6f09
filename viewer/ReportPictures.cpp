#include "viewer/ReportPictures.h"

#include "viewer/ReportText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace svglogger {

using namespace reportText;

namespace {

// A picture's plot frame inside its area, its scales and labels.
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

Frame frameIn(QPainter &p, const QRectF &area, double x0, double x1, double y0, double y1, const QStringList &yLabels,
              const QList<double> &yAt)
{
    Frame f;
    const double unit = QFontMetricsF(p.font()).height();
    f.plot = area.adjusted(unit * 4.5, unit * 0.5, -unit * 1.0, -unit * 1.8);
    f.x0 = x0;
    f.x1 = x1;
    f.y0 = y0;
    f.y1 = y1;
    p.setPen(QPen(QColor(200, 200, 200), 0));
    for (int i = 0; i < yAt.size(); ++i) {
        const double y = f.y(yAt[i]);
        p.drawLine(QPointF(f.plot.left(), y), QPointF(f.plot.right(), y));
        p.setPen(QColor(60, 60, 60));
        p.drawText(QRectF(area.left(), y - unit / 2, unit * 4.2, unit), Qt::AlignRight | Qt::AlignVCenter, yLabels[i]);
        p.setPen(QPen(QColor(200, 200, 200), 0));
    }
    p.setPen(QPen(QColor(60, 60, 60), 0));
    p.drawRect(f.plot);
    return f;
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

void caption(QPainter &p, const Frame &f, const QString &left, const QString &right)
{
    const double unit = QFontMetricsF(p.font()).height();
    p.setPen(QColor(60, 60, 60));
    p.drawText(QRectF(f.plot.left(), f.plot.bottom() + unit * 0.3, f.plot.width() / 2, unit), Qt::AlignLeft, left);
    p.drawText(QRectF(f.plot.center().x(), f.plot.bottom() + unit * 0.3, f.plot.width() / 2, unit), Qt::AlignRight, right);
}

} // namespace

void drawReportPicture(QPainter &p, const QRectF &area, ReportBlock::Picture which, const PowerQualityReport &r)
{
    const ReportSettings &s = r.settings;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    switch (which) {
    case ReportBlock::Picture::None:
        break;
    case ReportBlock::Picture::Profile: {
        const double low = s.nominal * (1.0 - s.wideBand) - 50.0, high = s.nominal * (1.0 + s.wideBand) + 50.0;
        const QList<double> at = steps(low, high, 4);
        const Frame f = frameIn(p, area, r.from, r.to, low, high, labels(at, 0, " V"), at);
        const auto limit = [&](double v, const QColor &colour) {
            p.setPen(QPen(colour, 0, Qt::DashLine));
            p.drawLine(QPointF(f.plot.left(), f.y(v)), QPointF(f.plot.right(), f.y(v)));
        };
        limit(s.nominal * (1 - s.narrowBand), QColor(200, 120, 0));
        limit(s.nominal * (1 + s.narrowBand), QColor(200, 120, 0));
        limit(s.nominal * (1 - s.wideBand), QColor(200, 0, 0));
        limit(s.nominal * (1 + s.wideBand), QColor(200, 0, 0));
        if (s.userBand) {
            limit(s.userBand->first, QColor(0, 140, 0));
            limit(s.userBand->second, QColor(0, 140, 0));
        }
        for (const TenMinuteValue &v : r.tenMinutes) {
            const QColor colour = v.flagged ? QColor(200, 0, 0) : v.incomplete ? QColor(150, 150, 150) : QColor(0, 0, 180);
            p.setPen(Qt::NoPen);
            p.setBrush(colour);
            const double w = std::max(1.0, 600.0 / (r.to - r.from) * f.plot.width());
            const double mark = area.height() / 150.0;
            p.drawRect(QRectF(f.x(static_cast<double>(v.start)), f.y(std::clamp(v.rms, low, high)) - mark / 2, w, mark));
        }
        caption(p, f, timeText(r.from), timeText(r.to));
        break;
    }
    case ReportBlock::Picture::Histogram: {
        std::vector<double> values;
        for (const TenMinuteValue &v : r.tenMinutes)
            if (v.valid())
                values.push_back(v.rms);
        if (values.empty())
            break;
        std::sort(values.begin(), values.end());
        const double low = std::floor(values.front() / 10.0) * 10.0, high = std::max(low + 10.0, std::ceil(values.back() / 10.0) * 10.0);
        constexpr int kBins = 40;
        std::vector<std::size_t> bins(kBins, 0);
        for (double v : values)
            ++bins[static_cast<std::size_t>(std::min<double>(kBins - 1, (v - low) / (high - low) * kBins))];
        const double most = static_cast<double>(*std::max_element(bins.begin(), bins.end()));
        const QList<double> at = steps(0.0, 1.0, 4);
        const Frame f = frameIn(p, area, low, high, 0.0, 1.0, labels(steps(0.0, 100.0, 4), 0, " %"), at);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(120, 150, 220));
        for (int b = 0; b < kBins; ++b) {
            const double x = f.x(low + (high - low) * b / kBins), w = f.plot.width() / kBins;
            const double h = static_cast<double>(bins[static_cast<std::size_t>(b)]) / most;
            p.drawRect(QRectF(x, f.y(h), w * 0.9, f.y(0.0) - f.y(h)));
        }
        // The cumulative probability over it, 0 to 100 %.
        QPainterPath cumulative;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const QPointF point(f.x(values[i]), f.y(static_cast<double>(i + 1) / static_cast<double>(values.size())));
            i == 0 ? cumulative.moveTo(point) : cumulative.lineTo(point);
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(200, 0, 0), 0));
        p.drawPath(cumulative);
        caption(p, f, number(low, 0) + " V", number(high, 0) + " V");
        break;
    }
    case ReportBlock::Picture::Itic: {
        const QList<double> at{0, 50, 100, 150, 200};
        Frame f = frameIn(p, area, 0.01, 100.0, 0.0, 200.0, labels(at, 0, " %"), at);
        f.logX = true;
        // The ITIC curve: tolerated above the lower and below the upper line.
        p.setPen(QPen(QColor(200, 0, 0), 0));
        const QList<QPointF> upper{{0.01, 140}, {0.01, 120}, {0.5, 120}, {0.5, 110}, {100, 110}};
        const QList<QPointF> lower{{0.01, 0}, {0.02, 0}, {0.02, 70}, {0.5, 70}, {0.5, 80}, {10, 80}, {10, 90}, {100, 90}};
        for (const QList<QPointF> *line : {&upper, &lower})
            for (int i = 1; i < line->size(); ++i)
                p.drawLine(QPointF(f.x((*line)[i - 1].x()), f.y((*line)[i - 1].y())), QPointF(f.x((*line)[i].x()), f.y((*line)[i].y())));
        p.setPen(QPen(QColor(200, 200, 200), 0));
        for (double decade : {0.1, 1.0, 10.0})
            p.drawLine(QPointF(f.x(decade), f.plot.top()), QPointF(f.x(decade), f.plot.bottom()));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 180, 160));
        const double dot = area.height() / 80.0; // seen at any resolution
        for (const VoltageEvent &e : r.events)
            if (e.seconds)
                p.drawEllipse(QPointF(f.x(std::clamp(*e.seconds, 0.01, 100.0)), f.y(std::clamp(e.extreme * 100.0 / s.nominal, 0.0, 200.0))),
                              dot, dot);
        caption(p, f, "0.01 s", "100 s");
        break;
    }
    case ReportBlock::Picture::Effectiveness:
    case ReportBlock::Picture::PowerFactor: {
        const bool effect = which == ReportBlock::Picture::Effectiveness;
        const std::size_t days = effect ? r.effectiveness.size() : r.energy.size();
        if (days == 0)
            break;
        double top = 1.0;
        if (effect)
            for (const DailyEffectiveness &d : r.effectiveness)
                top = std::max({top, d.swingP95, d.uncompensatedP95});
        const QList<double> at = steps(0.0, effect ? std::ceil(top) : 1.0, 4);
        const Frame f = frameIn(p, area, 0.0, static_cast<double>(days), 0.0, at.back(),
                                labels(at, effect ? 2 : 2, effect ? " V" : ""), at);
        const double w = f.plot.width() / static_cast<double>(days);
        for (std::size_t i = 0; i < days; ++i) {
            const double x = f.plot.left() + w * static_cast<double>(i);
            const double a = effect ? r.effectiveness[i].uncompensatedP95 : r.energy[i].loadPowerFactor().value_or(0.0);
            const double b = effect ? r.effectiveness[i].swingP95 : r.energy[i].connectionPowerFactor().value_or(0.0);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(190, 190, 190));
            p.drawRect(QRectF(x + w * 0.1, f.y(a), w * 0.38, f.y(0.0) - f.y(a)));
            p.setBrush(QColor(0, 0, 180));
            p.drawRect(QRectF(x + w * 0.52, f.y(b), w * 0.38, f.y(0.0) - f.y(b)));
        }
        if (!effect) {
            p.setPen(QPen(QColor(200, 0, 0), 0, Qt::DashLine));
            p.drawLine(QPointF(f.plot.left(), f.y(0.85)), QPointF(f.plot.right(), f.y(0.85)));
        }
        const std::int64_t first = effect ? r.effectiveness.front().day : r.energy.front().day;
        const std::int64_t last = effect ? r.effectiveness.back().day : r.energy.back().day;
        caption(p, f, dateText(first) + (effect ? say(r, "  灰: SVG なし、青: あり", "  grey: without, blue: with the SVG")
                                                : say(r, "  灰: 負荷、青: 受電点", "  grey: load, blue: point of connection")),
                dateText(last));
        break;
    }
    }
    p.restore();
}

} // namespace svglogger
