#pragma once

#include "link/MeasurementSample.h"
#include "link/Quantity.h"

#include <array>
#include <cstdint>
#include <vector>

namespace svglogger {

struct TriggerSettings;

// EvaluateTrigger: while armed, every sample is tested against the window-out conditions and
// against its own value CompareDepth samples earlier (the change conditions), combined by
// OR or AND. A sample that does not fire is entered into the history.
class TriggerEvaluator
{
public:
    static constexpr int kWatched = static_cast<int>(kTriggerQuantities.size());

    explicit TriggerEvaluator(const TriggerSettings &settings);

    // True when the trigger fires: the history then restarts and the sample is not entered.
    // `enabledConditionCount`: EnabledConditionCount, see fires().
    bool evaluate(const MeasurementSample &sample, std::int16_t enabledConditionCount);

    // The combination: OR fires on any condition met; otherwise, and in OR as well, the
    // trigger fires when as many conditions are met as boxes are counted as checked. A count
    // of 0 (no box checked) therefore fires at the next line, in OR and in AND.
    static bool fires(bool orSelected, std::int16_t conditionsMet, std::int16_t enabledConditionCount)
    {
        return (orSelected && conditionsMet > 0) || conditionsMet == enabledConditionCount;
    }

    // "設定": a new ring of `compareDepth` slots of zeros (at least one).
    void resize(std::int32_t compareDepth);
    // Positions back to the start: the ring counts as empty.
    void restart();

    std::int32_t compareDepth() const { return static_cast<std::int32_t>(m_triggerHistory.size()); }
    std::int32_t historyPos() const { return m_historyPos; }
    std::int32_t historyFill() const { return m_historyFill; }
    // Conditions the last evaluated sample met.
    std::int16_t conditionsMet() const { return m_conditionsMet; }
    float history(int slot, int k) const { return m_triggerHistory[static_cast<std::size_t>(slot)][static_cast<std::size_t>(k)]; }

private:
    const TriggerSettings &m_settings;
    std::vector<std::array<float, kWatched>> m_triggerHistory;
    std::int32_t m_historyPos = 0;
    std::int32_t m_historyFill = 0;
    std::int16_t m_conditionsMet = 0;
};

} // namespace svglogger
