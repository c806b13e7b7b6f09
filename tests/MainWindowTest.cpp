#include "recording/LogRecorder.h"
#include "support/Typing.h"
#include "support/QtPrinters.h"
#include "support/WindowOnEmptyRuntime.h"
#include "ui/FileDialog.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QFileDialog>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QTimer>
#include <QTreeView>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QImage>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionSlider>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace svglogger {
namespace {

struct WindowFixture : ::testing::Test, test::WindowOnEmptyRuntime {
    void SetUp() override { ASSERT_TRUE(active()); }

    template <typename T>
    T *child(const char *name) const
    {
        T *w = window->findChild<T *>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString text(const char *name) const
    {
        if (auto *l = window->findChild<QLabel *>(name))
            return l->text();
        if (auto *e = window->findChild<QLineEdit *>(name))
            return e->text();
        if (auto *b = window->findChild<QAbstractButton *>(name))
            return b->text();
        ADD_FAILURE() << "no control " << name;
        return {};
    }
};

TEST_F(WindowFixture, StartUpStates)
{
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("ＳＶＧデータロガー(2016/06/24)"));
    EXPECT_EQ(window->size(), QSize(793, 498));
    EXPECT_TRUE(child<QRadioButton>("triggerOffOption")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("continuousOption")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("greyBackgroundOption")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("graphCheck")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("phaseRotationCheck")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("phaseRotationCheck")->isEnabled());
    for (const char *name : {"uncompensatedVoltageCheck", "powerFlowCheck", "communicationLogCheck"})
        EXPECT_FALSE(child<QCheckBox>(name)->isChecked()) << name;
    EXPECT_EQ(text("intervalBox"), "1");
    EXPECT_TRUE(child<QLineEdit>("intervalBox")->isEnabled());
    EXPECT_EQ(text("reactancePercentBox"), "100");
    for (const char *name : {"captureIndicator", "readoutName_7", "readoutValue_7", "readoutUnit_7"})
        EXPECT_FALSE(child<QLabel>(name)->isVisible()) << name;
    EXPECT_FALSE(child<QFrame>("reactanceFrame")->isVisible());
    EXPECT_FALSE(child<QPlainTextEdit>("communicationLogBox")->isVisible());
    EXPECT_EQ(text("startButton"), QString::fromUtf8("開始"));
    EXPECT_EQ(text("stopButton"), QString::fromUtf8("終了"));
    EXPECT_EQ(child<QSlider>("voltageRangeSlider")->minimum(), 0);
    EXPECT_EQ(child<QSlider>("voltageRangeSlider")->maximum(), 2);
    EXPECT_EQ(child<QSlider>("powerRangeSlider")->minimum(), -4);
    EXPECT_EQ(child<QSlider>("powerRangeSlider")->value(), 0);
    EXPECT_EQ(child<QSlider>("voltageRangeSlider")->toolTip(), QString::fromUtf8("電圧レンジ指定"));
    // The output path: the log folder in the home directory and a name from the clock.
    const QString path = text("outputPathBox");
    EXPECT_TRUE(path.startsWith(QDir::homePath() + "/temp/Tarmin")) << path.toStdString();
    EXPECT_TRUE(path.endsWith(".csv"));
    EXPECT_EQ(QApplication::focusWidget(), child<QPushButton>("startButton"));
    // Captions quoted in the design.
    EXPECT_EQ(text("readoutName_5"), QString::fromUtf8("逆相指令 "));
    EXPECT_EQ(text("readoutUnit_6"), QString::fromUtf8("％"));
    EXPECT_EQ(text("readoutUnit_5"), "A");
    EXPECT_EQ(child<QGroupBox>("backgroundFrame")->title(), "BakC");
    EXPECT_EQ(text("recordCountUnitLabel"), QString::fromUtf8("ﾚｺｰﾄﾞ"));
}

TEST_F(WindowFixture, TabOrderIsTheDesignedOne)
{
    QStringList visited;
    QWidget *start = QApplication::focusWidget();
    ASSERT_NE(start, nullptr);
    visited << start->objectName();
    for (int i = 0; i < 30; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *now = QApplication::focusWidget();
        if (now == start)
            break;
        visited << now->objectName();
    }
    // Hidden Text2 and Text3, disabled Check5, and the unselected options are passed over.
    const QStringList expected{"startButton", "stopButton",  "outputPathBox",     "browseButton",  "continuousOption", "intervalBox",
                               "triggerOffOption",     "plotArea",  "scaleStrip",  "uncompensatedVoltageCheck",    "graphCheck",    "voltageRangeSlider",
                               "powerRangeSlider", "greyBackgroundOption", "portList",   "powerFlowCheck",    "communicationLogCheck"};
    EXPECT_EQ(visited, expected);
}

TEST_F(WindowFixture, TiesBetweenControls)
{
    // Check1 shows the "%X=" box and the uncompensated voltage.
    QTest::mouseClick(child<QCheckBox>("uncompensatedVoltageCheck"), Qt::LeftButton);
    EXPECT_TRUE(child<QFrame>("reactanceFrame")->isVisible());
    EXPECT_TRUE(child<QLabel>("readoutValue_7")->isVisible());
    QTest::mouseClick(child<QCheckBox>("uncompensatedVoltageCheck"), Qt::LeftButton);
    EXPECT_FALSE(child<QFrame>("reactanceFrame")->isVisible());
    EXPECT_FALSE(child<QLabel>("readoutUnit_7")->isVisible());

    // Check6 shows the log and makes the window taller.
    QTest::mouseClick(child<QCheckBox>("communicationLogCheck"), Qt::LeftButton);
    EXPECT_TRUE(child<QPlainTextEdit>("communicationLogBox")->isVisible());
    EXPECT_EQ(window->height(), 9915 / 15 - (7875 - 7470) / 15);
    QTest::mouseClick(child<QCheckBox>("communicationLogCheck"), Qt::LeftButton);
    EXPECT_EQ(window->height(), 498);

    // The interval box is enabled by the interval option only.
    QTest::mouseClick(child<QRadioButton>("continuousOption"), Qt::LeftButton);
    EXPECT_FALSE(child<QLineEdit>("intervalBox")->isEnabled());
    EXPECT_FALSE(child<QLabel>("intervalUnitLabel")->isEnabled());
    QTest::mouseClick(child<QRadioButton>("intervalOption"), Qt::LeftButton);
    EXPECT_TRUE(child<QLineEdit>("intervalBox")->isEnabled());

    // Text4 below one second becomes "1" when it loses the focus; 2.5 stays.
    auto *text4 = child<QLineEdit>("intervalBox");
    text4->setFocus();
    text4->setText("0.3");
    child<QPushButton>("stopButton")->setFocus();
    EXPECT_EQ(text4->text(), "1");
    text4->setFocus();
    text4->setText("2.5");
    child<QPushButton>("startButton")->setFocus();
    EXPECT_EQ(text4->text(), "2.5");

    // Check4 puts the power-flow mark into the shown file name at once.
    QTest::mouseClick(child<QCheckBox>("powerFlowCheck"), Qt::LeftButton);
    EXPECT_TRUE(text("outputPathBox").endsWith("G.csv"));
    QTest::mouseClick(child<QCheckBox>("powerFlowCheck"), Qt::LeftButton);
    EXPECT_FALSE(text("outputPathBox").endsWith("G.csv"));
}

TEST_F(WindowFixture, ReadoutFollowsDecodedLinesAndTheVersion)
{
    window->run().received("Ver2.01\rMN R,0000,0,0,0,0,6600,0,1000,-500,200,0,0,0,0,30,40,2350,0\r");
    EXPECT_EQ(text("readoutValue_0"), "6,600");
    EXPECT_EQ(text("readoutValue_1"), "100.0"); // 99.985 kW
    EXPECT_EQ(text("readoutValue_4"), "50.0");
    EXPECT_EQ(text("readoutValue_6"), "0.8");
    EXPECT_TRUE(child<QLabel>("readoutValue_4")->isEnabled());
    EXPECT_FALSE(text("measurementTimeLabel").isEmpty());
    // An older controller greys rows 4 to 6 and keeps their text.
    window->run().received("Ver1.00\r");
    for (const char *name : {"readoutName_4", "readoutValue_5", "readoutUnit_6"})
        EXPECT_FALSE(child<QLabel>(name)->isEnabled()) << name;
    EXPECT_EQ(text("readoutValue_4"), "50.0");
    window->run().received("Ver2.01\r");
    EXPECT_TRUE(child<QLabel>("readoutValue_5")->isEnabled());
}

TEST_F(WindowFixture, CommunicationLogShowsTheLinesWhileChecked)
{
    window->run().received("before\r");
    QTest::mouseClick(child<QCheckBox>("communicationLogCheck"), Qt::LeftButton);
    window->run().received("MN R,first\rsecond line\r");
    const QString shown = child<QPlainTextEdit>("communicationLogBox")->toPlainText();
    EXPECT_EQ(shown, "\nMN R,first\nsecond line"); // the log begins with its line break
    EXPECT_TRUE(child<QPlainTextEdit>("communicationLogBox")->isReadOnly());
}

TEST_F(WindowFixture, StartWithoutAPortSaysSoAndStaysIdle)
{
    child<QComboBox>("portList")->clear();
    QTest::mouseClick(child<QPushButton>("startButton"), Qt::LeftButton);
    EXPECT_EQ(child<QLabel>("statusText")->toolTip(), QString::fromUtf8(RunController::kNoPort.data()));
    EXPECT_EQ(window->linkState(), LinkState::Idle);
    EXPECT_TRUE(child<QComboBox>("portList")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("startButton")->isEnabled());
}

TEST_F(WindowFixture, PortThatCannotBeOpenedUndoesTheLock)
{
    auto *combo = child<QComboBox>("portList");
    combo->clear();
    combo->addItem("gone (COM7)"); // no device behind port 7
    emit combo->activated(0);
    QTest::mouseClick(child<QPushButton>("startButton"), Qt::LeftButton);
    EXPECT_EQ(child<QLabel>("statusText")->toolTip(),
              QString::fromUtf8(RunController::kCannotOpenPort.data()) + "gone (COM7)");
    EXPECT_EQ(window->linkState(), LinkState::Idle);
    for (const char *name : {"samplingFrame", "triggerFrame"})
        EXPECT_TRUE(child<QGroupBox>(name)->isEnabled()) << name;
    EXPECT_TRUE(child<QLineEdit>("outputPathBox")->isEnabled());
    EXPECT_EQ(text("stopButton"), QString::fromUtf8("終了"));
}

TEST_F(WindowFixture, ExitWhileIdleEndsTheProgram)
{
    QSignalSpy exit(window.get(), &MainWindow::exitRequested);
    QTest::mouseClick(child<QPushButton>("stopButton"), Qt::LeftButton);
    EXPECT_EQ(exit.count(), 1);
}

TEST_F(WindowFixture, EnterPressesTheFocusedButton)
{
    QSignalSpy exit(window.get(), &MainWindow::exitRequested);
    child<QPushButton>("stopButton")->setFocus();
    QTest::keyClick(child<QPushButton>("stopButton"), Qt::Key_Return);
    EXPECT_EQ(exit.count(), 1);
}

// The range sliders show their lowest value at the top: Down moves the handle down (a wider
// range), Up moves it up, and the scales follow as when dragging.
TEST_F(WindowFixture, RangeSliderKeysMoveTheHandleTheWayTheyName)
{
    struct Case {
        const char *name;
        int afterUp; // from 0: the voltage slider is at its top, the power slider goes on to -1
    };
    for (const Case &c : {Case{"voltageRangeSlider", 0}, Case{"powerRangeSlider", -1}}) {
        auto *slider = child<QSlider>(c.name);
        slider->setFocus();
        ASSERT_EQ(slider->value(), 0);
        QTest::keyClick(slider, Qt::Key_Down);
        EXPECT_EQ(slider->value(), 1) << c.name;
        QTest::keyClick(slider, Qt::Key_PageDown);
        EXPECT_EQ(slider->value(), 2) << c.name;
        QTest::keyClick(slider, Qt::Key_Up);
        EXPECT_EQ(slider->value(), 1) << c.name;
        QTest::keyClick(slider, Qt::Key_Up);
        QTest::keyClick(slider, Qt::Key_Up);
        EXPECT_EQ(slider->value(), c.afterUp) << c.name;
        // The handle is drawn further down for a higher value (a vertical slider is drawn
        // upside down unless its appearance is inverted).
        QStyleOptionSlider option;
        option.initFrom(slider);
        option.orientation = Qt::Vertical;
        option.minimum = slider->minimum();
        option.maximum = slider->maximum();
        option.upsideDown = !slider->invertedAppearance();
        auto handleTop = [&](int value) {
            option.sliderPosition = option.sliderValue = value;
            return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider).top();
        };
        EXPECT_GT(handleTop(1), handleTop(0)) << c.name;
        QTest::keyClick(slider, Qt::Key_Down);
    }
    EXPECT_EQ(child<QSlider>("voltageRangeSlider")->value(), 1) << "the scales follow the keys";
    EXPECT_EQ(child<QSlider>("powerRangeSlider")->value(), 0);
}

