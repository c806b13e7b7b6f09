#include "support/Typing.h"
#include "support/ControllerPty.h"
#include "support/Files.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include <csignal>

using namespace std::chrono_literals;

namespace svglogger {
namespace {

using Clock = std::chrono::steady_clock;

std::string line(int voltage, int power = 1000)
{
    return "MN R,0000,0,0,0,0," + std::to_string(voltage) + ",0," + std::to_string(power)
        + ",-500,200,0,0,0,0,30,40,2350,0\r";
}

// The files of a folder, each with the time field of every row masked: what a run wrote,
// whatever the second it wrote it in.
std::map<QString, std::string> maskedFiles(const QString &folder)
{
    std::map<QString, std::string> files;
    int index = 0;
    for (const QString &name : QDir(folder).entryList({"*.csv"}, QDir::Files, QDir::Time | QDir::Reversed)) {
        std::string bytes = test::readBytes((folder + "/" + name).toStdString());
        std::string masked;
        std::size_t at = 0;
        bool header = true;
        while (at < bytes.size()) {
            const std::size_t end = bytes.find("\r\n", at);
            const std::string row = bytes.substr(at, end == std::string::npos ? std::string::npos : end + 2 - at);
            masked += header ? row : "T" + row.substr(row.find(','));
            header = false;
            at = end == std::string::npos ? bytes.size() : end + 2;
        }
        files.emplace(QString("file %1").arg(index++), masked);
    }
    return files;
}

// One program under test, the window or the headless one, with the controller's end of its
// port played by the test.
class Program
{
public:
    virtual ~Program() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
    // Lets the program work for a moment.
    virtual void pump(std::chrono::milliseconds duration) = 0;
    test::ControllerPty *controller = nullptr;
    std::string fromLogger;

    bool waitFor(const std::string &bytes, std::chrono::milliseconds timeout = 5s)
    {
        const auto end = Clock::now() + timeout;
        while (Clock::now() < end) {
            fromLogger += controller->readAvailable();
            if (fromLogger.find(bytes) != std::string::npos)
                return true;
            pump(10ms);
        }
        return false;
    }
};

class WindowProgram final : public Program
{
public:
    explicit WindowProgram(const QString &folder)
    {
        window.show();
        test::typeInto(window.findChild<QLineEdit *>("outputPathBox"), folder + "/x.csv");
    }
    void start() override { QTest::mouseClick(window.findChild<QPushButton *>("startButton"), Qt::LeftButton); }
    void stop() override { QTest::mouseClick(window.findChild<QPushButton *>("stopButton"), Qt::LeftButton); }
    void pump(std::chrono::milliseconds duration) override
    {
        const auto end = Clock::now() + duration;
        do
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        while (Clock::now() < end);
    }
    MainWindow window;
};

class HeadlessProgram final : public Program
{
public:
    HeadlessProgram(const QString &runtime, QStringList arguments) : m_arguments(std::move(arguments))
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.remove("DISPLAY");
        process.setProcessEnvironment(env);
    }
    ~HeadlessProgram() override
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
    void start() override
    {
        process.start(SVG_HEADLESS_PATH, m_arguments);
        process.waitForStarted();
    }
    void stop() override { stopWith(SIGTERM); }
    void stopWith(int signal)
    {
        ::kill(static_cast<pid_t>(process.processId()), signal);
        process.waitForFinished(5000);
        journal += process.readAllStandardError().toStdString();
    }
    void pump(std::chrono::milliseconds duration) override
    {
        // Without an event loop the process's output is read only while waiting for it.
        const auto end = Clock::now() + duration;
        while (Clock::now() < end) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (!process.waitForReadyRead(static_cast<int>(std::max<long long>(1, left.count()))))
                std::this_thread::sleep_for(std::min(left, 5ms));
            journal += process.readAllStandardError().toStdString();
        }
    }
    bool journalSays(const std::string &text, std::chrono::milliseconds timeout = 5s)
    {
        const auto end = Clock::now() + timeout;
        while (journal.find(text) == std::string::npos && Clock::now() < end)
            pump(20ms);
        return journal.find(text) != std::string::npos;
    }
    QProcess process;
    std::string journal;

private:
    QStringList m_arguments;
};

struct HeadlessEndToEnd : ::testing::Test {
    QTemporaryDir runtime;
    QString portsFolder;

    void SetUp() override
    {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        portsFolder = runtime.path() + "/svg-logger/ports";
    }
    static bool folderHasFile(const QString &folder)
    {
        return !QDir(folder).entryList({"*.csv"}, QDir::Files).isEmpty();
    }
    // Start, the prompt answered, a version-2 controller announcing itself.
    static void wake(Program &program)
    {
        program.start();
        ASSERT_TRUE(program.waitFor("\x1b")) << "no ESC at Start";
        program.controller->send("D:");
        ASSERT_TRUE(program.waitFor("MN R\r\n")) << "the prompt was not answered";
        program.controller->send("Ver2.10\r");
    }
};

