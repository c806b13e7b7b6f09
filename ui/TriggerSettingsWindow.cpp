#include "ui/TriggerSettingsWindow.h"

#include "platform/QtText.h"
#include "common/Settings.h"
#include "common/TextNumber.h"
#include "link/Quantity.h"
#include "pipeline/RunController.h"
#include "recording/TriggerWindowRules.h"
#include "ui_TriggerSettingsWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

#include <vector>

namespace svglogger {

TriggerSettingsWindow::TriggerSettingsWindow(TriggerSettings &settings, RunController &run, const Settings &mainSettings,
                                             QWidget *mainWindow)
    : QWidget(nullptr, Qt::Window)
    , m_settings(settings)
    , m_run(run)
    , m_mainSettings(mainSettings)
    , m_mainWindow(mainWindow)
    , m_form(std::make_unique<Ui::TriggerSettingsWindowForm>())
{
    buildControls();
    setFixedSize(600, 424);
    showSettings();
    writeSettingsOnChange();
    // EnabledConditionCount lives outside the window and is not recounted here: a window
    // closed while armed leaves its conditions counted, so nothing fires without them.
    m_applyButton->setEnabled(false);
    showCaptureDuration();
}

TriggerSettingsWindow::~TriggerSettingsWindow() = default;

void TriggerSettingsWindow::showSettings()
{
    std::vector<QSignalBlocker> quiet; // the boxes set here are no clicks to count
    for (QCheckBox *box : m_windowOutChecks)
        quiet.emplace_back(box);
    for (QCheckBox *box : m_changeChecks)
        quiet.emplace_back(box);
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
    // The geometry, names and captions are the form's (TriggerSettingsWindow.ui); here the
    // members by role and the captions of the table of watched quantities.
    m_form->setupUi(this);
    Ui::TriggerSettingsWindowForm &f = *m_form;
    m_captureTypeOptions = {f.singleShotOption, f.continuousCaptureOption};
    m_combinationOptions = {f.andOption, f.orOption};
    m_recordCountBoxes = {f.preTriggerCountBox, f.recordCountBox};
    m_durationLabel = f.durationLabel;
    m_windowOutChecks = {f.windowOutCheck_0, f.windowOutCheck_1, f.windowOutCheck_2,
                         f.windowOutCheck_3, f.windowOutCheck_4, f.windowOutCheck_5};
    m_limitBoxes = {f.limitBox_0, f.limitBox_1, f.limitBox_2, f.limitBox_3, f.limitBox_4,
                    f.limitBox_5, f.limitBox_6, f.limitBox_7, f.limitBox_8, f.limitBox_9};
    m_changeChecks = {f.changeCheck_0, f.changeCheck_1, f.changeCheck_2, f.changeCheck_3, f.changeCheck_4, f.changeCheck_5};
    m_changeThresholdBoxes = {f.changeThresholdBox_0, f.changeThresholdBox_1, f.changeThresholdBox_2,
                              f.changeThresholdBox_3, f.changeThresholdBox_4, f.changeThresholdBox_5};
    const std::array<QLabel *, 6> changeUnits{f.changeUnitLabel_0, f.changeUnitLabel_1, f.changeUnitLabel_2,
                                              f.changeUnitLabel_3, f.changeUnitLabel_4, f.changeUnitLabel_5};
    m_compareDepthBox = f.compareDepthBox;
    m_applyButton = f.applyButton;
    for (std::size_t k = 0; k < kTriggerQuantities.size(); ++k) {
        m_windowOutChecks[k]->setText(fromStd(kTriggerQuantities[k].windowCaption));
        m_changeChecks[k]->setText(fromStd(kTriggerQuantities[k].changeCaption));
        changeUnits[k]->setText(fromStd(kTriggerQuantities[k].changeUnit));
    }

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
