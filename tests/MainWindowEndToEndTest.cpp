#include "CsvLayout.h"
#include "SVGCom.h"
#include "support/Cp932.h"
#include "support/ControllerPty.h"
#include "support/Files.h"
#include "support/QtPrinters.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
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
    std::unique_ptr<SVGCom> window;
    std::string fromLogger; // everything the logger wrote to the controller

    void SetUp() override
    {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        portsFolder = runtime.path() + "/svg-logger/ports";
        controller = std::make_unique<test::ControllerPty>(portsFolder, "ctl");
        window = std::make_unique<SVGCom>();
        window->show();
        window->findChild<QLineEdit *>("Text1")->setText(logs.path() + "/x.csv");
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
    QString text(const char *name) const
    {
        if (auto *l = window->findChild<QLabel *>(name))
            return l->text();
        return window->findChild<QPushButton *>(name)->text();
    }
    void click(const char *name) { QTest::mouseClick(window->findChild<QPushButton *>(name), Qt::LeftButton); }
    QStringList csvFiles() const { return QDir(logs.path()).entryList({"*.csv"}, QDir::Files, QDir::Name); }
    std::string line(int voltage) const
    {
        return "MN R,0000,0,0,0,0," + std::to_string(voltage) + ",0,1000,-500,200,0,0,0,0,30,40,2350,0\r";
    }
};

TEST_F(EndToEndWindow, StartDialogueRowsStop)
{
    ASSERT_GE(window->findChild<QComboBox *>("Combo1")->count(), 1);
    EXPECT_TRUE(window->findChild<QComboBox *>("Combo1")->itemText(0).endsWith("(COM1)"));
    click("Command1");
    ASSERT_TRUE(loggerWrote("\x1b")) << "no ESC at Start";
    EXPECT_EQ(fromLogger, "\x1b");
    EXPECT_EQ(text("Command2"), QString::fromUtf8("中断"));
    controller->send("D:");
    ASSERT_TRUE(loggerWrote("MN R\r\n"));
    EXPECT_EQ(fromLogger, "\x1bMN R\r\n");
    controller->send("SVG Ver2.10\r" + line(6600) + line(6610) + "\r\n" + line(6620));
    ASSERT_TRUE(pumpUntil([&] { return text("Label8_0") == "3"; }));
    EXPECT_EQ(text("DTLabel_0"), "6,620");

    fromLogger.clear();
    click("Command2");
    ASSERT_TRUE(loggerWrote("\x1b")) << "no ESC at Stop";
    EXPECT_EQ(window->linkState(), LinkState::Idle);
    EXPECT_EQ(text("Command1"), QString::fromUtf8("再開"));
    EXPECT_EQ(text("Command2"), QString::fromUtf8("終了"));

    const QStringList files = csvFiles();
    ASSERT_EQ(files.size(), 1);
    const std::string csv = test::cp932ToUtf8(test::readBytes((logs.path() + "/" + files[0]).toStdString()));
    const std::string header = headerLine(0, 2) + "\r\n";
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
    click("Command1");
    ASSERT_TRUE(loggerWrote("\x1b"));
    controller->send("D:");
    ASSERT_TRUE(loggerWrote("MN R\r\n"));
    controller->send("Ver2.10\r" + line(6600) + line(6601));
    ASSERT_TRUE(pumpUntil([&] { return text("Label8_0") == "2"; }));

    controller->hangUp();
    ASSERT_TRUE(pumpUntil([&] { return window->waitingForPort(); })) << "the loss was not noticed";
    EXPECT_EQ(text("StatusText"), QString::fromUtf8(SVGCom::kPortLost));
    EXPECT_NE(window->linkState(), LinkState::Idle);
    EXPECT_EQ(text("Command2"), QString::fromUtf8("中断"));

    // The controller comes back under the same link: the dialogue starts over.
    controller = std::make_unique<test::ControllerPty>(portsFolder, "ctl");
    fromLogger.clear();
    ASSERT_TRUE(loggerWrote("\x1b")) << "no ESC after reconnecting";
    EXPECT_EQ(text("StatusText"), "");
    EXPECT_EQ(window->linkState(), LinkState::AwaitingPrompt);
    controller->send("D:");
    ASSERT_TRUE(loggerWrote("MN R\r\n"));
    controller->send(line(6602) + line(6603));
    ASSERT_TRUE(pumpUntil([&] { return text("Label8_0") == "4"; }));

    click("Command2");
    ASSERT_EQ(csvFiles().size(), 1);
    const std::string csv = test::readBytes((logs.path() + "/" + csvFiles()[0]).toStdString());
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 5); // the header and four rows
}

TEST_F(EndToEndWindow, StopWhileWaitingForThePortWritesNothingAndUnlocks)
{
    click("Command1");
    ASSERT_TRUE(loggerWrote("\x1b"));
    controller->hangUp();
    ASSERT_TRUE(pumpUntil([&] { return window->waitingForPort(); }));
    click("Command2");
    EXPECT_FALSE(window->waitingForPort());
    EXPECT_EQ(window->linkState(), LinkState::Idle);
    EXPECT_EQ(text("StatusText"), "");
    EXPECT_TRUE(window->findChild<QComboBox *>("Combo1")->isEnabled());
}

} // namespace
} // namespace svglogger
