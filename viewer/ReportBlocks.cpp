#include "viewer/ReportBlocks.h"

#include "quality/EventKind.h"
#include "viewer/ReportText.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <cmath>
#include <optional>
#include <string_view>

namespace svglogger {

using namespace reportText;

namespace {

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

ReportBlock only(ReportBlock::Medium medium, ReportBlock block)
{
    block.medium = medium;
    return block;
}

constexpr std::size_t kPrintedEvents = 20;

// The events the PDF lists when there are more than kPrintedEvents, in time order: what may have
// tripped equipment comes first to a power-quality engineer, so the half farthest from Uc
// (interruptions, the deepest dips, the highest swells) and the half of the rest that lasted
// longest (a duration unknown counts as shortest); ties go to the larger deviation, the longer,
// the earlier. The HTML page and events.csv hold them all.
std::vector<std::size_t> printedEvents(const std::vector<VoltageEvent> &events, double nominal)
{
    std::vector<std::size_t> order(events.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    if (events.size() <= kPrintedEvents)
        return order;
    const auto deviation = [&](std::size_t i) { return std::abs(static_cast<double>(events[i].extreme) - nominal); };
    const auto seconds = [&](std::size_t i) { return events[i].seconds.value_or(-1.0); };
    const auto deeper = [&](std::size_t a, std::size_t b) {
        return deviation(a) != deviation(b) ? deviation(a) > deviation(b) : seconds(a) != seconds(b) ? seconds(a) > seconds(b) : a < b;
    };
    const auto longer = [&](std::size_t a, std::size_t b) {
        return seconds(a) != seconds(b) ? seconds(a) > seconds(b) : deviation(a) != deviation(b) ? deviation(a) > deviation(b) : a < b;
    };
    const auto half = static_cast<std::ptrdiff_t>(kPrintedEvents / 2);
    std::partial_sort(order.begin(), order.begin() + half, order.end(), deeper);
    std::partial_sort(order.begin() + half, order.begin() + 2 * half, order.end(), longer);
    order.resize(kPrintedEvents);
    std::sort(order.begin(), order.end());
    return order;
}

// The first page, to be signed: the period, the site, the edition, a row for each EN 50160
// parameter with what these values can say of it, and what they cannot see.
void summaryPage(const PowerQualityReport &r, std::vector<ReportBlock> &blocks)
{
    using P = ReportSummary::Parameter;
    const auto parameterTitle = [&](P parameter) {
        static constexpr std::array<std::pair<const char *, const char *>, 11> kTitles{{
            {"供給電圧の変動", "Supply voltage variations"},
            {"電圧不平衡", "Unbalance"},
            {"電圧低下", "Dips"},
            {"電圧上昇", "Swells"},
            {"短時間停電", "Short interruptions"},
            {"長時間停電", "Long interruptions"},
            {"急速な電圧変化", "Rapid voltage changes"},
            {"周波数", "Frequency"},
            {"フリッカ", "Flicker"},
            {"高調波・THD", "Harmonics, THD"},
            {"信号電圧", "Signalling voltages"},
        }};
        static_assert(kTitles.size() == static_cast<std::size_t>(P::Signalling) + 1, "a title for each parameter");
        const auto &[ja, en] = kTitles[static_cast<std::size_t>(parameter)];
        return say(r, ja, en);
    };
    const auto classTitle = [&](FigureClass figureClass) {
        static constexpr std::array<const char *, 3> kJapanese{"EN 50160 の方法", "参考値", "測定不可"};
        static_assert(kJapanese.size() == static_cast<std::size_t>(FigureClass::NotMeasurable) + 1, "a title for each class");
        return japanese(r) ? QString::fromUtf8(kJapanese[static_cast<std::size_t>(figureClass)])
                           : QString::fromUtf8(name(figureClass).data(), static_cast<qsizetype>(name(figureClass).size()));
    };
    const auto verdictTitle = [&](Verdict verdict) {
        static constexpr std::array<const char *, 5> kJapanese{"適合", "不適合", "評価不可", "限度値なし", "測定不可"};
        static_assert(kJapanese.size() == static_cast<std::size_t>(Verdict::NotMeasurable) + 1, "a title for each verdict");
        return japanese(r) ? QString::fromUtf8(kJapanese[static_cast<std::size_t>(verdict)])
                           : QString::fromUtf8(name(verdict).data(), static_cast<qsizetype>(name(verdict).size()));
    };
    const QString edition = QString::fromUtf8(ReportSummary::kEdition.data(), static_cast<qsizetype>(ReportSummary::kEdition.size()));
    blocks.push_back(heading(say(r, "要約 — ", "Summary — ") + edition));
    blocks.push_back(paragraph(say(r, "期間: %1 – %2（%3 日）。場所: %4。記録率 %5 %。", "Period: %1 – %2 (%3 days). Site: %4. Coverage %5 %.")
                                   .arg(timeText(r.from), timeText(r.to), number((r.to - r.from) / 86400.0, 2),
                                        r.site.empty() ? QString("-") : QString::fromStdString(r.site), number(r.coverage.percent(), 2))));
    // A number kept with its unit where a cell wraps.
    const auto unbroken = [](const std::string &text) {
        return QString::fromStdString(text).replace(" %", QString(QChar(0x00A0)) + "%").replace(" V", QString(QChar(0x00A0)) + "V");
    };
    QList<QStringList> rows;
    for (const ReportSummary::Row &row : r.summary.rows) {
        const auto count = [&](std::size_t ReportSummary::Intervals::*n) {
            return row.intervals ? QString::number((*row.intervals).*n) : QString("-");
        };
        rows << QStringList{parameterTitle(row.parameter), classTitle(row.figureClass), unbroken(row.limit),
                            count(&ReportSummary::Intervals::valid), count(&ReportSummary::Intervals::flagged),
                            count(&ReportSummary::Intervals::incomplete), count(&ReportSummary::Intervals::missing),
                            row.verdict == Verdict::NotMeasurable ? say(r, "これらの値からは測定できません", "not measurable from these values")
                                                                  : unbroken(row.result),
                            verdictTitle(row.verdict)};
    }
    blocks.push_back(table({say(r, "項目", "parameter"), say(r, "区分", "class"), say(r, "限度値", "limit"), say(r, "有効", "valid"),
                            say(r, "フラグ", "flagged"), say(r, "不完全", "incomplete"), say(r, "欠測", "missing"),
                            say(r, "結果", "result"), say(r, "判定", "verdict")},
                           rows));
    blocks.push_back(paragraph(say(
        r,
        "件数は期間の 10 分区間: 有効（完全でフラグなし）、フラグ付き（低下・上昇・停電を含む）、不完全（サンプル 90 % 未満）、欠測（行なし）。"
        "10 分値の判定は週ごと（期間の始めから 7 日ずつ）で、すべての週が適合して適合です。結果は範囲内の割合（複数の週では最も低い週）。"
        "1 分を超えて閾値を外れた電圧は電圧低下・上昇ではなく電圧の変動（不足電圧・過電圧）として 10 分値で判定します。",
        "Intervals are the period's 10-minute intervals: valid (complete, not flagged), flagged (holding a dip, swell or "
        "interruption), incomplete (under 90 % of the samples), missing (no row). The 10-minute values are judged week by "
        "week (7 days from the period's start): a pass is every week's. The result is the share within the limit (of the "
        "lowest week where there are several). A deviation beyond a threshold for more than a minute is no dip or swell "
        "but a slow variation (under- or overvoltage), judged by the 10-minute values.")));
    blocks.push_back(paragraph(say(
        r,
        "EN 50160 は電圧低下・上昇・停電・急速な電圧変化に限度値ではなく参考値（年間の件数など）を示すのみです: 件数を示し、判定はしません。",
        "EN 50160 gives indicative values (counts a year, typical sizes), not limits, for dips, swells, interruptions and "
        "rapid voltage changes: their counts stand without a verdict.")));
    blocks.push_back(paragraph(say(r, "測定しているのは線間電圧 1 つだけです: 他の相間の電圧低下は見えません。",
                                   "One line-to-line voltage is measured: dips on the other phase pairs are not seen.")));
    blocks.push_back(paragraph(say(r, "欠測の間の停電は記録されません（供給がなければロガーも記録しません）。",
                                   "Gaps may hide interruptions: a logger without supply records nothing.")));
    blocks.push_back(paragraph(say(r, "確認者: ______________________　日付: ______________　署名: ______________________",
                                   "Checked by: ______________________   Date: ______________   Signature: ______________________")));
    blocks.push_back({ReportBlock::Kind::PageBreak, {}, {}, {}, ReportBlock::Picture::None});
}

} // namespace

std::vector<ReportBlock> reportBlocks(const PowerQualityReport &r, ReportCsvFiles csv)
{
    std::vector<ReportBlock> blocks;
    const ReportSettings &s = r.settings;
    blocks.push_back({ReportBlock::Kind::Title, say(r, "電力品質・SVG 効果レポート", "Power quality and SVG effectiveness report"),
                      {}, {}, ReportBlock::Picture::None});
    summaryPage(r, blocks);

    // 1. What was read, with what rules, and what these values can show.
    blocks.push_back(heading(say(r, "1. 概要", "1. Overview")));
    blocks.push_back(paragraph(say(r, "期間: ", "Period: ") + timeText(r.from) + " – " + timeText(r.to)));
    QString files = say(r, "ファイル (%1): ", "Files (%1): ").arg(r.files.size());
    for (std::size_t i = 0; i < r.files.size() && i < 10; ++i)
        files += (i ? ", " : "") + QString::fromStdString(r.files[i]);
    if (r.files.size() > 10)
        files += say(r, " ほか %1 件", " and %1 more").arg(r.files.size() - 10);
    blocks.push_back(paragraph(files));
    // The files with anything not used, torn lines among it: all on the page and in files.csv,
    // the PDF the first of them.
    {
        using Medium = ReportBlock::Medium;
        constexpr qsizetype kPrintedFiles = 20;
        const QStringList fileHeader{say(r, "ファイル", "file"), say(r, "使用行", "rows used"), say(r, "除外行", "rows left out"),
                                     say(r, "読めない行", "unreadable lines"), say(r, "内容", "note")};
        QList<QStringList> noted;
        std::size_t unreadable = 0;
        for (const RecordSet::Source &source : r.sources) {
            const std::string note = sourceNote(source);
            unreadable += source.reason == RecordSet::Source::Reason::Unreadable;
            if (!note.empty())
                noted << QStringList{QString::fromStdString(std::filesystem::path(source.path).filename().string()),
                                     QString::number(source.rowsUsed), QString::number(source.rowsLeftOut),
                                     QString::number(source.linesUnreadable), QString::fromStdString(note)};
        }
        blocks.push_back(paragraph(
            noted.isEmpty() ? say(r, "すべてのファイルを全部使いました（読めない行、除外した行なし）。",
                                  "Every file was used whole (no unreadable line, no row left out).")
                            : say(r, "%1 ファイルに読めない行か除外した行があります（読めるレコードのないファイル %2）。",
                                  "%1 files have unreadable lines or rows left out (%2 without a readable row).")
                                  .arg(noted.size())
                                  .arg(unreadable)));
        if (!noted.isEmpty()) {
            blocks.push_back(only(Medium::Html, table(fileHeader, noted)));
            blocks.push_back(only(Medium::Pdf, table(fileHeader, noted.mid(0, kPrintedFiles))));
            if (noted.size() > kPrintedFiles)
                blocks.push_back(only(Medium::Pdf, paragraph(csv == ReportCsvFiles::Written
                                                                 ? say(r, "ほか %1 ファイル（files.csv にすべて）", "%1 more in files.csv")
                                                                       .arg(noted.size() - kPrintedFiles)
                                                                 : say(r, "ほか %1 ファイル", "%1 more").arg(noted.size() - kPrintedFiles))));
        }
    }
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
    std::size_t incomplete = 0, flagged = 0, fromIntervalMeans = 0;
    for (const TenMinuteValue &v : r.tenMinutes) {
        incomplete += v.incomplete;
        flagged += v.flagged && !v.incomplete;
        fromIntervalMeans += v.fromIntervalMeans;
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
            .arg(r.maximum ? number(*r.maximum, 1) : "-")
        + (fromIntervalMeans == 0
               ? QString()
               : say(r, " うち %1 個はインターバルの平均値から（近似: 約 200 ms の値ではありません。voltage_10min.csv の from_interval_means）。",
                     " %1 of them from interval means (an approximation, not from ~200 ms values; from_interval_means in "
                     "voltage_10min.csv).")
                     .arg(fromIntervalMeans))));
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
    // EN 50160 judges each week: a month's weeks one under the other.
    QList<QStringList> weeks;
    for (const PowerQualityReport::Week &week : r.weeks)
        for (const PowerQualityReport::Compliance &c : week.compliance)
            weeks << QStringList{timeText(week.from) + " – " + timeText(week.to), QString::fromStdString(c.name()),
                                 QString::number(c.valid.intervals), c.valid.intervals ? number(c.valid.percent(), 2) + " %" : "-",
                                 QString::fromStdString(c.verdict())};
    if (!weeks.isEmpty())
        blocks.push_back(table({say(r, "週", "week"), say(r, "項目", "item"), say(r, "有効値", "valid"), say(r, "範囲内", "within"),
                                say(r, "判定", "verdict")},
                               weeks));
    blocks.push_back(picture(ReportBlock::Picture::Profile,
                             say(r, "10 分値の推移と範囲（±10 %、±15 %、利用者の範囲）", "10-minute values and the limits (±10 %, ±15 %, user band)")));
    blocks.push_back(picture(ReportBlock::Picture::Histogram,
                             say(r, "10 分値の分布と累積確率", "Distribution of the 10-minute values and cumulative probability")));

