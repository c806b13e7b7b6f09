#pragma once

#include <cstddef>
#include <cstdint>

namespace svglogger::test {

// Runs one input through a whole engine (receive, decode, record, trigger, capture) with the
// settings, the clock and Start/Stop/"設定" drawn from the input too. A broken invariant
// aborts, so that the fuzzer keeps the input.
void runEngineInput(const std::uint8_t *data, std::size_t size);

} // namespace svglogger::test
