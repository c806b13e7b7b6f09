#include "common/Settings.h"
#include "link/MeasurementDecoder.h"
#include "support/Lines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace svglogger {
namespace {

using S = MeasurementSample;
using test::olderLine;
using test::version2Line;

float single(double value)
{
    return static_cast<float>(value);
}

// V / 114329 x reading x 1.732, the scaling every power quantity shares.
double power(double v, double reading)
{
    return v / 114329 * reading * 1.732;
}

struct DecodeCase {
    const char *name;
    std::string line;
    bool check4;
    float s0, s1, s2, s3, s9;
};

class DecodeOlderLine : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeOlderLine, ComputesTheSample)
{
    const DecodeCase &c = GetParam();
    Settings settings;
    settings.powerFlow = c.check4;
    MeasurementDecoder decoder(settings);
    decoder.beginReceiveEvent();
    decoder.processLine("Ver1.0"); // an older controller: the layout is known
    ASSERT_EQ(decoder.processLine(c.line).kind, LineOutcome::Kind::Measurement);
    const S &s = decoder.sample();
    EXPECT_EQ(s[S::GridVoltage], c.s0);
    EXPECT_EQ(s[S::LoadActivePower], c.s1);
    EXPECT_EQ(s[S::LoadReactivePower], c.s2);
    EXPECT_EQ(s[S::SvgOutput], c.s3);
    EXPECT_EQ(s[S::StatusWord], c.s9);
    EXPECT_EQ(s[S::NegSeqVoltageD], 0.0f); // fields 4 to 7 stay 0 without version 2
    EXPECT_EQ(s[S::NegSeqCommandQ], 0.0f);
}

std::string decodeCaseName(const ::testing::TestParamInfo<DecodeCase> &info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Lines, DecodeOlderLine, ::testing::Values(
    // No correction bits: both sign factors +1 whatever the boxes say.
    DecodeCase{"NoCorrectionBits", olderLine("0000", "6600", "100", "-50", "20"), true,
               6600, single(power(6600, 100)), single(power(6600, 50)), single(power(6600, -30)), 0},
    // Bit 0x10 with power-flow correction: s1 changes sign, s2 from S, s3 changes sign.
    DecodeCase{"PowerFlowBit", olderLine("0010", "6600", "100", "-50", "20"), true,
               6600, single(-power(6600, 100)), single(power(6600, 20)), single(-power(6600, -30)), 16},
    // The same bit without the box checked has no effect.
    DecodeCase{"PowerFlowBitUnchecked", olderLine("0010", "6600", "100", "-50", "20"), false,
               6600, single(power(6600, 100)), single(power(6600, 50)), single(power(6600, -30)), 16},
    // Both bits, both boxes: s1 negated, s2 from S, s3 keeps its uncorrected sign.
    DecodeCase{"BothBits", olderLine("0030", "6600", "100", "-50", "20"), true,
               6600, single(-power(6600, 100)), single(power(6600, 20)), single(power(6600, -30)), 48},
    // Phase rotation (Check5 always checked) flips the SVG output alone.
    DecodeCase{"PhaseBit", olderLine("0020", "6600", "100", "-50", "20"), false,
               6600, single(power(6600, 100)), single(power(6600, 50)), single(-power(6600, -30)), 32},
    DecodeCase{"StatusFFFF", olderLine("ABFFFF", "6600", "0", "0", "0"), false, 6600, 0, 0, 0, -1},
    DecodeCase{"Status7FFF", olderLine("7FFF", "6600", "0", "0", "0"), false, 6600, 0, 0, 0, 32767},
    DecodeCase{"Status8000", olderLine("8000", "6600", "0", "0", "0"), false, 6600, 0, 0, 0, -32768},
    // The status word stops at the first non-hex character of its last four.
    DecodeCase{"StatusStopsAtNonHex", olderLine("1G23", "6600", "0", "0", "0"), false, 6600, 0, 0, 0, 1},
    DecodeCase{"StatusShortField", olderLine("A", "6600", "0", "0", "0"), false, 6600, 0, 0, 0, 10},
    DecodeCase{"StatusEmpty", olderLine("", "6600", "0", "0", "0"), false, 6600, 0, 0, 0, 0},
    // Out of the 16-bit range: the reading fails and keeps 0 at the first line of an event.
    DecodeCase{"VoltageOutOfRange", olderLine("0000", "40000", "100", "-50", "20"), false,
               0, 0, 0, 0, 0},
    // Rounding halves to even before the formulas.
    DecodeCase{"ReadingsRoundHalfToEven", olderLine("0000", "6600.5", "2.5", "-3.5", "0.5"), false,
               6600, single(power(6600, 2)), single(power(6600, 4)), single(power(6600, -4)), 0},
    // Blanks, tabs and line feeds inside a field are ignored; text reads as 0.
    DecodeCase{"BlanksInsideFields", olderLine("0000", " 6 600", "\t1\n00", "x", "20y"), false,
               6600, single(power(6600, 100)), 0, single(power(6600, 20)), 0},
    // Q = -field: 32768 gives -32768, which S - Q then overflows (s3 fails, stays 0).
    DecodeCase{"ReactiveNegatedBeforeRounding", olderLine("0000", "6600", "0", "32768", "1"), false,
               6600, 0, single(power(6600, -32768)), 0, 0},
    // S - Q formed as a 16-bit value: 32767 - (-100) overflows, the SVG output is not computed.
    DecodeCase{"SvgMinusReactiveOverflows", olderLine("0000", "6600", "0", "100", "32767"), false,
               6600, 0, single(power(6600, -100)), 0, 0}),
    decodeCaseName);

