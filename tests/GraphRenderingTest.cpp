#include "graph/GraphScales.h"
#include "graph/TracePlotter.h"
#include "graph/TracePoints.h"
#include "graph/TrendHistory.h"
#include "support/Typing.h"
#include "support/QtPrinters.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace svglogger {
namespace {

constexpr QRgb kGrey = qRgb(128, 128, 128);

// The window's plot drawn offscreen, checked pixel by pixel.
struct GraphRendering : ::testing::Test {
    QTemporaryDir runtime;
    QTemporaryDir logs;
    std::unique_ptr<MainWindow> window;
    PlotArea *plot = nullptr;

    void SetUp() override
    {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        window = std::make_unique<MainWindow>();
        plot = window->findChild<PlotArea *>("plotArea");
        ASSERT_NE(plot, nullptr);
        // An older controller: its lines are samples from the first one on. The log file that
        // the first version line opens goes to the test's folder.
        test::typeInto(window->findChild<QLineEdit *>("outputPathBox"), logs.path() + "/x.csv");
        window->run().received("Ver1.00\r");
    }
    QRgb pixel(int x, int y) const { return plot->canvas().pixel(x, y); }
    void sample(int voltage, int power)
    {
        window->run().received("MN R,0000,0," + std::to_string(voltage) + ",0," + std::to_string(power)
                                + ",0,0,0\r");
    }
};

TEST_F(GraphRendering, BackgroundOfEachOption)
{
    const QRgb expected[3] = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(176, 176, 176)};
    EXPECT_EQ(pixel(5, 5), expected[2]); // grey at start-up
    const char *const options[3] = {"blackBackgroundOption", "whiteBackgroundOption", "greyBackgroundOption"};
    for (int i : {0, 1, 2}) {
        QTest::mouseClick(window->findChild<QRadioButton *>(options[i]), Qt::LeftButton);
        EXPECT_EQ(pixel(5, 5), expected[i]) << i;
        EXPECT_EQ(pixel(350, 180), kGrey) << "the zero line keeps its grey on every background";
    }
}

TEST_F(GraphRendering, DottedGridAndSolidZeroLine)
{
    int grey = 0;
    int background = 0;
    for (int x = 0; x < 40; ++x)
        (pixel(x, 30) == kGrey ? grey : background) += 1;
    EXPECT_GE(grey, 15);
    EXPECT_GE(background, 15);
    int column = 0;
    for (int y = 0; y < 20; ++y)
        column += pixel(50, y) == kGrey;
    EXPECT_GE(column, 8);
    for (int x = 0; x <= 700; ++x)
        ASSERT_EQ(pixel(x, 180), kGrey) << x;
    EXPECT_EQ(pixel(25, 100), qRgb(176, 176, 176)); // between the grid lines
}

TEST_F(GraphRendering, TracePixelsAtTheirComputedRows)
{
    sample(6600, 0);
    // A single sample is a single point: nothing drawn yet.
    EXPECT_NE(pixel(700, 150), PlotArea::traceColour(0));
    sample(6600, 0);
    EXPECT_EQ(pixel(700, 150), PlotArea::traceColour(0)); // (7350 - 6600) x 0.2
    EXPECT_EQ(pixel(699, 150), PlotArea::traceColour(0));
    EXPECT_EQ(pixel(700, 180), PlotArea::traceColour(3)); // zero power: the SVG output is drawn last
    EXPECT_NE(pixel(698, 150), PlotArea::traceColour(0));

    // A range change shows the frame alone until the next sample, then the whole history
    // on the new scale.
    window->findChild<QSlider *>("voltageRangeSlider")->setValue(1);
    for (int x = 690; x <= 700; ++x) {
        EXPECT_NE(pixel(x, 150), PlotArea::traceColour(0)) << x;
        EXPECT_NE(pixel(x, 180), PlotArea::traceColour(3)) << x;
    }
    sample(6600, 0);
    EXPECT_EQ(pixel(698, 120), PlotArea::traceColour(0)); // (7000 - 6600) x 0.3
    EXPECT_EQ(pixel(700, 120), PlotArea::traceColour(0));
}

TEST_F(GraphRendering, ValuesOffTheScaleAreClippedNotFolded)
{
    sample(6600, 0);
    sample(32000, 0); // far above the top
    sample(-32000, 0); // far below the bottom
    // The rise leaves the area at the top; the fall's first half crosses the whole height in
    // its first column, the second half lies below the area.
    EXPECT_EQ(pixel(698, 150), PlotArea::traceColour(0));
    EXPECT_EQ(pixel(698, 10), PlotArea::traceColour(0));
    EXPECT_EQ(pixel(699, 10), PlotArea::traceColour(0));
    EXPECT_EQ(pixel(699, 290), PlotArea::traceColour(0));
    EXPECT_NE(pixel(700, 290), PlotArea::traceColour(0));
}

