#include "reading/TriggerReplay.h"

#include "common/TextNumber.h"
#include "link/MeasurementSample.h"
#include "link/Quantity.h"
#include "recording/TriggerEvaluator.h"
#include "recording/TriggerSettings.h"
#include "recording/TriggerWindowRules.h"

#include <algorithm>
#include <cmath>

namespace svglogger {

std::vector<std::size_t> replayTrigger(const RecordTable &table, std::size_t first, std::size_t last,
                                       const TriggerSettings &settings, std::int16_t enabledConditionCount)
{
    // The rings as "設定" makes them.
    TriggerEvaluator evaluator(settings);
    evaluator.resize(TriggerWindowRules::takenOverCompareDepth(settings.compareDepthText()));
    const std::int32_t preTrigger = TriggerWindowRules::takenOverPreTriggerCount(settings.preTriggerCountText());

    std::vector<std::size_t> firings;
    bool capturing = false;
    double captured = 0;     // rows of the capture so far, its pre-trigger rows included
    std::int64_t armedRows = 0; // rows into the pre-trigger ring since the trigger was armed
    last = std::min(last, table.rows());
    for (std::size_t row = first; row < last; ++row) {
        if (!capturing) {
            MeasurementSample sample;
            for (std::size_t q = 0; q < kQuantities.size(); ++q) {
                const float v = table.value(recordColumn::value(kQuantities[q].index), row);
                sample[kQuantities[q].index] = std::isnan(v) ? 0.0f : v;
            }
            const float status = table.value(recordColumn::kStatus, row);
            sample[MeasurementSample::StatusWord] = std::isnan(status) ? 0.0f : status;
            if (!evaluator.evaluate(sample, enabledConditionCount)) {
                ++armedRows;
                continue;
            }
            firings.push_back(row);
            capturing = true;
            captured = static_cast<double>(std::min<std::int64_t>(preTrigger, armedRows));
        }
        ++captured; // this row goes into the capture file
        if (readTextNumber(settings.recordCountText()) < captured) {
            capturing = false;
            armedRows = 0;
            if (!settings.continuousCapture())
                break;
        }
    }
    return firings;
}

} // namespace svglogger
