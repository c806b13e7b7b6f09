#pragma once

#include <string>
#include <string_view>

namespace svglogger::test {

// A path as the operators of this platform type it, from its slash form: on Windows on drive
// C: with "\" ("/log/a.csv" is "C:\log\a.csv"), elsewhere as it is.
inline std::string platformPath(std::string_view slashForm)
{
#ifdef _WIN32
    std::string path = slashForm.starts_with('/') ? "C:" : "";
    for (char c : slashForm)
        path += c == '/' ? '\\' : c;
    return path;
#else
    return std::string(slashForm);
#endif
}

// The log folder the engine's test rigs start with.
inline const std::string kLogFolder = platformPath("/log/");

} // namespace svglogger::test
