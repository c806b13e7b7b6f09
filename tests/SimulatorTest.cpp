#include "common/Settings.h"
#include "link/MeasurementDecoder.h"
#include "quality/PowerQualityReport.h"
#include "reading/RecordColumns.h"
#include "support/RecordSets.h"
#include "tools/ControllerDialogue.h"
#include "tools/LineGarbler.h"
#include "tools/MeasurementGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace svglogger {
namespace {

using State = ControllerDialogue::State;

TEST(ControllerDialogue, EscPromptsTheCommandStreamsAndEscStops)
{
    ControllerDialogue d;
    EXPECT_EQ(d.receive("MN R\r\n"), ""); // nothing before ESC
    EXPECT_EQ(d.state(), State::Waiting);
    EXPECT_EQ(d.receive("\x1b"), "D:");
    EXPECT_EQ(d.state(), State::Prompted);
    EXPECT_EQ(d.receive("MN "), "");
    EXPECT_EQ(d.state(), State::Prompted);
    EXPECT_EQ(d.receive("R\r\n"), "");
    EXPECT_EQ(d.state(), State::Streaming);
    EXPECT_EQ(d.receive("\x1b"), ""); // stops the stream silently
    EXPECT_EQ(d.state(), State::Waiting);
    EXPECT_EQ(d.receive("\x1b"), "D:"); // the next ESC brings the prompt again
    EXPECT_EQ(d.receive("junk\x1bMN R\r\n"), "D:");
    EXPECT_EQ(d.state(), State::Streaming);
}

TEST(ControllerDialogue, LongNoiseWhilePromptedNeitherGrowsNorStartsTheStream)
{
    ControllerDialogue d;
    d.receive("\x1b");
    d.receive(std::string(100000, 'x'));
    EXPECT_EQ(d.state(), State::Prompted);
    d.receive("MN R\r");
    EXPECT_EQ(d.state(), State::Streaming);
}

std::vector<std::string> lines(MeasurementGenerator::Options options, int count)
{
    MeasurementGenerator generator(options);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i)
        out.push_back(generator.nextLine());
    return out;
}

TEST(MeasurementGenerator, SameSeedSameLinesOtherSeedOtherLines)
{
    MeasurementGenerator::Options a;
    a.seed = 42;
    MeasurementGenerator::Options b = a;
    b.seed = 43;
    EXPECT_EQ(lines(a, 200), lines(a, 200));
    EXPECT_NE(lines(a, 200), lines(b, 200));
}

struct Decoded {
    std::vector<MeasurementSample> samples;
    int version = 0;
};

Decoded decodeAll(const MeasurementGenerator::Options &options, int count, bool check4 = false)
{
    Settings settings;
    settings.powerFlow = check4;
    MeasurementDecoder decoder(settings);
    MeasurementGenerator generator(options);
    Decoded d;
    decoder.beginReceiveEvent();
    decoder.processLine(generator.versionLine());
    for (int i = 0; i < count; ++i) {
        const std::string line = generator.nextLine();
        decoder.beginReceiveEvent();
        EXPECT_EQ(decoder.processLine(line).kind, LineOutcome::Kind::Measurement) << line;
        d.samples.push_back(decoder.sample());
    }
    d.version = versionNumber(decoder.controllerVersion());
    return d;
}

TEST(MeasurementGenerator, TheLoggersDecoderReadsRealisticValuesInBothVersions)
{
    using S = MeasurementSample;
    for (int version : {1, 2}) {
        MeasurementGenerator::Options options;
        options.version = version;
        options.seed = 7;
        const Decoded d = decodeAll(options, 5 * 600); // ten minutes
        EXPECT_EQ(d.version, version);
        float minV = 1e9f, maxV = -1e9f, minP = 1e9f, maxP = -1e9f;
        for (const S &s : d.samples) {
            minV = std::min(minV, s[S::GridVoltage]);
            maxV = std::max(maxV, s[S::GridVoltage]);
            minP = std::min(minP, s[S::LoadActivePower]);
            maxP = std::max(maxP, s[S::LoadActivePower]);
            // The SVG supplies most of the load's reactive power: with the report's default sign
            // (a positive output in the load's direction) its output is of the other sign.
            EXPECT_NEAR(s[S::SvgOutput], -0.9f * s[S::LoadReactivePower], 6.0f);
            const float negSeq = std::hypot(s[S::NegSeqVoltageD], s[S::NegSeqVoltageQ]);
            if (version == 2) {
                EXPECT_GT(negSeq, 5.0f);
                EXPECT_LT(negSeq, 40.0f);
                EXPECT_GT(std::hypot(s[S::NegSeqCommandD], s[S::NegSeqCommandQ]), 0.5f);
            } else {
                EXPECT_EQ(negSeq, 0.0f);
            }
        }
        EXPECT_GT(minV, 6450.0f);
        EXPECT_LT(maxV, 6750.0f);
        EXPECT_GT(maxV - minV, 60.0f); // it moves
        EXPECT_GT(minP, 60.0f);
        EXPECT_LT(maxP, 240.0f);
        EXPECT_GT(maxP - minP, 60.0f);
        // So the point of connection sees about a tenth of the load's ~80 kvar beside its
        // ~150 kW: PF ≈ 150 ÷ √(150² + 8²) ≈ 0.999 against the load's ≈ 0.88, by the report's
        // default settings.
        RecordTable table;
        namespace c = recordColumn;
        const std::vector<int> slots{c::value(S::GridVoltage), c::value(S::LoadActivePower), c::value(S::LoadReactivePower),
                                     c::value(S::SvgOutput)};
        const double midnight = 1'800'000'000.0 - 1'800'000'000 % 86400;
        for (std::size_t i = 0; i < d.samples.size(); ++i) {
            const float values[] = {d.samples[i][S::GridVoltage], d.samples[i][S::LoadActivePower],
                                    d.samples[i][S::LoadReactivePower], d.samples[i][S::SvgOutput]};
            table.append(midnight + static_cast<double>(i) * 0.2, slots, values);
        }
        const PowerQualityReport report = makeReport(test::setOfOneFile(std::move(table)), midnight, midnight + 600.0, ReportSettings{});
        ASSERT_EQ(report.energy.size(), 1u);
        EXPECT_GT(*report.energy[0].loadPowerFactor(), 0.85);
        EXPECT_LT(*report.energy[0].loadPowerFactor(), 0.92);
        EXPECT_GT(*report.energy[0].connectionPowerFactor(), 0.99) << "version " << version;
    }
}

