#include "support/QtPrinters.h"
#include "support/WindowOnEmptyRuntime.h"
#include "ui/SVGCom.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFrame>
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

#include <gtest/gtest.h>

#include <string>

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
    EXPECT_TRUE(child<QRadioButton>("TG_0")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("Option2_0")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("Option4_2")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("Check2")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("Check5")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("Check5")->isEnabled());
    for (const char *name : {"Check1", "Check4", "Check6"})
        EXPECT_FALSE(child<QCheckBox>(name)->isChecked()) << name;
    EXPECT_EQ(text("Text4"), "1");
    EXPECT_TRUE(child<QLineEdit>("Text4")->isEnabled());
    EXPECT_EQ(text("Text3"), "100");
    for (const char *name : {"Label12", "Label1_7", "DTLabel_7", "Label3_7"})
        EXPECT_FALSE(child<QLabel>(name)->isVisible()) << name;
    EXPECT_FALSE(child<QFrame>("Frame5")->isVisible());
    EXPECT_FALSE(child<QPlainTextEdit>("Text2")->isVisible());
    EXPECT_EQ(text("Command1"), QString::fromUtf8("開始"));
    EXPECT_EQ(text("Command2"), QString::fromUtf8("終了"));
    EXPECT_EQ(child<QSlider>("Slider1_0")->minimum(), 0);
    EXPECT_EQ(child<QSlider>("Slider1_0")->maximum(), 2);
    EXPECT_EQ(child<QSlider>("Slider1_1")->minimum(), -4);
    EXPECT_EQ(child<QSlider>("Slider1_1")->value(), 0);
    EXPECT_EQ(child<QSlider>("Slider1_0")->toolTip(), QString::fromUtf8("電圧レンジ指定"));
    // The output path: the log folder in the home directory and a name from the clock.
    const QString path = text("Text1");
    EXPECT_TRUE(path.startsWith(QDir::homePath() + "/temp/Tarmin")) << path.toStdString();
    EXPECT_TRUE(path.endsWith(".csv"));
    EXPECT_EQ(QApplication::focusWidget(), child<QPushButton>("Command1"));
    // Captions quoted in the design.
    EXPECT_EQ(text("Label1_5"), QString::fromUtf8("逆相指令 "));
    EXPECT_EQ(text("Label3_5"), QString::fromUtf8("％"));
    EXPECT_EQ(text("Label3_6"), "A");
    EXPECT_EQ(child<QGroupBox>("Frame6")->title(), "BakC");
    EXPECT_EQ(text("Label8_1"), QString::fromUtf8("ﾚｺｰﾄﾞ"));
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
    const QStringList expected{"Command1", "Command2",  "Text1",     "Command3",  "Option2_0", "Text4",
                               "TG_0",     "Picture1",  "Picture2",  "Check1",    "Check2",    "Slider1_0",
                               "Slider1_1", "Option4_2", "Combo1",   "Check4",    "Check6"};
    EXPECT_EQ(visited, expected);
}

TEST_F(WindowFixture, TiesBetweenControls)
{
    // Check1 shows the "%X=" box and the uncompensated voltage.
    QTest::mouseClick(child<QCheckBox>("Check1"), Qt::LeftButton);
    EXPECT_TRUE(child<QFrame>("Frame5")->isVisible());
    EXPECT_TRUE(child<QLabel>("DTLabel_7")->isVisible());
    QTest::mouseClick(child<QCheckBox>("Check1"), Qt::LeftButton);
    EXPECT_FALSE(child<QFrame>("Frame5")->isVisible());
    EXPECT_FALSE(child<QLabel>("Label3_7")->isVisible());

    // Check6 shows the log and makes the window taller.
    QTest::mouseClick(child<QCheckBox>("Check6"), Qt::LeftButton);
    EXPECT_TRUE(child<QPlainTextEdit>("Text2")->isVisible());
    EXPECT_EQ(window->height(), 9915 / 15 - (7875 - 7470) / 15);
    QTest::mouseClick(child<QCheckBox>("Check6"), Qt::LeftButton);
    EXPECT_EQ(window->height(), 498);

    // The interval box is enabled by the interval option only.
    QTest::mouseClick(child<QRadioButton>("Option2_0"), Qt::LeftButton);
    EXPECT_FALSE(child<QLineEdit>("Text4")->isEnabled());
    EXPECT_FALSE(child<QLabel>("Label9")->isEnabled());
    QTest::mouseClick(child<QRadioButton>("Option2_1"), Qt::LeftButton);
    EXPECT_TRUE(child<QLineEdit>("Text4")->isEnabled());

    // Text4 below one second becomes "1" when it loses the focus; 2.5 stays.
    auto *text4 = child<QLineEdit>("Text4");
    text4->setFocus();
    text4->setText("0.3");
    child<QPushButton>("Command2")->setFocus();
    EXPECT_EQ(text4->text(), "1");
    text4->setFocus();
    text4->setText("2.5");
    child<QPushButton>("Command1")->setFocus();
    EXPECT_EQ(text4->text(), "2.5");

    // Check4 puts the power-flow mark into the shown file name at once.
    QTest::mouseClick(child<QCheckBox>("Check4"), Qt::LeftButton);
    EXPECT_TRUE(text("Text1").endsWith("G.csv"));
    QTest::mouseClick(child<QCheckBox>("Check4"), Qt::LeftButton);
    EXPECT_FALSE(text("Text1").endsWith("G.csv"));
}

