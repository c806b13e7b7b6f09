#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace svglogger {

// Received characters not yet cut into lines, one character per received byte.
class ReceiveBuffer
{
public:
    static constexpr char kLineDelimiter = '\r';
    // Positions in the buffer are 16-bit: at most this many characters are kept before the
    // first delimiter (or in all, when there is none); older characters are dropped.
    static constexpr std::size_t kMaxUndelimited = 32766;

    void append(std::string_view received);
    // Cuts the next non-empty line (without its delimiter) into `line`; empty lines are
    // dropped. Returns false when no complete line is left.
    bool takeLine(std::string &line);
    // The characters not yet cut into lines.
    std::string_view text() const { return std::string_view(m_text).substr(m_head); }
    bool empty() const { return m_head == m_text.size(); }
    // Drops everything but the last `count` characters.
    void keepLast(std::size_t count);
    void clear() { keepLast(0); }

private:
    void compact();

    std::string m_text;
    std::size_t m_head = 0; // characters at the front already cut off
};

} // namespace svglogger