TEST(MeasurementGenerator, EventsDipTheVoltageAndStepTheLoad)
{
    using S = MeasurementSample;
    MeasurementGenerator::Options options;
    options.seed = 9;
    options.eventEverySeconds = 20;
    const Decoded d = decodeAll(options, 5 * 45);
    // Lines 100 to 104 are the first second of the first event.
    EXPECT_GT(d.samples[99][S::GridVoltage], 6400.0f);
    for (int i = 100; i < 105; ++i)
        EXPECT_LT(d.samples[i][S::GridVoltage], 6300.0f) << i;
    EXPECT_GT(d.samples[105][S::GridVoltage], 6400.0f);
    EXPECT_GT(d.samples[110][S::LoadActivePower] - d.samples[95][S::LoadActivePower], 80.0f);
    EXPECT_LT(d.samples[210][S::LoadActivePower] - d.samples[195][S::LoadActivePower], -80.0f);
}

TEST(MeasurementGenerator, StatusBitsAreSentInHexadecimal)
{
    MeasurementGenerator::Options options;
    options.status = 0x30;
    MeasurementGenerator generator(options);
    EXPECT_EQ(generator.nextLine().substr(0, 10), "MN R,0030,");
    const Decoded d = decodeAll(options, 1, true);
    EXPECT_EQ(d.samples[0][MeasurementSample::StatusWord], 48.0f);
}

TEST(LineGarbler, NoFaultsAtRateZeroAndEveryKindOfFaultAtRateOne)
{
    const std::string line = "MN R,0000,1,0,0,0,6600,50,1500,-1100,2100,0,0,0,0,18,0,306,173";
    LineGarbler clean(0.0, 1);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(clean.bytesFor(line), line + "\r");

    LineGarbler garbler(1.0, 1);
    std::vector<int> seen(6, 0);
    for (int i = 0; i < 500; ++i) {
        const std::string bytes = garbler.bytesFor(line);
        const LineGarbler::Fault fault = garbler.lastFault();
        ++seen[static_cast<int>(fault)];
        ASSERT_EQ(bytes.back() == '\r' || bytes.ends_with("\r\n"), true);
        switch (fault) {
        case LineGarbler::Fault::Truncated:
            EXPECT_LT(bytes.size(), line.size() / 2 + 2);
            break;
        case LineGarbler::Fault::Junk:
            EXPECT_GT(bytes.size(), line.size() + 1);
            EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), 1);
            break;
        case LineGarbler::Fault::CrLf:
            EXPECT_EQ(bytes, line + "\r\n");
            break;
        case LineGarbler::Fault::OutOfRange:
            EXPECT_EQ(bytes, "MN R,0000,1,0,0,0,40000,50,1500,-1100,2100,0,0,0,0,18,0,306,173\r");
            break;
        case LineGarbler::Fault::LongRun:
            EXPECT_EQ(bytes.size(), LineGarbler::kLongRun + line.size() + 1);
            break;
        case LineGarbler::Fault::None:
            ADD_FAILURE() << "no fault at rate 1";
        }
    }
    for (int kind = 1; kind <= 5; ++kind)
        EXPECT_GT(seen[kind], 50) << kind;
}

TEST(LineGarbler, OutOfRangeHitsTheOlderVoltageField)
{
    LineGarbler garbler(1.0, 3);
    const std::string line = "MN R,0000,1,6600,50,1500,-1100,2100,0";
    for (int i = 0; i < 100; ++i) {
        const std::string bytes = garbler.bytesFor(line);
        if (garbler.lastFault() == LineGarbler::Fault::OutOfRange) {
            EXPECT_EQ(bytes, "MN R,0000,1,40000,50,1500,-1100,2100,0\r");
            return;
        }
    }
    ADD_FAILURE() << "no out-of-range fault in 100 lines";
}

} // namespace
} // namespace svglogger
