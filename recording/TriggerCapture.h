#pragma once

#include "recording/CsvLayout.h"

#include <cstdint>
#include <string>
#include <vector>

namespace svglogger {

class LogRecorder;
struct TriggerSettings;

// The pre-trigger ring and the capture file's rows: while armed, the latest rows wait in the
// ring; when the trigger fires a capture file is opened and the waiting rows go in oldest
// first, then the rows that follow until the record count is passed. It never changes the
// trigger's state: it tells TriggerControl what happened.
class TriggerCapture final
{
public:
    // The pre-trigger rows are written with a 16-bit loop counter.
    static constexpr std::int32_t kMaxPreTriggerCount = 32768;

    enum class Step {
        Continues,     // the row is in the capture file
        Complete,      // the row passed the record count: the file is closed
        LayoutChanged  // the row fits no longer under the file's header: nothing written
    };

    TriggerCapture(LogRecorder &recorder, const TriggerSettings &settings);

    // "設定": a new ring of `preTriggerCount` empty rows (0 keeps no pre-trigger rows).
    void resize(std::int32_t preTriggerCount);
    // The ring counts as empty again; `keepCount` keeps the count of a capture in progress.
    void restart(bool keepCount);

    // Opens the capture file and writes the waiting rows; false when no file could be made
    // (the rows stay in the ring for the next firing).
    bool start();

    // While armed the ring holds rows of one layout: a row of another layout (a change of
    // controller version or of sampling mode) restarts it.
    void rowWhileArmed(const std::string &row, const RowLayout &layout);
    Step rowWhileCapturing(const std::string &row, const RowLayout &layout);

    std::int32_t preTriggerCount() const { return static_cast<std::int32_t>(m_preTriggerBuffer.size()); }
    std::int32_t preTriggerPos() const { return m_preTriggerPos; }
    std::int32_t captureRowCount() const { return m_captureRowCount; }

private:
    LogRecorder &m_recorder;
    const TriggerSettings &m_settings;
    std::vector<std::string> m_preTriggerBuffer;
    std::int32_t m_preTriggerPos = 0;
    std::int32_t m_captureRowCount = 0;
    RowLayout m_ringLayout; // the layout of the rows in the ring
};

} // namespace svglogger
