#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace svglogger {

class LinkView;

// The communication log the window shows: every cut line while it is shown, each
// inserted as CR LF plus the line at LogInsertPos. Its head is trimmed so that the text stays
// at or below 10,000 characters.
class CommLog
{
public:
    static constexpr std::size_t kTrimAbove = 10000;
    static constexpr std::size_t kTrimSearchFrom = 5000; // 1-based character position

    explicit CommLog(LinkView &view);

    void addLine(std::string_view line);

    const std::string &text() const { return m_text; }
    std::int32_t insertPos() const { return m_logInsertPos; }

private:
    void trim();

    LinkView &m_view;
    std::string m_text;
    std::int32_t m_logInsertPos = 0;
};

} // namespace svglogger
