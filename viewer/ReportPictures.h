#pragma once

#include "quality/PowerQualityReport.h"
#include "viewer/ReportBlocks.h"

class QPainter;
class QRectF;

namespace svglogger {

// Draws one of the report's pictures into `area` (vector: lines, rectangles and text).
void drawReportPicture(QPainter &painter, const QRectF &area, ReportBlock::Picture picture,
                       const PowerQualityReport &report);

} // namespace svglogger
