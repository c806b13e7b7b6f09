#pragma once

#include "TriggerSettings.h"

namespace svglogger::test {

// Stands in for TGForm: the two negative-sequence window-out boxes and how often they
// were cleared.
class FakeTriggerSettings final : public TriggerSettings
{
public:
    bool check1_4 = true;
    bool check1_5 = true;
    int clearCalls = 0;

    void clearNegativeSequenceConditions() override
    {
        check1_4 = check1_5 = false;
        ++clearCalls;
    }
};

} // namespace svglogger::test
