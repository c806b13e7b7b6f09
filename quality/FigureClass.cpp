#include "quality/FigureClass.h"

#include <array>
#include <cstddef>

namespace svglogger {

std::string_view name(FigureClass figureClass)
{
    static constexpr std::array<std::string_view, 3> kNames{"EN 50160 method", "indicative", "not measurable"};
    static_assert(kNames.size() == static_cast<std::size_t>(FigureClass::NotMeasurable) + 1, "a name for each class");
    return kNames[static_cast<std::size_t>(figureClass)];
}

} // namespace svglogger
