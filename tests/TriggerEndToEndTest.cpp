#include "support/Typing.h"
#include "support/Cp932.h"
#include "support/Files.h"
#include "support/QtPrinters.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

using namespace std::chrono_literals;

namespace svglogger {
namespace {

std::vector<std::string> csvRows(const std::string &path)
{
    const std::string text = test::cp932ToUtf8(test::readBytes(path));
    std::vector<std::string> rows;
    std::size_t start = text.find("\r\n") + 2; // past the header
    for (std::size_t end = text.find("\r\n", start); end != std::string::npos; end = text.find("\r\n", start)) {
        rows.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return rows;
}

int voltage(const std::string &row)
{
    return std::stoi(row.substr(row.find(',') + 1));
}

// The real window against the simulator: a voltage dip every 2 s of stream, caught by a
// window-out condition on the grid voltage, re-arming after each capture.
TEST(TriggerEndToEnd, OneCaptureFilePerEventWithItsHeaderAndNPlusOneRows)
{
    QTemporaryDir runtime;
    QTemporaryDir logs;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    QProcess simulator;
    simulator.start(SVG_SIM_PATH, {"--seed", "4", "--rate", "50", "--event-every", "2"});
    const QString link = runtime.path() + "/svg-logger/ports/svg-sim";
    for (int i = 0; i < 250 && !QFileInfo::exists(link); ++i)
        std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(QFileInfo::exists(link));

    MainWindow window;
    window.show();
    test::typeInto(window.findChild<QLineEdit *>("outputPathBox"), logs.path() + "/x.csv");
    QTest::mouseClick(window.findChild<QRadioButton *>("triggerOnOption"), Qt::LeftButton);
    TriggerSettingsWindow &form = *window.triggerWindow();
    auto *check = form.findChild<QCheckBox *>("windowOutCheck_0");
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
    form.findChild<QLineEdit *>("preTriggerCountBox")->setText("10");
    form.findChild<QLineEdit *>("recordCountBox")->setText("80");
    QTest::mouseClick(form.findChild<QPushButton *>("applyButton"), Qt::LeftButton);
    ASSERT_EQ(window.run().triggerFigures().preTriggerCount, 10);

    QTest::mouseClick(window.findChild<QPushButton *>("startButton"), Qt::LeftButton);
    ASSERT_NE(window.linkState(), LinkState::Idle);
    auto complete = [&] {
        int files = 0;
        for (const QString &name : QDir(logs.path()).entryList({"*.csv"}, QDir::Files))
            files += csvRows((logs.path() + "/" + name).toStdString()).size() == 81;
        return files;
    };
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (complete() < 2 && std::chrono::steady_clock::now() < end)
        QTest::qWait(50);
    QTest::mouseClick(window.findChild<QPushButton *>("stopButton"), Qt::LeftButton);
    simulator.terminate();
    simulator.waitForFinished(3000);

    const QStringList names = QDir(logs.path()).entryList({"*.csv"}, QDir::Files, QDir::Time | QDir::Reversed);
    ASSERT_GE(names.size(), 2);
    for (int f = 0; f < 2; ++f) {
        const std::string path = (logs.path() + "/" + names[f]).toStdString();
        const std::vector<std::string> rows = csvRows(path);
        ASSERT_EQ(rows.size(), 81u) << names[f].toStdString(); // N + 1 with N = 80
        for (int i = 0; i < 10; ++i)
            EXPECT_GT(voltage(rows[static_cast<std::size_t>(i)]), 6300) << "pre-trigger row " << i;
        EXPECT_LT(voltage(rows[10]), 6300) << "the triggering row";
        EXPECT_TRUE(test::cp932ToUtf8(test::readBytes(path)).starts_with("時刻,系統電圧(V)"));
    }
}

} // namespace
} // namespace svglogger
