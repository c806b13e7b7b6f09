#include "common/Contrast.h"
#include "common/Settings.h"
#include "reading/RecordReader.h"
#include "reading/RecordSet.h"
#include "reading/RecordTime.h"
#include "quality/ReportSettings.h"
#include "reading/TraceColumns.h"
#include "reading/TriggerReplay.h"
#include "quality/VoltageEvents.h"
#include "recording/CsvLayout.h"
#include "recording/ShiftJisText.h"
#include "recording/TriggerFile.h"
#include "support/ClockZoneGuard.h"
#include "support/RecordSets.h"
#include "support/RowRuns.h"
#include "support/Split.h"
#include "tools/RecordedDay.h"
#include "viewer/PlotPainter.h"
#include "viewer/ReportBlocks.h"
#include "viewer/ReportHtml.h"
#include "viewer/RecordPlot.h"
#include "viewer/SystemClockZone.h"
#include "viewer/ViewerOptions.h"
#include "viewer/ViewerWindow.h"
#include "tools/EuropeanSummerTime.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QSvgGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QPainter>
#include <QWheelEvent>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <optional>
#include <sstream>

namespace svglogger {
namespace {

std::string readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// --- Options ---------------------------------------------------------------------------------

TEST(ViewerOptionsTable, EachCommandLineAsReadOrRefused)
{
    struct Case {
        QStringList arguments;
        ViewerOptions::Mode mode;
        const char *error; // the start of the refusal, or empty
    };
    using M = ViewerOptions::Mode;
    const Case cases[] = {
        {{}, M::Window, ""},
        {{"a.csv", "logs"}, M::Window, ""},
        {{"--png", "o.png", "--size", "800x600", "d"}, M::Png, ""},
        {{"--svg", "o.svg", "d"}, M::Svg, ""},
        {{"--export-csv", "o.csv", "--from", "2026/12/07 1:00:00", "--to", "2026/12/07 2:00:00", "d"}, M::ExportCsv, ""},
        {{"--stats", "d"}, M::Stats, ""},
        {{"--events", "--trigger", "t.ini", "d"}, M::Events, ""},
        {{"--events", "d"}, M::Events, "--events needs --trigger"},
        {{"--stats"}, M::Stats, "no input"},
        {{"--png"}, M::Window, "--png takes the file"},
        {{"--png", "a.png", "--stats", "d"}, M::Png, "--stats goes with no other"},
        {{"--size", "80x60", "--png", "a.png", "d"}, M::Window, "--size takes"},
        {{"--from", "yesterday", "--stats", "d"}, M::Window, "--from takes a time"},
        {{"--from", "2026/12/07 2:00:00", "--to", "2026/12/07 1:00:00", "--stats", "d"}, M::Stats, "--from is after --to"},
        {{"--stats", "--trigger", "t.ini", "d"}, M::Stats, "--trigger goes with --events"},
        {{"--colour", "d"}, M::Window, "unknown option --colour"},
        {{"--png", "a.jpg", "d"}, M::Png, ""},     // the name decides the format
        {{"--stats", "--by", "hour", "d"}, M::Stats, ""},
        {{"--stats", "--by", "week", "d"}, M::Stats, "--by takes hour or day"},
        {{"--png", "a.png", "--by", "day", "d"}, M::Png, "--by goes with --stats"},
        {{"--png", "a.gif", "d"}, M::Png, "--png writes .png, .jpg (.jpeg) or .svg files: 'a.gif'"},
        {{"--svg", "a", "d"}, M::Svg, "--svg writes .png, .jpg (.jpeg) or .svg files"},
        {{"--follow", "d"}, M::Window, ""},
        {{"--follow", "--png", "a.png", "d"}, M::Png, "--follow goes with the window alone"},
        {{"--report-csv", "out", "--settings", "r.ini", "d"}, M::Report, ""},
        {{"--report-csv", "out", "--stats", "d"}, M::Report, "--stats goes with no other"},
        {{"--settings", "r.ini", "--stats", "d"}, M::Stats, "--settings goes with --report or the window"},
        {{"--report", "w.pdf", "--report-html", "w.html", "d"}, M::Report, ""},
        {{"--report-html"}, M::Window, "--report-html takes the file to write"},
        {{"--report-html", "w.html"}, M::Report, "no input"},
        {{"--report", "w.pdf", "--nominal-voltage", "6900", "--svg-sign", "minus", "d"}, M::Report, ""},
        {{"--nominal-voltage", "6900", "--stats", "d"}, M::Stats, "--nominal-voltage goes with --report or the window"},
        {{"--settings", "site.ini", "--nominal-voltage", "22000", "d"}, M::Window, ""}, // the event list's limits
    };
    for (const Case &k : cases) {
        const ViewerOptions options = parseViewerOptions(k.arguments);
        EXPECT_TRUE(options.error.starts_with(k.error)) << k.arguments.join(' ').toStdString() << ": " << options.error;
        EXPECT_EQ(options.error.empty(), std::string(k.error).empty()) << k.arguments.join(' ').toStdString();
        if (options.error.empty()) {
            EXPECT_EQ(options.mode, k.mode) << k.arguments.join(' ').toStdString();
        }
    }
    const ViewerOptions sized = parseViewerOptions({"--png", "o.png", "--size", "800x600", "d"});
    EXPECT_EQ(sized.size, QSize(800, 600));
    const ViewerOptions ranged = parseViewerOptions({"--stats", "--from", "2026/12/07", "--to", "2026/12/07 1:00:00", "d"});
    EXPECT_EQ(ranged.from, parseRowTime("2026/12/07"));
    EXPECT_EQ(ranged.to, parseRowTime("2026/12/07 1:00:00"));
}

// --- The zone's daylight saving ---------------------------------------------------------------

// Qt's zone database against the rules written out by hand: Berlin's summer time each year
// since the rules were made one in 1996; Tokyo keeps none; Sydney's summer spans New Year.
TEST(SystemClockZone, TheDatabasesShiftsAsTheRulesHaveThem)
{
    const SystemClockZone berlin(QTimeZone("Europe/Berlin"));
    const EuropeanSummerTime rules;
    for (int year = 1997; year <= 2037; ++year) {
        const std::vector<ClockShift> got = berlin.shiftsOf(year), want = rules.shiftsOf(year);
        ASSERT_EQ(got.size(), want.size()) << year;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].from, want[i].from) << year << " " << rowTimeText(got[i].from);
            EXPECT_EQ(got[i].shift, want[i].shift) << year;
        }
    }
    const SystemClockZone tokyo(QTimeZone("Asia/Tokyo")); // summer time only from 1948 to 1951
    ASSERT_EQ(tokyo.shiftsOf(2026).size(), 1u);
    EXPECT_EQ(tokyo.shiftsOf(2026).front().shift, 0);
    ASSERT_EQ(tokyo.shiftsOf(1950).size(), 3u);
    EXPECT_EQ(tokyo.shiftsOf(1950)[1].shift, 3600);
    // Sydney 2026: summer time until 5 April 3:00 (2:00 standard), again from 4 October 2:00.
    const std::vector<ClockShift> sydney = SystemClockZone(QTimeZone("Australia/Sydney")).shiftsOf(2026);
    ASSERT_EQ(sydney.size(), 3u);
    EXPECT_EQ(sydney[0].shift, 3600);
    EXPECT_EQ(rowTimeText(sydney[1].from), "2026/04/05 2:00:00");
    EXPECT_EQ(sydney[1].shift, 0);
    EXPECT_EQ(rowTimeText(sydney[2].from), "2026/10/04 2:00:00");
    EXPECT_EQ(sydney[2].shift, 3600);
}

// The program on the autumn day of a logger in Berlin, read in TZ=Europe/Berlin: both 2 o'clock
// hours (one file, recording order) each an hour of its own. By hand: 25 blocks of an hour, the
// 2 o'clock one twice, each of 3,600 × 5 rows; the day 100 % covered in 150 10-minute values; a
// range of 2:00:00–2:59:59 is the first 2 o'clock hour (a reading of the repeated hour is its
// first). In TZ=Asia/Tokyo, which keeps no summer time, the same file's clock goes back.
TEST(DaylightSaving, TheAutumnDayInBerlinTwoHoursAtTwo)
{
    QTemporaryDir dir;
    RecordedDay recorded;
    recorded.folder = dir.filePath("berlin").toStdString();
    recorded.month = 10;
    recorded.day = 25;
    recorded.hours = 25;
    recorded.zone = std::make_shared<EuropeanSummerTime>();
    ASSERT_EQ(recorded.write(), 25 * 3600 * 5);
    const QString folder = QString::fromStdString(recorded.folder);
    const auto view = [&](const char *zone, const QStringList &arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TZ", zone);
        process.setProcessEnvironment(environment);
        process.start(SVG_VIEW_PATH, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        return std::pair{process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
    };
    const auto [hourly, hourlyErr] = view("Europe/Berlin", {"--stats", "--by", "hour", folder});
    EXPECT_EQ(hourlyErr.find("the clock goes back"), std::string::npos) << hourlyErr;
    const std::vector<std::string> lines = test::split(hourly, '\n');
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "2026/10/25 2:00:00"), 2);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string &l) { return l.starts_with("2026/10/2"); }), 25);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string &l) { return l.ends_with(",18000"); }), 25 * 9)
        << "nine columns an hour, each of 18,000 rows";

    const auto [ignored, reportErr] = view("Europe/Berlin", {"--report-csv", dir.filePath("report"), folder});
    const std::string daily = readAll(dir.filePath("report/daily.csv").toStdString());
    EXPECT_NE(daily.find("\r\n2026/10/25,100.00,"), std::string::npos) << daily;
    EXPECT_EQ(test::split(readAll(dir.filePath("report/voltage_10min.csv").toStdString()), '\n').size(), 1 + 150 + 1u);

    view("Europe/Berlin", {"--export-csv", dir.filePath("two.csv"), "--from", "2026/10/25 2:00:00", "--to", "2026/10/25 2:59:59", folder});
    const std::vector<std::string> exported = test::split(readAll(dir.filePath("two.csv").toStdString()), '\n');
    ASSERT_EQ(exported.size(), 1 + 18000 + 1u);
    EXPECT_TRUE(exported[1].starts_with("2026/10/25 2:00:00,"));
    EXPECT_EQ(exported[18000].substr(0, 18), "2026/10/25 2:59:59");

    const auto [tokyo, tokyoErr] = view("Asia/Tokyo", {"--stats", folder});
    EXPECT_NE(tokyoErr.find("the clock goes back from 2026/10/25 2:59:59 to 2026/10/25 2:00:00"), std::string::npos) << tokyoErr;
}

// --- The program on a recorded day ----------------------------------------------------------

// More than 24 hours go on into the next days' files, each with its own date.
TEST(RecordedDays, HoursBeyondADayGoIntoTheNextDaysFiles)
{
    QTemporaryDir dir;
    RecordedDay recorded;
    recorded.folder = dir.path().toStdString();
    recorded.hours = 26;
    recorded.interval = true;
    recorded.intervalSeconds = 600;
    ASSERT_GT(recorded.write(), 0);
    const RecordSet set = RecordSet::load({recorded.folder});
    EXPECT_EQ(set.parts().size(), 26u);
    EXPECT_TRUE(QFile::exists(dir.path() + "/Tarmin8D1H0M0.csv"));
    EXPECT_TRUE(rowTimeText(static_cast<std::int64_t>(set.table().times().back())).starts_with("2026/12/08 1:"));
}

// --dip-depth: each event's one-second dip as deep as asked, so a made week has real dips; by
// default (RecordedDay's and svg-make-day's alike) a dip by EN 50160, below 90 % of 6600 V.
TEST(RecordedDays, DipsAsDeepAsAsked)
{
    struct Case {
        std::optional<double> depth; // none: the default
        bool byTheTool;              // svg-make-day rather than RecordedDay itself
        std::size_t events;
    };
    // 500 V leaves 92.4 % of 6600 V: no dip; 1400 V leaves 78.8 %: one at 1:00 and at 2:00.
    const Case cases[] = {{500.0, false, 0}, {1400.0, false, 2}, {std::nullopt, false, 2}, {std::nullopt, true, 2},
                          {500.0, true, 0}};
    for (const Case &c : cases) {
        QTemporaryDir dir;
        RecordedDay recorded;
        recorded.folder = dir.path().toStdString();
        recorded.hours = 3;
        recorded.eventEverySeconds = 3600;
        if (c.byTheTool) {
            QStringList arguments{dir.path(), "--hours", "3", "--events", "3600"};
            if (c.depth)
                arguments << "--dip-depth" << QString::number(*c.depth);
            QProcess tool;
            tool.start(SVG_MAKE_DAY_PATH, arguments);
            ASSERT_TRUE(tool.waitForFinished(60000));
            ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
        } else {
            if (c.depth)
                recorded.dipVolts = *c.depth;
            ASSERT_GT(recorded.write(), 0);
        }
        const RecordSet set = RecordSet::load({recorded.folder});
        const std::vector<VoltageEvent> events = voltageEvents(set.table(), set.samplePeriod(), 3 * set.samplePeriod());
        const std::string name = (c.byTheTool ? "svg-make-day, " : "RecordedDay, ") + (c.depth ? std::to_string(*c.depth) : "default");
        ASSERT_EQ(events.size(), c.events) << name;
        for (const VoltageEvent &e : events) {
            EXPECT_NEAR(*e.seconds, 1.0, 1e-6) << name;
            EXPECT_NEAR(e.extreme, 6600.0 - c.depth.value_or(1400.0), 100.0) << name;
        }
    }
}

struct ViewerDayFixture : ::testing::Test {
    QTemporaryDir dir;
    std::string day;
    void SetUp() override
    {
        day = dir.path().toStdString() + "/day";
        RecordedDay recorded;
        recorded.folder = day;
        recorded.hours = 2;
        recorded.eventEverySeconds = 600;
        recorded.dipVolts = 500.0; // to 92 %: the trigger's 6400 V catches each, no voltage event
        ASSERT_EQ(recorded.write(), 2 * 3600 * 5);
    }
    struct Run {
        int exitCode;
        std::string out, err;
    };
    Run view(const QStringList &arguments)
    {
        QProcess process;
        process.start(SVG_VIEW_PATH, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), process.readAllStandardOutput().toStdString(),
                process.readAllStandardError().toStdString()};
    }
    QString path(const char *name) const { return dir.path() + "/" + name; }
    // A window of 1200x800 with the day loaded (the recent list in the tests' own settings).
    std::unique_ptr<ViewerWindow> dayWindow(bool following = false)
    {
        QStandardPaths::setTestModeEnabled(true);
        auto window = std::make_unique<ViewerWindow>();
        window->resize(1200, 800);
        window->show();
        QSignalSpy loaded(window.get(), &ViewerWindow::loaded);
        window->setFollowing(following);
        window->open({QString::fromStdString(day)});
        EXPECT_TRUE(loaded.wait(30000));
        return window;
    }
};