// Every status text fits the 238×32 label in at most two lines, broken only after "—" or ":"
// or at a space; a long entry or path is elided in its middle; the tooltip has it whole.
TEST_F(WindowFixture, StatusTextsFitTheLabelAndTheTooltipHasThemWhole)
{
    const QString longPath = "/var/lib/svg-logger/site-3/feeder-12/transformer-b/Tarmin7D11H40M31.csv";
    const QString longEntry = "svg-sim (virtual) " + runtime.path() + "/svg-logger/ports/svg-sim (COM1)";
    const QString texts[] = {
        QString::fromUtf8(RunController::kNoAnswer.data()),
        QString::fromUtf8(RunController::kNoData.data()),
        QString::fromUtf8(RunController::kPortLost.data()),
        QString::fromUtf8(RunController::kNoTriggerConditions.data()),
        QString::fromUtf8(RunController::kCannotOpenPort.data()) + longEntry + " (No such file or directory)",
        QString::fromUtf8(LogRecorder::kCannotCreate.data()) + longPath + ": Read-only file system",
        QString::fromUtf8(LogRecorder::kCannotWrite.data()) + longPath,
    };
    auto *label = child<QLabel>("statusText");
    const QFontMetrics metrics = label->fontMetrics();
    for (const QString &whole : texts) {
        window->statusChanged({StatusCause::CannotCreateFile, whole.toStdString()});
        const QString shown = label->text();
        EXPECT_EQ(label->toolTip(), whole);
        const QStringList lines = shown.split(u'\n');
        EXPECT_LE(lines.size(), 2) << shown.toStdString();
        EXPECT_LE(lines.size() * metrics.lineSpacing(), label->height() + 2) << shown.toStdString();
        for (const QString &line : lines)
            EXPECT_LE(metrics.horizontalAdvance(line), label->width()) << line.toStdString();
        if (lines.size() == 2) {
            const QChar last = lines[0].back();
            EXPECT_TRUE(last == u':' || last == QChar(0x2014) || whole.contains(lines[0] + " "))
                << "broken inside a word: " << shown.toStdString();
        }
        const bool elided = shown.contains(QChar(0x2026));
        EXPECT_EQ(elided, QString(shown).remove(u'\n').remove(u' ') != QString(whole).remove(u' '))
            << shown.toStdString();
        if (whole.endsWith("(No such file or directory)") || whole.endsWith("Read-only file system")) {
            EXPECT_TRUE(shown.endsWith(whole.mid(whole.lastIndexOf(u' ', whole.lastIndexOf(u' ') - 1) + 1)))
                << "the system's reason stays readable: " << shown.toStdString();
        }
    }
    EXPECT_EQ(label->text(), QString::fromUtf8(LogRecorder::kCannotWrite.data()).trimmed() + "\n"
                                 + label->text().section(u'\n', 1)); // the message's head on its own line
    window->statusChanged({});
    EXPECT_EQ(label->text(), "");
}

