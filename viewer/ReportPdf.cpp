#include "viewer/ReportPdf.h"

#include "viewer/ReportPictures.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTimeZone>

#include <cctype>

#include <algorithm>
#include <numeric>

namespace svglogger {

namespace {

// A table's column widths on `width`: all alike where every cell fits so (one line each);
// else each column as wide as its widest cell where that is no more than its fair share of
// what is left, the others sharing the rest by what they would need, none narrower than its
// longest word, so that only long texts wrap and none is cut.
QList<double> columnWidths(const ReportBlock &block, const QFontMetricsF &metrics, const QFontMetricsF &boldMetrics,
                           double width, double padding)
{
    const qsizetype columns = block.header.size();
    QList<double> natural(columns, 0.0), narrowest(columns, 0.0);
    const auto take = [&](qsizetype c, const QString &text, const QFontMetricsF &font) {
        natural[c] = std::max(natural[c], font.horizontalAdvance(text) + padding);
        for (const QString &word : text.split(' ', Qt::SkipEmptyParts))
            narrowest[c] = std::max(narrowest[c], font.horizontalAdvance(word) + padding);
    };
    for (qsizetype c = 0; c < columns; ++c) {
        take(c, block.header[c], boldMetrics);
        for (const QStringList &row : block.rows)
            if (c < row.size())
                take(c, row[c], metrics);
    }
    const double alike = width / static_cast<double>(columns);
    if (*std::max_element(natural.begin(), natural.end()) <= alike)
        return QList<double>(columns, alike);
    // Settled columns keep their width; the open ones share what is left by what they need.
    QList<double> widths(columns, 0.0);
    QList<bool> settled(columns, false);
    for (bool changed = true; changed;) {
        changed = false;
        double left = width, wanted = 0.0;
        for (qsizetype c = 0; c < columns; ++c)
            settled[c] ? left -= widths[c] : wanted += natural[c];
        for (qsizetype c = 0; c < columns && !changed; ++c) {
            if (settled[c])
                continue;
            const double share = left * natural[c] / wanted;
            // Whole where it fits in its share, at its longest word where the share is less.
            if (natural[c] <= share || narrowest[c] > share) {
                widths[c] = natural[c] <= share ? natural[c] : narrowest[c];
                settled[c] = changed = true;
            } else {
                widths[c] = share;
            }
        }
    }
    // Room left over (every column whole): shared by what each needs.
    const double used = std::accumulate(widths.begin(), widths.end(), 0.0), needed = std::accumulate(natural.begin(), natural.end(), 0.0);
    if (used < width && std::all_of(settled.begin(), settled.end(), [](bool s) { return s; }))
        for (qsizetype c = 0; c < columns; ++c)
            widths[c] += (width - used) * natural[c] / needed;
    return widths;
}

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
        if (block.medium == ReportBlock::Medium::Html)
            continue;
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
            const QFontMetricsF metrics(body, &writer), boldMetrics(bold, &writer);
            const double rowHeight = metrics.height() * 1.4;
            const qsizetype columns = block.header.size();
            // The cell's margins and a hair more: a text measured to fill its cell exactly may still wrap.
            const QList<double> widths = columnWidths(block, metrics, boldMetrics, page.width(), 2.5 * dpmm);
            QList<double> lefts{page.left()};
            for (qsizetype c = 1; c < columns; ++c)
                lefts << lefts.back() + widths[c - 1];
            const auto row = [&](const QStringList &cells, bool header) {
                // As tall as its tallest cell wrapped within its column.
                double height = rowHeight;
                for (qsizetype c = 0; c < columns && c < cells.size(); ++c)
                    height = std::max(height, (header ? boldMetrics : metrics)
                                                      .boundingRect(QRectF(0, 0, widths[c] - 2 * dpmm, 1e6), Qt::TextWordWrap, cells[c])
                                                      .height()
                                                  + rowHeight - metrics.height());
                need(height);
                if (painter) {
                    painter->setFont(header ? bold : body);
                    for (qsizetype c = 0; c < columns && c < cells.size(); ++c) {
                        const QRectF cell(lefts[c], y, widths[c], height);
                        if (header)
                            painter->fillRect(cell, QColor(235, 235, 235));
                        painter->setPen(QPen(QColor(150, 150, 150), 0));
                        painter->drawRect(cell);
                        painter->setPen(QColor(20, 20, 20));
                        painter->drawText(cell.adjusted(1 * dpmm, 0, -1 * dpmm, 0),
                                          (c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter | Qt::TextWordWrap, cells[c]);
                    }
                }
                y += height;
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
        case ReportBlock::Kind::PageBreak:
            need(page.height());
            break;
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

// Qt writes the creation date by the local clock with its offset ("D:20251207090000+09'00'", in
// UTC "…Z"): `date` replaces it whole, and the cross-reference table's offsets behind it and the
// table's own move by the change in length. False where the file is not laid out as Qt writes it.
bool setCreationDate(QByteArray &pdf, const QByteArray &date)
{
    const QByteArray key = "/CreationDate (";
    const qsizetype start = pdf.indexOf(key) + key.size();
    const qsizetype end = pdf.indexOf(')', start);
    if (start < key.size() || end < 0)
        return false;
    const qsizetype shift = date.size() - (end - start);
    pdf.replace(start, end - start, date);
    if (shift == 0)
        return true;
    const qsizetype startxref = pdf.lastIndexOf("startxref");
    if (startxref < 0)
        return false;
    qsizetype digits = startxref + 9;
    while (digits < pdf.size() && (pdf[digits] == '\n' || pdf[digits] == '\r' || pdf[digits] == ' '))
        ++digits;
    qsizetype digitsEnd = digits;
    while (digitsEnd < pdf.size() && std::isdigit(static_cast<unsigned char>(pdf[digitsEnd])))
        ++digitsEnd;
    bool ok = false;
    const qsizetype xref = pdf.mid(digits, digitsEnd - digits).toLongLong(&ok) + shift;
    if (!ok || xref <= start || !pdf.mid(xref).startsWith("xref"))
        return false;
    pdf.replace(digits, digitsEnd - digits, QByteArray::number(xref));
    // Subsections "first count", each of `count` entries of 20 bytes: "oooooooooo ggggg n \n".
    qsizetype at = pdf.indexOf('\n', xref) + 1;
    while (at > 0 && at < startxref && !pdf.mid(at).startsWith("trailer")) {
        const qsizetype lineEnd = pdf.indexOf('\n', at);
        const QList<QByteArray> header = pdf.mid(at, lineEnd - at).trimmed().split(' ');
        const qsizetype count = header.size() == 2 ? header[1].toLongLong(&ok) : 0;
        if (!ok || lineEnd < 0)
            return false;
        at = lineEnd + 1;
        for (qsizetype i = 0; i < count; ++i, at += 20) {
            if (at + 20 > pdf.size() || pdf[at + 17] != 'n')
                continue;
            const qsizetype offset = pdf.mid(at, 10).toLongLong(&ok);
            if (!ok)
                return false;
            if (offset > start)
                pdf.replace(at, 10, QByteArray::number(offset + shift).rightJustified(10, '0'));
        }
    }
    return at > 0;
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
    // The same report gives the same bytes in any time zone: its creation date the instant of
    // SOURCE_DATE_EPOCH where that is set (in UTC), the document's id from its content.
    if (const QByteArray epoch = qgetenv("SOURCE_DATE_EPOCH"); !epoch.isEmpty()) {
        const QByteArray date = QDateTime::fromSecsSinceEpoch(epoch.toLongLong(), QTimeZone::utc()).toString("yyyyMMddHHmmss").toLatin1();
        if (!setCreationDate(bytes, "D:" + date + "Z")) {
            error = "cannot write " + path + ": the PDF writer's output has no creation date and cross-reference table to set";
            return false;
        }
    }
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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = "cannot write " + path + ": " + file.errorString();
        return false;
    }
    return true;
}

} // namespace svglogger