TEST_F(ViewerDayFixture, EachCommandOnADayWithItsExitCode)
{
    const QString folder = QString::fromStdString(day);
    // A cut-short row in a file still being written: named, the rest read.
    {
        std::ofstream last(day + "/Tarmin7D2H0M0.csv", std::ios::binary);
        last << *toShiftJis(headerLine(SamplingMode::Continuous, ControllerVersion::Version2)) << "\r\n"
             << "2026/12/07 2:00:00,6600,1,2,3,4,5,6,7,0\r\n2026/12/07 2:00:00,66";
    }
    const Run stats = view({"--stats", folder});
    EXPECT_EQ(stats.exitCode, 0) << stats.err;
    EXPECT_TRUE(stats.out.starts_with("name,min,max,mean,count\n系統電圧(V),")) << stats.out;
    EXPECT_NE(stats.out.find(",36001\n"), std::string::npos) << stats.out; // 2 hours and the one good row
    EXPECT_NE(stats.err.find("Tarmin7D2H0M0.csv:3: last line cut short"), std::string::npos) << stats.err;

    // Trigger replay: one firing per capture, the times as the logger writes them.
    std::ofstream(path("t.ini").toStdString()) << "voltage-window-out = on\nvoltage-lower = 6400\nrecord-count = 50\npre-trigger-count = 10\n";
    const Run events = view({"--events", "--trigger", path("t.ini"), folder});
    EXPECT_EQ(events.exitCode, 0) << events.err;
    const TriggerFile trigger = TriggerFile::read(path("t.ini").toStdString());
    const RecordSet set = RecordSet::load({day});
    std::string expected;
    for (std::size_t row : replayTrigger(set.table(), 0, set.table().rows(), trigger.settings,
                                         static_cast<std::int16_t>(trigger.enabledConditions)))
        expected += rowTimeText(static_cast<std::int64_t>(set.table().times()[row])) + "\n";
    EXPECT_FALSE(expected.empty()) << "the day's dips fire";
    EXPECT_EQ(events.out, expected);
    const Run firstHour = view({"--events", "--trigger", path("t.ini"), "--to", "2026/12/07 0:59:59", folder});
    EXPECT_LT(firstHour.out.size(), events.out.size());
    EXPECT_TRUE(events.out.starts_with(firstHour.out));

    // Export: the first hour byte for byte.
    const Run exported = view({"--export-csv", path("hour.csv"), "--to", "2026/12/07 0:59:59", folder});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(readAll(path("hour.csv").toStdString()), readAll(day + "/Tarmin7D0H0M0.csv"));

    // A picture of the whole day without a display.
    const Run png = view({"--png", path("day.png"), "--size", "800x500", folder});
    EXPECT_EQ(png.exitCode, 0) << png.err;
    const QImage image(path("day.png"));
    EXPECT_EQ(image.size(), QSize(800, 500));
    // The format the name asks for: JPEG bytes under .jpg, whichever option named it.
    const Run jpeg = view({"--png", path("day.jpg"), "--size", "800x500", folder});
    EXPECT_EQ(jpeg.exitCode, 0) << jpeg.err;
    QFile jpegFile(path("day.jpg"));
    ASSERT_TRUE(jpegFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(jpegFile.read(3) == QByteArray("\xFF\xD8\xFF", 3)) << "a JPEG's first bytes";
    EXPECT_EQ(QImage(path("day.jpg")).size(), QSize(800, 500));
    const Run svg = view({"--svg", path("day.svg"), folder});
    EXPECT_EQ(svg.exitCode, 0) << svg.err;
    QFile svgFile(path("day.svg"));
    ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
    const QByteArray svgText = svgFile.readAll();
    EXPECT_TRUE(svgText.contains("<svg") && (svgText.contains("<path") || svgText.contains("<polyline")) && svgText.contains("</svg>"));
    // A picture that stands alone: the title with the range and its year and the source, a
    // legend by the CSV header's names.
    EXPECT_TRUE(svgText.contains("2026/12/07")) << "the title's range";
    EXPECT_TRUE(svgText.contains(QString::fromStdString(day).toUtf8())) << "the title's source";
    // (The SVG writer splits a text where its font changes: the names' Japanese runs.)
    for (const char *name : {"系統電圧", "負荷電力", "負荷無効電力", "逆相電圧", "逆指令"})
        EXPECT_TRUE(svgText.contains(name)) << name;
    // Too small to be read: refused, naming the smallest size.
    const Run small = view({"--png", path("small.png"), "--size", "400x300", folder});
    EXPECT_EQ(small.exitCode, 2);
    EXPECT_NE(small.err.find("the picture's labels would overlap: give --size 640x"), std::string::npos) << small.err;
    EXPECT_FALSE(QFile::exists(path("small.png")));

    // A block an hour, each after its time as the files write it.
    const Run hourly = view({"--stats", "--by", "hour", QString::fromStdString(day)});
    EXPECT_EQ(hourly.exitCode, 0) << hourly.err;
    const std::vector<std::string> blocks = test::split(hourly.out, '\n');
    ASSERT_GE(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], "2026/12/07");
    EXPECT_EQ(blocks[1], "name,min,max,mean,count");
    EXPECT_NE(hourly.out.find("\n2026/12/07 1:00:00\nname,min,max,mean,count\n"), std::string::npos);
    EXPECT_NE(hourly.out.find(",18000\n"), std::string::npos) << "an hour of five rows a second";
    // One day: its line, then what --stats says of all of it.
    const Run daily = view({"--stats", "--by", "day", QString::fromStdString(day)});
    EXPECT_EQ(daily.out, "2026/12/07\n" + view({"--stats", QString::fromStdString(day)}).out);

    // A range without a row: the same outcome for every command.
    for (const QStringList &command : {QStringList{"--stats"}, QStringList{"--export-csv", path("empty.csv")},
                                       QStringList{"--png", path("empty.png")}, QStringList{"--svg", path("empty.svg")}}) {
        const Run empty = view(command + QStringList{"--from", "2026/12/09 0:00:00", "--to", "2026/12/09 1:00:00",
                                                     QString::fromStdString(day)});
        EXPECT_EQ(empty.exitCode, 2) << command.join(' ').toStdString();
        EXPECT_NE(empty.err.find("no row in the range"), std::string::npos) << empty.err;
    }
    // Help asked for goes to standard output.
    const Run help = view({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: svg-logger-view"), std::string::npos);
    EXPECT_TRUE(help.err.find("Usage") == std::string::npos) << help.err;

    // Refusals: exit 2, each named.
    EXPECT_EQ(view({"--stats", "--bogus", folder}).exitCode, 2);
    std::ofstream(path("junk.csv").toStdString()) << "not,a,log\r\n";
    const Run junk = view({"--stats", path("junk.csv"), path("missing.csv")});
    EXPECT_EQ(junk.exitCode, 2);
    EXPECT_NE(junk.err.find("junk.csv: not a log file of the logger"), std::string::npos) << junk.err;
    EXPECT_NE(junk.err.find("missing.csv: "), std::string::npos) << junk.err;
    EXPECT_EQ(view({"--events", "--trigger", path("missing.ini"), folder}).exitCode, 2);
}

// An interval day of 60 s rows on the command line: a row stamped 1:00:00 stands for 0:59–1:00,
// so it counts in the hour 0:00 and an export of the hour 1:00 leaves it out. By hand: the
// files hold 0:01:00–0:59:00 (59 rows) and 1:00:00–1:59:00 (60 rows), each of 300 samples;
// the hour 0:00 holds 0:01:00–1:00:00 (60 rows), the hour 1:00 holds 1:01:00–1:59:00 (59).
TEST_F(ViewerDayFixture, AnIntervalDaysRowsCountInTheHourTheirIntervalEndsIn)
{
    RecordedDay recorded;
    recorded.folder = path("interval").toStdString();
    recorded.hours = 2;
    recorded.interval = true;
    recorded.intervalSeconds = 60;
    ASSERT_EQ(recorded.write(), 59 + 60);
    const QString folder = QString::fromStdString(recorded.folder);
    const Run hourly = view({"--stats", "--by", "hour", folder});
    EXPECT_EQ(hourly.exitCode, 0) << hourly.err;
    const std::size_t second = hourly.out.find("2026/12/07 1:00:00\n");
    ASSERT_NE(second, std::string::npos) << hourly.out;
    EXPECT_TRUE(hourly.out.starts_with("2026/12/07\n")) << hourly.out;
    EXPECT_NE(hourly.out.substr(0, second).find("\nDT数,300,300,300,60\n"), std::string::npos) << hourly.out;
    EXPECT_NE(hourly.out.substr(second).find("\nDT数,300,300,300,59\n"), std::string::npos) << hourly.out;

    const Run exported = view({"--export-csv", path("hour1.csv"), "--from", "2026/12/07 1:00:00", "--to", "2026/12/07 1:59:59", folder});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    const std::vector<std::string> lines = test::split(readAll(path("hour1.csv").toStdString()), '\n');
    ASSERT_EQ(lines.size(), 1 + 59 + 1u) << "the header, 59 rows, nothing after the last line end";
    EXPECT_TRUE(lines[1].starts_with("2026/12/07 1:01:00,")) << lines[1];
    EXPECT_TRUE(lines[59].starts_with("2026/12/07 1:59:00,")) << lines[59];

    // 1:00:30–1:01:10 holds the stamp 1:01:00 but not its interval (1:00:00, 1:01:00]: a range
    // without a row, the same outcome for every command (decided by the stamps, --stats
    // printed counts of 0); 1:00:00–1:00:59 holds that interval whole.
    for (const QStringList &command : {QStringList{"--stats"}, QStringList{"--stats", "--by", "hour"},
                                       QStringList{"--export-csv", path("part.csv")}, QStringList{"--png", path("part.png")},
                                       QStringList{"--report-csv", path("part")}}) {
        const Run part = view(command + QStringList{"--from", "2026/12/07 1:00:30", "--to", "2026/12/07 1:01:10", folder});
        EXPECT_EQ(part.exitCode, 2) << command.join(' ').toStdString() << "\n" << part.out;
        EXPECT_NE(part.err.find("no row in the range"), std::string::npos) << command.join(' ').toStdString() << ": " << part.err;
    }
    const Run whole = view({"--stats", "--from", "2026/12/07 1:00:00", "--to", "2026/12/07 1:00:59", folder});
    EXPECT_EQ(whole.exitCode, 0) << whole.err;
    EXPECT_NE(whole.out.find("\nDT数,300,300,300,1\n"), std::string::npos) << "1:01:00's interval, whole: " << whole.out;
}

// The power-quality report: eight CSV files, a PDF and an HTML page, the same bytes from the same
// inputs; a bad
// settings file named by its line before anything is read or written; a folder that cannot be
// written named with the system's reason, and nothing half-written left in it.
TEST_F(ViewerDayFixture, TheReportAllOrNoneAndTheSameEachTime)
{
    const QString folder = QString::fromStdString(day);
    const Run first = view({"--report-csv", path("report"), folder});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const QStringList names{"compliance.csv", "daily.csv",   "dip_table.csv",   "events.csv",
                            "files.csv",      "summary.csv", "swell_table.csv", "voltage_10min.csv"};
    EXPECT_EQ(QDir(path("report")).entryList(QDir::Files, QDir::Name), names);
    const auto bytes = [](const QString &file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray tenMinutes = bytes(path("report") + "/voltage_10min.csv");
    EXPECT_TRUE(tenMinutes.startsWith("start,v_rms,samples,incomplete,flagged,from_interval_means,class\r\n2026/12/07 0:00:00,")) << tenMinutes.left(80).toStdString();
    EXPECT_EQ(tenMinutes.count('\n'), 1 + 12) << "two hours: twelve 10-minute values";
    EXPECT_TRUE(bytes(path("report") + "/compliance.csv").contains("voltage_10pct,5940-7260 V,12,12,100.00,pass"));
    ASSERT_EQ(view({"--report-csv", path("again"), folder}).exitCode, 0);
    for (const QString &name : names)
        EXPECT_EQ(bytes(path("report") + "/" + name), bytes(path("again") + "/" + name)) << name.toStdString();

    std::ofstream(path("r.ini").toStdString()) << "nominal-voltage = 6600\nsvg-sign = both\n";
    const Run badSettings = view({"--report-csv", path("bad"), "--settings", path("r.ini"), folder});
    EXPECT_EQ(badSettings.exitCode, 2);
    EXPECT_NE(badSettings.err.find("r.ini:2: svg-sign takes plus or minus"), std::string::npos) << badSettings.err;
    EXPECT_FALSE(QFileInfo::exists(path("bad")));

    std::ofstream(path("user.ini").toStdString()) << "user-band-low = 6590\nuser-band-high = 6610\nuser-band-share = 99\n";
    ASSERT_EQ(view({"--report-csv", path("user"), "--settings", path("user.ini"), folder}).exitCode, 0);
    EXPECT_TRUE(bytes(path("user") + "/compliance.csv").contains("\r\nuser_band,6590-6610 V,12,"));

    QDir().mkpath(path("locked"));
    QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::ExeOwner);
    if (::geteuid() != 0) { // root writes anywhere
        const Run locked = view({"--report-csv", path("locked"), folder});
        EXPECT_EQ(locked.exitCode, 2);
        EXPECT_NE(locked.err.find("cannot write"), std::string::npos) << locked.err;
        EXPECT_TRUE(QDir(path("locked")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
    // The PDF and the HTML page: fonts embedded, nothing outside the page named, the same
    // bytes from the same inputs in any time zone (SOURCE_DATE_EPOCH fixing the PDF's creation
    // date). 1765069323 s = 20429 days + 3723 s; day 20429 is 2025-12-07 (2025-01-01 is day
    // 55 × 365 + 14 leap days = 20089, and day 341 of 2025 is December 7): 01:02:03 UTC.
    const QByteArray creationDate = "/CreationDate (D:20251207010203Z)";
    for (const char *zone : {"Asia/Tokyo", "UTC", "America/New_York"}) {
        QProcessEnvironment fixedDate = QProcessEnvironment::systemEnvironment();
        fixedDate.insert("SOURCE_DATE_EPOCH", "1765069323");
        fixedDate.insert("TZ", zone);
        QProcess process;
        process.setProcessEnvironment(fixedDate);
        const QString name = path("tz-") + QString(zone).replace('/', '-');
        process.start(SVG_VIEW_PATH, {"--report", name + ".pdf", "--report-html", name + ".html", folder});
        ASSERT_TRUE(process.waitForFinished(60000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        const QByteArray zoned = bytes(name + ".pdf");
        EXPECT_TRUE(zoned.contains(creationDate)) << zone << ": " << zoned.mid(zoned.indexOf("/CreationDate"), 40).toStdString();
        // Each object where the cross-reference table says it starts ("n 0 obj").
        const qsizetype xref = zoned.mid(zoned.lastIndexOf("startxref") + 9).trimmed().split('\n').front().trimmed().toLongLong();
        ASSERT_TRUE(zoned.mid(xref).startsWith("xref\n0 ")) << zone;
        const QList<QByteArray> entries = zoned.mid(xref, zoned.indexOf("trailer", xref) - xref).split('\n');
        for (qsizetype object = 1; object + 2 < entries.size(); ++object)
            if (entries[object + 2].contains(" n")) {
                EXPECT_TRUE(zoned.mid(entries[object + 2].left(10).toLongLong()).startsWith(QByteArray::number(object) + " 0 obj"))
                    << zone << ": object " << object;
            }
    }
    const QByteArray pdf = bytes(path("tz-Asia-Tokyo.pdf")), html = bytes(path("tz-Asia-Tokyo.html"));
    EXPECT_TRUE(pdf.startsWith("%PDF-"));
    EXPECT_TRUE(pdf == bytes(path("tz-UTC.pdf"))) << "Asia/Tokyo and UTC";
    EXPECT_TRUE(pdf == bytes(path("tz-America-New_York.pdf"))) << "Asia/Tokyo and America/New_York";
    EXPECT_TRUE(html == bytes(path("tz-UTC.html")));
    EXPECT_FALSE(html.contains("http")) << "a page that stands alone";
    EXPECT_EQ(html.count("<svg"), 5) << "five pictures inline";
    EXPECT_TRUE(html.contains("<h2>2. 供給電圧 10 分値 — EN 50160 の方法</h2>"));
    const QString pdffonts = QStandardPaths::findExecutable("pdffonts");
    ASSERT_FALSE(pdffonts.isEmpty()) << "poppler-utils (scripts/deps.sh installs it)";
    QProcess fonts;
    fonts.start(pdffonts, {path("tz-Asia-Tokyo.pdf")});
    ASSERT_TRUE(fonts.waitForFinished(30000));
    const QStringList fontLines = QString::fromUtf8(fonts.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).mid(2);
    ASSERT_FALSE(fontLines.isEmpty());
    for (const QString &line : fontLines)
        EXPECT_EQ(line.simplified().split(' ').value(4), "yes") << "embedded: " << line.toStdString();
    EXPECT_TRUE(fontLines.join('\n').contains("IPAGothic")) << "the Japanese text's own font";
    // The first page, to be signed: the summary alone, every parameter a row with its class and
    // verdict, what the values cannot see; the sections from the second page on. (The text of
    // a table comes out cell by cell, a wrapped cell's lines apart.)
    const auto pageText = [&](int page) {
        QProcess text;
        text.start(QStandardPaths::findExecutable("pdftotext"), {"-f", QString::number(page), "-l", QString::number(page), path("tz-Asia-Tokyo.pdf"), "-"});
        EXPECT_TRUE(text.waitForFinished(30000));
        return QString::fromUtf8(text.readAllStandardOutput());
    };
    const QString firstPage = pageText(1);
    for (const char *said : {"要約 — EN 50160:2010 method, indicative", "場所: day", "供給電圧の変動", "電圧不平衡", "電圧低下", "電圧上昇",
                             "短時間停電", "長時間停電", "急速な電圧変化", "周波数", "フリッカ", "高調波・THD", "信号電圧", "の方法",
                             "参考値", "測定不可", "限度値なし", "測定しているのは線間電圧 1 つだけです", "欠測の間の停電は記録されません", "確認者"})
        EXPECT_TRUE(firstPage.contains(QString::fromUtf8(said))) << said << "\n" << firstPage.toStdString();
    EXPECT_FALSE(firstPage.contains(QString::fromUtf8("1. 概要")));
    EXPECT_TRUE(pageText(2).contains(QString::fromUtf8("1. 概要")));

    // Each key on the command line too, winning over the file's.
    ASSERT_EQ(view({"--report-csv", path("narrow"), "--settings", path("user.ini"), "--user-band-high", "6605", folder}).exitCode, 0);
    EXPECT_TRUE(bytes(path("narrow") + "/compliance.csv").contains("\r\nuser_band,6590-6605 V,12,"));
    const Run badOption = view({"--report-csv", path("bad"), "--svg-sign", "both", folder});
    EXPECT_EQ(badOption.exitCode, 2);
    EXPECT_NE(badOption.err.find("--svg-sign takes plus or minus, not 'both'"), std::string::npos) << badOption.err;

    // In English when its settings say so.
    std::ofstream(path("en.ini").toStdString()) << "language = en\n";
    ASSERT_EQ(view({"--report-html", path("en.html"), "--settings", path("en.ini"), folder}).exitCode, 0);
    EXPECT_TRUE(bytes(path("en.html")).contains("<h2>2. Supply voltage, 10-minute values — EN 50160 method</h2>"));
    EXPECT_TRUE(bytes(path("en.html")).contains("language = en"));

    std::ofstream(path("plain").toStdString()) << "a file where the folder should be";
    const Run notAFolder = view({"--report-csv", path("plain") + "/sub", folder});
    EXPECT_EQ(notAFolder.exitCode, 2);
    EXPECT_NE(notAFolder.err.find("cannot make"), std::string::npos) << notAFolder.err;
}

// The report's event list: every event in events.csv and on the HTML page; the PDF the 20
// deepest and longest, with "N more in events.csv" only when that file is written in the same
// run. Twelve minutes from 5:00:00 at 6600 V, event i starting at second 30 i + 2:
//   even i up to 16: one row (0.2 s) at 1000 + 50 i V (deviations from Uc 5600 … 4800 V);
//   i = 18: one row at 8000 V, a swell (deviation 1400 V);
//   odd i up to 19: 10 + (i − 1) / 2 seconds at 5900 V (10 … 19 s, deviation 700 V);
//   i = 20: 2 rows at 5900 V, i = 21: 2 rows at 5850 V (0.4 s, deviations 700 and 750 V).
// By hand: the 10 farthest from Uc are the even i up to 18, the 10 longest of the rest the odd
// i up to 19; events 20 (5:10:02) and 21 (5:10:32) are left out of the PDF: "2 more".
// Three generated hours with a 1400 V dip a minute from 0:01:00: 179 alike, 159 more.
TEST(ViewerReportEvents, ThePdfTheTwentyDeepestAndLongestTheHtmlAndCsvAll)
{
    QTemporaryDir dir;
    const QString handMade = dir.path() + "/hand";
    QDir().mkpath(handMade);
    {
        std::vector<int> volts(720 * 5, 6600);
        for (int i = 0; i < 22; ++i) {
            const int first = (30 * i + 2) * 5;
            const int rows = i >= 20 ? 2 : i % 2 == 0 ? 1 : 5 * (10 + (i - 1) / 2);
            const int level = i <= 16 && i % 2 == 0 ? 1000 + 50 * i : i == 18 ? 8000 : i == 21 ? 5850 : 5900;
            for (int row = first; row < first + rows; ++row)
                volts[static_cast<std::size_t>(row)] = level;
        }
        std::ofstream out((handMade + "/Tarmin7D5H0M0.csv").toStdString(), std::ios::binary);
        out << *toShiftJis(headerLine(SamplingMode::Continuous, ControllerVersion::Version2)) << "\r\n";
        for (int row = 0; row < 720 * 5; ++row) {
            const int second = row / 5;
            out << "2026/12/07 5:" << second / 600 << second / 60 % 10 << ":" << second % 60 / 10 << second % 10 << ","
                << volts[static_cast<std::size_t>(row)] << ",1,2,3,4,5,6,7,0\r\n";
        }
    }
    const QString generated = dir.path() + "/generated";
    RecordedDay day;
    day.folder = generated.toStdString();
    day.hours = 3;
    day.eventEverySeconds = 60;
    day.dipVolts = 1400.0;
    ASSERT_GT(day.write(), 0);

    struct Case {
        QString folder;
        bool csv;
        std::size_t events;
        std::vector<int> printed; // the hand-made events the PDF lists; none: not checked
        std::string more;         // the PDF's last words on them
    };
    std::vector<int> first20(20);
    for (int i = 0; i < 20; ++i)
        first20[static_cast<std::size_t>(i)] = i;
    const Case cases[] = {{handMade, true, 22, first20, "2 more in events.csv"},
                          {handMade, false, 22, first20, "2 more"},
                          {generated, true, 179, {}, "159 more in events.csv"},
                          {generated, false, 179, {}, "159 more"}};
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    ASSERT_FALSE(pdftotext.isEmpty()) << "poppler-utils (scripts/deps.sh installs it)";
    int run = 0;
    for (const Case &c : cases) {
        const QString out = dir.path() + "/run" + QString::number(++run);
        SCOPED_TRACE(out.toStdString() + (c.csv ? " with --report-csv" : " without --report-csv"));
        QStringList arguments{"--language", "en", "--report", out + ".pdf", "--report-html", out + ".html"};
        if (c.csv)
            arguments << "--report-csv" << out;
        QProcess view;
        view.start(SVG_VIEW_PATH, arguments << c.folder);
        ASSERT_TRUE(view.waitForFinished(60000));
        ASSERT_EQ(view.exitCode(), 0) << view.readAllStandardError().toStdString();
        if (c.csv) {
            EXPECT_EQ(QString::fromStdString(readAll((out + "/events.csv").toStdString())).count('\n'), static_cast<qsizetype>(c.events + 1));
        }
        const QString html = QString::fromStdString(readAll((out + ".html").toStdString()));
        EXPECT_EQ(html.count("<tr><td>dip</td>") + html.count("<tr><td>swell</td>"), static_cast<qsizetype>(c.events)) << "all on the page";
        QProcess text;
        text.start(pdftotext, {"-layout", out + ".pdf", "-"});
        ASSERT_TRUE(text.waitForFinished(30000));
        const QString pdf = QString::fromUtf8(text.readAllStandardOutput());
        EXPECT_TRUE(pdf.contains("20 of the " + QString::number(c.events) + " events")) << pdf.toStdString();
        const QStringList lines = pdf.split('\n');
        const auto moreLine = std::find_if(lines.begin(), lines.end(), [](const QString &line) { return line.trimmed().endsWith(" more") || line.contains(" more in "); });
        EXPECT_EQ(moreLine == lines.end() ? "(none)" : moreLine->trimmed().toStdString(), c.more);
        if (c.printed.empty())
            continue;
        for (int i = 0; i < 22; ++i) {
            const int second = 30 * i + 2;
            const QString start = QString("2026/12/07 5:%1%2:%3%4").arg(second / 600).arg(second / 60 % 10).arg(second % 60 / 10).arg(second % 10);
            const bool listed = std::find(c.printed.begin(), c.printed.end(), i) != c.printed.end();
            EXPECT_EQ(pdf.contains(start), listed) << "event " << i << " at " << start.toStdString();
        }
    }
}

// The report's period is what was asked, or the whole days from the first row's to the last
// row's: time without rows counts against coverage, a day without rows stays a row of every
// daily table (its figures "-"). 26 hours of rows from 2026/12/07 0:00:00; by hand: the 7th
// 100 %, the 8th 2 of 24 hours = 8.33 %, the 6th (asked, no row) 0 %; over three days 26 ÷ 72
// = 36.11 %, over the two whole days 26 ÷ 48 = 54.17 %, from the 7th at noon 14 ÷ 36 = 38.89 %.
// The 10-minute intervals without a row: three days 432 − 156, two 288 − 156, 216 − 84.
TEST(ViewerReport, ThePeriodIsWhatWasAskedAndEachDayARow)
{
    QTemporaryDir dir;
    RecordedDay recorded;
    recorded.folder = dir.path().toStdString() + "/site";
    recorded.hours = 26;
    ASSERT_EQ(recorded.write(), 26 * 3600 * 5);
    struct Case {
        QStringList range;
        QStringList days; // daily.csv's rows: date and coverage
        const char *coverage;
        int missing;
        int withoutRows; // days whose rows of the effect and energy tables say "-"
    } cases[] = {
        {{"--from", "2026/12/06 0:00:00", "--to", "2026/12/08 23:59:59"},
         {"2026/12/06,0.00,", "2026/12/07,100.00,", "2026/12/08,8.33,"}, "36.11", 432 - 156, 1},
        {{}, {"2026/12/07,100.00,", "2026/12/08,8.33,"}, "54.17", 288 - 156, 0},
        {{"--from", "2026/12/07 12:00:00"}, {"2026/12/07,100.00,", "2026/12/08,8.33,"}, "38.89", 216 - 84, 0},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.range.join(' ').toStdString());
        QTemporaryDir out;
        QProcess process;
        process.start(SVG_VIEW_PATH, QStringList{"--report-csv", out.path(), "--report-html", out.filePath("r.html"), "--language", "en"}
                                         + k.range + QStringList{QString::fromStdString(recorded.folder)});
        ASSERT_TRUE(process.waitForFinished(60000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        const std::vector<std::string> daily = test::split(readAll(out.filePath("daily.csv").toStdString()), '\n');
        ASSERT_EQ(daily.size(), 1 + static_cast<std::size_t>(k.days.size()) + 1) << "the header, a row a day, the last line's end";
        for (qsizetype i = 0; i < k.days.size(); ++i)
            EXPECT_TRUE(daily[static_cast<std::size_t>(i) + 1].starts_with(k.days[i].toStdString())) << daily[static_cast<std::size_t>(i) + 1];
        const std::string summary = readAll(out.filePath("summary.csv").toStdString());
        EXPECT_NE(summary.find("\r\nvoltage_variation,EN 50160 method,5940-7260 V (99 %); 5610-7590 V (100 %),"), std::string::npos);
        EXPECT_NE(summary.find(",0," + std::to_string(k.missing) + ","), std::string::npos) << summary;
        const QString page = QString::fromUtf8(readAll(out.filePath("r.html").toStdString()));
        EXPECT_TRUE(page.contains(QString("<p>Coverage %1 % (").arg(k.coverage))) << "section 7";
        EXPECT_TRUE(page.contains(QString("Coverage %1 %.</p>").arg(k.coverage))) << "the summary";
        EXPECT_EQ(page.count("<td>2026/12/06</td><td>-</td>"), 2 * k.withoutRows) << "the effect's and the energy's tables";
        EXPECT_TRUE(page.contains("Site: site.")) << "the folder's name";
    }
}

// The report's section 7 in English, its coverage paragraph.
QString coverageParagraph(const PowerQualityReport &report)
{
    for (const ReportBlock &block : reportBlocks(report, ReportCsvFiles::NotWritten))
        if (block.kind == ReportBlock::Kind::Paragraph && block.text.startsWith("Coverage "))
            return block.text;
    return {};
}

const double kReportMidnight = 1'800'000'000.0 - 1'800'000'000 % 86400;

test::RowRun dayRun(double from, double to, std::vector<int> perSecond = {5}, double span = 0.0)
{
    return {kReportMidnight + from, kReportMidnight + to, std::move(perSecond), span};
}

// Availability is of the time recorded, as coverage is: the time the rows stand for, not rows
// × the median step. A day, the SVG running (status bit 0x0001) until 18:00 and its output not
// 0 until 6:00. By hand: 18 ÷ 24 h = 75 %, 6 ÷ 24 h = 25 %, at any rate and from interval rows;
// half a day of rows, running all of it, 100 % of the 12 h recorded. Rows × the median step
// gave at 4.8 rows a second 64,800 ÷ (414,720 × 0.2) = 78.13 %, at 4.67 64,800 ÷ (403,200 ×
// 0.25) = 64.29 % (output 21.43 %), and with 300 s interval rows after half a day at 4.67
// 64,800 ÷ ((201,600 + 144) × 0.25) = 128.48 %.
TEST(ViewerReport, AvailabilityOfTheTimeRecorded)
{
    namespace c = recordColumn;
    using Sample = MeasurementSample;
    const std::vector<int> k48{5, 5, 5, 5, 4}, k467{5, 5, 4};
    struct Case {
        const char *name;
        std::vector<test::RowRun> runs;
        std::uint16_t runningBits;
        const char *coverage; // after "Coverage "
        const char *share;    // availability, else the time with output
    } cases[] = {
        {"five a second", {dayRun(0, 86400)}, 1, "100.00 % (24.00 h recorded of the period's 24.00 h), 0 gaps.", "75.00"},
        {"4.8 a second", {dayRun(0, 86400, k48)}, 1, "100.00 % (24.00 h recorded of the period's 24.00 h), 0 gaps.", "75.00"},
        {"4.67 a second", {dayRun(0, 86400, k467)}, 1, "100.00 % (24.00 h recorded of the period's 24.00 h), 0 gaps.", "75.00"},
        {"interval rows of 60 s", {dayRun(0, 86400, {}, 60)}, 1, "100.00 % (24.00 h recorded of the period's 24.00 h), 0 gaps.", "75.00"},
        {"4.67 a second, then interval rows of 300 s", {dayRun(0, 43200, k467), dayRun(43200, 86400, {}, 300)}, 1,
         "100.00 % (24.00 h recorded of the period's 24.00 h), 0 gaps.", "75.00"},
        {"half a day", {dayRun(0, 43200)}, 1, "50.00 % (12.00 h recorded of the period's 24.00 h), 0 gaps.", "100.00"},
        {"4.67 a second, no running bits", {dayRun(0, 86400, k467)}, 0, "100.00 % (24.00 h recorded of the period's 24.00 h), 0 gaps.", "25.00"},
        {"interval rows of 60 s, no running bits", {dayRun(0, 86400, {}, 60)}, 0,
         "100.00 % (24.00 h recorded of the period's 24.00 h), 0 gaps.", "25.00"},
    };
    const std::vector<int> quantities{c::value(Sample::GridVoltage), c::value(Sample::SvgOutput), c::kStatus};
    const test::Signal signal = [](double t, float *v) {
        const double hour = (t - kReportMidnight) / 3600.0;
        v[0] = 6600.0f;
        v[1] = hour < 6.0 ? -200.0f : 0.0f;
        v[2] = hour < 18.0 ? 3.0f : 2.0f; // bit 0: running
    };
    const QRegularExpression share(QString::fromUtf8("(?:Availability \\(running bits[^)]*\\)|SVG output ≠ 0:) ([0-9.]+) %"));
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        ReportSettings settings;
        settings.language = ReportSettings::Language::English;
        settings.runningBits = k.runningBits;
        const PowerQualityReport report = makeReport(test::setOfRuns(k.runs, quantities, signal), kReportMidnight, kReportMidnight + 86400, settings);
        const QString text = coverageParagraph(report);
        EXPECT_TRUE(text.startsWith(QString("Coverage ") + k.coverage)) << text.toStdString();
        EXPECT_EQ(text.contains("Availability (running bits"), k.runningBits != 0) << text.toStdString();
        const QRegularExpressionMatch found = share.match(text);
        ASSERT_TRUE(found.hasMatch()) << text.toStdString();
        EXPECT_EQ(found.captured(1).toStdString(), k.share) << text.toStdString();
    }
}

// The report says what its figures come from. A day with a 1 s dip to 5000 V every 15 minutes
// (96 minutes of 1440) and a negative sequence of 2.5 % turning once in 10 s. By hand: from
// continuous rows no 10-minute value from interval means, 96 minutes left out of ΔV; from 60 s
// interval rows all 144 values from interval means, no ΔV figure, and no unbalance because
// their means of D and Q cancel (not for want of the columns); half a day of each: 72 values
// from interval means, 48 minutes left out, the unbalance of the continuous half; an older
// controller's files have no negative-sequence columns.
TEST(ViewerReport, TheTextSaysWhatTheFiguresComeFrom)
{
    namespace c = recordColumn;
    using Sample = MeasurementSample;
    struct Case {
        const char *name;
        std::vector<test::RowRun> runs;
        bool negativeSequence;
        const char *intervalMeans;                 // in section 2; empty: not said
        std::optional<std::size_t> eventMinutes;   // in section 5 and its table
        const char *unbalance;                     // in section 3
    } cases[] = {
        {"continuous rows", {dayRun(0, 86400)}, true, "", 96, "Share of 10-minute RMS values of u₂"},
        {"interval rows of 60 s", {dayRun(0, 86400, {}, 60)}, true, " 144 of them from interval means", std::nullopt,
         "Not available: the negative sequence is in interval rows only, whose D and Q are the interval's means, which cancel"},
        {"continuous in the morning, interval rows after", {dayRun(0, 43200), dayRun(43200, 86400, {}, 60)}, true,
         " 72 of them from interval means", 48, "Share of 10-minute RMS values of u₂"},
        {"without the negative sequence", {dayRun(0, 86400, {}, 60)}, false, " 144 of them from interval means", std::nullopt,
         "Not available: the files have no negative-sequence columns."},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        std::vector<int> quantities{c::value(Sample::GridVoltage), c::value(Sample::LoadActivePower), c::value(Sample::LoadReactivePower),
                               c::value(Sample::SvgOutput)};
        if (k.negativeSequence)
            quantities.insert(quantities.end(), {c::value(Sample::NegSeqVoltageD), c::value(Sample::NegSeqVoltageQ)});
        const test::Signal signal = [&](double t, float *v) {
            const double ofDay = t - kReportMidnight, second = std::fmod(ofDay, 60.0);
            const bool dip = static_cast<std::int64_t>(ofDay / 60.0) % 15 == 7 && second >= 10.0 && second < 11.0;
            const double side = second < 30.0 ? 1.0 : -1.0, angle = 2.0 * std::numbers::pi * ofDay / 10.0;
            v[0] = dip ? 5000.0f : static_cast<float>(6600.0 + 6.7 * side);
            v[1] = 800.0f;
            v[2] = 600.0f;
            v[3] = static_cast<float>(-1000.0 * side);
            if (k.negativeSequence) {
                v[4] = static_cast<float>(0.025 * 6600.0 * std::cos(angle));
                v[5] = static_cast<float>(0.025 * 6600.0 * std::sin(angle));
            }
        };
        ReportSettings settings;
        settings.language = ReportSettings::Language::English;
        settings.reactancePercent = 5.0;
        const PowerQualityReport report = makeReport(test::setOfRuns(k.runs, quantities, signal), kReportMidnight, kReportMidnight + 86400, settings);
        QString text;
        const QList<QStringList> *effect = nullptr;
        const std::vector<ReportBlock> blocks = reportBlocks(report, ReportCsvFiles::NotWritten);
        for (const ReportBlock &block : blocks) {
            text += block.text + "\n";
            if (block.kind == ReportBlock::Kind::Table && block.header.contains("ΔV_unc max"))
                effect = &block.rows;
        }
        const qsizetype values = text.indexOf("144 10-minute values (");
        ASSERT_GE(values, 0) << text.toStdString();
        const QString tenMinutes = text.mid(values, text.indexOf('\n', values) - values);
        if (*k.intervalMeans)
            EXPECT_TRUE(tenMinutes.contains(k.intervalMeans)) << tenMinutes.toStdString();
        else
            EXPECT_FALSE(tenMinutes.contains("interval means")) << tenMinutes.toStdString();
        ASSERT_NE(effect, nullptr);
        if (k.eventMinutes) {
            EXPECT_TRUE(text.contains(QString("left out of ΔV and the suppression (the minutes of continuous rows alone are judged): "
                                              "%1 minutes in all").arg(*k.eventMinutes)))
                << text.toStdString();
            ASSERT_EQ(effect->size(), 1);
            EXPECT_EQ(effect->front().back(), QString::number(*k.eventMinutes)) << effect->front().join(' ').toStdString();
        } else {
            EXPECT_FALSE(text.contains("minutes in all")) << text.toStdString();
        }
        EXPECT_TRUE(text.contains(QString::fromUtf8(k.unbalance))) << text.toStdString();
    }
}

// The report names what it was given and what of it it used: a folder of three continuous
// hours, an interval file of the middle hour beside them ("-2"), a torn last line in the last
// hour. By hand: the interval file's 60 rows all lie where continuous rows are, so none is used;
// the torn line is one unreadable line; the other two files are used whole.
TEST(ViewerReport, TheFilesUsedAndLeftOutInTheReport)
{
    QTemporaryDir dir;
    RecordedDay continuous;
    continuous.folder = dir.filePath("site").toStdString();
    continuous.hours = 3;
    ASSERT_EQ(continuous.write(), 3 * 3600 * 5);
    RecordedDay interval = continuous;
    interval.folder = dir.filePath("interval").toStdString();
    interval.interval = true;
    interval.intervalSeconds = 60;
    ASSERT_GT(interval.write(), 0);
    ASSERT_TRUE(QFile::copy(dir.filePath("interval/Tarmin7D1H0M0.csv"), dir.filePath("site/Tarmin7D1H0M0-2.csv")));
    std::ofstream(dir.filePath("site/Tarmin7D2H0M0.csv").toStdString(), std::ios::app | std::ios::binary)
        << "2026/12/07 2:59:59,66";
    QProcess view;
    view.start(SVG_VIEW_PATH, {"--report-csv", dir.filePath("out"), "--report-html", dir.filePath("r.html"), "--language", "en",
                               dir.filePath("site")});
    ASSERT_TRUE(view.waitForFinished(60000));
    ASSERT_EQ(view.exitCode(), 0) << view.readAllStandardError().toStdString();
    const std::vector<std::string> lines = test::split(readAll(dir.filePath("out/files.csv").toStdString()), '\n');
    ASSERT_EQ(lines.size(), 1 + 4 + 1u) << "the header, a line a file, the last line's end";
    EXPECT_EQ(lines[0], "file,mode,interval_s,from,to,rows_used,rows_left_out,unreadable_lines,note\r");
    const auto lineOf = [&](const std::string &name) {
        const auto found = std::find_if(lines.begin(), lines.end(), [&](const std::string &l) { return l.find("/" + name + ",") != std::string::npos; });
        return found == lines.end() ? std::string() : *found;
    };
    EXPECT_NE(lineOf("Tarmin7D0H0M0.csv").find(",continuous,,2026/12/07 0:00:00,2026/12/07 1:00:00,18000,0,0,\r"), std::string::npos)
        << lineOf("Tarmin7D0H0M0.csv");
    const std::string left = lineOf("Tarmin7D1H0M0-2.csv");
    // Its rows stamped 1:00:00 to 1:59:00 stand for 0:59:00 to 1:59:00.
    EXPECT_NE(left.find(",interval,60,2026/12/07 0:59:00,2026/12/07 1:59:00,0,60,0,60 rows 2026/12/07 0:59:00 - 2026/12/07 1:59:00 "
                        "left out: continuous rows of the same time are used (Tarmin7D0H0M0.csv)\r"),
              std::string::npos)
        << left;
    EXPECT_NE(lineOf("Tarmin7D2H0M0.csv").find(",18000,0,1,1 unreadable lines (torn or garbled)\r"), std::string::npos)
        << lineOf("Tarmin7D2H0M0.csv");
    const QString page = QString::fromUtf8(readAll(dir.filePath("r.html").toStdString()));
    EXPECT_TRUE(page.contains("2 files have unreadable lines or rows left out (0 without a readable row).")) << "section 1";
    EXPECT_TRUE(page.contains("<td>Tarmin7D1H0M0-2.csv</td><td>0</td><td>60</td><td>0</td>"));
}

// A setting that does not fit the data or the other settings: refused before anything is
// written, exit 2, named by where it was given (the option, or the file and line) with both
// values. The day is at 6600 V (the simulator's), so 110 V is 6000 % of it; 22000 V, 30 %.
TEST_F(ViewerDayFixture, ASettingThatDoesNotFitIsRefusedAndNamed)
{
    std::ofstream(path("n.ini").toStdString()) << "language = en\nnominal-voltage = 110\n";
    struct Case {
        QStringList options;
        const char *said;
    } cases[] = {
        {{"--nominal-voltage", "110"}, "svg-logger-view: --nominal-voltage 110 V does not fit the data: the median voltage of the period's rows (interruptions left out) is 660"},
        {{"--settings", path("n.ini")}, "n.ini:2: nominal-voltage 110 V does not fit the data: "},
        {{"--nominal-voltage", "22000"}, " V, 30 % of it; a report takes 50-150 %"},
        {{"--dip-start", "4"}, "svg-logger-view: the report's settings: dip-start must be above interruption"},
        {{"--band-percent", "20"}, "svg-logger-view: the report's settings: band-percent must be below wide-band-percent"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.options.join(' ').toStdString());
        const Run run = view(QStringList{"--report-csv", path("out"), "--report", path("out.pdf")} + k.options
                             + QStringList{QString::fromStdString(day)});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find(k.said), std::string::npos) << run.err;
        EXPECT_FALSE(QFileInfo::exists(path("out")) || QFileInfo::exists(path("out.pdf")));
    }
}

// --- Pictures ---------------------------------------------------------------------------------

// A report picture as the HTML page holds it (inline SVG, 800 × 320) read back: its texts at
// their start and baseline, its filled rectangles and circles, and its plot's frame (the largest
// outlined rectangle).
struct DrawnPicture {
    struct Text {
        double x = 0, y = 0, width = 0;
        QString text;
    };
    std::vector<Text> texts;
    std::vector<QRectF> boxes;
    std::vector<std::pair<QPointF, double>> circles;
    QRectF frame;

    // The value an axis's labels give the height `y`: `values` (sorted, "40 %" → 40) at the
    // labels' baselines less the baseline of "0 %" below the frame's bottom. Labels left of the
    // frame, or right of it.
    double read(double y, bool right) const
    {
        std::vector<std::pair<double, double>> marks; // y, value
        for (const Text &t : texts)
            if ((right ? t.x > frame.right() : t.x + t.width < frame.left()) && t.text.endsWith(" %"))
                marks.emplace_back(t.y, t.text.chopped(2).toDouble());
        std::sort(marks.begin(), marks.end());
        if (marks.size() < 2)
            return std::nan("");
        const double shift = marks.back().first - frame.bottom(); // "0 %" sits on the bottom
        const auto &[yLow, low] = marks.back();
        const auto &[yHigh, high] = marks.front();
        return low + (y + shift - yLow) / (yHigh - yLow) * (high - low);
    }
    const Text *find(const QString &text) const
    {
        const auto it = std::find_if(texts.begin(), texts.end(), [&](const Text &t) { return t.text == text; });
        return it == texts.end() ? nullptr : &*it;
    }
};

DrawnPicture drawnPicture(ReportBlock::Picture which, const PowerQualityReport &report)
{
    std::vector<ReportBlock> blocks(2);
    blocks[0].kind = ReportBlock::Kind::Title;
    blocks[1].kind = ReportBlock::Kind::Picture;
    blocks[1].picture = which;
    const QString html = reportHtml(blocks, report);
    const QString svg = html.mid(html.indexOf("<svg"), html.indexOf("</svg>") + 6 - html.indexOf("<svg"));
    QSvgGenerator device; // the page's own font on the page's own device, for the texts' widths
    const QFontMetricsF metrics(QFont("IPAGothic", 9), &device);
    DrawnPicture picture;
    std::vector<QString> fills{"none"};
    QXmlStreamReader xml(svg);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QString("g"))
            fills.pop_back();
        if (!xml.isStartElement())
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        const auto at = [&](const char *name) { return a.value(QString(name)).toDouble(); };
        if (xml.name() == QString("g")) {
            fills.push_back(a.hasAttribute("fill") ? a.value("fill").toString() : fills.back());
        } else if (xml.name() == QString("rect")) {
            const QRectF rect(at("x"), at("y"), at("width"), at("height"));
            if (fills.back() == "none" && rect.width() * rect.height() > picture.frame.width() * picture.frame.height())
                picture.frame = rect;
            else if (fills.back() != "none")
                picture.boxes.push_back(rect);
        } else if (xml.name() == QString("circle")) {
            picture.circles.emplace_back(QPointF(at("cx"), at("cy")), at("r"));
        } else if (xml.name() == QString("text")) {
            const double x = at("x"), y = at("y");
            const QString text = xml.readElementText();
            picture.texts.push_back({x, y, metrics.horizontalAdvance(text), text});
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return picture;
}

// A report in English over [from, from + days) with `values` as valid 10-minute values.
PowerQualityReport handMadeReport(double days, const std::vector<double> &values = {})
{
    PowerQualityReport report;
    report.settings.language = ReportSettings::Language::English;
    report.from = static_cast<double>(*parseRowTime("2026/12/07"));
    report.to = report.from + days * 86400.0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        TenMinuteValue value;
        value.start = static_cast<std::int64_t>(report.from) + 600 * static_cast<std::int64_t>(i);
        value.rms = values[i];
        value.samples = 3000;
        report.tenMinutes.push_back(value);
    }
    return report;
}

// The histogram of ten valid 10-minute values, 4 at 6600.2 V, 3 at 6605.3 V, 2 at 6590.4 V and
// 1 at 6619.6 V (each in a bin of its own): its bars read 40, 30, 20 and 10 % of the intervals
// off their own (left) axis; the cumulative curve reaches 100 % on the right axis.
TEST(ReportPictures, TheHistogramsBarsOnTheirOwnShareOfIntervalsAxis)
{
    const PowerQualityReport report =
        handMadeReport(1, {6600.2, 6605.3, 6600.2, 6590.4, 6600.2, 6605.3, 6619.6, 6590.4, 6605.3, 6600.2});
    const DrawnPicture picture = drawnPicture(ReportBlock::Picture::Histogram, report);
    ASSERT_GT(picture.frame.height(), 100.0);
    std::vector<double> bars;
    for (const QRectF &box : picture.boxes)
        if (box.height() > 0.0 && std::abs(box.bottom() - picture.frame.bottom()) < 0.5 && box.width() < picture.frame.width() / 20.0)
            bars.push_back(std::round(picture.read(box.top(), false) * 10.0) / 10.0);
    std::sort(bars.begin(), bars.end());
    EXPECT_EQ(bars, (std::vector<double>{10.0, 20.0, 30.0, 40.0})) << "the bars off the left axis, % of the intervals";
    EXPECT_NEAR(picture.read(picture.frame.top(), true), 100.0, 0.5) << "the right axis: 100 % at the top, where the curve ends";
    EXPECT_NEAR(picture.read(picture.frame.bottom(), true), 0.0, 0.5);
}

// The profile's time axis where the clock is put back an hour (a European zone, 2026/10/25):
// each label sits where the wall clock reads it. By hand: the day has 25 hours; a clock time
// before 2:00 lies as many hours after midnight, one from 3:00 on an hour more (4:00 is 5 h
// in); over the week from 10/22 the midnights from 10/26 on lie an hour later than k days.
TEST(ReportPictures, TheProfilesAxisOnTheDayTheClockGoesBack)
{
    const test::ClockZoneGuard zone(std::make_shared<EuropeanSummerTime>());
    struct Case {
        const char *first;
        double hours;
        const char *pattern;
    };
    for (const Case &c : {Case{"2026/10/25", 25, "^(\\d+):(\\d\\d)$"}, Case{"2026/10/22", 7 * 24 + 1, "^10/(\\d\\d)$"}}) {
        SCOPED_TRACE(c.first);
        PowerQualityReport report = handMadeReport(1, {6600.0, 6610.0});
        report.from = static_cast<double>(*parseClockTime(c.first));
        report.to = report.from + c.hours * 3600.0;
        report.tenMinutes.front().start = static_cast<std::int64_t>(report.from);
        report.tenMinutes.back().start = static_cast<std::int64_t>(report.from) + 600;
        const DrawnPicture profile = drawnPicture(ReportBlock::Picture::Profile, report);
        const QRegularExpression label(c.pattern);
        int checked = 0;
        for (const DrawnPicture::Text &t : profile.texts) {
            const QRegularExpressionMatch m = label.match(t.text);
            if (t.y <= profile.frame.bottom() || !m.hasMatch())
                continue;
            double hoursIn = 0;
            if (c.hours == 25) {
                const int hour = m.captured(1).toInt(), minute = m.captured(2).toInt();
                if (hour == 2)
                    continue; // the repeated hour: either
                hoursIn = hour + minute / 60.0 + (hour >= 3 ? 1 : 0);
            } else {
                const int day = m.captured(1).toInt() - 22;
                hoursIn = day * 24.0 + (day >= 4 ? 1 : 0);
            }
            const double hour = profile.frame.width() / c.hours;
            const double x = profile.frame.left() + hoursIn * hour;
            if (x - t.width / 2 < profile.frame.left() || x + t.width / 2 > profile.frame.right())
                continue; // held inside the picture
            EXPECT_NEAR(t.x + t.width / 2, x, 0.3 * hour) << t.text.toStdString();
            ++checked;
        }
        EXPECT_GE(checked, 4) << "labels after the change read";
    }
}

// The pictures a reader can read: the profile's time axis by day (each date at its midnight,
// no clock times; a month with as many dates as have room); the events on EN 50160's table as a
// grid with its counts in their cells and a dot each; and a legend above each picture's plot.
// By hand: 5 dips of 0.8 s to 75 % of 6600 V (4950 V) are the table's 80–70 % × 0.5–1 s cell;
// 2 swells of 2 s to 125 % (8250 V) its ≥ 120 % × 0.5–5 s cell.
TEST(ReportPictures, DaysOnTheProfileEventsOnTheEn50160GridALegendOnEach)
{
    for (const int days : {7, 31}) {
        SCOPED_TRACE(days);
        const PowerQualityReport report = handMadeReport(days, {6600.0, 6610.0});
        const DrawnPicture profile = drawnPicture(ReportBlock::Picture::Profile, report);
        std::vector<const DrawnPicture::Text *> dates;
        for (const DrawnPicture::Text &t : profile.texts) {
            EXPECT_FALSE(t.text.contains(':')) << "no clock time: " << t.text.toStdString();
            if (t.y > profile.frame.bottom() && QRegularExpression("^\\d\\d/\\d\\d$").match(t.text).hasMatch())
                dates.push_back(&t);
        }
        EXPECT_GE(dates.size(), 4u);
        EXPECT_EQ(dates.empty() ? QString() : dates.front()->text, "12/07");
        for (std::size_t i = 0; i < dates.size(); ++i) {
            const QString year = dates[i]->text.startsWith("12") ? "2026/" : "2027/";
            const qint64 day = QDate(2026, 12, 7).daysTo(QDate::fromString(year + dates[i]->text, "yyyy/MM/dd"));
            const double midnight = profile.frame.left() + static_cast<double>(day) / days * profile.frame.width();
            EXPECT_LE(dates[i]->x, midnight + 0.5) << dates[i]->text.toStdString();
            EXPECT_GE(dates[i]->x + dates[i]->width, midnight - 0.5) << dates[i]->text.toStdString();
            if (i > 0) {
                EXPECT_GT(dates[i]->x, dates[i - 1]->x + dates[i - 1]->width) << "apart: " << dates[i]->text.toStdString();
            }
        }
        if (days == 7) {
            EXPECT_EQ(dates.size(), 8u) << "each midnight from 12/07 to 12/14";
        }
    }

    PowerQualityReport report = handMadeReport(7, {6600.0});
    for (int i = 0; i < 7; ++i) {
        VoltageEvent event;
        event.kind = i < 5 ? VoltageEvent::Kind::Dip : VoltageEvent::Kind::Swell;
        event.start = report.from + 3600.0 * i;
        event.seconds = i < 5 ? 0.8 : 2.0;
        event.extreme = i < 5 ? 4950.0f : 8250.0f;
        report.events.push_back(event);
    }
    report.tables.dips[1][2] = 5;
    report.tables.swells[0][1] = 2;
    // A legend over every plot.
    for (const ReportBlock::Picture which : {ReportBlock::Picture::Profile, ReportBlock::Picture::Histogram,
                                             ReportBlock::Picture::DipsAndSwells, ReportBlock::Picture::Effectiveness,
                                             ReportBlock::Picture::PowerFactor}) {
        PowerQualityReport withDays = report;
        withDays.effectiveness.resize(7);
        withDays.energy.resize(7);
        for (int d = 0; d < 7; ++d)
            withDays.effectiveness[static_cast<std::size_t>(d)].day = withDays.energy[static_cast<std::size_t>(d)].day =
                static_cast<std::int64_t>(report.from) + 86400 * d;
        const DrawnPicture drawn = drawnPicture(which, withDays);
        const auto above = std::count_if(drawn.texts.begin(), drawn.texts.end(), [&](const DrawnPicture::Text &t) {
            return t.y < drawn.frame.top() && t.text.size() > 2;
        });
        EXPECT_GE(above, 1) << "a legend over picture " << static_cast<int>(which);
    }
    const DrawnPicture grid = drawnPicture(ReportBlock::Picture::DipsAndSwells, report);
    const auto centre = [&](const QString &label) {
        const DrawnPicture::Text *t = grid.find(label);
        return t ? QPointF(t->x + t->width / 2.0, t->y) : QPointF(std::nan(""), std::nan(""));
    };
    // A cell: between two duration labels under the frame and two residual labels left of it.
    const auto cell = [&](const QString &shorter, const QString &longer, const QString &lower, const QString &upper) {
        const double top = upper.isEmpty() ? grid.frame.top() : centre(upper).y() - (centre("0 %").y() - grid.frame.bottom());
        const double bottom = centre(lower).y() - (centre("0 %").y() - grid.frame.bottom());
        return QRectF(QPointF(centre(shorter).x(), top), QPointF(centre(longer).x(), bottom));
    };
    const QRectF dips = cell("0.5 s", "1 s", "70 %", "80 %"), swells = cell("0.5 s", "5 s", "120 %", "");
    ASSERT_TRUE(dips.isValid() && swells.isValid()) << "the table's edges labelled";
    const auto inside = [](const QRectF &cell, const QPointF &point) { return cell.adjusted(-1, -1, 1, 1).contains(point); };
    std::size_t counted = 0;
    for (const DrawnPicture::Text &t : grid.texts) {
        if (t.text == "5" || t.text == "2") {
            const QPointF middle(t.x + t.width / 2.0, t.y - 3.0);
            EXPECT_TRUE(inside(t.text == "5" ? dips : swells, middle)) << t.text.toStdString() << " at " << middle.x() << ", " << middle.y();
            ++counted;
        }
    }
    EXPECT_EQ(counted, 2u) << "the two counts, each in its cell";
    std::vector<double> dotAreas(2, 0.0);
    for (const auto &[at, radius] : grid.circles) {
        if (!grid.frame.contains(at))
            continue; // the legend's
        const bool dip = inside(dips, at), swell = inside(swells, at);
        EXPECT_TRUE(dip || swell) << "a dot at " << at.x() << ", " << at.y();
        dotAreas[dip ? 0 : 1] += radius * radius;
    }
    EXPECT_NEAR(dotAreas[0] / dotAreas[1], 5.0 / 2.0, 0.05) << "areas by count";

}

// A day with one sample's dip: at full width the dip's pixel column reaches the lane's foot,
// its neighbours do not; two hours without rows stay empty; the SVG of the same is well formed.
// A day of a set drawn without the overview strip, as a picture is.
struct DayPicture {
    DayPicture(const RecordSet &set, double start, const QSize &size, double seconds = 86400.0)
        : columns(set)
        , image(size, QImage::Format_RGB32)
    {
        window.setRange(start, start + seconds);
        options.overview = false;
        plot.layout(size);
        QPainter painter(&image);
        plot.paint(painter, &image);
    }
    TraceColumns columns;
    ViewWindow window;
    PlotOptions options;
    PlotPainter plot{columns, window, options};
    QImage image;
};

// A picture's title names its inputs; a day's hourly files picked together by their folder.
TEST(PlotPicture, TheTitleNamesTheInputsOrTheirOneFolder)
{
    const QString temp = QDir::tempPath();
    const struct {
        QStringList inputs;
        std::string title;
    } cases[] = {
        {{"/x/a.csv"}, "/x/a.csv"},
        {{"/x/a.csv", "/x/b.csv"}, "/x/a.csv, /x/b.csv"},
        {{"/x/a.csv", "/x/b.csv", "/x/c.csv"}, "/x (3 files)"},
        {{"/x/a.csv", "/y/b.csv", "/x/c.csv"}, "/x/a.csv, /y/b.csv, /x/c.csv"},
        {{temp, temp + "/a.csv", temp + "/b.csv"}, (temp + ", " + temp + "/a.csv, " + temp + "/b.csv").toStdString()},
    };
    for (const auto &k : cases)
        EXPECT_EQ(PlotPainter::sourceOf(k.inputs), k.title) << k.inputs.join(' ').toStdString();
}

// An interval file of 5 s rows over a day: one row's minimum dips to 6111 V. The band's edge
// reaches it in a colour that stands 3:1 from the white, not a pale hairline.
TEST(PlotPicture, AnIntervalsDipIsVisibleAtAGlance)
{
    namespace c = recordColumn;
    using Sample = MeasurementSample;
    RecordTable table;
    const std::vector<int> columnSlots{c::value(Sample::GridVoltage), c::max(Sample::GridVoltage), c::min(Sample::GridVoltage)};
    const double start = static_cast<double>(*parseRowTime("2026/12/07"));
    const int dip = 8000;
    for (int i = 0; i < 86400 / 5; ++i) {
        const float values[3] = {6600.0f, 6620.0f, i == dip ? 6111.0f : 6580.0f};
        table.append(start + 5.0 * (i + 1), columnSlots, values);
    }
    const RecordSet set = test::setOfOneFile(std::move(table));
    DayPicture picture(set, start, QSize(1200, 600));
    const PlotPainter &plot = picture.plot;
    const QImage &image = picture.image;
    const PlotPainter::Lane &volts = plot.lanes().front();
    const int dipX = plot.xOf(set.table().times()[static_cast<std::size_t>(dip)]);
    const int dipY = plot.yOf(volts, 6111.0);
    double best = 1.0;
    for (int x = dipX - 1; x <= dipX + 1; ++x)
        for (int y = dipY - 2; y <= dipY + 2; ++y)
            best = std::max(best, contrastRatio(image.pixel(x, y) & 0xFFFFFF, 0xFFFFFF));
    EXPECT_GE(best, 3.0) << "the dip's extreme at x " << dipX << ", y " << dipY;
    // Away from the dip nothing is drawn down there.
    for (int y = dipY - 2; y <= dipY + 2; ++y)
        EXPECT_EQ(image.pixel(dipX + 30, y) & 0xFFFFFF, 0xFFFFFFu);

    // Zoomed to a minute, the dip's band spans its whole interval (the 5 s before its row),
    // its lower edge at 6111 V all along, and no further.
    const double dipTime = set.table().times()[static_cast<std::size_t>(dip)];
    DayPicture minute(set, dipTime - 30.0, QSize(1200, 600), 60.0);
    const PlotPainter::Lane &zoomed = minute.plot.lanes().front();
    const int from = minute.plot.xOf(dipTime - 5.0), to = minute.plot.xOf(dipTime);
    ASSERT_GT(to - from, 50);
    const int middleY = minute.plot.yOf(zoomed, 6333.0); // off the scale's grid lines
    for (int x = from + 1; x < to; ++x)
        EXPECT_NE(minute.image.pixel(x, middleY) & 0xFFFFFF, 0xFFFFFFu) << "the band at x " << x;
    for (int x : {from - 20, to + 20})
        EXPECT_EQ(minute.image.pixel(x, middleY) & 0xFFFFFF, 0xFFFFFFu) << "outside the dip's interval at x " << x;
    const int edgeY = minute.plot.yOf(zoomed, 6111.0);
    const QRgb edge = minute.image.pixel((from + to) / 2, edgeY) & 0xFFFFFF;
    EXPECT_GE(contrastRatio(edge, 0xFFFFFF), 3.0);
    EXPECT_EQ(minute.image.pixel(from + 3, edgeY) & 0xFFFFFF, edge);
}

// Each interval row's band spans its own interval (stamp − span, stamp], not the set's step: in
// a mixed folder that step is the continuous rows' 0.2 s, beside 10 s rows the 60 s ones were
// drawn 10 s wide. The row of 6:00:00 after its file's start, whose minimum dips to 6111 V
// (a second at 6111 V in (0:40:00, 0:41:00]), seen over 10 minutes: at 6333 V the band fills
// its 60 s and nothing beside them.
TEST(PlotPicture, EachIntervalRowsBandSpansItsOwnInterval)
{
    namespace c = recordColumn;
    using Sample = MeasurementSample;
    const double start = static_cast<double>(*parseRowTime("2026/12/07"));
    const double dipEnd = start + 2460.0; // the dipping row's stamp
    struct Case {
        const char *name;
        std::vector<test::RowRun> runs;
    } cases[] = {
        {"60 s rows after continuous ones", {{start, start + 1800, {5}, 0.0}, {start + 1800, start + 3600, {}, 60.0}}},
        {"60 s rows after 10 s ones", {{start, start + 1800, {}, 10.0}, {start + 1800, start + 3600, {}, 60.0}}},
        {"60 s rows alone", {{start + 1800, start + 3600, {}, 60.0}}},
    };
    const test::Signal signal = [&](double t, float *v) { v[0] = t >= dipEnd - 55.0 && t < dipEnd - 54.0 ? 6111.0f : 6600.0f; };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        const RecordSet set = test::setOfRuns(k.runs, {c::value(Sample::GridVoltage)}, signal);
        ASSERT_FALSE(set.parts().empty());
        EXPECT_EQ(set.parts().back().intervalSeconds, 60);
        DayPicture picture(set, dipEnd - 300.0, QSize(1200, 600), 600.0);
        const PlotPainter &plot = picture.plot;
        const PlotPainter::Lane &volts = plot.lanes().front();
        const int from = plot.xOf(dipEnd - 60.0), to = plot.xOf(dipEnd);
        ASSERT_GT(to - from, 100);
        const int y = plot.yOf(volts, 6333.0);
        int filled = 0;
        for (int x = from + 1; x < to; ++x)
            filled += (picture.image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFFu;
        EXPECT_EQ(filled, to - from - 1) << "pixel columns of the band of its " << to - from - 1;
        for (int x : {from - 20, to + 20})
            EXPECT_EQ(picture.image.pixel(x, y) & 0xFFFFFF, 0xFFFFFFu) << "beside its interval at x " << x;
    }
}

TEST(PlotPicture, AOneSampleDipStaysVisibleAndAGapStaysOpen)
{
    namespace c = recordColumn;
    using Sample = MeasurementSample;
    RecordTable table;
    const std::vector<int> columnSlots{c::value(Sample::GridVoltage), c::kStatus};
    const double start = static_cast<double>(*parseRowTime("2026/12/07"));
    std::size_t dipRow = 0;
    for (int i = 0; i < 24 * 3600 * 5; ++i) {
        const double t = start + i * 0.2;
        if (t >= start + 10 * 3600 && t < start + 12 * 3600)
            continue; // the logger was stopped
        const bool dip = i == 5 * 3600 * 5 + 3;
        dipRow = dip ? table.rows() : dipRow;
        const float values[2] = {dip ? 6000.0f : 6600.0f + static_cast<float>(i % 3), 0};
        table.append(t, columnSlots, values);
    }
    const RecordSet set = test::setOfOneFile(std::move(table));
    DayPicture picture(set, start, QSize(800, 400));
    PlotPainter &plot = picture.plot;
    const QImage &image = picture.image;
    const PlotPainter::Lane &volts = plot.lanes().front();
    ASSERT_EQ(volts.quantities, std::vector<int>{0});
    const QRgb blue = PlotPainter::colourOf(0).rgb();
    auto traced = [&](int x, int fromY, int toY) {
        for (int y = fromY; y <= toY; ++y)
            if ((image.pixel(x, y) & 0xFFFFFF) == (blue & 0xFFFFFF))
                return true;
        return false;
    };
    const int dipX = plot.xOf(set.table().times()[dipRow]);
    const int foot = volts.area.bottom() - volts.area.height() / 10; // 6000 V is the lowest value
    EXPECT_TRUE(traced(dipX, foot, volts.area.bottom()) || traced(dipX - 1, foot, volts.area.bottom()))
        << "the dip at x " << dipX;
    EXPECT_FALSE(traced(dipX + 5, foot, volts.area.bottom()));
    EXPECT_FALSE(traced(dipX - 5, foot, volts.area.bottom()));
    for (double hour : {10.3, 11.0, 11.7})
        EXPECT_FALSE(traced(plot.xOf(start + hour * 3600), volts.area.top(), volts.area.bottom())) << hour;

    QXmlStreamReader svg(plot.svg(QSize(800, 400)));
    int rects = 0;
    while (!svg.atEnd())
        if (svg.readNext() == QXmlStreamReader::StartElement && svg.name() == QLatin1String("rect"))
            ++rects;
    EXPECT_FALSE(svg.hasError()) << svg.errorString().toStdString();
    EXPECT_GE(rects, plot.plotArea().width() * 22 / 24 - 2); // a span for each pixel column with rows
}

// --- The window --------------------------------------------------------------------------------

TEST_F(ViewerDayFixture, TheWindowLoadsZoomsSetsCursorsAndExports)
{
    QStandardPaths::setTestModeEnabled(true); // the recent list in the tests' own settings
    ViewerWindow window;
    window.resize(1200, 800);
    window.show();
    QSignalSpy loaded(&window, &ViewerWindow::loaded);
    window.open({QString::fromStdString(day), path("nothing-here.csv")});
    ASSERT_TRUE(loaded.wait(30000));
    ASSERT_NE(window.records(), nullptr);
    EXPECT_EQ(window.records()->table().rows(), 36000u);
    EXPECT_TRUE(window.statusText().contains(QString::fromUtf8("36000 レコード"))) << window.statusText().toStdString();
    auto *messages = window.findChild<QListWidget *>("Messages");
    ASSERT_EQ(messages->count(), 1);
    EXPECT_TRUE(messages->item(0)->text().contains("nothing-here.csv"));

    RecordPlot *plot = window.plot();
    QApplication::processEvents();
    const double span = plot->window().to() - plot->window().from();
    const QPointF middle(plot->width() / 2.0, plot->height() / 3.0);
    QWheelEvent in(middle, plot->mapToGlobal(middle), QPoint(), QPoint(0, 120 * 5), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &in);
    EXPECT_NEAR(plot->window().to() - plot->window().from(), span * std::pow(0.8, 5), span * 1e-6);
    QTest::keyClick(plot, Qt::Key_Home);
    EXPECT_NEAR(plot->window().to() - plot->window().from(), span, span * 1e-6);
    // Dragging by a tenth of the plot moves the view a tenth earlier; the Right key a tenth on.
    const double from = plot->window().from();
    const int y = plot->height() / 3;
    QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, QPoint(600, y));
    QMouseEvent drag(QEvent::MouseMove, QPointF(700, y), plot->mapToGlobal(QPointF(700, y)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &drag);
    QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, QPoint(700, y));
    EXPECT_LT(plot->window().from(), from);
    EXPECT_FALSE(plot->window().cursorA.has_value()) << "a drag sets no cursor";
    const double dragged = plot->window().from();
    QTest::keyClick(plot, Qt::Key_Right);
    EXPECT_NEAR(plot->window().from() - dragged, span * 0.1, span * 1e-6);
    QTest::keyClick(plot, Qt::Key_Home);

    // A and B: a click and a right click; the figures between them.
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, QPoint(plot->width() / 4, plot->height() / 3));
    QTest::mouseClick(plot, Qt::RightButton, Qt::NoModifier, QPoint(plot->width() / 2, plot->height() / 3));
    ASSERT_TRUE(plot->window().cursorA && plot->window().cursorB);
    EXPECT_LT(*plot->window().cursorA, *plot->window().cursorB);
    const QString figures = window.findChild<QLabel *>("CursorFigures")->text();
    EXPECT_TRUE(figures.contains(QString::fromUtf8("Δt"))) << figures.toStdString();
    EXPECT_TRUE(figures.contains(QString::fromUtf8("系統電圧(V): Δ"))) << figures.toStdString();

    // Rows between the cursors as the logger's CSV; the picture of the view.
    ASSERT_TRUE(window.exportCsv(path("between.csv")));
    const RecordSet between = RecordSet::load({path("between.csv").toStdString()});
    EXPECT_GT(between.table().rows(), 1000u);
    EXPECT_GE(between.table().times().front(), std::floor(*plot->window().cursorA));
    EXPECT_LE(between.table().times().back(), *plot->window().cursorB + 1.0);
    ASSERT_TRUE(window.savePicture(path("view.png")));
    EXPECT_EQ(QImage(path("view.png")).size(), plot->size());
    ASSERT_TRUE(window.savePicture(path("view.svg")));
    {
        // With both cursors set, the picture carries the figures between them.
        QFile picture(path("view.svg"));
        ASSERT_TRUE(picture.open(QIODevice::ReadOnly));
        const QByteArray text = picture.readAll();
        EXPECT_TRUE(text.contains(" mean ") && text.contains(" max ")) << "the cursor figures";
    }
    // What went as asked is not said in red; what failed is.
    const auto statusColour = [&] {
        return window.findChild<QLabel *>("StatusText")->palette().color(QPalette::WindowText);
    };
    EXPECT_NE(statusColour(), QColor(255, 0, 0));
    EXPECT_FALSE(window.savePicture(path("view.gif")));
    EXPECT_EQ(statusColour(), QColor(255, 0, 0));

    // Trigger replay marks every firing; a trace can be hidden.
    std::ofstream(path("t.ini").toStdString()) << "voltage-window-out = on\nvoltage-lower = 6400\n";
    window.replayTrigger(path("t.ini"));
    EXPECT_FALSE(plot->options().marks.empty());
    window.findChild<QCheckBox *>("Trace_0")->setChecked(false);
    EXPECT_TRUE(plot->options().hidden[0]);

    // A pointer move draws only its line over the kept frame; hiding a trace draws anew.
    const auto differentColumns = [](const QImage &a, const QImage &b) {
        std::set<int> columns;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (a.pixel(x, y) != b.pixel(x, y))
                    columns.insert(x);
        return columns;
    };
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(plot, &leave); // no pointer line
    const QImage still = plot->grab().toImage();
    const QPointF pointer(plot->width() / 3.0, plot->height() / 3.0);
    QMouseEvent move(QEvent::MouseMove, pointer, plot->mapToGlobal(pointer), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    const QImage pointed = plot->grab().toImage();
    const std::set<int> moved = differentColumns(still, pointed);
    ASSERT_FALSE(moved.empty());
    EXPECT_LE(*moved.rbegin() - *moved.begin(), 2) << "the pointer's line alone";
    window.findChild<QCheckBox *>("Trace_1")->setChecked(false);
    EXPECT_GT(differentColumns(pointed, plot->grab().toImage()).size(), 100u) << "a hidden trace is drawn anew";

    // A drop opens what was dropped; a file without rows leaves the shown set as it was.
    window.openDropped({QUrl::fromLocalFile(path("t.ini"))});
    ASSERT_TRUE(loaded.wait(30000)) << window.statusText().toStdString();
    EXPECT_TRUE(window.statusText().startsWith(QString::fromUtf8("読めるレコードがありません"))) << window.statusText().toStdString();
    EXPECT_EQ(window.records()->table().rows(), 36000u);
}

// 追従 on a folder a logger is writing: rows appended to the last file and the next hour's
// file are read on; the view grows with the newest row while it shows everything, scrolls
// with it while it shows the end, and stays where it was moved to.
TEST_F(ViewerDayFixture, FollowingReadsWhatTheLoggerAppendsAndScrollsWithIt)
{
    const std::unique_ptr<ViewerWindow> shown = dayWindow(true);
    ViewerWindow &window = *shown;
    ASSERT_EQ(window.records()->table().rows(), 36000u);
    // A row as the logger writes it, at a time of 2026/12/07.
    std::string header, row;
    {
        std::ifstream last(RecordSet::logFilesIn(day).back(), std::ios::binary);
        std::getline(last, header);
        std::getline(last, row);
        row = row.substr(row.find(','));
    }
    const std::string next = day + "/Tarmin7D2H0M0.csv";
    const auto append = [&](const std::string &bytes) { std::ofstream(next, std::ios::binary | std::ios::app) << bytes; };
    const auto rowsAt = [&](int from, int to) {
        std::string rows;
        for (int s = from; s < to; ++s)
            for (int k = 0; k < 5; ++k)
                rows += "2026/12/07 2:" + QString::asprintf("%02d:%02d", s / 60, s % 60).toStdString() + row + "\n";
        return rows;
    };
    RecordPlot *plot = window.plot();
    enum class View { All, End, Away }; // as shown before the look
    enum class Then { Stays, Grows, Scrolls };
    struct Step {
        std::string bytes;
        View view;
        std::size_t rows;
        Then then;
    } steps[] = {
        {header + "\n", View::All, 36000, Then::Stays},
        {rowsAt(0, 10), View::All, 36050, Then::Grows},
        {rowsAt(10, 70), View::End, 36350, Then::Scrolls},
        {rowsAt(70, 80), View::Away, 36400, Then::Stays},
    };
    for (const Step &step : steps) {
        append(step.bytes);
        ViewWindow shown = plot->window();
        const double end = window.records()->table().times().back();
        if (step.view == View::End)
            shown.setRange(end - 600.0, end + 10.0);
        else if (step.view == View::Away)
            shown.setRange(end - 3000.0, end - 2400.0);
        plot->setView(shown);
        const double from = plot->window().from(), to = plot->window().to();
        window.readAppended();
        EXPECT_EQ(window.records()->table().rows(), step.rows);
        const double added = window.records()->table().times().back() - end;
        EXPECT_NEAR(plot->window().from(), step.then == Then::Scrolls ? from + added : from, 1e-6);
        EXPECT_NEAR(plot->window().to(), step.then == Then::Stays ? to : to + added, 1e-6);
    }
    EXPECT_EQ(window.records()->parts().size(), 3u);
    EXPECT_TRUE(window.statusText().contains(QString::fromUtf8("追従中: 最新 2026/12/07 2:01:19"))) << window.statusText().toStdString();
    // The timer reads on by itself.
    append(rowsAt(80, 81));
    QTest::qWait(2500);
    EXPECT_EQ(window.records()->table().rows(), 36405u);
    window.setFollowing(false);
    append(rowsAt(81, 82));
    QTest::qWait(1500);
    EXPECT_EQ(window.records()->table().rows(), 36405u) << "not following: nothing read";
}

// The status counts files, not their parts: an hour of 60 s interval rows with ten minutes of
// continuous rows inside it is two files, the interval file in two parts around the continuous
// one. By hand: interval rows 0:01–0:20 and 0:31–0:59 (49; those of 0:21–0:30 cover continuous
// seconds), continuous 0:20:00–0:29:59 (3,000): 3,049 rows; with the interval row of 1:00:00
// appended (read on, following), 3,050, still two files.
TEST_F(ViewerDayFixture, TheStatusCountsFilesNotTheirParts)
{
    RecordedDay intervalDay;
    intervalDay.folder = path("interval").toStdString();
    intervalDay.hours = 2;
    intervalDay.interval = true;
    intervalDay.intervalSeconds = 60;
    ASSERT_EQ(intervalDay.write(), 59 + 60);
    const std::string mixed = path("mixed").toStdString();
    QDir().mkpath(QString::fromStdString(mixed));
    std::filesystem::copy_file(intervalDay.folder + "/Tarmin7D0H0M0.csv", mixed + "/Tarmin7D0H0M0.csv");
    {
        const std::vector<std::string> lines = test::split(readAll(day + "/Tarmin7D0H0M0.csv"), '\n');
        std::ofstream part(mixed + "/Tarmin7D0H20M0.csv", std::ios::binary);
        part << lines[0] << "\n";
        for (std::size_t i = 1 + 1200 * 5; i < 1 + 1800 * 5; ++i)
            part << lines[i] << "\n";
    }
    QStandardPaths::setTestModeEnabled(true);
    ViewerWindow window;
    window.resize(1200, 800);
    window.show();
    window.setFollowing(true);
    QSignalSpy loaded(&window, &ViewerWindow::loaded);
    window.open({QString::fromStdString(mixed)});
    ASSERT_TRUE(loaded.wait(30000));
    ASSERT_NE(window.records(), nullptr);
    EXPECT_EQ(window.records()->parts().size(), 3u);
    EXPECT_TRUE(window.statusText().startsWith(QString::fromUtf8("2 ファイル, 3049 レコード"))) << window.statusText().toStdString();

    const std::string next = test::split(readAll(intervalDay.folder + "/Tarmin7D1H0M0.csv"), '\n').at(1);
    ASSERT_TRUE(next.starts_with("2026/12/07 1:00:00,")) << next;
    std::ofstream(mixed + "/Tarmin7D0H0M0.csv", std::ios::binary | std::ios::app) << next << "\n";
    window.readAppended();
    EXPECT_EQ(window.records()->table().rows(), 3050u);
    EXPECT_EQ(window.statusText(), QString::fromUtf8("2 ファイル, 3050 レコード — 追従中: 最新 2026/12/07 1:00:00")) << window.statusText().toStdString();
}

#if defined(SVG_SIM_PATH) && defined(SVG_HEADLESS_PATH)
// 追従 on the folder of a running svg-logger-headless (the simulator on a pseudo-terminal): the
// window holds every row the logger wrote, also those of after the window opened, and once the
// logger has stopped exactly the rows its files hold.
TEST(ViewerFollowing, ARunningLoggersRowsAllArriveInTheWindow)
{
    QTemporaryDir runtime, logs;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    QProcess simulator, logger;
    simulator.setProcessEnvironment(env);
    simulator.start(SVG_SIM_PATH, {"--rate", "20", "--seed", "3"});
    for (int i = 0; i < 250 && !QFileInfo::exists(runtime.path() + "/svg-logger/ports/svg-sim"); ++i)
        QTest::qWait(20);
    logger.setProcessEnvironment(env);
    logger.start(SVG_HEADLESS_PATH, {"--port", "svg-sim", "--folder", logs.path(), "--duration", "8"});
    ASSERT_TRUE(logger.waitForStarted());
    // Open once the first file holds rows: an empty folder shows nothing to follow.
    for (int i = 0; i < 100 && RecordSet::load({logs.path().toStdString()}).table().rows() < 10; ++i)
        QTest::qWait(50);
    QStandardPaths::setTestModeEnabled(true);
    ViewerWindow window;
    window.show();
    QSignalSpy loaded(&window, &ViewerWindow::loaded);
    window.setFollowing(true);
    window.open({logs.path()});
    ASSERT_TRUE(loaded.wait(30000));
    const std::size_t atOpen = window.records()->table().rows();
    QTest::qWait(3000);
    EXPECT_GT(window.records()->table().rows(), atOpen + 20) << "rows written since the window opened";
    EXPECT_TRUE(window.statusText().contains(QString::fromUtf8("追従中"))) << window.statusText().toStdString();
    ASSERT_TRUE(logger.waitForFinished(15000));
    EXPECT_EQ(logger.exitCode(), 0) << logger.readAllStandardError().toStdString();
    QTest::qWait(2500); // a look or two after the last row
    const RecordSet files = RecordSet::load({logs.path().toStdString()});
    EXPECT_GT(files.table().rows(), 100u);
    EXPECT_EQ(window.records()->table().rows(), files.table().rows());
    EXPECT_EQ(window.records()->table().times(), files.table().times());
    EXPECT_TRUE(window.records()->problems().empty()) << window.records()->problems().front();
    simulator.kill();
    simulator.waitForFinished(3000);
}
#endif

// The event list: the trigger replay's firings and the voltage events in time order; N and P
// bring the next and previous to the middle of the view, its zoom kept; the list as CSV.
TEST_F(ViewerDayFixture, TheEventListStepsThroughFiringsAndDipsAndGoesOutAsCsv)
{
    const std::unique_ptr<ViewerWindow> shown = dayWindow();
    ViewerWindow &window = *shown;
    QSignalSpy loaded(&window, &ViewerWindow::loaded);
    EXPECT_TRUE(window.events().empty()) << "the simulator's dips stay above 90 %";
    std::ofstream(path("t.ini").toStdString()) << "voltage-window-out = on\nvoltage-lower = 6400\n";
    window.replayTrigger(path("t.ini"));
    const std::size_t firings = window.plot()->options().marks.size();
    ASSERT_GE(firings, 3u);
    ASSERT_EQ(window.events().size(), firings);
    RecordPlot *plot = window.plot();
    ViewWindow start = plot->window();
    start.setRange(start.from(), start.from() + 60.0); // a minute at the start, before any firing
    plot->setView(start);
    const auto middle = [&] { return (plot->window().from() + plot->window().to()) / 2.0; };
    plot->setFocus();
    QTest::keyClick(plot, Qt::Key_N);
    EXPECT_NEAR(middle(), window.events()[0].time, 1e-6);
    EXPECT_NEAR(plot->window().to() - plot->window().from(), 60.0, 1e-6) << "the zoom kept";
    QTest::keyClick(plot, Qt::Key_N);
    EXPECT_NEAR(middle(), window.events()[1].time, 1e-6);
    QTest::keyClick(plot, Qt::Key_P);
    EXPECT_NEAR(middle(), window.events()[0].time, 1e-6);
    EXPECT_FALSE(window.stepEvent(false)) << "nothing before the first";
    EXPECT_TRUE(window.statusText().contains(QString::fromUtf8("前のイベントはありません")));
    ASSERT_TRUE(window.exportEvents(path("events.csv")));
    QFile csv(path("events.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    EXPECT_EQ(lines.size(), static_cast<qsizetype>(firings + 2)); // the header, a line each, the end
    EXPECT_EQ(lines[0], "time,type,duration_s,extreme_v,extreme_pct,nominal_v\r");
    EXPECT_TRUE(lines[1].endsWith(",trigger,,,,6600\r")) << lines[1].toStdString();
    EXPECT_FALSE(window.exportEvents(path("no-folder/events.csv")));

    // A real dip (below 90 % of 6600 V) in a file of its own: listed with its duration and extreme.
    std::string header, row;
    {
        std::ifstream first(RecordSet::logFilesIn(day).front(), std::ios::binary);
        std::getline(first, header);
        std::getline(first, row);
        row = row.substr(row.find(',', row.find(',') + 1)); // after the time and the voltage
    }
    std::ofstream dip(path("Tarmin7D5H0M0.csv").toStdString(), std::ios::binary);
    dip << header << "\n";
    for (int s = 0; s < 3; ++s)
        for (const char *v : {"6600", "5800", "5700", "6100", "6600"})
            dip << "2026/12/07 5:00:0" << s << "," << v << row << "\n";
    dip.close();
    window.open({path("Tarmin7D5H0M0.csv")});
    ASSERT_TRUE(loaded.wait(30000));
    ASSERT_EQ(window.events().size(), 3u);
    EXPECT_EQ(window.events()[0].kind, EventKind::Dip);
    EXPECT_NEAR(*window.events()[0].seconds, 0.4, 1e-6); // the sample period, from times near 1.8e9 s
    EXPECT_EQ(*window.events()[0].extreme, 5700.0f);
    EXPECT_EQ(window.findChild<QListWidget *>("Events")->count(), 3);
}

// The event list judges by the site's settings, as the report does. Ten minutes at 22 kV and at
// 3.3 kV, each with one second at 80 % at 5:03:00: by hand, one dip of 5 rows × 0.2 s = 1.0 s to
// 80 % of Uc (the default 6600 V would make the first a 600 s swell, the second a 600 s dip).
TEST(ViewerEventList, JudgedByTheSitesNominalVoltageAsTheReportIs)
{
    QStandardPaths::setTestModeEnabled(true);
    for (const int nominal : {22000, 3300}) {
        SCOPED_TRACE(nominal);
        QTemporaryDir dir;
        const QString file = dir.path() + "/Tarmin7D5H0M0.csv";
        const int dipped = nominal * 8 / 10;
        {
            std::ofstream out(file.toStdString(), std::ios::binary);
            out << *toShiftJis(headerLine(SamplingMode::Continuous, ControllerVersion::Version2)) << "\r\n";
            for (int second = 0; second < 600; ++second)
                for (int i = 0; i < 5; ++i)
                    out << "2026/12/07 5:" << second / 60 / 10 << second / 60 % 10 << ":" << second % 60 / 10 << second % 10
                        << "," << (second == 180 ? dipped : nominal) << ",1,2,3,4,5,6,7,0\r\n";
        }
        const QString site = dir.path() + "/site.ini";
        std::ofstream(site.toStdString()) << "nominal-voltage = " << nominal << "\n";
        const std::string dipLine =
            "dip,1.0," + std::to_string(dipped) + ".0,80.0"; // type, duration, extreme V, extreme % of Uc

        // The report's events from the same file and settings: the answer the list must give.
        QProcess report;
        report.start(SVG_VIEW_PATH, {"--report-csv", dir.path() + "/report", "--settings", site, file});
        ASSERT_TRUE(report.waitForFinished(60000));
        ASSERT_EQ(report.exitCode(), 0) << report.readAllStandardError().toStdString();
        EXPECT_EQ(readAll((dir.path() + "/report/events.csv").toStdString()),
                  "type,start,duration_s,extreme_v,extreme_pct,class\r\n" "dip,2026/12/07 5:03:00,1.0," + std::to_string(dipped)
                      + ".0,80.0,indicative\r\n");

        ViewerWindow window;
        QSignalSpy loaded(&window, &ViewerWindow::loaded);
        window.open({file});
        ASSERT_TRUE(loaded.wait(30000));
        // The report's settings file chosen in the window: the list follows it.
        QSignalSpy written(&window, &ViewerWindow::reportWritten);
        ASSERT_TRUE(window.writeReport(dir.path() + "/r.html", site));
        ASSERT_TRUE(written.wait(30000));
        ASSERT_EQ(window.events().size(), 1u);
        const ListedEvent &dip = window.events().front();
        EXPECT_EQ(dip.kind, EventKind::Dip);
        EXPECT_EQ(rowTimeText(static_cast<std::int64_t>(dip.time)), "2026/12/07 5:03:00");
        ASSERT_TRUE(dip.seconds);
        EXPECT_NEAR(*dip.seconds, 1.0, 1e-6);
        EXPECT_EQ(dip.extreme, static_cast<float>(dipped));
        ASSERT_TRUE(window.exportEvents(dir.path() + "/events.csv"));
        EXPECT_EQ(readAll((dir.path() + "/events.csv").toStdString()),
                  "time,type,duration_s,extreme_v,extreme_pct,nominal_v\r\n2026/12/07 5:03:00," + dipLine + ","
                      + std::to_string(nominal) + "\r\n");
        const QString said = QString::fromUtf8("基準電圧 Uc = %1 V（site.ini）").arg(nominal);
        EXPECT_EQ(window.findChild<QLabel *>("EventNominal")->text(), said);

        // Back to the defaults, said so: 6600 V finds what it finds (ten minutes beyond a
        // threshold: longer than a dip or swell lasts), and the CSV names it.
        window.setReportSettings(ReportSettings{}, QString::fromUtf8("既定値"));
        ASSERT_EQ(window.events().size(), 1u);
        EXPECT_EQ(window.events().front().kind, nominal > 6600 ? EventKind::Overvoltage : EventKind::Undervoltage);
        EXPECT_EQ(window.findChild<QLabel *>("EventNominal")->text(), QString::fromUtf8("基準電圧 Uc = 6600 V（既定値）"));
        ASSERT_TRUE(window.exportEvents(dir.path() + "/default.csv"));
        EXPECT_TRUE(readAll((dir.path() + "/default.csv").toStdString()).ends_with(",6600\r\n"));
        // As the command line gives them (--nominal-voltage): the dip again.
        const ReportSettingsFile given = readReportSettings("", {{"nominal-voltage", std::to_string(nominal)}});
        ASSERT_TRUE(given.error.empty()) << given.error;
        window.setReportSettings(given.settings, "--nominal-voltage");
        ASSERT_EQ(window.events().size(), 1u);
        EXPECT_EQ(window.events().front().kind, EventKind::Dip);
        EXPECT_EQ(window.events().front().extreme, static_cast<float>(dipped));
    }
    // A bad settings file for the window: said, naming its line, and no window opened.
    QTemporaryDir dir;
    std::ofstream(dir.filePath("bad.ini").toStdString()) << "nominal-voltage = 22kV\n";
    QProcess bad;
    bad.start(SVG_VIEW_PATH, {"--settings", dir.filePath("bad.ini"), dir.path()});
    ASSERT_TRUE(bad.waitForFinished(60000));
    EXPECT_EQ(bad.exitCode(), 2);
    EXPECT_TRUE(bad.readAllStandardError().contains("bad.ini:1: nominal-voltage takes volts above 0, not '22kV'"));
}

// レポート…: the report of the range shown, written in the background, said when done.
TEST_F(ViewerDayFixture, TheWindowWritesTheReportOfTheRangeShown)
{
    const std::unique_ptr<ViewerWindow> shown = dayWindow();
    ViewerWindow &window = *shown;
    QSignalSpy written(&window, &ViewerWindow::reportWritten);
    ASSERT_TRUE(window.writeReport(path("day.html")));
    EXPECT_FALSE(window.writeReport(path("again.pdf"))) << "one job at a time";
    ASSERT_TRUE(written.wait(30000));
    EXPECT_TRUE(written.front().front().toBool());
    EXPECT_TRUE(window.statusText().startsWith(QString::fromUtf8("レポートを書きました"))) << window.statusText().toStdString();
    QFile html(path("day.html"));
    ASSERT_TRUE(html.open(QIODevice::ReadOnly));
    {
        // The whole day shown: its two hourly files from midnight, in the report's default
        // language; what the page must hold follows from that alone.
        const QString page = QString::fromUtf8(html.readAll());
        const int hours = 2;
        EXPECT_TRUE(page.startsWith("<!DOCTYPE html>\n<html lang=\"ja\">"));
        EXPECT_TRUE(page.contains(QString::fromUtf8("<p>期間: 2026/12/07 0:00:00 – 2026/12/07 %1:00:00</p>").arg(hours)));
        EXPECT_TRUE(page.contains(QString::fromUtf8("<p>ファイル (%1): ").arg(hours))) << "a file an hour";
        EXPECT_EQ(page.count("<h2>"), 1 + 7) << "the summary and the seven sections";
        for (int section = 1; section <= 7; ++section)
            EXPECT_TRUE(page.contains(QString("<h2>%1. ").arg(section))) << section;
        EXPECT_TRUE(page.contains(QString::fromUtf8("<p>10 分値 %1 個（").arg(hours * 6))) << "six 10-minute values an hour";
        EXPECT_TRUE(page.contains(QString::fromUtf8("（記録 %1.00 時間 / 期間 %1.00 時間）").arg(hours)));
        EXPECT_EQ(page.count("<td>2026/12/07</td>"), 2) << "one day in the SVG's effect and in the energy";
        EXPECT_EQ(page.count("<figure>\n<svg"), 5) << "each picture inline";
        EXPECT_FALSE(page.contains("src=") || page.contains("href=") || page.contains("xmlns")) << "nothing outside the page";
    }
    // The first hour shown: its six 10-minute values alone.
    ViewWindow hour = window.plot()->window();
    hour.setRange(window.records()->table().times().front(), window.records()->table().times().front() + 3599.0);
    window.plot()->setView(hour);
    ASSERT_TRUE(window.writeReport(path("hour.pdf")));
    ASSERT_TRUE(written.wait(30000));
    EXPECT_TRUE(written.back().front().toBool());
    EXPECT_TRUE(QFile(path("hour.pdf")).size() > 1000);
    // With a settings file: its language, its band; a bad one is said and nothing written.
    std::ofstream(path("en.ini").toStdString()) << "language = en\nuser-band-low = 6590\nuser-band-high = 6610\n";
    ASSERT_TRUE(window.writeReport(path("hour.html"), path("en.ini")));
    ASSERT_TRUE(written.wait(30000));
    QFile english(path("hour.html"));
    ASSERT_TRUE(english.open(QIODevice::ReadOnly));
    const QByteArray page = english.readAll();
    EXPECT_TRUE(page.contains("<h2>2. Supply voltage, 10-minute values — EN 50160 method</h2>"));
    EXPECT_TRUE(page.contains("<td>user_band</td><td>6590-6610 V</td>"));
    std::ofstream(path("bad.ini").toStdString()) << "language = fr\n";
    EXPECT_FALSE(window.writeReport(path("bad.html"), path("bad.ini")));
    EXPECT_TRUE(window.statusText().contains("bad.ini:1: language takes ja or en")) << window.statusText().toStdString();
    EXPECT_FALSE(QFile::exists(path("bad.html")));
    // A nominal voltage the data refuse: said, naming both, and nothing written.
    std::ofstream(path("n110.ini").toStdString()) << "nominal-voltage = 110\n";
    ASSERT_TRUE(window.writeReport(path("n110.pdf"), path("n110.ini")));
    ASSERT_TRUE(written.wait(30000));
    EXPECT_FALSE(written.back().front().toBool());
    EXPECT_TRUE(window.statusText().startsWith(QString::fromUtf8("レポートを書けません: ")));
    EXPECT_TRUE(window.statusText().contains("n110.ini:1: nominal-voltage 110 V does not fit the data: the median voltage"))
        << window.statusText().toStdString();
    EXPECT_FALSE(QFile::exists(path("n110.pdf")));
    // Nothing shown: nothing to write.
    hour.setRange(hour.from() - 90000.0, hour.from() - 80000.0);
    window.plot()->setView(hour);
    EXPECT_FALSE(window.writeReport(path("none.pdf")));
    EXPECT_FALSE(QFile::exists(path("none.pdf")));
}

// Each command of the window is one action: its caption, shortcut, menu and band button; enabled
// where it can run (without records, with them, while a load runs); triggered, it does what its
// button did, with the test's own answers to the dialogs.
TEST_F(ViewerDayFixture, EachCommandIsOneActionInAMenuWithItsShortcutAndButton)
{
    QStandardPaths::setTestModeEnabled(true); // the recent list in the tests' own settings
    ViewerWindow window;
    window.resize(1200, 800);
    window.show();
    QSignalSpy loaded(&window, &ViewerWindow::loaded);
    using C = WindowCommand;
    struct Case {
        C command;
        const char *text, *shortcut;
        const char *button; // its object name in the band; empty: none
        bool withoutRecords, withRecords, whileLoading; // enabled
    };
    const Case cases[] = {
        {C::OpenFiles, "開く", "Ctrl+O", "OpenFiles", true, true, false},
        {C::OpenFolder, "フォルダ", "Ctrl+Shift+O", "OpenFolder", true, true, false},
        {C::Recent, "最近", "", "Recent", true, true, false},
        {C::SavePicture, "画像保存", "Ctrl+S", "SavePicture", false, true, true},
        {C::ExportCsv, "CSV出力", "Ctrl+E", "ExportCsv", false, true, true},
        {C::Cancel, "中止", "Esc", "CancelLoading", false, false, true},
        {C::ShowAll, "全体", "", "ShowAll", false, true, true},
        {C::Follow, "追従", "", "Follow", true, true, true},
        {C::ReplayTrigger, "トリガー再生", "", "TriggerReplay", false, true, true},
        {C::NextEvent, "次のイベント", "N", "", false, true, true},
        {C::PreviousEvent, "前のイベント", "P", "", false, true, true},
        {C::ExportEvents, "イベントCSV", "", "ExportEvents", false, true, true},
        {C::WriteReport, "レポート…", "", "WriteReport", false, true, false},
    };
    ASSERT_EQ(std::size(cases), kWindowCommands);
    QList<QAction *> inMenus;
    for (QAction *menu : window.menuBar()->actions())
        inMenus += menu->menu()->actions();
    enum class State { WithoutRecords, WithRecords, WhileLoading };
    const auto checkEnabled = [&](State state) {
        for (const Case &k : cases) {
            const bool enabled = state == State::WithoutRecords ? k.withoutRecords
                                 : state == State::WithRecords  ? k.withRecords
                                                                : k.whileLoading;
            SCOPED_TRACE(k.text);
            EXPECT_EQ(window.action(k.command)->isEnabled(), enabled) << static_cast<int>(state);
            if (*k.button != '\0') {
                EXPECT_EQ(window.findChild<QAbstractButton *>(k.button)->isEnabled(), enabled) << static_cast<int>(state);
            }
        }
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.text);
        QAction *action = window.action(k.command);
        EXPECT_EQ(action->text(), QString::fromUtf8(k.text));
        EXPECT_EQ(action->shortcut(), QKeySequence(QString::fromLatin1(k.shortcut)));
        EXPECT_TRUE(inMenus.contains(action));
        if (*k.button != '\0') {
            EXPECT_EQ(window.findChild<QAbstractButton *>(k.button)->text(), QString::fromUtf8(k.text));
        } else {
            EXPECT_EQ(window.findChild<QAbstractButton *>(action->objectName()), nullptr) << "a menu entry and a key alone";
        }
    }
    checkEnabled(State::WithoutRecords);
    EXPECT_FALSE(window.exportCsv(path("nothing.csv"))) << "called anyway: refused, said";
    EXPECT_EQ(window.statusText(), QString::fromUtf8("出力するデータがありません"));

    const QString folder = QString::fromStdString(day);
    window.chooseFiles = [&] { return QStringList{folder}; };
    window.action(C::OpenFiles)->trigger();
    ASSERT_TRUE(loaded.wait(30000));
    ASSERT_EQ(window.records()->table().rows(), 36000u);
    checkEnabled(State::WithRecords);
    window.open({folder});
    checkEnabled(State::WhileLoading);
    window.action(C::OpenFiles)->trigger(); // disabled: no second load
    ASSERT_TRUE(loaded.wait(30000));
    EXPECT_FALSE(loaded.wait(300));
    checkEnabled(State::WithRecords);

    // The rest triggered in turn, each as its button did.
    QString answer, filterAsked;
    window.chooseSaveFile = [&](const QString &filter) {
        filterAsked = filter;
        return answer;
    };
    window.chooseFolder = [&] { return folder; };
    window.chooseTriggerFile = [&] { return path("t.ini"); };
    window.chooseReportSettings = [] { return QString(); };
    std::ofstream(path("t.ini").toStdString()) << "voltage-window-out = on\nvoltage-lower = 6400\n";
    RecordPlot *plot = window.plot();
    const ViewWindow all = plot->window();
    const auto show = [&](double from, double to) {
        ViewWindow view = plot->window();
        view.setRange(from, to);
        plot->setView(view);
    };
    const auto middle = [&] { return (plot->window().from() + plot->window().to()) / 2.0; };
    const auto sameBytes = [&](const char *a, const char *b) {
        return !readAll(path(a).toStdString()).empty() && readAll(path(a).toStdString()) == readAll(path(b).toStdString());
    };
    QSignalSpy written(&window, &ViewerWindow::reportWritten);
    struct Triggered {
        C command;
        const char *file;   // the save dialog's answer
        const char *filter; // what it was asked with
        std::function<void()> before;
        std::function<bool()> did;
    };
    const Triggered triggered[] = {
        {C::ShowAll, "", "", [&] { show(all.from() + 60.0, all.from() + 120.0); },
         [&] { return plot->window().from() == all.from() && plot->window().to() == all.to(); }},
        {C::ReplayTrigger, "", "", {},
         [&] { return plot->options().marks.size() >= 3 && window.events().size() == plot->options().marks.size(); }},
        {C::NextEvent, "", "", [&] { show(all.from(), all.from() + 60.0); },
         [&] { return std::abs(middle() - window.events()[0].time) < 1e-6; }},
        {C::PreviousEvent, "", "", [&] { show(window.events()[1].time - 30.0, window.events()[1].time + 30.0); },
         [&] { return std::abs(middle() - window.events()[0].time) < 1e-6; }},
        {C::SavePicture, "a.png", "PNG (*.png);;JPEG (*.jpg *.jpeg);;SVG (*.svg)", [&] { show(all.from(), all.to()); },
         [&] { return window.savePicture(path("b.png")) && QImage(path("a.png")) == QImage(path("b.png")); }},
        {C::ExportCsv, "a.csv", "CSV (*.csv)", {}, [&] { return window.exportCsv(path("b.csv")) && sameBytes("a.csv", "b.csv"); }},
        {C::ExportEvents, "a-events.csv", "CSV (*.csv)", {},
         [&] { return window.exportEvents(path("b-events.csv")) && sameBytes("a-events.csv", "b-events.csv"); }},
        {C::WriteReport, "a.html", "PDF (*.pdf);;HTML (*.html)", {},
         [&] {
             return written.wait(30000) && written.back().front().toBool() && window.writeReport(path("b.html"))
                 && written.wait(30000) && sameBytes("a.html", "b.html");
         }},
        {C::Follow, "", "", {}, [&] { return window.following(); }},
        {C::OpenFolder, "", "", [&] { window.setFollowing(false); },
         [&] { return loaded.wait(30000) && window.statusText() == QString::fromUtf8("2 ファイル, 36000 レコード"); }},
    };
    for (const Triggered &t : triggered) {
        SCOPED_TRACE(kWindowCommandTexts[static_cast<std::size_t>(t.command)].name);
        answer = *t.file != '\0' ? path(t.file) : QString();
        filterAsked.clear();
        if (t.before)
            t.before();
        window.action(t.command)->trigger();
        EXPECT_EQ(filterAsked, QString::fromUtf8(t.filter));
        EXPECT_TRUE(t.did()) << window.statusText().toStdString();
    }
    // A save dialog cancelled: nothing written, nothing said.
    const QString said = window.statusText();
    answer.clear();
    window.action(C::ExportCsv)->trigger();
    EXPECT_EQ(window.statusText(), said);

    // 最近: the folder opened last, first in its menu.
    QMenu *recent = window.action(C::Recent)->menu();
    emit recent->aboutToShow();
    ASSERT_FALSE(recent->actions().isEmpty());
    EXPECT_EQ(recent->actions().front()->text(), QFileInfo(folder).absoluteFilePath());
    recent->actions().front()->trigger();
    ASSERT_TRUE(loaded.wait(30000));

    // 中止 ends a load with what was read (or all of it, if it was done first).
    window.open({folder});
    window.action(C::Cancel)->trigger();
    ASSERT_TRUE(loaded.wait(30000));
    EXPECT_FALSE(window.loading());
    checkEnabled(State::WithRecords);
}

// The save dialog starts in the shown files' folder and leaves no settings file of its own
// behind (Qt's own dialog keeps its history in QtProject.conf).
TEST_F(ViewerDayFixture, TheSaveDialogStartsBesideTheLogsAndWritesNoSettingsFile)
{
    QStandardPaths::setTestModeEnabled(true);
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QFile::remove(config + "/QtProject.conf");
    const std::unique_ptr<ViewerWindow> shown = dayWindow();
    ViewerWindow &window = *shown;
    QString startedIn;
    QTimer::singleShot(500, [&] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            startedIn = dialog->directory().absolutePath();
            dialog->reject();
        }
    });
    EXPECT_TRUE(window.chooseSaveFile("CSV (*.csv)").isEmpty());
    EXPECT_EQ(startedIn, QFileInfo(QString::fromStdString(day)).absoluteFilePath());
    EXPECT_FALSE(QFile::exists(config + "/QtProject.conf")) << config.toStdString();
}

// Closing the window while it loads ends the loading and frees what it read; 中止 ends it
// with what was read, and says so.
TEST_F(ViewerDayFixture, ClosingOrCancellingWhileLoadingEndsItCleanly)
{
    {
        ViewerWindow window;
        window.open({QString::fromStdString(day)});
        EXPECT_TRUE(window.loading());
    } // destroyed mid-load: joins its loader
    ViewerWindow window;
    QSignalSpy loaded(&window, &ViewerWindow::loaded);
    window.open({QString::fromStdString(day)});
    window.open({QString::fromStdString(day)}); // a second open while loading is refused, said
    EXPECT_TRUE(window.statusText().startsWith(QString::fromUtf8("読み込み中です"))) << window.statusText().toStdString();
    QTest::mouseClick(window.findChild<QPushButton *>("CancelLoading"), Qt::LeftButton);
    ASSERT_TRUE(loaded.wait(30000));
    EXPECT_FALSE(window.loading());
    // Cancelled before the end, or done first: either the rows read so far or all of them.
    if (window.statusText().contains(QString::fromUtf8("中止")))
        EXPECT_LE(window.records() ? window.records()->table().rows() : 0u, 36000u);
    else
        EXPECT_EQ(window.records()->table().rows(), 36000u);
}

} // namespace
} // namespace svglogger
