#pragma once

#include "quality/PowerQualityReport.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace svglogger {

// The power-quality report as a sequence of blocks that a PDF and an HTML page both lay out:
// headings, paragraphs, tables and pictures, in the report's language, each section saying
// its class (EN 50160 method, indicative, not measurable); a page break after the summary.
struct ReportBlock {
    enum class Kind { Title, Heading, Paragraph, Table, Picture, PageBreak };
    enum class Picture { None, Profile, Histogram, Itic, Effectiveness, PowerFactor };
    Kind kind = Kind::Paragraph;
    QString text;
    QStringList header;
    QList<QStringList> rows;
    Picture picture = Picture::None;
};

std::vector<ReportBlock> reportBlocks(const PowerQualityReport &report);

} // namespace svglogger