// The closed port box keeps the end of a long entry, "(COMn)", in sight; the whole entry is
// its tooltip and the open list is wide enough for it.
TEST_F(WindowFixture, PortBoxKeepsTheComNumberInSight)
{
    auto *combo = child<QComboBox>("portList");
    const QString entry = "svg-sim (virtual) " + runtime.path() + "/svg-logger/ports/svg-sim (COM1)";
    combo->clear();
    combo->addItem(entry);
    EXPECT_EQ(combo->toolTip(), entry);
    ASSERT_GT(combo->fontMetrics().horizontalAdvance(entry), combo->width()) << "the entry is longer than the box";
    QImage drawn(combo->size(), QImage::Format_ARGB32);
    combo->render(&drawn);
    // What the box shows is the entry elided in its middle: drawn alone, the same pixels.
    QComboBox reference;
    reference.resize(combo->size());
    reference.setFont(combo->font());
    QStyleOptionComboBox option;
    option.initFrom(combo);
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
    const QString elided = combo->fontMetrics().elidedText(entry, Qt::ElideMiddle, field.width());
    EXPECT_TRUE(elided.endsWith("(COM1)")) << elided.toStdString();
    reference.addItem(elided);
    QImage expected(reference.size(), QImage::Format_ARGB32);
    reference.render(&expected);
    EXPECT_EQ(drawn, expected);
}

