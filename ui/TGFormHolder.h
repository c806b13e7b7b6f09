#pragma once

#include "recording/TriggerSettings.h"
#include "ui/TGForm.h"

#include <functional>
#include <memory>

namespace svglogger {

// The trigger settings as the engine reads them, live: the settings window TGForm itself,
// made hidden with its defaults the first time anything reads it, and made anew after the
// operator has closed it (its contents are gone then).
class TGFormHolder final : public TriggerSettings
{
public:
    using Maker = std::function<std::unique_ptr<TGForm>()>;

    explicit TGFormHolder(Maker make) : m_make(std::move(make)) {}

    // The window, made now if it does not exist.
    TGForm &form() const;
    bool exists() const { return m_form != nullptr; }
    TGForm *existing() const { return m_form.get(); }
    // The operator closed it: it goes once its close event has returned.
    void discard();

    bool windowOutEnabled(int k) const override { return form().windowOutEnabled(k); }
    std::string limitText(int j) const override { return form().limitText(j); }
    bool changeEnabled(int k) const override { return form().changeEnabled(k); }
    std::string changeThresholdText(int k) const override { return form().changeThresholdText(k); }
    bool orSelected() const override { return form().orSelected(); }
    std::string recordCountText() const override { return form().recordCountText(); }
    bool continuousCapture() const override { return form().continuousCapture(); }
    std::string preTriggerCountText() const override { return form().preTriggerCountText(); }
    std::string compareDepthText() const override { return form().compareDepthText(); }
    void clearNegativeSequenceConditions() override { form().clearNegativeSequenceConditions(); }

private:
    Maker m_make;
    // Made on first read, also from the engine's const reads: the window is the settings'
    // storage, not part of the holder's observable state.
    mutable std::unique_ptr<TGForm> m_form;
};

} // namespace svglogger