TEST(DecodeLine, SevenFieldsAreNotDecoded)
{
    Settings settings;
    MeasurementDecoder decoder(settings);
    decoder.beginReceiveEvent();
    decoder.processLine("Ver1.0"); // an older controller: the layout is known
    EXPECT_EQ(decoder.processLine("MN R,0000,0,6600,0,100,-50,20").kind, LineOutcome::Kind::Other);
    EXPECT_EQ(decoder.sample()[S::GridVoltage], 0.0f);
}

TEST(DecodeLine, MarkerMayStandAnywhereAndTheFirstCounts)
{
    Settings settings;
    MeasurementDecoder decoder(settings);
    decoder.beginReceiveEvent();
    decoder.processLine("Ver1.0"); // an older controller: the layout is known
    EXPECT_EQ(decoder.processLine("\nxyzMN R,0000,0,6600,0,0,0,0,0MN R,1,1,1").kind,
              LineOutcome::Kind::Measurement);
    EXPECT_EQ(decoder.sample()[S::GridVoltage], 6600.0f);
    // Lower case is no marker; a comma at the end makes an empty last field that counts.
    EXPECT_EQ(decoder.processLine("mn R,0000,0,6600,0,0,0,0,0").kind, LineOutcome::Kind::Other);
    EXPECT_EQ(decoder.processLine("MN R,0000,0,6601,0,0,0,0,").kind, LineOutcome::Kind::Measurement);
    EXPECT_EQ(decoder.sample()[S::GridVoltage], 6601.0f);
    // A marker at the very end leaves an empty payload: no fields.
    EXPECT_EQ(decoder.processLine("abcMN").kind, LineOutcome::Kind::Other);
    EXPECT_EQ(decoder.processLine("MN R").kind, LineOutcome::Kind::Other);
}