    // 3. Unbalance.
    blocks.push_back(heading(say(r, "3. 不平衡 — EN 50160 の方法", "3. Unbalance — EN 50160 method")));
    const auto unbalance = std::find_if(r.compliance.begin(), r.compliance.end(),
                                        [](const PowerQualityReport::Compliance &c) { return c.item == PowerQualityReport::Compliance::Item::Unbalance; });
    using NegativeSequence = PowerQualityReport::NegativeSequence;
    if (unbalance == r.compliance.end() || !unbalance->available)
        blocks.push_back(paragraph(
            r.negativeSequence == NegativeSequence::None
                ? say(r, "逆相電圧の列がないファイルのため、評価できません（not available）。",
                      "Not available: the files have no negative-sequence columns.")
            : r.negativeSequence == NegativeSequence::IntervalMeansOnly
                ? say(r, "評価できません（not available）: 逆相電圧はインターバルファイルの行にしかなく、その D と Q は区間の平均で、"
                         "ベクトルが回ると打ち消し合います（u₂ を示しません）。",
                      "Not available: the negative sequence is in interval rows only, whose D and Q are the interval's means, "
                      "which cancel as the vector turns (they tell nothing of u₂).")
                : say(r, "評価できません（not available）: 逆相電圧のある連続記録の行が 90 % 以上を占める 10 分区間がありません。",
                      "Not available: no 10 minutes have continuous rows with the negative sequence for 90 % of them.")));
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
    blocks.push_back(paragraph(say(r, "短時間停電 %1、長時間停電 %2、不足電圧・過電圧（60 s を超えて閾値外: 電圧の変動として 10 分値で判定）%3、"
                                      "継続時間不明（インターバルファイルの最小・最大のみ）%4。",
                                   "Short interruptions %1, long interruptions %2, under- and overvoltages (beyond a threshold for "
                                   "more than 60 s: slow variations, judged by the 10-minute values) %3, duration unknown (an "
                                   "interval file's extremes alone) %4.")
                                   .arg(r.tables.shortInterruptions)
                                   .arg(r.tables.longInterruptions)
                                   .arg(r.tables.longerThanTheTables)
                                   .arg(r.tables.durationUnknown)));
    const QStringList eventHeader{say(r, "種類", "type"), say(r, "開始", "start"), say(r, "継続 s", "duration s"),
                                  say(r, "極値 V", "extreme V"), "%"};
    QList<QStringList> events;
    for (const VoltageEvent &e : r.events)
        events << QStringList{eventName(r, e.kind), timeText(e.start), e.seconds ? number(*e.seconds, 1) : "-",
                              number(e.extreme, 1), number(e.extreme * 100.0 / s.nominal, 1) + " %"};
    const std::vector<std::size_t> printed = printedEvents(r.events, s.nominal);
    if (printed.size() == r.events.size()) {
        if (!events.isEmpty())
            blocks.push_back(table(eventHeader, events));
    } else {
        using Medium = ReportBlock::Medium;
        blocks.push_back(only(Medium::Html, table(eventHeader, events)));
        blocks.push_back(only(Medium::Pdf, paragraph(say(r, "%2 件のうち %1 件: Uc から最も離れた %3 件と、残りのうち最も長い %3 件（時刻順）。",
                                                         "%1 of the %2 events: the %3 farthest from Uc and the %3 longest of the rest, in time order.")
                                                         .arg(printed.size())
                                                         .arg(r.events.size())
                                                         .arg(printed.size() / 2))));
        QList<QStringList> rows;
        for (std::size_t i : printed)
            rows << events[static_cast<qsizetype>(i)];
        blocks.push_back(only(Medium::Pdf, table(eventHeader, rows)));
        const std::size_t more = r.events.size() - printed.size();
        blocks.push_back(only(Medium::Pdf, paragraph(csv == ReportCsvFiles::Written
                                                         ? say(r, "ほか %1 件（events.csv にすべて）", "%1 more in events.csv").arg(more)
                                                         : say(r, "ほか %1 件", "%1 more").arg(more))));
    }
    blocks.push_back(picture(ReportBlock::Picture::DipsAndSwells,
                             say(r, "EN 50160 の表の上の電圧低下・上昇: 残留電圧と継続時間",
                                 "Dips and swells on the EN 50160 table: residual voltage against duration")));

