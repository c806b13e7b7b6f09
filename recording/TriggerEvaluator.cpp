#include "recording/TriggerEvaluator.h"

#include "common/TextNumber.h"
#include "recording/TriggerSettings.h"

#include <cmath>
#include <limits>

namespace svglogger {

namespace {

// The settings window's rows: four windows on recorded quantities, then two magnitudes.
static_assert(kTriggerQuantities.size() == 6 && !kTriggerQuantities[3].magnitude()
              && kTriggerQuantities[4].magnitude() && kTriggerQuantities[5].magnitude());

float boxFloat(const std::string &text)
{
    return static_cast<float>(readTextNumber(text));
}

} // namespace

TriggerEvaluator::TriggerEvaluator(const TriggerSettings &settings)
    : m_settings(settings)
{
}

void TriggerEvaluator::resize(std::int32_t compareDepth)
{
    m_triggerHistory.assign(static_cast<std::size_t>(compareDepth < 1 ? 1 : compareDepth), {});
}

void TriggerEvaluator::restart()
{
    m_historyPos = 0;
    m_historyFill = 0;
}

bool TriggerEvaluator::evaluate(const MeasurementSample &sample, std::int16_t enabledConditionCount)
{
    if (m_triggerHistory.empty())
        resize(1); // armed before any "設定": the start applies the settings first; never no slot
    if (m_historyPos >= compareDepth())
        m_historyPos = 0;

    // The four windowed quantities as the sample holds them; the two magnitudes in double.
    float x[4] = {};
    double m[2] = {};
    for (std::size_t k = 0; k < kTriggerQuantities.size(); ++k) {
        const TriggerQuantity &q = kTriggerQuantities[k];
        if (k < 4) {
            x[k] = sample[q.value];
        } else {
            const double d = sample[q.value], qq = sample[q.qAxis];
            m[k - 4] = std::sqrt(d * d + qq * qq);
        }
    }

    std::int16_t met = 0;
    // Window-out: outside the limits, strictly; a value of exactly 0 never counts.
    for (int k = 0; k < 4; ++k) {
        if (!m_settings.windowOutEnabled(k))
            continue;
        const float upper = boxFloat(m_settings.limitText(2 * k));
        const float lower = boxFloat(m_settings.limitText(2 * k + 1));
        if ((x[k] > upper || x[k] < lower) && x[k] != 0.0f)
            ++met;
    }
    for (int k = 4; k < 6; ++k) {
        if (m_settings.windowOutEnabled(k) && m[k - 4] > readTextNumber(m_settings.limitText(k + 4)))
            ++met;
    }
    // Change: against the sample CompareDepth samples back, once the ring is full.
    if (m_historyFill >= compareDepth()) {
        const auto &h = m_triggerHistory[static_cast<std::size_t>(m_historyPos)];
        for (int k = 0; k < 4; ++k) {
            if (!m_settings.changeEnabled(k))
                continue;
            const float change = std::fabs(h[static_cast<std::size_t>(k)] - x[k]);
            if (change > boxFloat(m_settings.changeThresholdText(k)) && h[static_cast<std::size_t>(k)] != 0.0f)
                ++met;
        }
        for (int k = 4; k < 6; ++k) {
            if (m_settings.changeEnabled(k)
                && std::fabs(double{h[static_cast<std::size_t>(k)]} - m[k - 4])
                    > readTextNumber(m_settings.changeThresholdText(k)))
                ++met;
        }
    }
    m_conditionsMet = met;

    if (fires(m_settings.orSelected(), met, enabledConditionCount)) {
        restart();
        return true;
    }
    auto &slot = m_triggerHistory[static_cast<std::size_t>(m_historyPos)];
    for (int k = 0; k < 4; ++k)
        slot[static_cast<std::size_t>(k)] = x[k];
    slot[4] = static_cast<float>(m[0]);
    slot[5] = static_cast<float>(m[1]);
    m_historyPos = (m_historyPos + 1) % compareDepth();
    if (m_historyFill < std::numeric_limits<std::int32_t>::max())
        ++m_historyFill;
    return false;
}

} // namespace svglogger