TEST_F(WindowFixture, BrowseTakesTheChosenFoldersAndCancelChangesNothing)
{
    QString startedFrom;
    window->setFileChooser([&](QWidget *, const QString &start) -> std::optional<QString> {
        startedFrom = start;
        return QString("/data/site 3/any name.csv");
    });
    const QString before = text("outputPathBox");
    QTest::mouseClick(child<QPushButton>("browseButton"), Qt::LeftButton);
    EXPECT_EQ(startedFrom, before); // the first Browse starts from the start-up path
    EXPECT_EQ(text("outputPathBox"), "/data/site 3/any name.csv");
    EXPECT_EQ(window->run().logFolder(), "/data/site 3/");
    window->setFileChooser([](QWidget *, const QString &) -> std::optional<QString> { return std::nullopt; });
    QTest::mouseClick(child<QPushButton>("browseButton"), Qt::LeftButton);
    EXPECT_EQ(text("outputPathBox"), "/data/site 3/any name.csv");
}

TEST_F(WindowFixture, IdleClockRunsAndRefreshesThePathOnlyWithTrigger)
{
    test::typeInto(child<QLineEdit>("outputPathBox"), "/somewhere/typed.csv");
    QTest::qWait(400);
    EXPECT_EQ(text("measurementTimeLabel").size(), 14); // "mm/dd hh:mm:ss"
    EXPECT_EQ(text("outputPathBox"), "/somewhere/typed.csv");
    QTest::mouseClick(child<QRadioButton>("triggerOnOption"), Qt::LeftButton);
    QTest::qWait(400);
    EXPECT_TRUE(text("outputPathBox").startsWith("/somewhere/Tarmin"));
}


