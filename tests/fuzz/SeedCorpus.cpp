// Writes the fuzzer's seed corpus: settings bytes, then receive events carrying the
// simulator's lines, clean and garbled, for both controller versions.

#include "tools/LineGarbler.h"
#include "tools/MeasurementGenerator.h"

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    using namespace svglogger;
    for (int seed = 1; seed <= 24; ++seed) {
        MeasurementGenerator::Options options;
        options.version = seed % 2 ? 2 : 1;
        options.seed = static_cast<std::uint32_t>(seed);
        options.eventEverySeconds = seed % 3 ? 2 : 0;
        options.status = seed % 4 == 0 ? 0x30 : 0;
        MeasurementGenerator generator(options);
        LineGarbler garbler(seed % 2 ? 0.2 : 0.0, static_cast<std::uint32_t>(seed));
        std::string input;
        // Settings: flags, interval and percent, check boxes, counts, depth, limits.
        input += static_cast<char>(seed * 37);
        input += static_cast<char>(seed * 11);
        input += static_cast<char>(seed % 3 ? 0x01 : 0x11);
        input += static_cast<char>(seed % 5 ? 0x00 : 0x10);
        input += static_cast<char>(5 + seed);
        input += static_cast<char>(40 + seed * 4);
        input += static_cast<char>(seed % 7);
        input += static_cast<char>(seed);
        std::string stream = "D:" + generator.versionLine() + "\r";
        for (int i = 0; i < 60; ++i)
            stream += garbler.bytesFor(generator.nextLine()).substr(0, 199);
        // Events of up to 99 bytes (longer ones wait in the port), a second of clock now and
        // then, and the run's events at points that differ from seed to seed: Stop in the
        // middle of a line and Start again, the controller's lone prompt, its silence, an
        // unplug and replug, the trigger window closed, "設定", and a change of mode between
        // runs.
        const char runEvents[][5] = {
            {char(220), char(252 + seed % 4), char(230), 0}, // Stop, the mode, Start
            {char(236), 0, 0, 0},                            // "D:" alone
            {char(246), char(236), 0, 0},                    // silence, then the prompt again
            {char(248), char(200), char(250), char(236)},    // unplugged, a second, back, prompt
            {char(244), 0, 0, 0},                            // the trigger window closed
            {char(240), 0, 0, 0},                            // "設定"
        };
        int event = 0;
        for (std::size_t at = 0; at < stream.size(); ++event) {
            const std::size_t length = std::min<std::size_t>(stream.size() - at, 20 + (at * 7) % 150);
            input += static_cast<char>(length);
            input += stream.substr(at, length);
            at += length;
            if (at % 3 == 0)
                input += static_cast<char>(200);
            if (event % 5 == 4)
                input += runEvents[(event / 5 + seed) % 6];
        }
        std::ofstream(std::string(argv[1]) + "/seed-" + std::to_string(seed), std::ios::binary) << input;
    }
    return 0;
}
