#include "quality/Verdict.h"

#include <array>
#include <cstddef>

namespace svglogger {

std::string_view name(Verdict verdict)
{
    static constexpr std::array<std::string_view, 5> kNames{"pass", "fail", "not available", "no limit", "not measurable"};
    static_assert(kNames.size() == static_cast<std::size_t>(Verdict::NotMeasurable) + 1, "a name for each verdict");
    return kNames[static_cast<std::size_t>(verdict)];
}

} // namespace svglogger
