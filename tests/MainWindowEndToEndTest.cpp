#include "recording/CsvLayout.h"
#include "support/Typing.h"
#include "support/ControllerPty.h"
#include "support/Cp932.h"
#include "support/Files.h"
#include "support/QtPrinters.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include <unistd.h>

using namespace std::chrono_literals;

namespace svglogger {
namespace {

// The real window with the real QSerialPort on a pseudo-terminal whose other end the test
// plays as the controller.
struct EndToEndWindow : ::testing::Test {
    QTemporaryDir runtime;
    QTemporaryDir logs;
    QString portsFolder;
    std::unique_ptr<test::ControllerPty> controller;
    std::unique_ptr<MainWindow> window;
    std::string fromLogger; // everything the logger wrote to the controller

    void SetUp() override
    {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        portsFolder = runtime.path() + "/svg-logger/ports";
        controller = std::make_unique<test::ControllerPty>(portsFolder, "ctl");
        window = std::make_unique<MainWindow>();
        window->show();
        test::typeInto(window->findChild<QLineEdit *>("outputPathBox"), logs.path() + "/x.csv");
    }

    bool pumpUntil(const std::function<bool()> &condition, std::chrono::milliseconds timeout = 5s)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            fromLogger += controller->readAvailable();
            if (condition())
                return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    bool loggerWrote(const std::string &bytes)
    {
        return pumpUntil([&] { return fromLogger.find(bytes) != std::string::npos; });
    }
    // A control's text; the status text whole, as its tooltip has it (the label may show it
    // in two lines, elided).
    QString text(const char *name) const
    {
        if (auto *l = window->findChild<QLabel *>(name))
            return QString(name) == "statusText" ? l->toolTip() : l->text();
        return window->findChild<QPushButton *>(name)->text();
    }
    void click(const char *name) { QTest::mouseClick(window->findChild<QPushButton *>(name), Qt::LeftButton); }
    QStringList csvFiles() const { return QDir(logs.path()).entryList({"*.csv"}, QDir::Files, QDir::Name); }
    // Start, the prompt answered, a version-2 controller streaming.
    void startStreaming()
    {
        click("startButton");
        ASSERT_TRUE(loggerWrote("\x1b")) << "no ESC at Start";
        controller->send("D:");
        ASSERT_TRUE(loggerWrote("MN R\r\n"));
        controller->send("Ver2.10\r");
    }
    std::string line(int voltage) const
    {
        return "MN R,0000,0,0,0,0," + std::to_string(voltage) + ",0,1000,-500,200,0,0,0,0,30,40,2350,0\r";
    }
};

TEST_F(EndToEndWindow, StartDialogueRowsStop)
{
    ASSERT_GE(window->findChild<QComboBox *>("portList")->count(), 1);
    EXPECT_TRUE(window->findChild<QComboBox *>("portList")->itemText(0).endsWith("(COM1)"));
    click("startButton");
    ASSERT_TRUE(loggerWrote("\x1b")) << "no ESC at Start";
    EXPECT_EQ(fromLogger, "\x1b");
    EXPECT_EQ(text("stopButton"), QString::fromUtf8("中断"));
    controller->send("D:");
    ASSERT_TRUE(loggerWrote("MN R\r\n"));
    EXPECT_EQ(fromLogger, "\x1bMN R\r\n");
    controller->send("SVG Ver2.10\r" + line(6600) + line(6610) + "\r\n" + line(6620));
    ASSERT_TRUE(pumpUntil([&] { return text("recordCountLabel") == "3"; }));
    EXPECT_EQ(text("readoutValue_0"), "6,620");

    fromLogger.clear();
    click("stopButton");
    ASSERT_TRUE(loggerWrote("\x1b")) << "no ESC at Stop";
    EXPECT_EQ(window->linkState(), LinkState::Idle);
    EXPECT_EQ(text("startButton"), QString::fromUtf8("再開"));
    EXPECT_EQ(text("stopButton"), QString::fromUtf8("終了"));

    const QStringList files = csvFiles();
    ASSERT_EQ(files.size(), 1);
    const std::string csv = test::cp932ToUtf8(test::readBytes((logs.path() + "/" + files[0]).toStdString()));
    const std::string header = headerLine(SamplingMode::Continuous, ControllerVersion::Version2) + "\r\n";
    ASSERT_EQ(csv.substr(0, header.size()), header);
    // Three rows; each ends with the values of its line after the time field.
    std::size_t at = header.size();
    for (const char *values : {",6600,100,50,-30,30,40,26.2,0,0\r\n", ",6610,100.1,50.1,-30,30,40,26.2,0,0\r\n",
                               ",6620,100.3,50.1,-30.1,30,40,26.2,0,0\r\n"}) {
        const std::size_t end = csv.find("\r\n", at) + 2;
        const std::string row = csv.substr(at, end - at);
        EXPECT_TRUE(row.ends_with(values)) << row;
        at = end;
    }
    EXPECT_EQ(at, csv.size());
}

TEST_F(EndToEndWindow, UnpluggedControllerIsWaitedForAndTheRunGoesOnInTheSameFile)
{
    startStreaming();
    controller->send(line(6600) + line(6601));
    ASSERT_TRUE(pumpUntil([&] { return text("recordCountLabel") == "2"; }));

    controller->hangUp();
    ASSERT_TRUE(pumpUntil([&] { return window->waitingForPort(); })) << "the loss was not noticed";
    EXPECT_EQ(text("statusText"), QString::fromUtf8(RunController::kPortLost.data()));
    EXPECT_NE(window->linkState(), LinkState::Idle);
    EXPECT_EQ(text("stopButton"), QString::fromUtf8("中断"));

    // The controller comes back under the same link: the dialogue starts over.
    controller = std::make_unique<test::ControllerPty>(portsFolder, "ctl");
    fromLogger.clear();
    ASSERT_TRUE(loggerWrote("\x1b")) << "no ESC after reconnecting";
    EXPECT_EQ(text("statusText"), "");
    EXPECT_EQ(window->linkState(), LinkState::AwaitingPrompt);
    controller->send("D:");
    ASSERT_TRUE(loggerWrote("MN R\r\n"));
    controller->send(line(6602) + line(6603));
    ASSERT_TRUE(pumpUntil([&] { return text("recordCountLabel") == "4"; }));

    click("stopButton");
    ASSERT_EQ(csvFiles().size(), 1);
    const std::string csv = test::readBytes((logs.path() + "/" + csvFiles()[0]).toStdString());
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 5); // the header and four rows
}

TEST_F(EndToEndWindow, StopWhileWaitingForThePortWritesNothingAndUnlocks)
{
    click("startButton");
    ASSERT_TRUE(loggerWrote("\x1b"));
    controller->hangUp();
    ASSERT_TRUE(pumpUntil([&] { return window->waitingForPort(); }));
    click("stopButton");
    EXPECT_FALSE(window->waitingForPort());
    EXPECT_EQ(window->linkState(), LinkState::Idle);
    EXPECT_EQ(text("statusText"), "");
    EXPECT_TRUE(window->findChild<QComboBox *>("portList")->isEnabled());
}

int rowsInTheOneFile(const QString &folder);

// An adapter plugged in after start-up: opening the port list while idle asks the inventory
// again; the chosen port stays chosen (its number may change), a vanished one goes.
TEST_F(EndToEndWindow, PortListIsAskedAgainWhenOpenedWhileIdle)
{
    auto *combo = window->findChild<QComboBox *>("portList");
    const int before = combo->count();
    ASSERT_TRUE(combo->currentText().startsWith("ctl"));
    ASSERT_EQ(::symlink("/dev/null", (portsFolder + "/aaa").toUtf8().constData()), 0);
    ASSERT_EQ(::symlink("/dev/null", (portsFolder + "/zzz").toUtf8().constData()), 0);
    EXPECT_EQ(combo->count(), before) << "nothing changes until the list is opened";
    combo->showPopup();
    combo->hidePopup();
    ASSERT_EQ(combo->count(), before + 2);
    EXPECT_TRUE(combo->itemText(0).startsWith("aaa"));
    EXPECT_TRUE(combo->currentText().startsWith("ctl")) << combo->currentText().toStdString();
    EXPECT_TRUE(combo->currentText().endsWith("(COM2)"));
    click("startButton");
    ASSERT_TRUE(loggerWrote("\x1b")) << "the chosen port is the one opened";
    click("stopButton");

    ::unlink(controller->link().c_str());
    combo->showPopup();
    combo->hidePopup();
    EXPECT_EQ(combo->count(), before + 1);
    EXPECT_TRUE(combo->currentText().startsWith("aaa"));
}

// Stop while a line is half received, then Start: the tail of that line still arrives
// before the prompt. Every run answers its prompt and logs.
TEST_F(EndToEndWindow, StopMidLineThenStartThreeTimesEachRunLogs)
{
    startStreaming();
    for (int run = 0; run < 3; ++run) {
        controller->send(line(6600 + run) + "MN R,0000,0,0,0,0,66");
        ASSERT_TRUE(pumpUntil([&] { return text("readoutValue_0") == QString("6,60%1").arg(run); }));
        click("stopButton");
        ASSERT_EQ(window->linkState(), LinkState::Idle);
        fromLogger.clear();
        click("startButton");
        ASSERT_TRUE(loggerWrote("\x1b")) << "run " << run;
        controller->send("00,0,1000,-500,200,0,0,0,0,30,40,2350,0");
        controller->send("D:");
        ASSERT_TRUE(loggerWrote("MN R\r\n")) << "run " << run << ": the prompt was not answered";
        controller->send(line(6700 + run));
        ASSERT_TRUE(pumpUntil([&] { return text("readoutValue_0") == QString("6,70%1").arg(run); })) << "run " << run;
    }
    click("stopButton");
    // One file per run; each run after the first holds exactly its one row, decoded whole.
    const QStringList files = csvFiles();
    ASSERT_EQ(files.size(), 4);
    int withTheRow = 0;
    for (const QString &name : files) {
        const std::string csv = test::readBytes((logs.path() + "/" + name).toStdString());
        EXPECT_EQ(csv.find(",0,0,0,0,0,0,0,0,0\r\n"), std::string::npos) << "a row of zeros";
        for (int run = 0; run < 3; ++run)
            if (csv.find("," + std::to_string(6700 + run) + ",") != std::string::npos)
                ++withTheRow;
    }
    EXPECT_EQ(withTheRow, 3);
}

// A controller that does not answer ESC (busy, off, a cable without receive line): ESC again
// every 3 s with the retry text; logging starts once it answers.
TEST_F(EndToEndWindow, ControllerThatIgnoresEscapeIsRetriedWithAMessage)
{
    click("startButton");
    ASSERT_TRUE(loggerWrote("\x1b"));
    const QString retry = QString::fromUtf8("コントローラの応答がありません — 再試行しています");
    ASSERT_TRUE(pumpUntil([&] { return text("statusText") == retry; }, 5s)) << text("statusText").toStdString();
    EXPECT_EQ(fromLogger, "\x1b\x1b");
    EXPECT_EQ(text("stopButton"), QString::fromUtf8("中断"));
    controller->send("D:");
    ASSERT_TRUE(loggerWrote("MN R\r\n"));
    EXPECT_EQ(text("statusText"), "");
    controller->send("Ver2.10\r" + line(6600));
    ASSERT_TRUE(pumpUntil([&] { return text("recordCountLabel") == "1"; }));
    click("stopButton");
}

// A controller that stops sending mid-run is woken again; rows go on in the same file.
TEST_F(EndToEndWindow, ControllerThatFallsSilentIsWokenAgainIntoTheSameFile)
{
    startStreaming();
    controller->send(line(6600));
    ASSERT_TRUE(pumpUntil([&] { return text("recordCountLabel") == "1"; }));
    fromLogger.clear();
    const QString silent = QString::fromUtf8("データが届きません — 再接続しています");
    ASSERT_TRUE(pumpUntil([&] { return text("statusText") == silent; }, 7s)) << text("statusText").toStdString();
    ASSERT_TRUE(loggerWrote("\x1b"));
    controller->send("D:");
    ASSERT_TRUE(loggerWrote("MN R\r\n"));
    controller->send("Ver2.10\r" + line(6601));
    ASSERT_TRUE(pumpUntil([&] { return text("recordCountLabel") == "2"; }));
    EXPECT_EQ(text("statusText"), "");
    click("stopButton");
    EXPECT_EQ(rowsInTheOneFile(logs.path()), 2);
}

int rowsInTheOneFile(const QString &folder)
{
    const QStringList files = QDir(folder).entryList({"*.csv"}, QDir::Files);
    if (files.size() != 1)
        return -1;
    const std::string bytes = test::readBytes((folder + "/" + files[0]).toStdString());
    return static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n')) - 1;
}

// Enter presses the focused button. Start disables "開始" and the focus goes to "中断"; after
// every stop it is on "再開" again with its ring drawn: Enter never ends the program.
TEST_F(EndToEndWindow, EnterAfterEveryStopStartsAgainAndNeverEndsTheProgram)
{
    bool exited = false;
    QObject::connect(window.get(), &MainWindow::exitRequested, [&] { exited = true; });
    window->activateWindow();
    auto *start = window->findChild<QPushButton *>("startButton");
    auto *stop = window->findChild<QPushButton *>("stopButton");
    ASSERT_TRUE(pumpUntil([&] { return start->hasFocus(); })) << "the focus starts on 開始";
    for (int run = 0; run < 3; ++run) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // Start
        ASSERT_TRUE(loggerWrote("\x1b")) << "run " << run;
        EXPECT_TRUE(stop->hasFocus()) << "run " << run;
        EXPECT_EQ(stop->text(), QString::fromUtf8("中断"));
        fromLogger.clear();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // Stop
        ASSERT_TRUE(loggerWrote("\x1b")) << "run " << run;
        fromLogger.clear();
        EXPECT_EQ(window->linkState(), LinkState::Idle);
        EXPECT_TRUE(start->hasFocus()) << "after the stop of run " << run;
        EXPECT_EQ(start->text(), QString::fromUtf8("再開"));
        EXPECT_TRUE(window->testAttribute(Qt::WA_KeyboardFocusChange)) << "the focus ring is drawn";
        const QImage ringed = start->grab().toImage();
        window->findChild<QPushButton *>("stopButton")->setFocus(Qt::TabFocusReason);
        EXPECT_NE(start->grab().toImage(), ringed) << "the ring shows which button Enter presses";
        start->setFocus(Qt::TabFocusReason);
    }
    EXPECT_FALSE(exited);
}

