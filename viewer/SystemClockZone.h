#pragma once

#include "reading/LocalClock.h"

#include <QTimeZone>

namespace svglogger {

// The daylight saving of a zone of Qt's time-zone database: by default the system's (TZ), as
// the logger's clock kept it when it stamped the rows.
class SystemClockZone final : public ClockZone
{
public:
    explicit SystemClockZone(QTimeZone zone = QTimeZone::systemTimeZone());
    std::vector<ClockShift> shiftsOf(int year) const override;

private:
    QTimeZone m_zone;
};

} // namespace svglogger