TEST_F(GraphRendering, UncompensatedVoltageTraceFollowsCheck1AndTheGraphCheck2)
{
    window->run().received("MN R,0000,0,6600,0,0,0,1000,0\r");
    window->run().received("MN R,0000,0,6600,0,0,0,1000,0\r");
    QTest::mouseClick(window->findChild<QCheckBox *>("uncompensatedVoltageCheck"), Qt::LeftButton);
    window->run().received("MN R,0000,0,6600,0,0,0,1000,0\r");
    // s3 = 6600 / 114329 x 1000 x 1.732 = 99.99 kvar; s8 = 6600 + 99.99 / 10000 x 100 / 100 x 6700 = 6667
    EXPECT_EQ(pixel(700, 137), PlotArea::traceColour(4)); // (7350 - 6667) x 0.2 = 136.6
    QTest::mouseClick(window->findChild<QCheckBox *>("graphCheck"), Qt::LeftButton); // graph off
    window->findChild<QSlider *>("powerRangeSlider")->setValue(1);
    window->run().received("MN R,0000,0,6600,0,0,0,1000,0\r");
    EXPECT_EQ(pixel(700, 137), qRgb(176, 176, 176)); // not drawn while the graph is off
}

TEST_F(GraphRendering, LegendColoursOnTheValueCaptions)
{
    const char *names[5] = {"readoutName_0", "readoutName_1", "readoutName_2", "readoutName_3", "readoutName_7"};
    for (int t = 0; t < 5; ++t) {
        const QLabel *caption = window->findChild<QLabel *>(names[t]);
        EXPECT_EQ(caption->palette().color(QPalette::WindowText).rgb(), PlotArea::traceColour(static_cast<std::size_t>(t)))
            << names[t];
    }
}

TEST_F(GraphRendering, ScaleStripNumbersAreRedrawnForTheSliders)
{
    const ScaleStrip *strip = window->findChild<ScaleStrip *>("scaleStrip");
    const QImage before = strip->canvas();
    window->findChild<QSlider *>("powerRangeSlider")->setValue(-4);
    EXPECT_NE(strip->canvas(), before);
    window->findChild<QSlider *>("powerRangeSlider")->setValue(0);
    EXPECT_EQ(strip->canvas(), before);
    // Black voltage numbers and green power numbers are there.
    bool black = false, green = false;
    for (int y = 0; y < 14; ++y) {
        for (int x = 0; x < 82; ++x) {
            const QRgb p = strip->canvas().pixel(x, y);
            black |= x < 40 && qRed(p) < 60 && qGreen(p) < 60 && qBlue(p) < 60;
            green |= x >= 40 && qGreen(p) > qRed(p) + 40 && qGreen(p) > qBlue(p) + 40;
        }
    }
    EXPECT_TRUE(black);
    EXPECT_TRUE(green);
}

// The rows of ink in columns [from, to) of the strip that `inked` picks: (first row, height).
std::vector<std::pair<int, int>> inkBands(const QImage &strip, int from, int to, const std::function<bool(QRgb)> &inked)
{
    std::vector<std::pair<int, int>> bands;
    for (int y = 0; y < strip.height(); ++y) {
        bool any = false;
        for (int x = from; x < to && !any; ++x)
            any = inked(strip.pixel(x, y));
        if (!any)
            continue;
        if (!bands.empty() && bands.back().first + bands.back().second == y)
            ++bands.back().second;
        else
            bands.emplace_back(y, 1);
    }
    return bands;
}

// Every one of the eleven numbers of each column is whole: the last one (5850 and -400 at the
// start-up sliders) is not cut off by the bottom of the strip.
TEST_F(GraphRendering, EveryScaleNumberIsReadable)
{
    const ScaleStrip *strip = window->findChild<ScaleStrip *>("scaleStrip");
    auto black = [](QRgb p) { return qRed(p) < 100 && qGreen(p) < 100 && qBlue(p) < 100; };
    auto green = [](QRgb p) { return qGreen(p) > qRed(p) + 40 && qGreen(p) > qBlue(p) + 40; };
    for (int slider = -4; slider <= 2; ++slider) {
        window->findChild<QSlider *>("powerRangeSlider")->setValue(slider);
        window->findChild<QSlider *>("voltageRangeSlider")->setValue(std::max(0, slider));
        for (const auto &[from, to, inked] : {std::tuple{0, 40, std::function<bool(QRgb)>(black)},
                                              std::tuple{40, 82, std::function<bool(QRgb)>(green)}}) {
            const auto bands = inkBands(strip->canvas(), from, to, inked);
            ASSERT_EQ(bands.size(), 11u) << "slider " << slider << ", columns from " << from;
            for (const auto &[top, height] : bands)
                EXPECT_EQ(height, bands.front().second) << "the number at row " << top << " is cut";
            EXPECT_LT(bands.back().first + bands.back().second, strip->canvas().height())
                << "the last number touches the bottom edge";
        }
    }
}

} // namespace
} // namespace svglogger