using Scenario = std::function<void(Program &, const QString &folder)>;

// Twenty lines, one dip among them.
void steadyLines(Program &program, const QString &)
{
    for (int i = 0; i < 20; ++i) {
        program.controller->send(line(i == 6 ? 6100 : 6600 + i, 900 + 10 * i));
        program.pump(20ms);
    }
    program.pump(300ms);
}

// Bursts of four lines, one every 3 s from the opening of the file, in the middle of its
// 3-second intervals: each interval gets the same samples whatever the sub-second phase.
void intervalBursts(Program &program, const QString &folder)
{
    const auto deadline = Clock::now() + 5s;
    while (!HeadlessEndToEnd::folderHasFile(folder) && Clock::now() < deadline)
        program.pump(10ms);
    const auto opened = Clock::now();
    for (int burst = 0; burst < 4; ++burst) {
        const auto at = opened + std::chrono::milliseconds(1500 + 3000 * burst);
        program.pump(std::chrono::duration_cast<std::chrono::milliseconds>(at - Clock::now()));
        std::string lines;
        for (int i = 0; i < 4; ++i)
            lines += line(6600 + 10 * burst + i, 800 + 100 * burst + i);
        program.controller->send(lines);
    }
    program.pump(300ms);
}

std::map<QString, std::string> run(Program &program, const QString &folder, const Scenario &scenario)
{
    HeadlessEndToEnd::wake(program);
    scenario(program, folder);
    program.stop();
    return maskedFiles(folder);
}

struct ModeCase {
    const char *name;
    std::function<void(MainWindow &)> setUpWindow;
    QStringList headlessArguments;
    Scenario scenario;
};

class HeadlessAsTheWindow : public HeadlessEndToEnd, public ::testing::WithParamInterface<ModeCase> {};

// The same lines through the window and through svg-logger-headless give the same files,
// byte for byte but for the time of each row.
TEST_P(HeadlessAsTheWindow, WritesTheWindowsFilesForTheSameLines)
{
    QTemporaryDir windowLogs;
    QTemporaryDir headlessLogs;
    std::map<QString, std::string> windowFiles;
    {
        test::ControllerPty controller(portsFolder, "ctl");
        WindowProgram window(windowLogs.path());
        window.controller = &controller;
        GetParam().setUpWindow(window.window);
        windowFiles = run(window, windowLogs.path(), GetParam().scenario);
    }
    test::ControllerPty controller(portsFolder, "hl");
    QTemporaryDir config;
    std::ofstream(config.path().toStdString() + "/trigger.ini")
        << "pre-trigger-count = 2\nrecord-count = 10\nvoltage-window-out = on\n";
    QStringList arguments = QStringList{"--port", "hl", "--folder", headlessLogs.path()} + GetParam().headlessArguments;
    arguments.replaceInStrings("TRIGGER.INI", config.path() + "/trigger.ini");
    HeadlessProgram headless(runtime.path(), arguments);
    headless.controller = &controller;
    const std::map<QString, std::string> headlessFiles = run(headless, headlessLogs.path(), GetParam().scenario);
    EXPECT_EQ(headless.process.exitCode(), 0) << headless.journal;
    ASSERT_FALSE(windowFiles.empty());
    EXPECT_EQ(headlessFiles, windowFiles) << headless.journal;
}

void clickOption(MainWindow &window, const char *name)
{
    QTest::mouseClick(window.findChild<QRadioButton *>(name), Qt::LeftButton);
}

INSTANTIATE_TEST_SUITE_P(Modes, HeadlessAsTheWindow, ::testing::Values(
    ModeCase{"Continuous", [](MainWindow &) {}, {}, steadyLines},
    ModeCase{"Interval",
             [](MainWindow &w) {
                 clickOption(w, "intervalOption");
                 w.findChild<QLineEdit *>("intervalBox")->setText("3");
             },
             {"--mode", "interval", "--interval", "3"}, intervalBursts},
    ModeCase{"Trigger",
             [](MainWindow &w) {
                 clickOption(w, "triggerOnOption");
                 TriggerSettingsWindow &form = *w.triggerWindow();
                 auto *check = form.findChild<QCheckBox *>("windowOutCheck_0");
                 QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
                 form.findChild<QLineEdit *>("preTriggerCountBox")->setText("2");
                 form.findChild<QLineEdit *>("recordCountBox")->setText("10");
                 QTest::mouseClick(form.findChild<QPushButton *>("applyButton"), Qt::LeftButton);
             },
             {"--trigger", "TRIGGER.INI"}, steadyLines}),
    [](const auto &info) { return std::string(info.param.name); });