TEST_F(EndToEndWindow, SingleShotCaptureStopsTheRunFromWithinTheReceiveEvent)
{
    QTest::mouseClick(window->findChild<QRadioButton *>("triggerOnOption"), Qt::LeftButton);
    TriggerSettingsWindow &form = *window->triggerWindow();
    QTest::mouseClick(form.findChild<QRadioButton *>("singleShotOption"), Qt::LeftButton); // "単発"
    auto *check = form.findChild<QCheckBox *>("windowOutCheck_0");
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
    form.findChild<QLineEdit *>("preTriggerCountBox")->setText("2");
    form.findChild<QLineEdit *>("recordCountBox")->setText("10");
    QTest::mouseClick(form.findChild<QPushButton *>("applyButton"), Qt::LeftButton);
    startStreaming();
    // One burst: quiet lines, a dip that fires, and more than the capture needs.
    std::string burst;
    for (int i = 0; i < 5; ++i)
        burst += line(6600 + i);
    burst += line(6100);
    for (int i = 0; i < 20; ++i)
        burst += line(6700 + i);
    fromLogger.clear();
    controller->send(burst);
    ASSERT_TRUE(pumpUntil([&] { return window->linkState() == LinkState::Idle; }));
    EXPECT_TRUE(loggerWrote("\x1b")) << "Stop's ESC";
    EXPECT_EQ(window->run().triggerState(), TriggerState::Finished);
    EXPECT_EQ(text("startButton"), QString::fromUtf8("再開"));
    EXPECT_FALSE(window->findChild<QLabel *>("captureIndicator")->isVisible());
    EXPECT_EQ(rowsInTheOneFile(logs.path()), 11); // N + 1: two before, the dip, eight after
    // The capture's own Stop leaves the focus on "再開" too: one Enter starts, not ends.
    EXPECT_EQ(window->focusWidget(), window->findChild<QPushButton *>("startButton"));
}

