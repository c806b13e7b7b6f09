#pragma once

#include "quality/PowerQualityReport.h"

#include <QString>
#include <QStringList>

#include <vector>

class QPainter;
class QRectF;

namespace svglogger {

// The power-quality report as a sequence of blocks that a PDF and an HTML page both lay out:
// headings, paragraphs, tables and pictures, in the report's language, each section saying
// its class (EN 50160 method, indicative, not measurable).
struct ReportBlock {
    enum class Kind { Title, Heading, Paragraph, Table, Picture };
    enum class Picture { None, Profile, Histogram, Itic, Effectiveness, PowerFactor };
    Kind kind = Kind::Paragraph;
    QString text;
    QStringList header;
    QList<QStringList> rows;
    Picture picture = Picture::None;
};

std::vector<ReportBlock> reportBlocks(const PowerQualityReport &report);

// Draws one of the report's pictures into `area` (vector: lines, rectangles and text).
void drawReportPicture(QPainter &painter, const QRectF &area, ReportBlock::Picture picture,
                       const PowerQualityReport &report);

// One self-contained HTML file: its pictures inline as SVG, no reference outside it.
QString reportHtml(const std::vector<ReportBlock> &blocks, const PowerQualityReport &report);

// A4 pages with their numbers, the pictures as vectors, the text's font embedded. The file
// appears whole or not at all; false with the reason.
bool writeReportPdf(const QString &path, const std::vector<ReportBlock> &blocks, const PowerQualityReport &report,
                    QString &error);

} // namespace svglogger
