#include "fuzz/EngineFuzzHarness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace svglogger {
namespace {

// Every input kept for the fuzzer (its seeds and the inputs of faults it found) runs through
// the engine again: none may break an invariant.
TEST(FuzzRegression, KeptInputsRunCleanly)
{
    int inputs = 0;
    for (const char *folder : {SVG_FUZZ_CORPUS, SVG_FUZZ_REGRESSIONS}) {
        if (!std::filesystem::exists(folder))
            continue;
        for (const auto &entry : std::filesystem::directory_iterator(folder)) {
            if (!entry.is_regular_file() || entry.path().filename().string().starts_with("."))
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            SCOPED_TRACE(entry.path().string());
            test::runEngineInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
            ++inputs;
        }
    }
    EXPECT_GE(inputs, 24);
}

} // namespace
} // namespace svglogger