// Closing the trigger settings window while armed: the main window shows "なし", the run
// goes on without conditions and captures nothing until Stop, and says so.
TEST_F(EndToEndWindow, ClosingTheTriggerWindowWhileArmedCapturesNothing)
{
    QTest::mouseClick(window->findChild<QRadioButton *>("triggerOnOption"), Qt::LeftButton);
    TriggerSettingsWindow &form = *window->triggerWindow();
    auto *check = form.findChild<QCheckBox *>("windowOutCheck_0");
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
    QTest::mouseClick(form.findChild<QPushButton *>("applyButton"), Qt::LeftButton);
    startStreaming();
    window->triggerWindow()->close();
    QApplication::processEvents();
    EXPECT_TRUE(window->findChild<QRadioButton *>("triggerOffOption")->isChecked());
    std::string lines;
    for (int i = 0; i < 10; ++i)
        lines += line(i % 2 ? 6100 : 6600); // dips that the closed window's condition would catch
    controller->send(lines + line(6555));
    ASSERT_TRUE(pumpUntil([&] { return text("readoutValue_0") == "6,555"; }));
    EXPECT_TRUE(csvFiles().isEmpty()) << csvFiles().join(", ").toStdString();
    EXPECT_EQ(text("statusText"), QString::fromUtf8("トリガー条件がありません"));
    click("stopButton");
    EXPECT_EQ(text("statusText"), "");
}

