#include "viewer/ReportDocument.h"

#include "quality/EventKind.h"
#include "reading/RecordTime.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <optional>

namespace svglogger {

namespace {

bool japanese(const PowerQualityReport &report)
{
    return report.settings.language == ReportSettings::Language::Japanese;
}

// The report's own words in its language.
QString say(const PowerQualityReport &report, const char *ja, const char *en)
{
    return japanese(report) ? QString::fromUtf8(ja) : QString::fromUtf8(en);
}

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString timeText(double time)
{
    return QString::fromStdString(fullRowTimeText(time));
}

QString dateText(std::int64_t midnight)
{
    return QString::fromStdString(rowDateText(midnight));
}

QString eventName(const PowerQualityReport &report, VoltageEvent::Kind kind)
{
    const EventKindTitle &title = eventKindTitle(eventKindOf(kind));
    const std::string_view name = japanese(report) ? title.japanese : title.english;
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

ReportBlock heading(const QString &text)
{
    return {ReportBlock::Kind::Heading, text, {}, {}, ReportBlock::Picture::None};
}

ReportBlock paragraph(const QString &text)
{
    return {ReportBlock::Kind::Paragraph, text, {}, {}, ReportBlock::Picture::None};
}

ReportBlock table(const QStringList &header, const QList<QStringList> &rows)
{
    return {ReportBlock::Kind::Table, {}, header, rows, ReportBlock::Picture::None};
}

ReportBlock picture(ReportBlock::Picture which, const QString &caption)
{
    return {ReportBlock::Kind::Picture, caption, {}, {}, which};
}

} // namespace

std::vector<ReportBlock> reportBlocks(const PowerQualityReport &r)
{
    std::vector<ReportBlock> blocks;
    const ReportSettings &s = r.settings;
    blocks.push_back({ReportBlock::Kind::Title, say(r, "電力品質・SVG 効果レポート", "Power quality and SVG effectiveness report"),
                      {}, {}, ReportBlock::Picture::None});

    // 1. What was read, with what rules, and what these values can show.
    blocks.push_back(heading(say(r, "1. 概要", "1. Overview")));
    blocks.push_back(paragraph(say(r, "期間: ", "Period: ") + timeText(r.from) + " – " + timeText(r.to)));
    QString files = say(r, "ファイル (%1): ", "Files (%1): ").arg(r.files.size());
    for (std::size_t i = 0; i < r.files.size() && i < 10; ++i)
        files += (i ? ", " : "") + QString::fromStdString(r.files[i]);
    if (r.files.size() > 10)
        files += say(r, " ほか %1 件", " and %1 more").arg(r.files.size() - 10);
    blocks.push_back(paragraph(files));
    blocks.push_back(paragraph(say(r, "設定: ", "Settings: ") + [&] {
        QStringList lines;
        for (const std::string &line : s.lines())
            lines << QString::fromStdString(line);
        return lines.join("; ");
    }()));
    blocks.push_back(paragraph(say(
        r,
        "値は SVG 制御装置が約 200 ms ごとに送る線間電圧 1 相の実効値であり、IEC 61000-4-30 の測定器による値ではありません。"
        "毎秒 5 値では 2.5 Hz までの変動しか含まれず、ΔV10（重み付けの最大は 10 Hz）、Pst/Plt、周波数、高調波は"
        "これらの値からは測定できません（not measurable）。",
        "The values are the SVG controller's RMS values of one line-to-line voltage, about every 200 ms; they are not "
        "those of an IEC 61000-4-30 instrument. Five values a second carry content up to 2.5 Hz only: ΔV10 (whose "
        "weighting peaks at 10 Hz), Pst/Plt, frequency and harmonics are not measurable from these values.")));

    // 2. The supply voltage's 10-minute values.
    blocks.push_back(heading(say(r, "2. 供給電圧 10 分値 — EN 50160 の方法", "2. Supply voltage, 10-minute values — EN 50160 method")));
    std::size_t incomplete = 0, flagged = 0;
    for (const TenMinuteValue &v : r.tenMinutes) {
        incomplete += v.incomplete;
        flagged += v.flagged && !v.incomplete;
    }
    blocks.push_back(paragraph(
        say(r, "10 分値 %1 個（不完全 %2、フラグ付き %3）。有効値の 95 %: %4 V、99 %: %5 V、最小 %6 V、最大 %7 V。",
            "%1 10-minute values (%2 incomplete, %3 flagged). Of the valid ones: 95 % %4 V, 99 % %5 V, min %6 V, max %7 V.")
            .arg(r.tenMinutes.size())
            .arg(incomplete)
            .arg(flagged)
            .arg(r.p95 ? number(*r.p95, 1) : "-")
            .arg(r.p99 ? number(*r.p99, 1) : "-")
            .arg(r.minimum ? number(*r.minimum, 1) : "-")
            .arg(r.maximum ? number(*r.maximum, 1) : "-")));
    QList<QStringList> compliance;
    for (const PowerQualityReport::Compliance &c : r.compliance) {
        if (c.item == PowerQualityReport::Compliance::Item::Unbalance)
            continue;
        compliance << QStringList{QString::fromStdString(c.name()), QString::fromStdString(c.limit),
                                  number(c.requiredShare * 100.0, 0) + " %", QString::number(c.valid.intervals),
                                  c.valid.intervals ? number(c.valid.percent(), 2) + " %" : "-",
                                  c.withFlagged.intervals ? number(c.withFlagged.percent(), 2) + " %" : "-",
                                  QString::fromStdString(c.verdict())};
    }
    blocks.push_back(table({say(r, "項目", "item"), say(r, "範囲", "limit"), say(r, "必要", "required"),
                            say(r, "有効値", "valid"), say(r, "範囲内", "within"),
                            say(r, "フラグ込み", "with flagged"), say(r, "判定", "verdict")},
                           compliance));
    blocks.push_back(picture(ReportBlock::Picture::Profile,
                             say(r, "10 分値の推移と範囲（±10 %、±15 %、利用者の範囲）", "10-minute values and the limits (±10 %, ±15 %, user band)")));
    blocks.push_back(picture(ReportBlock::Picture::Histogram,
                             say(r, "10 分値の分布と累積確率", "Distribution of the 10-minute values and cumulative probability")));

    // 3. Unbalance.
    blocks.push_back(heading(say(r, "3. 不平衡 — EN 50160 の方法", "3. Unbalance — EN 50160 method")));
    const auto unbalance = std::find_if(r.compliance.begin(), r.compliance.end(),
                                        [](const PowerQualityReport::Compliance &c) { return c.item == PowerQualityReport::Compliance::Item::Unbalance; });
    if (unbalance == r.compliance.end() || !unbalance->available)
        blocks.push_back(paragraph(say(r, "逆相電圧の列がないファイルのため、評価できません（not available）。",
                                       "Not available: the files have no negative-sequence columns.")));
    else
        blocks.push_back(paragraph(say(r, "u₂ = √(Vd² + Vq²) ÷ V の 10 分 RMS が 2 % 以下の割合: %1 %（%2 区間、必要 95 %）: %3",
                                       "Share of 10-minute RMS values of u₂ = √(Vd² + Vq²) ÷ V at or below 2 %: %1 % (%2 intervals, 95 % required): %3")
                                       .arg(number(unbalance->valid.percent(), 2))
                                       .arg(unbalance->valid.intervals)
                                       .arg(QString::fromStdString(unbalance->verdict()))));

    // 4. Dips, swells, interruptions.
    blocks.push_back(heading(say(r, "4. 電圧低下・上昇・停電 — 参考値（indicative）", "4. Dips, swells, interruptions — indicative")));
    blocks.push_back(paragraph(say(r, "分解能は 1 サンプル（約 0.2 s）: 10–200 ms の列は測定できず、1 サンプルの事象は ≤ 0.2 s の列に数えます。",
                                   "Resolution one sample (about 0.2 s): the 10–200 ms column is not measurable; a one-sample "
                                   "event counts in the ≤ 0.2 s column.")));
    // A table of counts: each row's label, then its counts.
    const auto countRows = [](const auto &labels, const auto &counts) {
        QList<QStringList> rows;
        for (std::size_t i = 0; i < counts.size(); ++i) {
            QStringList row{QString::fromUtf8(labels[i])};
            for (std::size_t n : counts[i])
                row << QString::number(n);
            rows << row;
        }
        return rows;
    };
    static const char *const kDipRows[] = {"90–80 %", "80–70 %", "70–40 %", "40–5 %", "< 5 %"};
    static const char *const kSwellRows[] = {"≥ 120 %", "110–120 %"};
    blocks.push_back(table({say(r, "残留電圧", "residual"), "≤ 0.2 s", "0.2–0.5 s", "0.5–1 s", "1–5 s", "5–60 s"},
                           countRows(kDipRows, r.tables.dips)));
    const QList<QStringList> swells = countRows(kSwellRows, r.tables.swells);
    blocks.push_back(table({say(r, "電圧", "voltage"), "≤ 0.5 s", "0.5–5 s", "5–60 s"}, swells));
    blocks.push_back(paragraph(say(r, "短時間停電 %1、長時間停電 %2、60 s を超える低下・上昇 %3、継続時間不明（インターバルファイルの最小・最大のみ）%4。",
                                   "Short interruptions %1, long interruptions %2, dips and swells longer than 60 s %3, "
                                   "duration unknown (an interval file's extremes alone) %4.")
                                   .arg(r.tables.shortInterruptions)
                                   .arg(r.tables.longInterruptions)
                                   .arg(r.tables.longerThanTheTables)
                                   .arg(r.tables.durationUnknown)));
    QList<QStringList> events;
    for (std::size_t i = 0; i < r.events.size() && i < 100; ++i) {
        const VoltageEvent &e = r.events[i];
        events << QStringList{eventName(r, e.kind), timeText(e.start), e.seconds ? number(*e.seconds, 1) : "-",
                              number(e.extreme, 1), number(e.extreme * 100.0 / s.nominal, 1) + " %"};
    }
    if (!events.isEmpty())
        blocks.push_back(table({say(r, "種類", "type"), say(r, "開始", "start"), say(r, "継続 s", "duration s"),
                                say(r, "極値 V", "extreme V"), "%"},
                               events));
    if (r.events.size() > 100)
        blocks.push_back(paragraph(say(r, "ほか %1 件（events.csv にすべて）", "%1 more (all in events.csv)").arg(r.events.size() - 100)));
    blocks.push_back(picture(ReportBlock::Picture::Itic, say(r, "事象と ITIC 曲線", "Events on the ITIC curve")));

    // 5. The SVG's effect.
    blocks.push_back(heading(say(r, "5. SVG の効果 — 参考値（indicative、2.5 Hz までの成分、ΔV10 ではない）",
                                 "5. SVG effectiveness — indicative (content up to 2.5 Hz; not ΔV10)")));
    blocks.push_back(paragraph(say(r, "SVG なしの電圧 V_unc = V + Q_svg ÷ 10000 × X ÷ 100 × 6700（X = %1 %）。毎分の ΔV = 最大 − 最小（100 V 基準）。",
                                   "Voltage without the SVG V_unc = V + Q_svg ÷ 10000 × X ÷ 100 × 6700 (X = %1 %). Each minute's "
                                   "ΔV = max − min (on a 100 V base).")
                                   .arg(number(s.reactancePercent, 1))));
    QList<QStringList> effect;
    for (const DailyEffectiveness &d : r.effectiveness)
        effect << QStringList{dateText(d.day), number(d.swingP95, 3), number(d.swingMax, 3), number(d.uncompensatedP95, 3),
                              number(d.uncompensatedMax, 3), d.suppression ? number(*d.suppression * 100.0, 1) + " %" : "-",
                              QString::number(d.rapidChanges), QString::number(d.uncompensatedRapidChanges)};
    blocks.push_back(table({say(r, "日付", "date"), "ΔV 95 %", "ΔV max", "ΔV_unc 95 %", "ΔV_unc max", say(r, "抑制率", "suppression"),
                            "RVC", "RVC unc"},
                           effect));
    blocks.push_back(picture(ReportBlock::Picture::Effectiveness,
                             say(r, "日ごとの ΔV（95 %）: SVG あり・なし", "Daily ΔV (95 %) with and without the SVG")));

    // 6. Power factor and energy.
    blocks.push_back(heading(say(r, "6. 力率と電力量 — 参考値（取引用計量器が優先）", "6. Power factor and energy — indicative (the meter of record decides)")));
    QList<QStringList> energy;
    for (const DailyEnergy &d : r.energy) {
        const auto pf = [](std::optional<double> v) { return v ? number(*v, 3) : QString("-"); };
        energy << QStringList{dateText(d.day), number(d.kwh, 1), number(d.kvarhLagging, 1), number(d.kvarhLeading, 1),
                              number(d.svgKvarh, 1), pf(d.loadPowerFactor()), pf(d.connectionPowerFactor())};
    }
    blocks.push_back(table({say(r, "日付", "date"), "kWh", say(r, "kvarh 遅れ", "kvarh lag"), say(r, "kvarh 進み", "kvarh lead"),
                            "SVG kvarh", say(r, "力率 負荷", "PF load"), say(r, "力率 受電点", "PF PCC")},
                           energy));
    double dayKwh = 0.0, dayLag = 0.0, dayLead = 0.0, dayLoad = 0.0;
    for (const DailyEnergy &d : r.daytimeEnergy) {
        dayKwh += d.kwh;
        dayLag += d.kvarhLagging;
        dayLead += d.kvarhLeading;
        dayLoad += d.loadKvarh;
    }
    if (dayKwh > 0.0)
        blocks.push_back(paragraph(say(r, "昼間（%1–%2 時）の力率: 受電点 %3、負荷 %4。", "Day-time (%1–%2 h) power factor: at the point of connection %3, of the load %4.")
                                       .arg(s.dayHours.first)
                                       .arg(s.dayHours.second)
                                       .arg(number(dayKwh / std::hypot(dayKwh, dayLag - dayLead), 3))
                                       .arg(number(dayKwh / std::hypot(dayKwh, dayLoad), 3))));
    blocks.push_back(picture(ReportBlock::Picture::PowerFactor, say(r, "日ごとの力率（85 % の線）", "Daily power factor (line at 85 %)")));

    // 7. Coverage and availability.
    blocks.push_back(heading(say(r, "7. 記録率と稼働率", "7. Coverage and availability")));
    QString coverage = say(r, "記録率 %1 %（%2 サンプル / 期待 %3）、欠測 %4 箇所。", "Coverage %1 % (%2 samples of %3 expected), %4 gaps.")
                           .arg(number(r.coverage.percent(), 2))
                           .arg(r.coverage.samples)
                           .arg(number(r.coverage.expected, 0))
                           .arg(r.coverage.gaps.size());
    const double recorded = static_cast<double>(r.coverage.samples) * r.samplePeriod;
    if (r.coverage.runningSeconds)
        coverage += say(r, " 稼働率（稼働ビット）%1 %。", " Availability (running bits) %1 %.")
                        .arg(number(recorded > 0 ? 100.0 * *r.coverage.runningSeconds / recorded : 0.0, 2));
    else
        coverage += say(r, " 稼働率は判定できません（稼働ビット未設定）。SVG 出力 ≠ 0 の時間 %1 %。",
                        " Availability not determinable (no running bits set); time with SVG output ≠ 0: %1 %.")
                        .arg(number(recorded > 0 ? 100.0 * r.coverage.outputSeconds / recorded : 0.0, 2));
    blocks.push_back(paragraph(coverage));
    QList<QStringList> gaps;
    for (std::size_t i = 0; i < r.coverage.gaps.size() && i < 50; ++i)
        gaps << QStringList{timeText(r.coverage.gaps[i].from), timeText(r.coverage.gaps[i].to),
                            number(r.coverage.gaps[i].to - r.coverage.gaps[i].from, 1)};
    if (!gaps.isEmpty())
        blocks.push_back(table({say(r, "最後の行", "last row"), say(r, "次の行", "next row"), say(r, "秒", "seconds")}, gaps));
    return blocks;
}

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

QString reportHtml(const std::vector<ReportBlock> &blocks, const PowerQualityReport &report)
{
    const auto escaped = [](const QString &text) { return text.toHtmlEscaped(); };
    QString html = "<!DOCTYPE html>\n<html lang=\"" + QString(japanese(report) ? "ja" : "en")
        + "\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + escaped(blocks.front().text)
        + "</title>\n<style>\nbody{font-family:sans-serif;max-width:60em;margin:2em auto;color:#222}\n"
          "table{border-collapse:collapse;margin:0.5em 0}td,th{border:1px solid #999;padding:0.2em 0.5em;text-align:right}\n"
          "th{background:#eee}td:first-child,th:first-child{text-align:left}figure{margin:1em 0}\n</style>\n</head>\n<body>\n";
    for (const ReportBlock &block : blocks) {
        switch (block.kind) {
        case ReportBlock::Kind::Title:
            html += "<h1>" + escaped(block.text) + "</h1>\n";
            break;
        case ReportBlock::Kind::Heading:
            html += "<h2>" + escaped(block.text) + "</h2>\n";
            break;
        case ReportBlock::Kind::Paragraph:
            html += "<p>" + escaped(block.text) + "</p>\n";
            break;
        case ReportBlock::Kind::Table:
            html += "<table>\n<tr>";
            for (const QString &cell : block.header)
                html += "<th>" + escaped(cell) + "</th>";
            html += "</tr>\n";
            for (const QStringList &row : block.rows) {
                html += "<tr>";
                for (const QString &cell : row)
                    html += "<td>" + escaped(cell) + "</td>";
                html += "</tr>\n";
            }
            html += "</table>\n";
            break;
        case ReportBlock::Kind::Picture: {
            // The picture inline as SVG: the file stands alone.
            QBuffer buffer;
            QSvgGenerator svg;
            svg.setOutputDevice(&buffer);
            svg.setSize(QSize(800, 320));
            svg.setViewBox(QRect(0, 0, 800, 320));
            svg.setTitle(block.text);
            svg.setDescription(block.text);
            {
                QPainter painter(&svg);
                painter.setFont(QFont("IPAGothic", 9));
                drawReportPicture(painter, QRectF(0, 0, 800, 320), block.picture, report);
            }
            QString text = QString::fromUtf8(buffer.data());
            text = text.mid(text.indexOf("<svg"));
            // Inline in HTML an SVG needs no namespaces: the page names nothing outside itself.
            text.remove(" xmlns=\"http://www.w3.org/2000/svg\"");
            text.remove(" xmlns:xlink=\"http://www.w3.org/1999/xlink\"");
            html += "<figure>\n" + text + "\n<figcaption>" + escaped(block.text) + "</figcaption>\n</figure>\n";
            break;
        }
        }
    }
    return html + "</body>\n</html>\n";
}

namespace {

// Lays the blocks out on A4 pages of `writer` (or only counts the pages without `painter`).
int layOut(QPdfWriter &writer, QPainter *painter, const std::vector<ReportBlock> &blocks, const PowerQualityReport &report,
           int pageCount)
{
    const double dpmm = writer.resolution() / 25.4;
    const QRectF page(15 * dpmm, 15 * dpmm, (210 - 30) * dpmm, (297 - 30 - 8) * dpmm);
    const QFont body("IPAGothic", 9), bold = [&] {
        QFont f("IPAGothic", 9);
        f.setBold(true);
        return f;
    }();
    const QFont headingFont("IPAGothic", 12, QFont::Bold), titleFont("IPAGothic", 16, QFont::Bold);
    int pageNumber = 1;
    double y = page.top();
    const auto footer = [&] {
        if (!painter)
            return;
        painter->setFont(body);
        painter->setPen(QColor(80, 80, 80));
        painter->drawText(QRectF(page.left(), page.bottom() + 3 * dpmm, page.width(), 6 * dpmm), Qt::AlignCenter,
                          QString("%1 / %2").arg(pageNumber).arg(pageCount));
    };
    const auto need = [&](double height) {
        if (y + height <= page.bottom() || y == page.top())
            return;
        footer();
        if (painter)
            writer.newPage();
        ++pageNumber;
        y = page.top();
    };
    const auto text = [&](const QFont &font, const QString &string, double gapAfter) {
        const QFontMetricsF metrics(font, &writer);
        const QRectF bounds = metrics.boundingRect(page.adjusted(0, 0, 0, 1e6), Qt::TextWordWrap, string);
        need(bounds.height());
        if (painter) {
            painter->setFont(font);
            painter->setPen(QColor(20, 20, 20));
            painter->drawText(QRectF(page.left(), y, page.width(), bounds.height() + 1), Qt::TextWordWrap, string);
        }
        y += bounds.height() + gapAfter;
    };
    for (const ReportBlock &block : blocks) {
        switch (block.kind) {
        case ReportBlock::Kind::Title:
            text(titleFont, block.text, 4 * dpmm);
            break;
        case ReportBlock::Kind::Heading:
            need(40 * dpmm); // a heading keeps some of its section with it
            y += 3 * dpmm;
            text(headingFont, block.text, 2 * dpmm);
            break;
        case ReportBlock::Kind::Paragraph:
            text(body, block.text, 2 * dpmm);
            break;
        case ReportBlock::Kind::Table: {
            const QFontMetricsF metrics(body, &writer);
            const double rowHeight = metrics.height() * 1.4;
            const qsizetype columns = block.header.size();
            const double width = page.width() / static_cast<double>(columns);
            const auto row = [&](const QStringList &cells, bool header) {
                need(rowHeight);
                if (painter) {
                    painter->setFont(header ? bold : body);
                    for (qsizetype c = 0; c < columns && c < cells.size(); ++c) {
                        const QRectF cell(page.left() + width * static_cast<double>(c), y, width, rowHeight);
                        if (header)
                            painter->fillRect(cell, QColor(235, 235, 235));
                        painter->setPen(QPen(QColor(150, 150, 150), 0));
                        painter->drawRect(cell);
                        painter->setPen(QColor(20, 20, 20));
                        painter->drawText(cell.adjusted(1 * dpmm, 0, -1 * dpmm, 0),
                                          (c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter,
                                          metrics.elidedText(cells[c], Qt::ElideRight, width - 2 * dpmm));
                    }
                }
                y += rowHeight;
            };
            need(rowHeight * 2);
            row(block.header, true);
            for (const QStringList &cells : block.rows) {
                if (y + rowHeight > page.bottom()) {
                    need(page.height()); // the rest on the next page, under its header again
                    row(block.header, true);
                }
                row(cells, false);
            }
            y += 2 * dpmm;
            break;
        }
        case ReportBlock::Kind::Picture: {
            const double height = 70 * dpmm;
            need(height + 8 * dpmm);
            if (painter) {
                painter->setFont(QFont("IPAGothic", 8));
                drawReportPicture(*painter, QRectF(page.left(), y, page.width(), height), block.picture, report);
            }
            y += height;
            text(body, block.text, 3 * dpmm);
            break;
        }
        }
    }
    footer();
    return pageNumber;
}

} // namespace

bool writeReportPdf(const QString &path, const std::vector<ReportBlock> &blocks, const PowerQualityReport &report,
                    QString &error)
{
    // Counted first, so that every page can say "n / N".
    int pages = 0;
    {
        QBuffer scratch;
        scratch.open(QIODevice::WriteOnly);
        QPdfWriter counting(&scratch);
        counting.setPageSize(QPageSize(QPageSize::A4));
        counting.setResolution(300);
        pages = layOut(counting, nullptr, blocks, report, 0);
    }
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(300);
        writer.setTitle(blocks.front().text);
        writer.setCreator("svg-logger-view");
        QPainter painter(&writer);
        layOut(writer, &painter, blocks, report, pages);
    }
    QByteArray bytes = pdf.data();
    // The same report gives the same bytes: the document's id from its content, and its
    // creation date from SOURCE_DATE_EPOCH where that is set.
    const QByteArray id = QCryptographicHash::hash(blocks.front().text.toUtf8() + QByteArray::number(report.from) +
                                                       QByteArray::number(report.to) + QByteArray::number(bytes.size()),
                                                   QCryptographicHash::Md5).toHex();
    for (qsizetype at = bytes.indexOf("/ID ["); at >= 0; at = bytes.indexOf("/ID [", at + 1)) {
        for (qsizetype open = bytes.indexOf('<', at), n = 0; open >= 0 && n < 2; open = bytes.indexOf('<', open + 1), ++n) {
            const qsizetype close = bytes.indexOf('>', open);
            if (close - open - 1 == id.size())
                bytes.replace(open + 1, id.size(), id);
        }
    }
    if (const QByteArray epoch = qgetenv("SOURCE_DATE_EPOCH"); !epoch.isEmpty()) {
        const QByteArray date = QDateTime::fromSecsSinceEpoch(epoch.toLongLong(), Qt::UTC).toString("yyyyMMddHHmmss").toLatin1();
        for (qsizetype at = bytes.indexOf("/CreationDate (D:"); at >= 0; at = bytes.indexOf("/CreationDate (D:", at + 1))
            bytes.replace(at + 17, 14, date);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = "cannot write " + path + ": " + file.errorString();
        return false;
    }
    return true;
}

} // namespace svglogger
