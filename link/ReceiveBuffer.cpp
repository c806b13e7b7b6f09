#include "link/ReceiveBuffer.h"

namespace svglogger {

namespace {
constexpr std::size_t kShrinkAbove = 256 * 1024;
}

void ReceiveBuffer::compact()
{
    m_text.erase(0, m_head);
    m_head = 0;
    if (m_text.capacity() > kShrinkAbove && m_text.size() < kShrinkAbove / 4)
        m_text.shrink_to_fit();
}

void ReceiveBuffer::append(std::string_view received)
{
    if (m_head > 0)
        compact();
    m_text.append(received);
}

void ReceiveBuffer::keepLast(std::size_t count)
{
    const std::size_t size = m_text.size() - m_head;
    if (count < size)
        m_head += size - count;
    compact();
}

bool ReceiveBuffer::takeLine(std::string &line)
{
    while (true) {
        std::size_t delimiter = m_text.find(kLineDelimiter, m_head);
        std::size_t run = (delimiter == std::string::npos ? m_text.size() : delimiter) - m_head;
        if (run > kMaxUndelimited) {
            m_head += run - kMaxUndelimited;
            run = kMaxUndelimited;
            compact();
            if (delimiter != std::string::npos)
                delimiter = run;
        }
        if (delimiter == std::string::npos)
            return false;
        if (run == 0) { // an empty line: the delimiter alone is dropped
            ++m_head;
            continue;
        }
        line.assign(m_text, m_head, run);
        m_head += run + 1;
        if (m_head == m_text.size()) {
            m_text.clear();
            m_head = 0;
        }
        return true;
    }
}

} // namespace svglogger