TEST_F(EndToEndWindow, UnpluggedAndPluggedBackAHundredTimesLosesNoRow)
{
    window->run().setIntervals(10, RunController::kPromptMilliseconds, RunController::kDataMilliseconds);
    startStreaming();
    int sent = 0;
    for (int cycle = 0; cycle < 100; ++cycle) {
        controller->send(line(6600 + cycle) + line(6500 + cycle));
        sent += 2;
        ASSERT_TRUE(pumpUntil([&] { return text("recordCountLabel") == QString::number(sent); })) << "cycle " << cycle;
        controller->hangUp();
        ASSERT_TRUE(pumpUntil([&] { return window->waitingForPort(); })) << "cycle " << cycle;
        EXPECT_EQ(text("statusText"), QString::fromUtf8(RunController::kPortLost.data()));
        controller = std::make_unique<test::ControllerPty>(portsFolder, "ctl");
        fromLogger.clear();
        ASSERT_TRUE(loggerWrote("\x1b")) << "cycle " << cycle;
        controller->send("D:");
        ASSERT_TRUE(loggerWrote("MN R\r\n")) << "cycle " << cycle;
    }
    EXPECT_EQ(text("statusText"), "");
    click("stopButton");
    EXPECT_EQ(rowsInTheOneFile(logs.path()), sent);
}

