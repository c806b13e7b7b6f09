#pragma once

#include "quality/PowerQualityReport.h"
#include "viewer/ReportBlocks.h"

#include <QString>

#include <vector>

namespace svglogger {

// One self-contained HTML file: its pictures inline as SVG, no reference outside it.
QString reportHtml(const std::vector<ReportBlock> &blocks, const PowerQualityReport &report);
// The page as a file (UTF-8), which appears whole or not at all; false with the reason.
bool writeReportHtml(const QString &path, const std::vector<ReportBlock> &blocks, const PowerQualityReport &report,
                     QString &error);

} // namespace svglogger