    // 5. The SVG's effect.
    blocks.push_back(heading(say(r, "5. SVG の効果 — 参考値（indicative、2.5 Hz までの成分、ΔV10 ではない）",
                                 "5. SVG effectiveness — indicative (content up to 2.5 Hz; not ΔV10)")));
    const bool plus = s.svgSign == SvgSign::Plus;
    blocks.push_back(paragraph(
        say(r, "SVG なしの電圧 V_unc = V %2 Q_svg ÷ 10000 × X ÷ 100 × 6700（X = %1 %）。毎分の ΔV = 最大 − 最小（100 V 基準）。",
            "Voltage without the SVG V_unc = V %2 Q_svg ÷ 10000 × X ÷ 100 × 6700 (X = %1 %). Each minute's "
            "ΔV = max − min (on a 100 V base).")
            .arg(number(s.reactancePercent, 1))
            .arg(plus ? "+" : "−")
        + (plus ? say(r, " 符号（svg-sign = plus）: SVG 出力の正は負荷と同じ向き（遅れ）の無効電力で、受電点の無効電力 = Q_load + Q_svg、"
                         "SVG がなければ電圧は高く、負荷を補償する SVG の出力は負荷と逆の符号です。",
                      " Sign (svg-sign = plus): a positive SVG output is reactive power in the same direction as the load's "
                      "(lagging), so the point of connection carries Q_load + Q_svg, removing it raises the voltage, and an SVG "
                      "compensating the load records the opposite sign to the load's.")
                : say(r, " 符号（svg-sign = minus）: SVG 出力の正は系統へ供給する向き（進み）の無効電力で、受電点の無効電力 = Q_load − Q_svg、"
                         "SVG がなければ電圧は低くなります。",
                      " Sign (svg-sign = minus): a positive SVG output is reactive power supplied to the grid (leading), so "
                      "the point of connection carries Q_load − Q_svg and removing it lowers the voltage."))));
    // A day without rows stays, its figures "-".
    const auto orNone = [&](std::int64_t day, bool figured, const QStringList &figures) {
        return QStringList{dateText(day)} + (figured && r.recorded(day) ? figures : QStringList(figures.size(), "-"));
    };
    QList<QStringList> effect;
    std::size_t eventMinutes = 0;
    for (const DailyEffectiveness &d : r.effectiveness) {
        effect << orNone(d.day, d.minutes > 0, {number(d.swingP95, 3), number(d.swingMax, 3), number(d.uncompensatedP95, 3),
                                 number(d.uncompensatedMax, 3), d.suppression ? number(*d.suppression * 100.0, 1) + " %" : "-",
                                 QString::number(d.rapidChanges), QString::number(d.uncompensatedRapidChanges)})
                      + QStringList{r.recorded(d.day) ? QString::number(d.eventMinutes) : QString("-")};
        eventMinutes += d.eventMinutes;
    }
    if (!r.effectiveness.empty())
        blocks.push_back(paragraph(say(r, "電圧低下・上昇・停電を含む分は ΔV と抑制率から除いています（連続記録の行の分のみ）: 計 %1 分（表の「事象の分」）。",
                                       "Minutes holding a dip, swell or interruption are left out of ΔV and the suppression (the "
                                       "minutes of continuous rows alone are judged): %1 minutes in all (\"event minutes\" in the table).")
                                       .arg(eventMinutes)));
    blocks.push_back(table({say(r, "日付", "date"), "ΔV 95 %", "ΔV max", "ΔV_unc 95 %", "ΔV_unc max", say(r, "抑制率", "suppression"),
                            "RVC", "RVC unc", say(r, "事象の分", "event minutes")},
                           effect));
    blocks.push_back(picture(ReportBlock::Picture::Effectiveness,
                             say(r, "日ごとの ΔV（95 %）: SVG あり・なし", "Daily ΔV (95 %) with and without the SVG")));

