#include "ui/TriggerSettingsWindow.h"

#include "platform/QtText.h"
#include "common/Settings.h"
#include "common/TextNumber.h"
#include "link/Quantity.h"
#include "pipeline/RunController.h"
#include "recording/TriggerWindowRules.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

namespace svglogger {

namespace {

template <typename T>
T *named(T *widget, const QString &name, const QRect &geometry)
{
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}


QLineEdit *box(QWidget *parent, const QString &name, const QString &text, const QRect &geometry)
{
    auto *edit = named(new QLineEdit(text, parent), name, geometry);
    edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return edit;
}

} // namespace

TriggerSettingsWindow::TriggerSettingsWindow(TriggerSettings &settings, RunController &run, const Settings &mainSettings,
                                             QWidget *mainWindow)
    : QWidget(nullptr, Qt::Window)
    , m_settings(settings)
    , m_run(run)
    , m_mainSettings(mainSettings)
    , m_mainWindow(mainWindow)
{
    setObjectName("TriggerSettingsWindow");
    setWindowTitle(QString::fromUtf8("トリガーの設定"));
    setFixedSize(600, 424);
    buildControls();
    showSettings();
    writeSettingsOnChange();
    // EnabledConditionCount lives outside the window and is not recounted here: a window
    // closed while armed leaves its conditions counted, so nothing fires without them.
    m_applyButton->setEnabled(false);
    showCaptureDuration();
}

void TriggerSettingsWindow::showSettings()
{
    const QSignalBlocker blockWindowOut[] = {QSignalBlocker(m_windowOutChecks[0]), QSignalBlocker(m_windowOutChecks[1]),
                                             QSignalBlocker(m_windowOutChecks[2]), QSignalBlocker(m_windowOutChecks[3]),
                                             QSignalBlocker(m_windowOutChecks[4]), QSignalBlocker(m_windowOutChecks[5])};
    const QSignalBlocker blockChange[] = {QSignalBlocker(m_changeChecks[0]), QSignalBlocker(m_changeChecks[1]),
                                          QSignalBlocker(m_changeChecks[2]), QSignalBlocker(m_changeChecks[3]),
                                          QSignalBlocker(m_changeChecks[4]), QSignalBlocker(m_changeChecks[5])};
    for (std::size_t k = 0; k < m_windowOutChecks.size(); ++k) {
        m_windowOutChecks[k]->setChecked(m_settings.windowOut[k]);
        m_changeChecks[k]->setChecked(m_settings.change[k]);
        m_changeThresholdBoxes[k]->setText(QString::fromStdString(m_settings.changeThresholds[k]));
    }
    for (std::size_t j = 0; j < m_limitBoxes.size(); ++j)
        m_limitBoxes[j]->setText(QString::fromStdString(m_settings.limits[j]));
    m_captureTypeOptions[m_settings.continuous ? 1 : 0]->setChecked(true);
    m_combinationOptions[m_settings.orCombination ? 1 : 0]->setChecked(true);
    m_recordCountBoxes[0]->setText(QString::fromStdString(m_settings.preTriggerCount));
    m_recordCountBoxes[1]->setText(QString::fromStdString(m_settings.recordCount));
    m_compareDepthBox->setText(QString::fromStdString(m_settings.compareDepth));
}

void TriggerSettingsWindow::writeSettingsOnChange()
{
    auto text = [](std::string &target) { return [&target](const QString &t) { target = t.toStdString(); }; };
    for (std::size_t k = 0; k < m_windowOutChecks.size(); ++k) {
        connect(m_windowOutChecks[k], &QCheckBox::toggled, this, [this, k](bool on) { m_settings.windowOut[k] = on; });
        connect(m_changeChecks[k], &QCheckBox::toggled, this, [this, k](bool on) { m_settings.change[k] = on; });
        connect(m_changeThresholdBoxes[k], &QLineEdit::textChanged, this, text(m_settings.changeThresholds[k]));
    }
    for (std::size_t j = 0; j < m_limitBoxes.size(); ++j)
        connect(m_limitBoxes[j], &QLineEdit::textChanged, this, text(m_settings.limits[j]));
    connect(m_captureTypeOptions[1], &QRadioButton::toggled, this, [this](bool on) { m_settings.continuous = on; });
    connect(m_combinationOptions[1], &QRadioButton::toggled, this, [this](bool on) { m_settings.orCombination = on; });
    connect(m_recordCountBoxes[0], &QLineEdit::textChanged, this, text(m_settings.preTriggerCount));
    connect(m_recordCountBoxes[1], &QLineEdit::textChanged, this, [this](const QString &t) {
        m_settings.recordCount = t.toStdString();
        showCaptureDuration();
    });
    connect(m_compareDepthBox, &QLineEdit::textChanged, this, text(m_settings.compareDepth));
}

void TriggerSettingsWindow::buildControls()
{
    auto *frame1 = named(new QGroupBox(QString::fromUtf8("トリガー種別"), this), "captureTypeFrame", QRect(10, 8, 160, 50));
    m_captureTypeOptions[0] = named(new QRadioButton(QString::fromUtf8("単発"), frame1), "singleShotOption", QRect(10, 22, 60, 20));
    m_captureTypeOptions[1] = named(new QRadioButton(QString::fromUtf8("連続"), frame1), "continuousCaptureOption", QRect(80, 22, 60, 20));
    m_captureTypeOptions[1]->setChecked(true);
    auto *frame2 = named(new QGroupBox(QString::fromUtf8("トリガー条件"), this), "combinationFrame", QRect(10, 62, 160, 50));
    m_combinationOptions[0] = named(new QRadioButton("AND", frame2), "andOption", QRect(10, 22, 60, 20));
    m_combinationOptions[1] = named(new QRadioButton("OR", frame2), "orOption", QRect(80, 22, 60, 20));
    m_combinationOptions[1]->setChecked(true);

    named(new QLabel(QString::fromUtf8("プリトリガレコード数："), this), "preTriggerCountCaption", QRect(190, 12, 150, 22));
    m_recordCountBoxes[0] = box(this, "preTriggerCountBox", QStringLiteral("100"), QRect(340, 12, 70, 22));
    named(new QLabel(QString::fromUtf8("記録レコード数："), this), "recordCountCaption", QRect(190, 40, 150, 22));
    m_recordCountBoxes[1] = box(this, "recordCountBox", QStringLiteral("1000"), QRect(340, 40, 70, 22));
    m_durationLabel = named(new QLabel(QString::fromUtf8("(秒)"), this), "durationLabel", QRect(340, 66, 200, 22));

    auto *frame4 = named(new QGroupBox(QString::fromUtf8("ウインドアウト"), this), "windowOutFrame", QRect(10, 118, 580, 150));
    const char *const rowLabels[6] = {"< V  or   V <", "< P  or  P <", "< Q or Q <", "< Q or Q <", "< V ", "< A"};
    for (int k = 0; k < 6; ++k) {
        const int y = 20 + 21 * k;
        const TriggerQuantity &q = kTriggerQuantities[static_cast<std::size_t>(k)];
        m_windowOutChecks[k] = named(new QCheckBox(fromStd(q.windowCaption), frame4), QString("windowOutCheck_%1").arg(k),
                            QRect(10, y, 180, 20));
        const int first = q.magnitude() ? k + 4 : 2 * k;
        m_limitBoxes[first] = box(frame4, QString("limitBox_%1").arg(first), fromStd(q.upper), QRect(195, y, 70, 20));
        named(new QLabel(QString::fromUtf8(rowLabels[k]), frame4), QString("limitCaption_%1").arg(k), QRect(272, y, 100, 20));
        if (!q.magnitude())
            m_limitBoxes[2 * k + 1] =
                box(frame4, QString("limitBox_%1").arg(2 * k + 1), fromStd(q.lower), QRect(375, y, 70, 20));
    }

    auto *frame3 = named(new QGroupBox(QString::fromUtf8("変化値管理"), this), "changeFrame", QRect(10, 272, 452, 146));
    for (int k = 0; k < 6; ++k) {
        const int y = 20 + 20 * k;
        const TriggerQuantity &q = kTriggerQuantities[static_cast<std::size_t>(k)];
        m_changeChecks[k] = named(new QCheckBox(fromStd(q.changeCaption), frame3), QString("changeCheck_%1").arg(k),
                            QRect(10, y, 120, 19));
        m_changeThresholdBoxes[k] = box(frame3, QString("changeThresholdBox_%1").arg(k), fromStd(q.changeThreshold), QRect(135, y, 60, 19));
        named(new QLabel(fromStd(q.changeUnit), frame3), QString("changeUnitLabel_%1").arg(k), QRect(200, y, 40, 19));
    }
    named(new QLabel(QString::fromUtf8("比較データ"), frame3), "compareDepthCaption", QRect(250, 20, 100, 20));
    m_compareDepthBox = box(frame3, "compareDepthBox", "5", QRect(250, 42, 50, 20));
    named(new QLabel(QString::fromUtf8("×0.2秒前のデータと比較"), frame3), "compareDepthUnitLabel", QRect(304, 42, 146, 20));

    m_applyButton = named(new QPushButton(QString::fromUtf8("設定"), this), "applyButton", QRect(470, 380, 110, 30));

    for (QCheckBox *check : m_windowOutChecks)
        connect(check, &QCheckBox::toggled, this, &TriggerSettingsWindow::conditionClicked);
    for (QCheckBox *check : m_changeChecks)
        connect(check, &QCheckBox::toggled, this, &TriggerSettingsWindow::conditionClicked);
    connect(m_applyButton, &QPushButton::clicked, this, &TriggerSettingsWindow::applyClicked);
    for (QLineEdit *edit : {m_recordCountBoxes[0], m_recordCountBoxes[1], m_compareDepthBox})
        edit->installEventFilter(this);
}

// Check1_Click and Check2_Click: the count of checked boxes follows every change, and the
// apply button is usable exactly while one is checked.
void TriggerSettingsWindow::conditionClicked(bool checked)
{
    m_applyButton->setEnabled(m_run.triggerConditionClicked(checked) >= 1);
}

// "設定": the pre-trigger count and the comparison depth are taken over, both rings made anew.
void TriggerSettingsWindow::applyClicked()
{
    m_run.applyTriggerSettings();
    if (m_mainWindow) {
        m_mainWindow->show();
        m_mainWindow->activateWindow();
    }
    hide();
}

void TriggerSettingsWindow::showCaptureDuration()
{
    const double records = readTextNumber(m_settings.recordCount);
    const double seconds = m_mainSettings.sampling == SamplingMode::Continuous
        ? records / 5.0
        : readTextNumber(m_mainSettings.interval) * records;
    m_durationLabel->setText(QString::fromStdString(TriggerWindowRules::durationText(seconds)));
}

void TriggerSettingsWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    emit closedByOperator();
}

void TriggerSettingsWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        showCaptureDuration(); // Form_Activate
    QWidget::changeEvent(event);
}

bool TriggerSettingsWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        if (watched == m_recordCountBoxes[0] || watched == m_recordCountBoxes[1]) {
            const auto counts = TriggerWindowRules::validatedRecordCounts({m_settings.preTriggerCount, m_settings.recordCount});
            if (counts.preTrigger != m_settings.preTriggerCount)
                m_recordCountBoxes[0]->setText(QString::fromStdString(counts.preTrigger));
            if (counts.record != m_settings.recordCount)
                m_recordCountBoxes[1]->setText(QString::fromStdString(counts.record));
        } else if (watched == m_compareDepthBox) {
            const std::string depth = TriggerWindowRules::validatedCompareDepth(m_settings.compareDepth);
            if (depth != m_settings.compareDepth)
                m_compareDepthBox->setText(QString::fromStdString(depth));
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace svglogger
