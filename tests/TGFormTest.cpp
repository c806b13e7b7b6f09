#include "support/QtPrinters.h"
#include "support/WindowOnEmptyRuntime.h"
#include "ui/SVGCom.h"

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

struct TGFormFixture : ::testing::Test, test::WindowOnEmptyRuntime {
    template <typename T>
    T *control(const char *name) const
    {
        T *w = window->tgForm().findChild<T *>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Shown and active, as the operator has it in front of them.
    void showForm()
    {
        QTest::mouseClick(window->findChild<QRadioButton *>("TG_1"), Qt::LeftButton);
        QApplication::setActiveWindow(&window->tgForm());
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window->tgForm()));
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
        control<QLineEdit>(edit->objectName() == "Text2_0" ? "Text2_1" : "Text2_0")->setFocus(); // focus leaves
    }
};

TEST_F(TGFormFixture, MadeHiddenWithItsDefaultsOnFirstRead)
{
    EXPECT_FALSE(window->tgFormExists());
    EXPECT_FALSE(window->triggerSettings().windowOutEnabled(0)); // a read makes the window
    ASSERT_TRUE(window->tgFormExists());
    EXPECT_FALSE(window->tgForm().isVisible());
    EXPECT_EQ(window->tgForm().windowTitle(), QString::fromUtf8("トリガーの設定"));
    EXPECT_TRUE(control<QRadioButton>("Option1_1")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("Option2_1")->isChecked());
    EXPECT_EQ(window->triggerSettings().limitText(0), "6800");
    EXPECT_EQ(window->triggerSettings().limitText(7), "-200");
    EXPECT_EQ(window->triggerSettings().limitText(9), "10");
    EXPECT_EQ(window->triggerSettings().changeThresholdText(4), "100");
    EXPECT_EQ(window->triggerSettings().recordCountText(), "1000");
    EXPECT_EQ(window->triggerSettings().preTriggerCountText(), "100");
    EXPECT_EQ(window->triggerSettings().compareDepthText(), "5");
    EXPECT_FALSE(control<QPushButton>("Command1")->isEnabled());
    EXPECT_EQ(control<QCheckBox>("Check1_4")->text(), QString::fromUtf8("不平衡電圧絶対値(V)"));
    EXPECT_EQ(control<QCheckBox>("Check2_0")->text(), QString::fromUtf8("⊿Ｖ"));
    EXPECT_EQ(control<QLabel>("Label6")->text(), QString::fromUtf8("×0.2秒前のデータと比較"));
    EXPECT_EQ(control<QLabel>("Label2")->text(), QString::fromUtf8("(0時間03分20秒)"));
}

TEST_F(TGFormFixture, TriggerOptionShowsAndHidesIt)
{
    QTest::mouseClick(window->findChild<QRadioButton *>("TG_1"), Qt::LeftButton);
    EXPECT_TRUE(window->tgForm().isVisible());
    EXPECT_TRUE(window->isVisible()); // modeless: both stay
    QTest::mouseClick(window->findChild<QRadioButton *>("TG_0"), Qt::LeftButton);
    EXPECT_FALSE(window->tgForm().isVisible());
}

TEST_F(TGFormFixture, ApplyButtonFollowsTheCheckedBoxes)
{
    showForm();
    click("Check1_0");
    EXPECT_TRUE(control<QPushButton>("Command1")->isEnabled());
    click("Check2_3");
    EXPECT_EQ(window->run().trigger().enabledConditionCount(), 2);
    click("Check1_0");
    EXPECT_TRUE(control<QPushButton>("Command1")->isEnabled());
    click("Check2_3");
    EXPECT_FALSE(control<QPushButton>("Command1")->isEnabled());
    EXPECT_EQ(window->run().trigger().enabledConditionCount(), 0);
}

TEST_F(TGFormFixture, RecordCountsAndDepthAreValidatedWhenLeft)
{
    showForm();
    auto *pre = control<QLineEdit>("Text1_0");
    auto *records = control<QLineEdit>("Text1_1");
    leave(records, "50");
    EXPECT_EQ(pre->text(), "50");
    leave(records, "5");
    EXPECT_EQ(pre->text(), "5");
    EXPECT_EQ(records->text(), "10");
    leave(pre, "-3");
    EXPECT_EQ(pre->text(), "0");
    leave(control<QLineEdit>("Text4"), "0");
    EXPECT_EQ(control<QLineEdit>("Text4")->text(), "1");
    leave(control<QLineEdit>("Text4"), "2.5");
    EXPECT_EQ(control<QLineEdit>("Text4")->text(), "2.5");
}

TEST_F(TGFormFixture, DurationFollowsTheRecordCountAndTheMainSampling)
{
    control<QLineEdit>("Text1_1")->setText("500");
    EXPECT_EQ(control<QLabel>("Label2")->text(), QString::fromUtf8("(0時間01分40秒)"));
    QTest::mouseClick(window->findChild<QRadioButton *>("Option2_1"), Qt::LeftButton);
    window->findChild<QLineEdit *>("Text4")->setText("60");
    control<QLineEdit>("Text1_1")->setText("1000");
    EXPECT_EQ(control<QLabel>("Label2")->text(), QString::fromUtf8("(16時間40分00秒)"));
}

TEST_F(TGFormFixture, ApplyTakesTheCountsAndHidesTheWindow)
{
    showForm();
    click("Check1_0");
    control<QLineEdit>("Text1_0")->setText("30");
    control<QLineEdit>("Text4")->setText("2.5");
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    EXPECT_EQ(window->run().trigger().capture().preTriggerCount(), 30);
    EXPECT_EQ(window->run().trigger().evaluator().compareDepth(), 2); // 2.5 to even
    EXPECT_FALSE(window->tgForm().isVisible());
    EXPECT_TRUE(window->findChild<QRadioButton *>("TG_1")->isChecked());
}

TEST_F(TGFormFixture, ClosingItSelectsNoTriggerAndTheNextOneHasItsDefaults)
{
    showForm();
    click("Check1_0");
    click("Check2_0");
    control<QLineEdit>("Text2_0")->setText("7000");
    window->tgForm().close();
    QApplication::processEvents();
    EXPECT_TRUE(window->findChild<QRadioButton *>("TG_0")->isChecked());
    EXPECT_FALSE(window->tgFormExists());
    QTest::mouseClick(window->findChild<QRadioButton *>("TG_1"), Qt::LeftButton);
    EXPECT_EQ(window->triggerSettings().limitText(0), "6800");
    EXPECT_FALSE(window->triggerSettings().windowOutEnabled(0));
    // The count outlives the window: the two boxes closed with it still count, so a run armed
    // with them does not fire on "no condition"; the apply button takes its design state.
    EXPECT_EQ(window->run().trigger().enabledConditionCount(), 2);
    EXPECT_FALSE(control<QPushButton>("Command1")->isEnabled());
}

TEST_F(TGFormFixture, OlderControllerClearsTheNegativeSequenceBoxes)
{
    showForm();
    click("Check1_4");
    click("Check1_5");
    click("Check1_0");
    window->run().received("Ver1.00\r");
    EXPECT_FALSE(control<QCheckBox>("Check1_4")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("Check1_5")->isChecked());
    EXPECT_TRUE(control<QCheckBox>("Check1_0")->isChecked());
    EXPECT_EQ(window->run().trigger().enabledConditionCount(), 1);
}

} // namespace
} // namespace svglogger
