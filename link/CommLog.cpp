#include "link/CommLog.h"

#include "link/LinkView.h"

#include <algorithm>

namespace svglogger {

CommLog::CommLog(LinkView &view)
    : m_view(view)
{
}

void CommLog::addLine(std::string_view line)
{
    const auto position = static_cast<std::size_t>(
        std::clamp<std::int64_t>(m_logInsertPos, 0, static_cast<std::int64_t>(m_text.size())));
    std::string inserted;
    inserted.reserve(line.size() + 2);
    inserted.append("\r\n").append(line);
    m_text.insert(position, inserted);
    m_view.communicationLogInserted(static_cast<std::int32_t>(position), inserted);
    m_logInsertPos += static_cast<std::int32_t>(inserted.size());
    trim();
}

// Each trim is a change of the text, which trims again while it is still too long:
// cut everything up to and including the first CR LF at or after character 5000, or only
// the first character when there is none. Computed on an offset, erased once.
void CommLog::trim()
{
    std::size_t removed = 0;
    while (m_text.size() - removed > kTrimAbove) {
        std::size_t found = m_text.find("\r\n", removed + kTrimSearchFrom - 1);
        if (found == std::string::npos) {
            // No line break left beyond character 5000: single characters go until it fits.
            removed = m_text.size() - kTrimAbove;
            break;
        }
        removed = found + 2;
    }
    if (removed == 0)
        return;
    m_text.erase(0, removed);
    m_logInsertPos -= static_cast<std::int32_t>(removed);
    m_view.communicationLogTrimmed(static_cast<std::int32_t>(removed));
}

} // namespace svglogger
