#include "ui/TGForm.h"

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

namespace svglogger {

namespace {

template <typename T>
T *named(T *widget, const QString &name, const QRect &geometry)
{
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

QString fromStd(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLineEdit *box(QWidget *parent, const QString &name, const QString &text, const QRect &geometry)
{
    auto *edit = named(new QLineEdit(text, parent), name, geometry);
    edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return edit;
}

} // namespace

TGForm::TGForm(RunController &run, const Settings &mainSettings, QWidget *mainWindow)
    : QWidget(nullptr, Qt::Window)
    , m_run(run)
    , m_mainSettings(mainSettings)
    , m_mainWindow(mainWindow)
{
    setObjectName("TGForm");
    setWindowTitle(QString::fromUtf8("トリガーの設定"));
    setFixedSize(600, 424);
    buildControls();
    // EnabledConditionCount lives outside the window and is not recounted here: a window
    // closed while armed leaves its conditions counted, so nothing fires without them.
    m_applyButton->setEnabled(false);
    secPR();
}

void TGForm::buildControls()
{
    auto *frame1 = named(new QGroupBox(QString::fromUtf8("トリガー種別"), this), "Frame1", QRect(10, 8, 160, 50));
    m_captureTypeOptions[0] = named(new QRadioButton(QString::fromUtf8("単発"), frame1), "Option1_0", QRect(10, 22, 60, 20));
    m_captureTypeOptions[1] = named(new QRadioButton(QString::fromUtf8("連続"), frame1), "Option1_1", QRect(80, 22, 60, 20));
    m_captureTypeOptions[1]->setChecked(true);
    auto *frame2 = named(new QGroupBox(QString::fromUtf8("トリガー条件"), this), "Frame2", QRect(10, 62, 160, 50));
    m_combinationOptions[0] = named(new QRadioButton("AND", frame2), "Option2_0", QRect(10, 22, 60, 20));
    m_combinationOptions[1] = named(new QRadioButton("OR", frame2), "Option2_1", QRect(80, 22, 60, 20));
    m_combinationOptions[1]->setChecked(true);

    named(new QLabel(QString::fromUtf8("プリトリガレコード数："), this), "Label1_0", QRect(190, 12, 150, 22));
    m_recordCountBoxes[0] = box(this, "Text1_0", QStringLiteral("100"), QRect(340, 12, 70, 22));
    named(new QLabel(QString::fromUtf8("記録レコード数："), this), "Label1_1", QRect(190, 40, 150, 22));
    m_recordCountBoxes[1] = box(this, "Text1_1", QStringLiteral("1000"), QRect(340, 40, 70, 22));
    m_durationLabel = named(new QLabel(QString::fromUtf8("(秒)"), this), "Label2", QRect(340, 66, 200, 22));

    auto *frame4 = named(new QGroupBox(QString::fromUtf8("ウインドアウト"), this), "Frame4", QRect(10, 118, 580, 150));
    const char *const rowLabels[6] = {"< V  or   V <", "< P  or  P <", "< Q or Q <", "< Q or Q <", "< V ", "< A"};
    for (int k = 0; k < 6; ++k) {
        const int y = 20 + 21 * k;
        const TriggerQuantity &q = kTriggerQuantities[static_cast<std::size_t>(k)];
        m_windowOutChecks[k] = named(new QCheckBox(fromStd(q.windowCaption), frame4), QString("Check1_%1").arg(k),
                            QRect(10, y, 180, 20));
        const int first = q.magnitude() ? k + 4 : 2 * k;
        m_limitBoxes[first] = box(frame4, QString("Text2_%1").arg(first), fromStd(q.upper), QRect(195, y, 70, 20));
        named(new QLabel(QString::fromUtf8(rowLabels[k]), frame4), QString("Label3_%1").arg(k), QRect(272, y, 100, 20));
        if (!q.magnitude())
            m_limitBoxes[2 * k + 1] =
                box(frame4, QString("Text2_%1").arg(2 * k + 1), fromStd(q.lower), QRect(375, y, 70, 20));
    }

    auto *frame3 = named(new QGroupBox(QString::fromUtf8("変化値管理"), this), "Frame3", QRect(10, 272, 452, 146));
    for (int k = 0; k < 6; ++k) {
        const int y = 20 + 20 * k;
        const TriggerQuantity &q = kTriggerQuantities[static_cast<std::size_t>(k)];
        m_changeChecks[k] = named(new QCheckBox(fromStd(q.changeCaption), frame3), QString("Check2_%1").arg(k),
                            QRect(10, y, 120, 19));
        m_changeThresholdBoxes[k] = box(frame3, QString("Text3_%1").arg(k), fromStd(q.changeThreshold), QRect(135, y, 60, 19));
        named(new QLabel(fromStd(q.changeUnit), frame3), QString("Label4_%1").arg(k), QRect(200, y, 40, 19));
    }
    named(new QLabel(QString::fromUtf8("比較データ"), frame3), "Label5", QRect(250, 20, 100, 20));
    m_compareDepthBox = box(frame3, "Text4", "5", QRect(250, 42, 50, 20));
    named(new QLabel(QString::fromUtf8("×0.2秒前のデータと比較"), frame3), "Label6", QRect(304, 42, 146, 20));

    m_applyButton = named(new QPushButton(QString::fromUtf8("設定"), this), "Command1", QRect(470, 380, 110, 30));

    for (QCheckBox *check : m_windowOutChecks)
        connect(check, &QCheckBox::toggled, this, &TGForm::conditionClicked);
    for (QCheckBox *check : m_changeChecks)
        connect(check, &QCheckBox::toggled, this, &TGForm::conditionClicked);
    connect(m_applyButton, &QPushButton::clicked, this, &TGForm::applyClicked);
    connect(m_recordCountBoxes[1], &QLineEdit::textChanged, this, &TGForm::secPR);
    for (QLineEdit *edit : {m_recordCountBoxes[0], m_recordCountBoxes[1], m_compareDepthBox})
        edit->installEventFilter(this);
}

bool TGForm::windowOutEnabled(int k) const { return m_windowOutChecks[static_cast<std::size_t>(k)]->isChecked(); }
std::string TGForm::limitText(int j) const { return m_limitBoxes[static_cast<std::size_t>(j)]->text().toStdString(); }
bool TGForm::changeEnabled(int k) const { return m_changeChecks[static_cast<std::size_t>(k)]->isChecked(); }
std::string TGForm::changeThresholdText(int k) const
{
    return m_changeThresholdBoxes[static_cast<std::size_t>(k)]->text().toStdString();
}
bool TGForm::orSelected() const { return m_combinationOptions[1]->isChecked(); }
bool TGForm::continuousCapture() const { return m_captureTypeOptions[1]->isChecked(); }
std::string TGForm::preTriggerCountText() const { return m_recordCountBoxes[0]->text().toStdString(); }
std::string TGForm::recordCountText() const { return m_recordCountBoxes[1]->text().toStdString(); }
std::string TGForm::compareDepthText() const { return m_compareDepthBox->text().toStdString(); }

void TGForm::clearNegativeSequenceConditions()
{
    m_windowOutChecks[4]->setChecked(false);
    m_windowOutChecks[5]->setChecked(false);
}

// Check1_Click and Check2_Click: the count of checked boxes follows every change, and the
// apply button is usable exactly while one is checked.
void TGForm::conditionClicked(bool checked)
{
    m_applyButton->setEnabled(m_run.triggerConditionClicked(checked) >= 1);
}

// "設定": the pre-trigger count and the comparison depth are taken over, both rings made anew.
void TGForm::applyClicked()
{
    m_run.applyTriggerSettings();
    if (m_mainWindow) {
        m_mainWindow->show();
        m_mainWindow->activateWindow();
    }
    hide();
}

void TGForm::secPR()
{
    const double records = readTextNumber(recordCountText());
    const double seconds = m_mainSettings.samplingMode() == kSamplingContinuous
        ? records / 5.0
        : readTextNumber(m_mainSettings.intervalText()) * records;
    m_durationLabel->setText(QString::fromStdString(TriggerWindowRules::durationText(seconds)));
}

void TGForm::closeEvent(QCloseEvent *event)
{
    event->accept();
    emit closedByOperator();
}

void TGForm::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        secPR(); // Form_Activate
    QWidget::changeEvent(event);
}

bool TGForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        if (watched == m_recordCountBoxes[0] || watched == m_recordCountBoxes[1]) {
            const auto counts = TriggerWindowRules::validatedRecordCounts({preTriggerCountText(), recordCountText()});
            if (counts.preTrigger != preTriggerCountText())
                m_recordCountBoxes[0]->setText(QString::fromStdString(counts.preTrigger));
            if (counts.record != recordCountText())
                m_recordCountBoxes[1]->setText(QString::fromStdString(counts.record));
        } else if (watched == m_compareDepthBox) {
            const std::string depth = TriggerWindowRules::validatedCompareDepth(compareDepthText());
            if (depth != compareDepthText())
                m_compareDepthBox->setText(QString::fromStdString(depth));
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace svglogger
