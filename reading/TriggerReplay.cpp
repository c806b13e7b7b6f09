#include "reading/TriggerReplay.h"

#include "common/TextNumber.h"
#include "link/MeasurementSample.h"
#include "link/Quantity.h"
#include "recording/TriggerCapture.h"
#include "recording/TriggerEvaluator.h"
#include "recording/TriggerSettings.h"

#include <algorithm>
#include <cmath>

namespace svglogger {

namespace {

// The comparison depth and pre-trigger count as "設定" takes them over.
std::int32_t takenOver(const std::string &text, double low, double high)
{
    return static_cast<std::int32_t>(std::clamp(roundHalfEven(readTextNumber(text)), low, high));
}

} // namespace

std::vector<std::size_t> replayTrigger(const RecordTable &table, std::size_t first, std::size_t last,
                                       const TriggerSettings &settings, std::int16_t enabledConditionCount)
{
    constexpr double kMaxCompareDepth = 100000; // as the run control takes it over
    TriggerEvaluator evaluator(settings);
    evaluator.resize(takenOver(settings.compareDepthText(), 1.0, kMaxCompareDepth));
    const std::int32_t preTrigger =
        takenOver(settings.preTriggerCountText(), 0.0, double{TriggerCapture::kMaxPreTriggerCount});

    std::vector<std::size_t> firings;
    bool capturing = false;
    double captured = 0;     // rows of the capture so far, its pre-trigger rows included
    std::int64_t armedRows = 0; // rows into the pre-trigger ring since the trigger was armed
    last = std::min(last, table.rows());
    for (std::size_t row = first; row < last; ++row) {
        if (!capturing) {
            MeasurementSample sample;
            for (std::size_t q = 0; q < kQuantities.size(); ++q) {
                const float v = table.value(recordColumn::kValue + static_cast<int>(q), row);
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