TEST(DecodeLine, FailedReadingKeepsTheValueOfThePreviousLineOfTheEvent)
{
    Settings settings;
    MeasurementDecoder decoder(settings);
    decoder.beginReceiveEvent();
    decoder.processLine("Ver1.0"); // an older controller: the layout is known
    decoder.processLine(olderLine("0000", "6600", "100", "-50", "20"));
    decoder.processLine(olderLine("0000", "40000", "100", "-50", "20"));
    EXPECT_EQ(decoder.sample()[S::GridVoltage], 6600.0f);
    EXPECT_EQ(decoder.sample()[S::LoadActivePower], single(power(6600, 100)));

    // The next receive event starts from zero.
    decoder.beginReceiveEvent();
    EXPECT_EQ(decoder.sample()[S::GridVoltage], 0.0f);
    decoder.processLine(olderLine("0000", "40000", "100", "-50", "20"));
    EXPECT_EQ(decoder.sample()[S::GridVoltage], 0.0f);
    EXPECT_EQ(decoder.sample()[S::LoadActivePower], 0.0f);
}

TEST(DecodeLine, FailedSvgOutputKeepsThePreviousValueWhichTheUncompensatedVoltageUses)
{
    Settings settings;
    MeasurementDecoder decoder(settings);
    decoder.beginReceiveEvent();
    decoder.processLine("Ver1.0"); // an older controller: the layout is known
    decoder.processLine(olderLine("0000", "6600", "0", "-50", "20"));
    const float s3 = decoder.sample()[S::SvgOutput];
    decoder.processLine(olderLine("0000", "6500", "0", "100", "32767"));
    EXPECT_EQ(decoder.sample()[S::SvgOutput], s3);
    const double s8 = 6500.0 + double{s3} / 10000 * 100 / 100 * 6700;
    EXPECT_EQ(decoder.sample()[S::UncompensatedVoltage], single(s8));
}

struct PercentCase {
    const char *text3;
    double x;
};

class UncompensatedVoltage : public ::testing::TestWithParam<PercentCase> {};

TEST_P(UncompensatedVoltage, ReadsTheBoxAtEveryLine)
{
    Settings settings;
    settings.reactancePercent = GetParam().text3;
    MeasurementDecoder decoder(settings);
    decoder.beginReceiveEvent();
    decoder.processLine("Ver1.0"); // an older controller: the layout is known
    decoder.processLine(olderLine("0000", "6600", "0", "-1000", "0"));
    const S &s = decoder.sample();
    const double expected = double{s[S::GridVoltage]} + double{s[S::SvgOutput]} / 10000 * GetParam().x / 100 * 6700;
    EXPECT_EQ(s[S::UncompensatedVoltage], single(expected));
}

INSTANTIATE_TEST_SUITE_P(Texts, UncompensatedVoltage, ::testing::Values(
    PercentCase{"100", 100}, PercentCase{"", 0}, PercentCase{"abc", 0}, PercentCase{"50abc", 50},
    PercentCase{"-12.5", -12.5}));

TEST(UncompensatedVoltageBox, EmptyBoxGivesTheGridVoltageAndChangesApplyAtTheNextLine)
{
    Settings settings;
    settings.reactancePercent = "";
    MeasurementDecoder decoder(settings);
    decoder.beginReceiveEvent();
    decoder.processLine("Ver1.0"); // an older controller: the layout is known
    decoder.processLine(olderLine("0000", "6600", "0", "-1000", "0"));
    EXPECT_EQ(decoder.sample()[S::UncompensatedVoltage], 6600.0f);
    settings.reactancePercent = "100";
    decoder.processLine(olderLine("0000", "6600", "0", "-1000", "0"));
    EXPECT_NE(decoder.sample()[S::UncompensatedVoltage], 6600.0f);
    // A percentage too large for any float: the step fails and keeps the previous value.
    const float before = decoder.sample()[S::UncompensatedVoltage];
    settings.reactancePercent = std::string(400, '9');
    decoder.processLine(olderLine("0000", "6600", "0", "-1000", "0"));
    EXPECT_EQ(decoder.sample()[S::UncompensatedVoltage], before);
}

// --- Version lines -------------------------------------------------------------------------

struct VersionCase {
    const char *line;
    LineOutcome::Kind kind;
    int version;
};

