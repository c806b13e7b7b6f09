#pragma once

#include "quality/PowerQualityReport.h"
#include "viewer/ReportBlocks.h"

#include <QString>

#include <vector>

namespace svglogger {

// One self-contained HTML file: its pictures inline as SVG, no reference outside it.
QString reportHtml(const std::vector<ReportBlock> &blocks, const PowerQualityReport &report);

} // namespace svglogger
