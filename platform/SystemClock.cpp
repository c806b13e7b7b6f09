#include "platform/SystemClock.h"

#include <QDateTime>

namespace svglogger {

LocalDateTime SystemClock::now() const
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
}

std::int64_t SystemClock::epochMilliseconds() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace svglogger
