#include "recording/TriggerCapture.h"

#include "common/TextNumber.h"
#include "recording/LogRecorder.h"
#include "recording/TriggerSettings.h"

#include <algorithm>
#include <cassert>
#include <limits>

namespace svglogger {

TriggerCapture::TriggerCapture(LogRecorder &recorder, const TriggerSettings &settings)
    : m_recorder(recorder)
    , m_settings(settings)
{
}

void TriggerCapture::resize(std::int32_t preTriggerCount)
{
    const std::int32_t count = std::clamp<std::int32_t>(preTriggerCount, 0, kMaxPreTriggerCount);
    m_preTriggerBuffer.assign(static_cast<std::size_t>(count), std::string());
}

void TriggerCapture::restart(bool keepCount)
{
    m_preTriggerPos = 0;
    if (!keepCount)
        m_captureRowCount = 0;
}

void TriggerCapture::rowWhileArmed(const std::string &row, const RowLayout &layout)
{
    if (layout != m_ringLayout) {
        restart(false);
        m_ringLayout = layout;
    }
    if (m_preTriggerBuffer.empty())
        return; // no pre-trigger rows are kept
    assert(m_preTriggerPos >= 0 && m_preTriggerPos < preTriggerCount());
    m_preTriggerBuffer[static_cast<std::size_t>(m_preTriggerPos)] = row;
    m_preTriggerPos = (m_preTriggerPos + 1) % preTriggerCount();
    if (m_captureRowCount < std::numeric_limits<std::int32_t>::max())
        ++m_captureRowCount;
}

bool TriggerCapture::start()
{
    m_recorder.openCaptureFile();
    if (!m_recorder.logFileOpen())
        return false;
    // Oldest first: the whole ring from the current position once it has wrapped, else the
    // slots filled so far. A slot that holds no row (emptied by "設定", or never filled
    // before a Stop) is passed over: a capture never gets a blank line, and the count is
    // that of the rows really written.
    if (m_ringLayout != m_recorder.fileLayout())
        restart(false); // rows of another layout never go under this header
    const std::int32_t count = preTriggerCount();
    const bool wrapped = m_captureRowCount >= count;
    const std::int32_t slots = wrapped ? count : m_captureRowCount;
    std::int32_t written = 0;
    for (std::int32_t i = 0; i < slots; ++i) {
        const std::string &row = m_preTriggerBuffer[static_cast<std::size_t>(wrapped ? (m_preTriggerPos + i) % count : i)];
        if (!row.empty() && m_recorder.writeLine(row))
            ++written;
    }
    m_captureRowCount = written;
    m_preTriggerPos = 0;
    return true;
}

// The capture file holds its header and one row more than the record count.
TriggerCapture::Step TriggerCapture::rowWhileCapturing(const std::string &row, const RowLayout &layout)
{
    if (layout != m_recorder.fileLayout())
        return Step::LayoutChanged;
    if (!m_recorder.writeLine(row))
        return Step::Continues; // not written: not counted
    ++m_captureRowCount;
    m_recorder.setRecordCount(m_captureRowCount);
    if (!(readTextNumber(m_settings.recordCountText()) < m_captureRowCount))
        return Step::Continues;
    m_recorder.closeLogFile();
    m_captureRowCount = 0;
    return Step::Complete;
}

} // namespace svglogger