TEST_F(WindowFixture, ReadoutFollowsDecodedLinesAndTheVersion)
{
    window->run().received("Ver2.01\rMN R,0000,0,0,0,0,6600,0,1000,-500,200,0,0,0,0,30,40,2350,0\r");
    EXPECT_EQ(text("DTLabel_0"), "6,600");
    EXPECT_EQ(text("DTLabel_1"), "100.0"); // 99.985 kW
    EXPECT_EQ(text("DTLabel_4"), "50.0");
    EXPECT_EQ(text("DTLabel_6"), "0.8");
    EXPECT_TRUE(child<QLabel>("DTLabel_4")->isEnabled());
    EXPECT_FALSE(text("Label5").isEmpty());
    // An older controller greys rows 4 to 6 and keeps their text.
    window->run().received("Ver1.00\r");
    for (const char *name : {"Label1_4", "DTLabel_5", "Label3_6"})
        EXPECT_FALSE(child<QLabel>(name)->isEnabled()) << name;
    EXPECT_EQ(text("DTLabel_4"), "50.0");
    window->run().received("Ver2.01\r");
    EXPECT_TRUE(child<QLabel>("DTLabel_5")->isEnabled());
}

TEST_F(WindowFixture, CommunicationLogShowsTheLinesWhileChecked)
{
    window->run().received("before\r");
    QTest::mouseClick(child<QCheckBox>("Check6"), Qt::LeftButton);
    window->run().received("MN R,first\rsecond line\r");
    const QString shown = child<QPlainTextEdit>("Text2")->toPlainText();
    EXPECT_EQ(shown, "\nMN R,first\nsecond line"); // the log begins with its line break
    EXPECT_TRUE(child<QPlainTextEdit>("Text2")->isReadOnly());
}

TEST_F(WindowFixture, StartWithoutAPortSaysSoAndStaysIdle)
{
    child<QComboBox>("Combo1")->clear();
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    EXPECT_EQ(text("StatusText"), QString::fromUtf8(RunController::kNoPort.data()));
    EXPECT_EQ(window->linkState(), LinkState::Idle);
    EXPECT_TRUE(child<QComboBox>("Combo1")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("Command1")->isEnabled());
}

TEST_F(WindowFixture, PortThatCannotBeOpenedUndoesTheLock)
{
    auto *combo = child<QComboBox>("Combo1");
    combo->clear();
    combo->addItem("gone (COM7)"); // no device behind port 7
    emit combo->activated(0);
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    EXPECT_EQ(text("StatusText"), QString::fromUtf8(RunController::kCannotOpenPort.data()) + "gone (COM7)");
    EXPECT_EQ(window->linkState(), LinkState::Idle);
    for (const char *name : {"Frame2", "Frame4"})
        EXPECT_TRUE(child<QGroupBox>(name)->isEnabled()) << name;
    EXPECT_TRUE(child<QLineEdit>("Text1")->isEnabled());
    EXPECT_EQ(text("Command2"), QString::fromUtf8("終了"));
}

TEST_F(WindowFixture, ExitWhileIdleEndsTheProgram)
{
    QSignalSpy exit(window.get(), &SVGCom::exitRequested);
    QTest::mouseClick(child<QPushButton>("Command2"), Qt::LeftButton);
    EXPECT_EQ(exit.count(), 1);
}

TEST_F(WindowFixture, EnterPressesTheFocusedButton)
{
    QSignalSpy exit(window.get(), &SVGCom::exitRequested);
    child<QPushButton>("Command2")->setFocus();
    QTest::keyClick(child<QPushButton>("Command2"), Qt::Key_Return);
    EXPECT_EQ(exit.count(), 1);
}

TEST_F(WindowFixture, BrowseTakesTheChosenFoldersAndCancelChangesNothing)
{
    QString startedFrom;
    window->setFileChooser([&](QWidget *, const QString &start) -> std::optional<QString> {
        startedFrom = start;
        return QString("/data/site 3/any name.csv");
    });
    const QString before = text("Text1");
    QTest::mouseClick(child<QPushButton>("Command3"), Qt::LeftButton);
    EXPECT_EQ(startedFrom, before); // the first Browse starts from the start-up path
    EXPECT_EQ(text("Text1"), "/data/site 3/any name.csv");
    EXPECT_EQ(window->engine().recorder().logFolder(), "/data/site 3/");
    window->setFileChooser([](QWidget *, const QString &) -> std::optional<QString> { return std::nullopt; });
    QTest::mouseClick(child<QPushButton>("Command3"), Qt::LeftButton);
    EXPECT_EQ(text("Text1"), "/data/site 3/any name.csv");
}

TEST_F(WindowFixture, IdleClockRunsAndRefreshesThePathOnlyWithTrigger)
{
    child<QLineEdit>("Text1")->setText("/somewhere/typed.csv");
    QTest::qWait(400);
    EXPECT_EQ(text("Label5").size(), 14); // "mm/dd hh:mm:ss"
    EXPECT_EQ(text("Text1"), "/somewhere/typed.csv");
    QTest::mouseClick(child<QRadioButton>("TG_1"), Qt::LeftButton);
    QTest::qWait(400);
    EXPECT_TRUE(text("Text1").startsWith("/somewhere/Tarmin"));
}

} // namespace
} // namespace svglogger