// "参照": Qt's own Japanese texts where they are installed, columns wide enough to read, and
// nothing written into the user's configuration (the program keeps no settings).
TEST(FileDialog, JapaneseReadableColumnsAndNoSettingsWritten)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QTemporaryDir folder;
    QFile(folder.path() + "/Tarmin7D11H40M31-with-a-long-name.csv").open(QIODevice::WriteOnly);
    QString lookIn;
    std::vector<std::pair<int, int>> columns; // width shown, width its contents want
    QTimer::singleShot(500, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        if (auto *label = dialog->findChild<QLabel *>("lookInLabel"))
            lookIn = label->text();
        if (auto *details = dialog->findChild<QTreeView *>("treeView")) {
            const QAbstractItemModel *model = details->model();
            for (int c = 1; c < details->header()->count(); ++c) {
                int wanted = details->header()->sectionSizeHint(c);
                for (int r = 0; r < model->rowCount(details->rootIndex()); ++r)
                    wanted = std::max(wanted, details->fontMetrics().horizontalAdvance(
                                                  model->index(r, c, details->rootIndex()).data().toString()));
                columns.emplace_back(details->header()->sectionSize(c), wanted);
            }
        }
        dialog->reject();
    });
    EXPECT_FALSE(chooseOutputFile(nullptr, folder.path() + "/x.csv"));
    const bool translated = QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_ja.qm");
    if (translated) {
        EXPECT_NE(lookIn, "Look in:") << "Qt's Japanese texts are installed and should be used";
    }
    ASSERT_FALSE(columns.empty());
    for (const auto &[shown, wanted] : columns)
        EXPECT_GE(shown, wanted) << "a column cut short";
    EXPECT_TRUE(QDir(config.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty())
        << "the dialog wrote settings";
    qunsetenv("XDG_CONFIG_HOME");
}

} // namespace
} // namespace svglogger
