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
#include "support/RecordSets.h"
#include "support/Split.h"
#include "tools/RecordedDay.h"
#include "viewer/PlotPainter.h"
#include "viewer/RecordPlot.h"
#include "viewer/ViewerOptions.h"
#include "viewer/ViewerWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
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
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QPainter>
#include <QWheelEvent>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
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

// --dip-depth: each event's one-second dip as deep as asked, so a made week has real dips.
TEST(RecordedDays, DipsAsDeepAsAsked)
{
    for (const double depth : {500.0, 1400.0}) {
        QTemporaryDir dir;
        RecordedDay recorded;
        recorded.folder = dir.path().toStdString();
        recorded.hours = 3;
        recorded.eventEverySeconds = 3600;
        recorded.dipVolts = depth;
        ASSERT_GT(recorded.write(), 0);
        const RecordSet set = RecordSet::load({recorded.folder});
        const std::vector<VoltageEvent> events = voltageEvents(set.table(), set.samplePeriod(), 3 * set.samplePeriod());
        // 500 V leaves 92 % of 6600 V: no dip; 1400 V leaves 79 %: one at 1:00 and at 2:00.
        ASSERT_EQ(events.size(), depth > 1000.0 ? 2u : 0u) << depth;
        for (const VoltageEvent &e : events) {
            EXPECT_NEAR(*e.seconds, 1.0, 1e-6);
            EXPECT_NEAR(e.extreme, 6600.0 - depth, 100.0);
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
}

// The power-quality report: six CSV files, a PDF and an HTML page, the same bytes from the same
// inputs; a bad
// settings file named by its line before anything is read or written; a folder that cannot be
// written named with the system's reason, and nothing half-written left in it.
TEST_F(ViewerDayFixture, TheReportAllOrNoneAndTheSameEachTime)
{
    const QString folder = QString::fromStdString(day);
    const Run first = view({"--report-csv", path("report"), folder});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const QStringList names{"compliance.csv", "daily.csv", "dip_table.csv", "events.csv", "swell_table.csv", "voltage_10min.csv"};
    EXPECT_EQ(QDir(path("report")).entryList(QDir::Files, QDir::Name), names);
    const auto bytes = [](const QString &file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray tenMinutes = bytes(path("report") + "/voltage_10min.csv");
    EXPECT_TRUE(tenMinutes.startsWith("start,v_rms,samples,incomplete,flagged\r\n2026/12/07 0:00:00,")) << tenMinutes.left(80).toStdString();
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
    // bytes from the same inputs (SOURCE_DATE_EPOCH fixing the PDF's creation date).
    QProcessEnvironment fixedDate = QProcessEnvironment::systemEnvironment();
    fixedDate.insert("SOURCE_DATE_EPOCH", "1765065600");
    for (const char *name : {"a", "b"}) {
        QProcess process;
        process.setProcessEnvironment(fixedDate);
        process.start(SVG_VIEW_PATH, {"--report", path(name) + ".pdf", "--report-html", path(name) + ".html", folder});
        ASSERT_TRUE(process.waitForFinished(60000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }
    const QByteArray pdf = bytes(path("a.pdf")), html = bytes(path("a.html"));
    EXPECT_TRUE(pdf.startsWith("%PDF-"));
    EXPECT_EQ(pdf, bytes(path("b.pdf")));
    EXPECT_EQ(html, bytes(path("b.html")));
    EXPECT_FALSE(html.contains("http")) << "a page that stands alone";
    EXPECT_EQ(html.count("<svg"), 5) << "five pictures inline";
    EXPECT_TRUE(html.contains("<h2>2. 供給電圧 10 分値 — EN 50160 の方法</h2>"));
    const QString pdffonts = QStandardPaths::findExecutable("pdffonts");
    ASSERT_FALSE(pdffonts.isEmpty()) << "poppler-utils (scripts/deps.sh installs it)";
    QProcess fonts;
    fonts.start(pdffonts, {path("a.pdf")});
    ASSERT_TRUE(fonts.waitForFinished(30000));
    const QStringList fontLines = QString::fromUtf8(fonts.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).mid(2);
    ASSERT_FALSE(fontLines.isEmpty());
    for (const QString &line : fontLines)
        EXPECT_EQ(line.simplified().split(' ').value(4), "yes") << "embedded: " << line.toStdString();
    EXPECT_TRUE(fontLines.join('\n').contains("IPAGothic")) << "the Japanese text's own font";

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

// --- Pictures ---------------------------------------------------------------------------------

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
                  "type,start,duration_s,extreme_v,extreme_pct\r\n" "dip,2026/12/07 5:03:00,1.0," + std::to_string(dipped)
                      + ".0,80.0\r\n");

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

        // Back to the defaults, said so: 6600 V finds what it finds, and the CSV names it.
        window.setReportSettings(ReportSettings{}, QString::fromUtf8("既定値"));
        ASSERT_EQ(window.events().size(), 1u);
        EXPECT_EQ(window.events().front().kind, nominal > 6600 ? EventKind::Swell : EventKind::Dip);
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
        // The whole day shown: its two hourly files from midnight, five rows a second, in the
        // report's default language; what the page must hold follows from that alone.
        const QString page = QString::fromUtf8(html.readAll());
        const int hours = 2, rowsPerSecond = 5;
        EXPECT_TRUE(page.startsWith("<!DOCTYPE html>\n<html lang=\"ja\">"));
        EXPECT_TRUE(page.contains(QString::fromUtf8("<p>期間: 2026/12/07 0:00:00 – 2026/12/07 %1:00:00</p>").arg(hours)));
        EXPECT_TRUE(page.contains(QString::fromUtf8("<p>ファイル (%1): ").arg(hours))) << "a file an hour";
        EXPECT_EQ(page.count("<h2>"), 7) << "the seven sections";
        for (int section = 1; section <= 7; ++section)
            EXPECT_TRUE(page.contains(QString("<h2>%1. ").arg(section))) << section;
        EXPECT_TRUE(page.contains(QString::fromUtf8("<p>10 分値 %1 個（").arg(hours * 6))) << "six 10-minute values an hour";
        const int samples = hours * 3600 * rowsPerSecond;
        EXPECT_TRUE(page.contains(QString::fromUtf8("（%1 サンプル / 期待 %1）").arg(samples)));
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
