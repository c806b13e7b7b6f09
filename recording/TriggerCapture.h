#pragma once

#include "recording/CaptureRows.h"

#include <cstdint>
#include <string>
#include <vector>

namespace svglogger {

class LogRecorder;
class RecordingView;
class RunControl;
class TriggerSettings;

// Triggered captures: while armed, the latest rows wait in the pre-trigger ring; when the
// trigger fires a capture file is opened, the waiting rows go in oldest first, and the rows
// that follow are written until the record count is passed. Then the trigger arms again
// ("連続") or the run ends ("単発").
class TriggerCapture final : public CaptureRows
{
public:
    // The pre-trigger rows are written with a 16-bit loop counter.
    static constexpr std::int32_t kMaxPreTriggerCount = 32768;

    TriggerCapture(LogRecorder &recorder, const TriggerSettings &settings, RecordingView &view, RunControl &run);

    // "設定": a new ring of `preTriggerCount` empty rows (0 keeps no pre-trigger rows).
    void resize(std::int32_t preTriggerCount);
    // The ring counts as empty again; `keepCount` keeps the count of a capture in progress.
    void restart(bool keepCount);

    // The trigger has fired on this line: open the capture file and write the waiting rows.
    void start();

    // While armed the ring holds rows of one layout: a row of another layout (a change of
    // controller version or of sampling mode) restarts it.
    void rowWhileArmed(const std::string &row, const RowLayout &layout) override;
    // A row whose layout is not the capture file's ends the capture short first.
    void rowWhileCapturing(const std::string &row, const RowLayout &layout) override;

    std::int32_t preTriggerCount() const { return static_cast<std::int32_t>(m_preTriggerBuffer.size()); }
    std::int32_t preTriggerPos() const { return m_preTriggerPos; }
    std::int32_t captureRowCount() const { return m_captureRowCount; }

private:
    void complete();
    void endShort();

    LogRecorder &m_recorder;
    const TriggerSettings &m_settings;
    RecordingView &m_view;
    RunControl &m_run;
    std::vector<std::string> m_preTriggerBuffer;
    std::int32_t m_preTriggerPos = 0;
    std::int32_t m_captureRowCount = 0;
    RowLayout m_ringLayout; // the layout of the rows in the ring
};

} // namespace svglogger
