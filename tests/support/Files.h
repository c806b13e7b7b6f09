#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace svglogger::test {

inline std::string readBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace svglogger::test
