#pragma once

#include <QString>

#include <string_view>

namespace svglogger {

// The engine's UTF-8 texts as Qt's strings, without a copy through std::string.
inline QString fromStd(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace svglogger
