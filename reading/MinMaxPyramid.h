#pragma once

#include <cstddef>
#include <vector>

namespace svglogger {

// The exact minimum and maximum of any run of a column, in time that grows with the log of
// its length: blocks of 64 values and their pairs, fours, ... keep their extremes, so a
// pixel column over a week of samples still shows a one-sample dip. NaN (a column a file
// lacks) is passed over. About a sixteenth more memory than the column itself.
class MinMaxPyramid
{
public:
    static constexpr std::size_t kBlock = 64;

    struct Range {
        float min = 0.0f;
        float max = 0.0f;
        bool any = false; // false when every value of the run is NaN (or the run is empty)
    };

    MinMaxPyramid() = default;
    // Keeps a pointer to `column`: it must outlive the pyramid and stay as it is.
    explicit MinMaxPyramid(const std::vector<float> &column);

    // Values [first, last).
    Range range(std::size_t first, std::size_t last) const;

private:
    void scan(std::size_t first, std::size_t last, Range &range) const;

    const std::vector<float> *m_column = nullptr;
    // Level l: blocks of kBlock << l values.
    std::vector<std::vector<float>> m_min;
    std::vector<std::vector<float>> m_max;
};

} // namespace svglogger
