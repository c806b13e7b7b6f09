#pragma once

#include "quality/PowerQualityReport.h"
#include "viewer/ReportBlocks.h"

#include <QString>

#include <vector>

namespace svglogger {

// A4 pages with their numbers, the pictures as vectors, the text's font embedded. The file
// appears whole or not at all; false with the reason.
bool writeReportPdf(const QString &path, const std::vector<ReportBlock> &blocks, const PowerQualityReport &report,
                    QString &error);

} // namespace svglogger
