#include "viewer/ReportText.h"

#include "reading/RecordTime.h"

namespace svglogger::reportText {

bool japanese(const PowerQualityReport &report)
{
    return report.settings.language == ReportSettings::Language::Japanese;
}

QString say(const PowerQualityReport &report, const char *ja, const char *en)
{
    return japanese(report) ? QString::fromUtf8(ja) : QString::fromUtf8(en);
}

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString timeText(double time)
{
    return QString::fromStdString(fullRowTimeText(time));
}

QString dateText(std::int64_t midnight)
{
    return QString::fromStdString(rowDateText(midnight));
}

} // namespace svglogger::reportText