namespace svglogger {
namespace {

TrendHistory ring(const std::function<std::int32_t(int quantity, int sample)> &value, int samples)
{
    TrendHistory history;
    for (int i = 0; i < samples; ++i) {
        for (int q = 0; q < TrendHistory::kTraces; ++q)
            history.store(q, value(q, i));
        history.advance();
    }
    return history;
}

// Five traces drawn together must look like each trace drawn alone, laid over one another
// in order: later traces over earlier ones.
void expectLaidOverInOrder(const TrendHistory &history)
{
    PlotArea plot;
    plot.drawFrame();
    const QImage frame = plot.canvas().copy();
    GraphScales scales;
    TracePoints points;
    QImage expected = frame.copy();
    for (int t = 0; t < GraphScales::kTraces; ++t) {
        plot.clearPlot();
        plot.drawTrace(t, points, points.fill(history, t, scales.trace(t)));
        plot.plotDone();
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                if (plot.canvas().pixel(x, y) != frame.pixel(x, y))
                    expected.setPixel(x, y, PlotArea::traceColour(static_cast<std::size_t>(t)));
    }
    TracePlotter plotter;
    plotter.plotTraces(history, true, plot);
    EXPECT_EQ(plot.canvas(), expected);
}

TEST(PlotArea, TracesCrossingTheWholeHeightAtEverySample)
{
    expectLaidOverInOrder(ring([](int q, int i) { return (i + q) % 2 ? 9000 : -9000; }, 701));
    // Midpoints inside the area: long runs in every column of every trace.
    expectLaidOverInOrder(ring([](int q, int i) {
        const bool voltage = q == 0 || q == 4;
        return (i + q / 2) % 2 ? (voltage ? 17350 : 7267) : (voltage ? -4150 : -7067);
    }, 701));
}

TEST(PlotArea, SmoothTracesAndAPartialRing)
{
    expectLaidOverInOrder(ring([](int q, int i) { return q == 0 || q == 4 ? 6600 + (i * 7) % 13 : 100 + (i * 3) % 11; }, 701));
    expectLaidOverInOrder(ring([](int q, int i) { return q == 0 || q == 4 ? 6600 + i : 150 - i; }, 120));
}

TEST(PlotArea, ShortTraceOverALongOneKeepsTheLongOneAroundIt)
{
    PlotArea plot;
    plot.drawFrame();
    TracePlotter plotter;
    // Voltage (trace 0) crosses the zero-power row in long runs; the powers lie flat on it.
    const TrendHistory history = ring([](int q, int i) { return q == 0 ? (i % 2 ? 5000 : 9000) : 0; }, 701);
    plotter.plotTraces(history, false, plot);
    int voltageAbove = 0, voltageBelow = 0;
    for (int x = 0; x <= 700; ++x) {
        EXPECT_EQ(plot.canvas().pixel(x, 180), PlotArea::traceColour(3)) << x;
        voltageAbove += plot.canvas().pixel(x, 170) == PlotArea::traceColour(0);
        voltageBelow += plot.canvas().pixel(x, 190) == PlotArea::traceColour(0);
    }
    EXPECT_GT(voltageAbove, 300);
    EXPECT_GT(voltageBelow, 300);
}

TEST(PlotArea, ClearingRestoresTheFrameExactlyAfterSmoothAndJumpingTraces)
{
    PlotArea plot;
    plot.drawFrame();
    const QImage frame = plot.canvas().copy();
    TracePlotter plotter;
    const TrendHistory smooth = ring([](int q, int i) { return q == 0 || q == 4 ? 6600 + i % 7 : 100 + i % 5; }, 701);
    const TrendHistory jumping = ring([](int q, int i) { return (i + q) % 2 ? 9000 : -9000; }, 701);
    for (const TrendHistory *history : {&smooth, &jumping, &smooth}) {
        plotter.plotTraces(*history, true, plot);
        EXPECT_NE(plot.canvas(), frame);
        plot.clearPlot();
        EXPECT_EQ(plot.canvas(), frame);
    }
}

} // namespace
} // namespace svglogger