class VersionLine : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionLine, IsRecognised)
{
    Settings settings;
    MeasurementDecoder decoder(settings);
    decoder.beginReceiveEvent();
    const LineOutcome outcome = decoder.processLine(GetParam().line);
    EXPECT_EQ(outcome.kind, GetParam().kind) << GetParam().line;
    EXPECT_EQ(versionNumber(decoder.controllerVersion()), GetParam().version);
    EXPECT_EQ(decoder.fieldOffset(), GetParam().version == 2 ? 3 : 0);
    if (outcome.kind == LineOutcome::Kind::Version) {
        EXPECT_EQ(versionNumber(outcome.version), GetParam().version);
        EXPECT_TRUE(outcome.versionFirstKnown);
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, VersionLine, ::testing::Values(
    VersionCase{"SVG Ver2.01", LineOutcome::Kind::Version, 2},
    VersionCase{"Ver2.", LineOutcome::Kind::Version, 2},
    VersionCase{"Ver2.x whatever follows", LineOutcome::Kind::Version, 2},
    VersionCase{"ver2.01", LineOutcome::Kind::Other, 0},
    VersionCase{"Ver 2.01", LineOutcome::Kind::Version, 1}, // a blank makes it older
    VersionCase{"Ver1.05", LineOutcome::Kind::Version, 1},
    VersionCase{"Ver2", LineOutcome::Kind::Version, 1},     // fewer than two characters follow
    VersionCase{"Ver", LineOutcome::Kind::Version, 1},
    VersionCase{"VerVer2.0", LineOutcome::Kind::Version, 1}, // the first "Ver" counts
    // A line with the marker and too few fields is examined in its payload only.
    VersionCase{"MN R,Ver2.10", LineOutcome::Kind::Version, 2},
    VersionCase{"Ver2.0 MN R,1,2", LineOutcome::Kind::Other, 0},
    VersionCase{"MN Ver2.0", LineOutcome::Kind::Other, 0}, // "Ver" lies in the skipped characters
    VersionCase{"D:", LineOutcome::Kind::Other, 0}));

TEST(VersionLine, LaterVersionLinesSwitchButNeverReturnToUnknown)
{
    Settings settings;
    MeasurementDecoder decoder(settings);
    decoder.beginReceiveEvent();
    EXPECT_TRUE(decoder.processLine("Ver1.0").versionFirstKnown);
    const LineOutcome second = decoder.processLine("Ver2.0");
    EXPECT_FALSE(second.versionFirstKnown);
    EXPECT_EQ(decoder.controllerVersion(), ControllerVersion::Version2);
    EXPECT_EQ(decoder.fieldOffset(), 3);
    decoder.processLine("Ver1.0");
    EXPECT_EQ(decoder.controllerVersion(), ControllerVersion::Older);
    EXPECT_EQ(decoder.fieldOffset(), 0);
    decoder.processLine("no version here");
    EXPECT_EQ(decoder.controllerVersion(), ControllerVersion::Older);
}

TEST(Version2Layout, DecodesShiftedFieldsAndNegativeSequence)
{
    Settings settings;
    MeasurementDecoder decoder(settings);
    decoder.beginReceiveEvent();
    decoder.processLine("Ver2.01");
    ASSERT_EQ(decoder.processLine(version2Line("0000", "6600", "100", "-50", "20", "30", "40", "2350", "-4700")).kind,
              LineOutcome::Kind::Measurement);
    const S &s = decoder.sample();
    EXPECT_EQ(s[S::GridVoltage], 6600.0f);
    EXPECT_EQ(s[S::LoadActivePower], single(power(6600, 100)));
    EXPECT_EQ(s[S::LoadReactivePower], single(power(6600, 50)));
    EXPECT_EQ(s[S::SvgOutput], single(power(6600, -30)));
    EXPECT_EQ(s[S::NegSeqVoltageD], 30.0f);
    EXPECT_EQ(s[S::NegSeqVoltageQ], 40.0f);
    EXPECT_EQ(s[S::NegSeqCommandD], single(2350 / std::sqrt(3.0) / 6.6 / 2350 * 300));
    EXPECT_EQ(s[S::NegSeqCommandQ], single(-4700 / std::sqrt(3.0) / 6.6 / 2350 * 300));
    EXPECT_NEAR(s[S::NegSeqCommandD], 26.24, 0.01);
}

TEST(Version2Layout, SeventeenFieldsDecodeAndCommandQKeepsItsValue)
{
    Settings settings;
    MeasurementDecoder decoder(settings);
    decoder.beginReceiveEvent();
    decoder.processLine("Ver2.01");
    std::string full = version2Line("0000", "6600", "0", "0", "0", "1", "2", "3", "2350");
    decoder.processLine(full);
    const float cq = decoder.sample()[S::NegSeqCommandQ];
    ASSERT_NE(cq, 0.0f);
    std::string seventeen = full.substr(0, full.rfind(','));
    ASSERT_EQ(decoder.processLine(seventeen).kind, LineOutcome::Kind::Measurement);
    EXPECT_EQ(decoder.sample()[S::NegSeqCommandQ], cq);
    // Sixteen fields are too few for version 2.
    std::string sixteen = seventeen.substr(0, seventeen.rfind(','));
    EXPECT_EQ(decoder.processLine(sixteen).kind, LineOutcome::Kind::Other);
    // At the first line of a new event the missing Cq is 0.
    decoder.beginReceiveEvent();
    decoder.processLine(seventeen);
    EXPECT_EQ(decoder.sample()[S::NegSeqCommandQ], 0.0f);
    EXPECT_EQ(decoder.sample()[S::NegSeqCommandD], single(3 / std::sqrt(3.0) / 6.6 / 2350 * 300));
}

// A controller still streaming from an earlier session: its lines come before any version
// line, and read in the older layout they would be zeros and noise. They are no samples.
TEST(Version2Layout, BeforeTheVersionIsKnownAMeasurementLineIsNoSample)
{
    Settings settings;
    MeasurementDecoder decoder(settings);
    decoder.beginReceiveEvent();
    for (const std::string &line : {version2Line("0000", "6600", "100", "-50", "20", "30", "40", "50", "60"),
                                    olderLine("0000", "6600", "100", "-50", "20")}) {
        EXPECT_EQ(decoder.processLine(line).kind, LineOutcome::Kind::Unversioned) << line;
        for (std::size_t q = 0; q < S::FieldCount; ++q)
            EXPECT_EQ(decoder.sample()[q], 0.0f) << "field " << q;
        EXPECT_EQ(decoder.controllerVersion(), ControllerVersion::Unknown);
    }
    // Once the version is known the same lines are decoded.
    decoder.processLine("Ver2.01");
    EXPECT_EQ(decoder.processLine(version2Line("0000", "6600", "100", "-50", "20", "30", "40", "50", "60")).kind,
              LineOutcome::Kind::Measurement);
    EXPECT_EQ(decoder.sample()[S::GridVoltage], 6600.0f);
}

TEST(Version2Layout, AnOlderControllersLinesLeaveTheNegativeSequenceAtZero)
{
    Settings settings;
    MeasurementDecoder decoder(settings);
    decoder.beginReceiveEvent();
    // After an older controller's version line, the negative-sequence fields stay 0.
    decoder.processLine("Ver1.0");
    decoder.processLine(olderLine("0000", "6600", "0", "0", "0") + ",0,0,0,0,0,0,30,40,50,60");
    EXPECT_EQ(decoder.sample()[S::GridVoltage], 6600.0f);
    EXPECT_EQ(decoder.sample()[S::NegSeqVoltageD], 0.0f);
}

TEST(Version2Layout, OlderLinesAreTooShortOnceVersion2IsKnown)
{
    Settings settings;
    MeasurementDecoder decoder(settings);
    decoder.beginReceiveEvent();
    decoder.processLine("Ver2.0");
    EXPECT_EQ(decoder.processLine(olderLine("0000", "6600", "0", "0", "0")).kind, LineOutcome::Kind::Other);
}

} // namespace
} // namespace svglogger