struct SignalCase {
    int number;
    const char *name;
};

class HeadlessSignals : public HeadlessEndToEnd, public ::testing::WithParamInterface<SignalCase> {};

// SIGTERM (systemd), SIGINT (Ctrl-C) and SIGHUP (a closed terminal) all stop as Stop does.
TEST_P(HeadlessSignals, MidRunLeaveACompleteFileAndEscapeOnTheLine)
{
    QTemporaryDir logs;
    test::ControllerPty controller(portsFolder, "hl");
    HeadlessProgram headless(runtime.path(), {"--port", "hl", "--folder", logs.path()});
    headless.controller = &controller;
    wake(headless);
    controller.send(line(6601) + line(6602) + line(6603) + "MN R,0000,0,0,0,0,66");
    headless.pump(300ms);
    headless.fromLogger.clear();
    headless.stopWith(GetParam().number);
    EXPECT_EQ(headless.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(headless.process.exitCode(), 0);
    EXPECT_EQ(controller.readAvailable(), "\x1b") << "Stop's ESC";
    const QStringList files = QDir(logs.path()).entryList({"*.csv"}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const std::string bytes = test::readBytes((logs.path() + "/" + files[0]).toStdString());
    EXPECT_TRUE(bytes.ends_with(",0,0\r\n")) << "the file ends with a whole row";
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 4);
    EXPECT_NE(headless.journal.find(", 3 rows\n"), std::string::npos) << headless.journal;
    EXPECT_NE(headless.journal.find(std::string("stop: ") + GetParam().name), std::string::npos) << headless.journal;
}

INSTANTIATE_TEST_SUITE_P(Signals, HeadlessSignals,
                         ::testing::Values(SignalCase{SIGTERM, "SIGTERM"}, SignalCase{SIGINT, "SIGINT"},
                                           SignalCase{SIGHUP, "SIGHUP"}),
                         [](const auto &info) { return std::string(info.param.name); });

// The journal's reader goes away (`… 2>&1 | head -1`): logging goes on, and a stop still
// closes the file with every row and ends with 0.
TEST_F(HeadlessEndToEnd, AClosedJournalPipeDoesNotEndTheLogging)
{
    QTemporaryDir logs;
    test::ControllerPty controller(portsFolder, "hl");
    HeadlessProgram headless(runtime.path(), {"--port", "hl", "--folder", logs.path()});
    headless.controller = &controller;
    wake(headless);
    controller.send(line(6601));
    ASSERT_TRUE(headless.journalSays("file opened: ")) << headless.journal;
    headless.process.closeReadChannel(QProcess::StandardError);
    controller.send(line(6602) + line(6603));
    headless.pump(300ms);
    ::kill(static_cast<pid_t>(headless.process.processId()), SIGTERM); // "file closed" meets the closed pipe
    ASSERT_TRUE(headless.process.waitForFinished(5000));
    EXPECT_EQ(headless.process.exitStatus(), QProcess::NormalExit) << "not killed by SIGPIPE";
    EXPECT_EQ(headless.process.exitCode(), 0);
    const QStringList files = QDir(logs.path()).entryList({"*.csv"}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const std::string bytes = test::readBytes((logs.path() + "/" + files[0]).toStdString());
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 4) << "the header and the three rows";
}

TEST_F(HeadlessEndToEnd, UnplugAndReplugGoesOnInTheSameFile)
{
    QTemporaryDir logs;
    auto controller = std::make_unique<test::ControllerPty>(portsFolder, "hl");
    HeadlessProgram headless(runtime.path(), {"--port", "hl", "--folder", logs.path()});
    headless.controller = controller.get();
    wake(headless);
    controller->send(line(6601) + line(6602));
    headless.pump(300ms);
    controller->hangUp();
    ASSERT_TRUE(headless.journalSays("status: COMポート切断 — 再接続を待っています")) << headless.journal;
    controller = std::make_unique<test::ControllerPty>(portsFolder, "hl");
    headless.controller = controller.get();
    headless.fromLogger.clear();
    ASSERT_TRUE(headless.waitFor("\x1b")) << "no ESC after the port came back";
    controller->send("D:");
    ASSERT_TRUE(headless.waitFor("MN R\r\n"));
    controller->send(line(6603) + line(6604));
    headless.pump(300ms);
    headless.stop();
    EXPECT_EQ(headless.process.exitCode(), 0);
    const QStringList files = QDir(logs.path()).entryList({"*.csv"}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const std::string bytes = test::readBytes((logs.path() + "/" + files[0]).toStdString());
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 5) << "the header and the four rows";
}

// Started by systemd, standard error is the journal (JOURNAL_STREAM names it): each line
// carries its level, so `journalctl -p warning` shows the faults alone. Elsewhere plain text.
TEST_F(HeadlessEndToEnd, LinesCarryTheirLevelWhereStandardErrorIsTheJournal)
{
    QTemporaryDir logs;
    for (const bool journal : {true, false}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("XDG_RUNTIME_DIR"); // as a system service: no runtime folder
        env.remove("JOURNAL_STREAM");
        process.setProcessEnvironment(env);
        // The shell names its own standard error (the test's pipe) as the journal's stream.
        const QString stream = journal ? "JOURNAL_STREAM=$(stat -L -c %d:%i /proc/self/fd/2) " : "";
        process.start("sh", {"-c", stream + "exec \"$0\" --port nowhere --folder \"$1\"", SVG_HEADLESS_PATH,
                             logs.path()});
        ASSERT_TRUE(process.waitForFinished(5000));
        EXPECT_EQ(process.exitCode(), 3);
        const QString text = QString::fromUtf8(process.readAllStandardError());
        const QString level6 = journal ? "<6>" : "", level3 = journal ? "<3>" : "";
        EXPECT_TRUE(text.startsWith(level6 + "start: port nowhere")) << text.toStdString();
        EXPECT_TRUE(text.contains("\n" + level3 + "status: COMポートを開けません: nowhere")) << text.toStdString();
        EXPECT_EQ(text.contains("<"), journal) << text.toStdString();
        EXPECT_FALSE(text.contains("XDG_RUNTIME_DIR")) << text.toStdString();
    }
}

// systemd's notification socket, a datagram socket of the test's own: READY=1 once the run
// has started, the status, WATCHDOG=1 every half of WATCHDOG_USEC, STOPPING=1 at the end.
TEST_F(HeadlessEndToEnd, SystemdIsToldReadinessStatusWatchdogAndStopping)
{
    QTemporaryDir logs;
    const std::string path = logs.path().toStdString() + "/notify";
    const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    std::vector<std::string> messages;
    auto collect = [&] {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(socket, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
            messages.emplace_back(buffer, static_cast<std::size_t>(n));
    };
    auto count = [&](const std::string &message) { return std::count(messages.begin(), messages.end(), message); };

    test::ControllerPty controller(portsFolder, "hl");
    HeadlessProgram headless(runtime.path(), {"--port", "hl", "--folder", logs.path()});
    QProcessEnvironment env = headless.process.processEnvironment();
    env.insert("NOTIFY_SOCKET", QString::fromStdString(path));
    env.insert("WATCHDOG_USEC", "200000"); // WATCHDOG=1 every 100 ms
    headless.process.setProcessEnvironment(env);
    headless.controller = &controller;
    wake(headless);
    controller.send("Ver2.01\r" + line(6601) + line(6602));
    for (int i = 0; i < 25; ++i) { // read as systemd does: a full socket would lose datagrams
        headless.pump(100ms);
        collect();
    }
    EXPECT_EQ(count("READY=1"), 1);
    EXPECT_GE(count("WATCHDOG=1"), 15) << "about 25 in 2.5 s";
    EXPECT_GE(count("STATUS=link streaming, 2 rows written"), 1) << ::testing::PrintToString(messages);
    EXPECT_EQ(count("STOPPING=1"), 0);
    headless.stop();
    EXPECT_EQ(headless.process.exitCode(), 0);
    collect();
    EXPECT_EQ(count("STOPPING=1"), 1);
    EXPECT_EQ(messages.back(), "STOPPING=1") << "nothing after it, no watchdog either";
    ::close(socket);
}

TEST_F(HeadlessEndToEnd, BadStartsExitWithTheirCodes)
{
    QTemporaryDir config;
    const std::string ini = config.path().toStdString() + "/headless.ini";
    std::ofstream(ini) << "port = hl\nfolderr = /tmp\n";
    HeadlessProgram badKey(runtime.path(), {"--config", QString::fromStdString(ini)});
    badKey.start();
    ASSERT_TRUE(badKey.process.waitForFinished(5000));
    EXPECT_EQ(badKey.process.exitCode(), 2);
    EXPECT_TRUE(badKey.process.readAllStandardError().contains(QByteArray::fromStdString(ini + ":2: unknown key 'folderr'")));

    HeadlessProgram noPort(runtime.path(), {"--port", "nowhere", "--folder", config.path()});
    noPort.start();
    ASSERT_TRUE(noPort.process.waitForFinished(5000));
    EXPECT_EQ(noPort.process.exitCode(), 3);
    EXPECT_TRUE(noPort.process.readAllStandardError().contains("COMポートを開けません: nowhere"));
}

} // namespace
} // namespace svglogger
