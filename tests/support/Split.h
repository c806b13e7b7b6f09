#pragma once

#include <string>
#include <vector>

namespace svglogger::test {

// The parts of `text` between separators, empty ones kept: the fields of a CSV row.
inline std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, start)) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

} // namespace svglogger::test
