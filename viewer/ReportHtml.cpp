#include "viewer/ReportHtml.h"

#include "viewer/ReportPictures.h"
#include "viewer/ReportText.h"

#include <QBuffer>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

namespace svglogger {

QString reportHtml(const std::vector<ReportBlock> &blocks, const PowerQualityReport &report)
{
    const auto escaped = [](const QString &text) { return text.toHtmlEscaped(); };
    QString html = "<!DOCTYPE html>\n<html lang=\"" + QString(reportText::japanese(report) ? "ja" : "en")
        + "\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + escaped(blocks.front().text)
        + "</title>\n<style>\nbody{font-family:sans-serif;max-width:60em;margin:2em auto;color:#222}\n"
          "table{border-collapse:collapse;margin:0.5em 0}td,th{border:1px solid #999;padding:0.2em 0.5em;text-align:right}\n"
          "th{background:#eee}td:first-child,th:first-child{text-align:left}figure{margin:1em 0}\n</style>\n</head>\n<body>\n";
    for (const ReportBlock &block : blocks) {
        if (block.medium == ReportBlock::Medium::Pdf)
            continue;
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
        case ReportBlock::Kind::PageBreak:
            html += "<hr style=\"break-after:page\">\n";
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

bool writeReportHtml(const QString &path, const std::vector<ReportBlock> &blocks, const PowerQualityReport &report,
                     QString &error)
{
    const QByteArray html = reportHtml(blocks, report).toUtf8();
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(html) == html.size() && file.commit())
        return true;
    error = "cannot write " + path + ": " + file.errorString();
    return false;
}

} // namespace svglogger
