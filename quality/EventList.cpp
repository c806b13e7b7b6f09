#include "quality/EventList.h"

#include "common/TextNumber.h"
#include "reading/RecordTime.h"

#include <algorithm>

namespace svglogger {

std::vector<ListedEvent> listEvents(const std::vector<double> &firingTimes, const std::vector<VoltageEvent> &voltage)
{
    std::vector<ListedEvent> events;
    for (double time : firingTimes)
        events.push_back({time, EventKind::Trigger, std::nullopt, std::nullopt});
    for (const VoltageEvent &event : voltage)
        events.push_back({event.start, eventKindOf(event.kind), event.seconds, event.extreme});
    std::stable_sort(events.begin(), events.end(), [](const ListedEvent &a, const ListedEvent &b) { return a.time < b.time; });
    return events;
}

std::string eventListCsv(const std::vector<ListedEvent> &events, double nominal)
{
    std::string text = "time,type,duration_s,extreme_v,extreme_pct,nominal_v\r\n";
    const std::string nominalText = significantText(nominal);
    for (const ListedEvent &event : events) {
        text += fullRowTimeText(event.time) + "," + std::string(eventKindName(event.kind)) + ",";
        if (event.seconds)
            text += fixedText(*event.seconds, 1);
        text += ",";
        if (event.extreme)
            text += fixedText(*event.extreme, 1) + "," + fixedText(*event.extreme * 100.0 / nominal, 1);
        else
            text += ",";
        text += "," + nominalText + "\r\n";
    }
    return text;
}

std::optional<std::size_t> nextEvent(const std::vector<ListedEvent> &events, double time, double slack)
{
    const auto after = std::upper_bound(events.begin(), events.end(), time + slack,
                                        [](double t, const ListedEvent &e) { return t < e.time; });
    if (after == events.end())
        return std::nullopt;
    return static_cast<std::size_t>(after - events.begin());
}

std::optional<std::size_t> previousEvent(const std::vector<ListedEvent> &events, double time, double slack)
{
    const auto before = std::lower_bound(events.begin(), events.end(), time - slack,
                                         [](const ListedEvent &e, double t) { return e.time < t; });
    if (before == events.begin())
        return std::nullopt;
    return static_cast<std::size_t>(before - events.begin()) - 1;
}

} // namespace svglogger
