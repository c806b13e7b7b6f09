#include "support/QtPrinters.h"
#include "support/WindowOnEmptyRuntime.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace svglogger {
namespace {

struct TriggerWindowFixture : ::testing::Test, test::WindowOnEmptyRuntime {
    template <typename T>
    T *control(const char *name) const
    {
        T *w = window->triggerWindow() ? window->triggerWindow()->findChild<T *>(name) : nullptr;
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Shown and active, as the operator has it in front of them.
    void showForm()
    {
        QTest::mouseClick(window->findChild<QRadioButton *>("triggerOnOption"), Qt::LeftButton);
        ASSERT_NE(window->triggerWindow(), nullptr);
        QApplication::setActiveWindow(window->triggerWindow());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window->triggerWindow()));
    }
    // A click on the box itself (its middle may lie beyond its caption).
    void click(const char *name)
    {
        auto *box = control<QCheckBox>(name);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    void leave(QLineEdit *edit, const QString &text)
    {
        edit->setFocus();
        edit->setText(text);
        control<QLineEdit>(edit->objectName() == "limitBox_0" ? "limitBox_1" : "limitBox_0")->setFocus(); // focus leaves
    }
};

TEST_F(TriggerWindowFixture, SettingsStartAtTheWindowsDefaultsWhichItShowsWhenFirstOpened)
{
    EXPECT_EQ(window->triggerWindow(), nullptr) << "made when first shown";
    EXPECT_FALSE(window->triggerSettings().windowOutEnabled(0));
    EXPECT_EQ(window->triggerSettings().limitText(0), "6800");
    showForm();
    EXPECT_TRUE(window->triggerWindow()->isVisible());
    EXPECT_EQ(window->triggerWindow()->windowTitle(), QString::fromUtf8("トリガーの設定"));
    EXPECT_EQ(control<QLineEdit>("limitBox_0")->text(), "6800");
    EXPECT_FALSE(control<QCheckBox>("windowOutCheck_0")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("continuousCaptureOption")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("orOption")->isChecked());
    EXPECT_EQ(window->triggerSettings().limitText(0), "6800");
    EXPECT_EQ(window->triggerSettings().limitText(7), "-200");
    EXPECT_EQ(window->triggerSettings().limitText(9), "10");
    EXPECT_EQ(window->triggerSettings().changeThresholdText(4), "100");
    EXPECT_EQ(window->triggerSettings().recordCountText(), "1000");
    EXPECT_EQ(window->triggerSettings().preTriggerCountText(), "100");
    EXPECT_EQ(window->triggerSettings().compareDepthText(), "5");
    EXPECT_FALSE(control<QPushButton>("applyButton")->isEnabled());
    EXPECT_EQ(control<QCheckBox>("windowOutCheck_4")->text(), QString::fromUtf8("不平衡電圧絶対値(V)"));
    EXPECT_EQ(control<QCheckBox>("changeCheck_0")->text(), QString::fromUtf8("⊿Ｖ"));
    EXPECT_EQ(control<QLabel>("compareDepthUnitLabel")->text(), QString::fromUtf8("×0.2秒前のデータと比較"));
    EXPECT_EQ(control<QLabel>("durationLabel")->text(), QString::fromUtf8("(0時間03分20秒)"));
}

TEST_F(TriggerWindowFixture, TriggerOptionShowsAndHidesIt)
{
    QTest::mouseClick(window->findChild<QRadioButton *>("triggerOnOption"), Qt::LeftButton);
    EXPECT_TRUE(window->triggerWindow()->isVisible());
    EXPECT_TRUE(window->isVisible()); // modeless: both stay
    QTest::mouseClick(window->findChild<QRadioButton *>("triggerOffOption"), Qt::LeftButton);
    EXPECT_FALSE(window->triggerWindow()->isVisible());
}

TEST_F(TriggerWindowFixture, ApplyButtonFollowsTheCheckedBoxes)
{
    showForm();
    click("windowOutCheck_0");
    EXPECT_TRUE(control<QPushButton>("applyButton")->isEnabled());
    click("changeCheck_3");
    EXPECT_EQ(window->run().triggerFigures().enabledConditionCount, 2);
    click("windowOutCheck_0");
    EXPECT_TRUE(control<QPushButton>("applyButton")->isEnabled());
    click("changeCheck_3");
    EXPECT_FALSE(control<QPushButton>("applyButton")->isEnabled());
    EXPECT_EQ(window->run().triggerFigures().enabledConditionCount, 0);
}

TEST_F(TriggerWindowFixture, RecordCountsAndDepthAreValidatedWhenLeft)
{
    showForm();
    auto *pre = control<QLineEdit>("preTriggerCountBox");
    auto *records = control<QLineEdit>("recordCountBox");
    leave(records, "50");
    EXPECT_EQ(pre->text(), "50");
    leave(records, "5");
    EXPECT_EQ(pre->text(), "5");
    EXPECT_EQ(records->text(), "10");
    leave(pre, "-3");
    EXPECT_EQ(pre->text(), "0");
    leave(control<QLineEdit>("compareDepthBox"), "0");
    EXPECT_EQ(control<QLineEdit>("compareDepthBox")->text(), "1");
    leave(control<QLineEdit>("compareDepthBox"), "2.5");
    EXPECT_EQ(control<QLineEdit>("compareDepthBox")->text(), "2.5");
}

TEST_F(TriggerWindowFixture, DurationFollowsTheRecordCountAndTheMainSampling)
{
    showForm();
    control<QLineEdit>("recordCountBox")->setText("500");
    EXPECT_EQ(control<QLabel>("durationLabel")->text(), QString::fromUtf8("(0時間01分40秒)"));
    QTest::mouseClick(window->findChild<QRadioButton *>("intervalOption"), Qt::LeftButton);
    window->findChild<QLineEdit *>("intervalBox")->setText("60");
    control<QLineEdit>("recordCountBox")->setText("1000");
    EXPECT_EQ(control<QLabel>("durationLabel")->text(), QString::fromUtf8("(16時間40分00秒)"));
}

TEST_F(TriggerWindowFixture, ApplyTakesTheCountsAndHidesTheWindow)
{
    showForm();
    click("windowOutCheck_0");
    control<QLineEdit>("preTriggerCountBox")->setText("30");
    control<QLineEdit>("compareDepthBox")->setText("2.5");
    QTest::mouseClick(control<QPushButton>("applyButton"), Qt::LeftButton);
    EXPECT_EQ(window->run().triggerFigures().preTriggerCount, 30);
    EXPECT_EQ(window->run().triggerFigures().compareDepth, 2); // 2.5 to even
    EXPECT_FALSE(window->triggerWindow()->isVisible());
    EXPECT_TRUE(window->findChild<QRadioButton *>("triggerOnOption")->isChecked());
}

TEST_F(TriggerWindowFixture, ClosingItSelectsNoTriggerAndTheNextOneHasItsDefaults)
{
    showForm();
    click("windowOutCheck_0");
    click("changeCheck_0");
    control<QLineEdit>("limitBox_0")->setText("7000");
    window->triggerWindow()->close();
    QApplication::processEvents();
    EXPECT_TRUE(window->findChild<QRadioButton *>("triggerOffOption")->isChecked());
    EXPECT_EQ(window->triggerWindow(), nullptr);
    QTest::mouseClick(window->findChild<QRadioButton *>("triggerOnOption"), Qt::LeftButton);
    EXPECT_EQ(window->triggerSettings().limitText(0), "6800");
    EXPECT_FALSE(window->triggerSettings().windowOutEnabled(0));
    // The count outlives the window: the two boxes closed with it still count, so a run armed
    // with them does not fire on "no condition"; the apply button takes its design state.
    EXPECT_EQ(window->run().triggerFigures().enabledConditionCount, 2);
    EXPECT_FALSE(control<QPushButton>("applyButton")->isEnabled());
}

TEST_F(TriggerWindowFixture, OlderControllerClearsTheNegativeSequenceBoxes)
{
    showForm();
    click("windowOutCheck_4");
    click("windowOutCheck_5");
    click("windowOutCheck_0");
    window->run().received("Ver1.00\r");
    EXPECT_FALSE(control<QCheckBox>("windowOutCheck_4")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("windowOutCheck_5")->isChecked());
    EXPECT_TRUE(control<QCheckBox>("windowOutCheck_0")->isChecked());
    EXPECT_EQ(window->run().triggerFigures().enabledConditionCount, 1);
}

} // namespace
} // namespace svglogger