    // 6. Power factor and energy.
    blocks.push_back(heading(say(r, "6. 力率と電力量 — 参考値（取引用計量器が優先）", "6. Power factor and energy — indicative (the meter of record decides)")));
    QList<QStringList> energy;
    for (const DailyEnergy &d : r.energy) {
        const auto pf = [](std::optional<double> v) { return v ? number(*v, 3) : QString("-"); };
        energy << orNone(d.day, true, {number(d.kwh, 1), number(d.kvarhLagging, 1), number(d.kvarhLeading, 1), number(d.svgKvarh, 1),
                                 pf(d.loadPowerFactor()), pf(d.connectionPowerFactor())});
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
    // Time, not rows: an interval row stands for its interval.
    QString coverage = say(r, "記録率 %1 %（記録 %2 時間 / 期間 %3 時間）、欠測 %4 箇所。",
                           "Coverage %1 % (%2 h recorded of the period's %3 h), %4 gaps.")
                           .arg(number(r.coverage.percent(), 2))
                           .arg(number(r.coverage.seconds / 3600.0, 2))
                           .arg(number(r.coverage.periodSeconds / 3600.0, 2))
                           .arg(r.coverage.gaps.size());
    if (const std::optional<double> availability = r.coverage.availabilityPercent())
        coverage += say(r, " 稼働率（稼働ビット、記録時間に対して）%1 %。", " Availability (running bits, of the time recorded) %1 %.")
                        .arg(number(*availability, 2));
    else
        coverage += say(r, " 稼働率は判定できません（稼働ビット未設定）。SVG 出力 ≠ 0 の時間 %1 %（記録時間に対して）。",
                        " Availability not determinable (no running bits set); time with SVG output ≠ 0: %1 % of the time recorded.")
                        .arg(number(r.coverage.outputPercent(), 2));
    blocks.push_back(paragraph(coverage));
    QList<QStringList> gaps;
    for (std::size_t i = 0; i < r.coverage.gaps.size() && i < 50; ++i)
        gaps << QStringList{timeText(r.coverage.gaps[i].from), timeText(r.coverage.gaps[i].to),
                            number(r.coverage.gaps[i].to - r.coverage.gaps[i].from, 1)};
    if (!gaps.isEmpty())
        blocks.push_back(table({say(r, "最後の行", "last row"), say(r, "次の行", "next row"), say(r, "秒", "seconds")}, gaps));
    return blocks;
}

} // namespace svglogger
