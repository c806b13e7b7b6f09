#include "reading/MinMaxPyramid.h"
#include "reading/RecordReader.h"
#include "reading/RecordSet.h"
#include "reading/RecordStats.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "broken invariant: %s\n", what);
        std::abort();
    }
}

} // namespace

// libFuzzer's entry: any bytes as a recorded file, read, joined, summed up and drawn from.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace svglogger;
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    RecordFile file = readRecord("f.csv", bytes, true);
    const std::size_t rows = file.table.rows();
    require(file.readable() == (rows > 0), "a readable file has rows, an unreadable one none");
    require(file.lines.size() == rows, "a line for every row read");
    for (std::string_view line : file.lines)
        require(line.find('\n') == std::string_view::npos && line.data() >= bytes.data()
                    && line.data() + line.size() <= bytes.data() + bytes.size(),
                "each row's line lies within the bytes, one line");
    std::vector<RecordFile> files;
    files.push_back(std::move(file));
    const RecordSet set = RecordSet::join(std::move(files));
    const std::vector<double> &times = set.table().times();
    for (std::size_t i = 1; i < times.size(); ++i)
        require(times[i - 1] <= times[i], "a timeline in time order");
    (void)statsText(set);
    for (int slot : set.columns()) {
        const std::vector<float> &column = set.table().column(slot);
        const MinMaxPyramid pyramid(column);
        const MinMaxPyramid::Range all = pyramid.range(0, column.size());
        for (float v : column)
            require(std::isnan(v) || (all.any && v >= all.min && v <= all.max), "the extremes hold every value");
    }
    return 0;
}