TEST_F(EndToEndWindow, HundredKilobytesWithoutCrThenLinesAgain)
{
    startStreaming();
    const std::string junk(1000, 'x');
    for (int i = 0; i < 100; ++i) {
        controller->send(junk);
        pumpUntil([] { return false; }, 5ms);
    }
    EXPECT_LE(window->run().unframedBytes(), ReceiveBuffer::kMaxUndelimited);
    // The junk ends at the next CR as one (bounded) line; the lines after it are decoded.
    controller->send("\r" + line(6611) + line(6612));
    ASSERT_TRUE(pumpUntil([&] { return text("recordCountLabel") == "2"; }));
    EXPECT_EQ(text("readoutValue_0"), "6,612");
    click("stopButton");
}

TEST_F(EndToEndWindow, FloodOfAMinuteAt9600BaudIsRecordedWhole)
{
    startStreaming();
    // 9600 baud carries 960 characters a second: a minute's worth, sent as fast as the line
    // takes it, with CR LF line ends on every other line.
    std::string flood;
    int lines = 0;
    while (flood.size() < 960 * 60) {
        std::string next = line(6000 + lines % 1000);
        if (lines % 2)
            next += "\n";
        flood += next;
        ++lines;
    }
    for (std::size_t at = 0; at < flood.size(); at += 512) {
        controller->send(flood.substr(at, 512));
        pumpUntil([] { return false; }, 1ms);
    }
    ASSERT_TRUE(pumpUntil([&] { return text("recordCountLabel") == QString::number(lines); }, 20s))
        << text("recordCountLabel").toStdString() << " of " << lines;
    click("stopButton");
    EXPECT_EQ(rowsInTheOneFile(logs.path()), lines);
}

} // namespace
} // namespace svglogger
