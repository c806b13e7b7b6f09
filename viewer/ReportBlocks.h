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
    // DipsAndSwells: EN 50160's dip and swell table as a grid of residual voltage against duration.
    enum class Picture { None, Profile, Histogram, DipsAndSwells, Effectiveness, PowerFactor };
    // Where the block appears: a long list whole on the HTML page, shortened in the PDF.
    enum class Medium { Both, Pdf, Html };
    Kind kind = Kind::Paragraph;
    QString text;
    QStringList header;
    QList<QStringList> rows;
    Picture picture = Picture::None;
    Medium medium = Medium::Both;
};

// Whether the report's CSV files (events.csv among them) are written in the same run: only then
// does the PDF's shortened event list send the reader to events.csv for the rest.
enum class ReportCsvFiles { NotWritten, Written };

std::vector<ReportBlock> reportBlocks(const PowerQualityReport &report, ReportCsvFiles csv);

} // namespace svglogger
