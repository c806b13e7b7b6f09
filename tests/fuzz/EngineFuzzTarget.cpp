#include "fuzz/EngineFuzzHarness.h"

// libFuzzer's entry: every input through the whole engine.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    svglogger::test::runEngineInput(data, size);
    return 0;
}
