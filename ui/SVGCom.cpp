#include "ui/SVGCom.h"

#include "link/MeasurementTime.h"
#include "link/Quantity.h"
#include "link/PortEntry.h"
#include "recording/IntervalAggregator.h"
#include "ui/FileDialog.h"
#include "ui_SVGCom.h"
#include "ui/StatusText.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>

namespace svglogger {

namespace {

// The readout's Japanese face: IPAPGothic, the metric-compatible substitute for
// "ＭＳ Ｐゴシック", or any installed Japanese face.
QFont japaneseFont(int points, bool bold = false)
{
    static const QString family = [] {
        const QStringList families = QFontDatabase::families(QFontDatabase::Japanese);
        for (const QString &wanted : {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                                      QStringLiteral("IPAGothic")}) {
            if (families.contains(wanted))
                return wanted;
        }
        return families.isEmpty() ? QString() : families.constFirst();
    }();
    QFont font(family);
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

QString fromStd(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The unit label of readout row r is Label3(kUnitLabelOfRow[r]): the design crosses the
// labels of rows 5 and 6.
constexpr int kUnitLabelOfRow[8] = {0, 1, 2, 3, 4, 6, 5, 7};

} // namespace

SVGCom::SVGCom(QWidget *parent)
    : QWidget(parent)
    , m_triggerSettings([this] {
        auto form = std::make_unique<TGForm>(*m_run, *this, this);
        connect(form.get(), &TGForm::closedByOperator, this, &SVGCom::triggerWindowClosed);
        return form;
    })
    , m_form(std::make_unique<Ui::SVGComForm>())
{
    m_chooseFile = chooseOutputFile;
    buildControls();
    m_run = std::make_unique<RunController>(RunInterfaces{*this, m_triggerSettings, m_clock, m_serial, m_reconnectTimer,
                                                          m_watchdogTimer, m_pauseTimer, *this, *m_plotArea, *this,
                                                          m_logFile});
    m_run->follow(this);
    setTabOrderAsDesigned();

    // MSComm1_OnComm: every arrival of data is one receive event.
    connect(&m_serial, &SerialPort::received, this, [this](const QByteArray &bytes) {
        m_run->received(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    });
    connect(&m_serial, &SerialPort::lost, this, [this] { m_run->portLost(); });
    m_timer1.setInterval(300);
    connect(&m_timer1, &QTimer::timeout, this, &SVGCom::idleClockTick);

    loadInitialState();
    m_timer1.start();
}

SVGCom::~SVGCom()
{
    endProgram();
}

void SVGCom::buildControls()
{
    // The geometry, names and captions are the form's (SVGCom.ui); here what it cannot say:
    // the members by role, the readout's texts from the table, faces and colours.
    m_form->setupUi(this);
    setFixedSize(kClientWidth, kClientHeight);
    m_plotArea = m_form->Picture1;
    m_scaleStrip = m_form->Picture2;
    m_readoutNames = {m_form->Label1_0, m_form->Label1_1, m_form->Label1_2, m_form->Label1_3,
                      m_form->Label1_4, m_form->Label1_5, m_form->Label1_6, m_form->Label1_7};
    m_readoutValues = {m_form->DTLabel_0, m_form->DTLabel_1, m_form->DTLabel_2, m_form->DTLabel_3,
                       m_form->DTLabel_4, m_form->DTLabel_5, m_form->DTLabel_6, m_form->DTLabel_7};
    m_readoutUnits = {m_form->Label3_0, m_form->Label3_1, m_form->Label3_2, m_form->Label3_3,
                      m_form->Label3_4, m_form->Label3_5, m_form->Label3_6, m_form->Label3_7};
    m_graphCheck = m_form->Check2;
    m_powerFlowCheck = m_form->Check4;
    m_phaseRotationCheck = m_form->Check5; // phase-rotation correction is always on
    m_uncompensatedVoltageCheck = m_form->Check1;
    m_reactanceFrame = m_form->Frame5;
    m_reactancePercentBox = m_form->Text3;
    m_rangeSliders = {m_form->Slider1_0, m_form->Slider1_1};
    m_outputPathBox = m_form->Text1;
    m_browseButton = m_form->Command3;
    m_measurementTimeLabel = m_form->Label5;
    m_startButton = m_form->Command1;
    m_stopButton = m_form->Command2;
    m_portList = m_form->Combo1;
    m_recordCountLabels = {m_form->Label8_0, m_form->Label8_1};
    m_sampleCountLabel = m_form->Label10;
    m_samplingFrame = m_form->Frame2;
    m_samplingOptions = {m_form->Option2_0, m_form->Option2_1};
    m_intervalBox = m_form->Text4;
    m_intervalUnitLabel = m_form->Label9;
    m_triggerFrame = m_form->Frame4;
    m_triggerOptions = {m_form->TG_0, m_form->TG_1};
    m_backgroundFrame = m_form->Frame6;
    m_backgroundOptions = {m_form->Option4_0, m_form->Option4_1, m_form->Option4_2};
    m_communicationLogCheck = m_form->Check6;
    m_captureIndicator = m_form->Label12;
    m_statusText = m_form->StatusText;
    m_communicationLogBox = m_form->Text2;

    // The readout: captions and units from the table of readout rows, in Japanese faces.
    for (std::size_t row = 0; row < kReadoutRows.size(); ++row) {
        m_readoutNames[row]->setText(fromStd(kReadoutRows[row].caption));
        m_readoutNames[row]->setFont(japaneseFont(12));
        m_readoutValues[row]->setFont(japaneseFont(18));
        QPalette cyan = m_readoutValues[row]->palette();
        cyan.setColor(QPalette::Window, QColor(128, 255, 255));
        m_readoutValues[row]->setPalette(cyan);
        QLabel *unit = m_readoutUnits[static_cast<std::size_t>(kUnitLabelOfRow[row])];
        unit->setText(fromStd(kReadoutRows[row].unit));
        unit->setFont(japaneseFont(18));
    }
    m_graphCheck->setFont(japaneseFont(9, true));
    // Numbers only: an input method would turn digits into full-width characters.
    m_reactancePercentBox->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_intervalBox->setAttribute(Qt::WA_InputMethodEnabled, false);
    QPalette darkBlue = m_recordCountLabels[0]->palette();
    darkBlue.setColor(QPalette::WindowText, QColor(0, 0, 192));
    m_recordCountLabels[0]->setPalette(darkBlue);
    QPalette red = m_captureIndicator->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    m_captureIndicator->setPalette(red);
    m_statusText->setPalette(red); // laid out by fitStatusText: two lines at most
    QFont small = m_statusText->font();
    small.setPointSize(8);
    m_statusText->setFont(small);

    // Ties between controls.
    connect(m_startButton, &QPushButton::clicked, this, &SVGCom::startClicked);
    connect(m_stopButton, &QPushButton::clicked, this, &SVGCom::stopOrExitClicked);
    connect(m_browseButton, &QPushButton::clicked, this, &SVGCom::browseClicked);
    connect(m_portList, qOverload<int>(&QComboBox::activated), this, &SVGCom::portChosen);
    connect(m_portList, &PortList::aboutToOpen, this, &SVGCom::refreshPortList);
    connect(m_uncompensatedVoltageCheck, &QCheckBox::clicked, this, &SVGCom::uncompensatedVoltageToggled);
    connect(m_powerFlowCheck, &QCheckBox::clicked, this, &SVGCom::powerFlowToggled);
    connect(m_communicationLogCheck, &QCheckBox::clicked, this, &SVGCom::communicationLogToggled);
    connect(m_samplingOptions[0], &QRadioButton::clicked, this, [this] { samplingModeChosen(0); });
    connect(m_samplingOptions[1], &QRadioButton::clicked, this, [this] { samplingModeChosen(1); });
    connect(m_triggerOptions[0], &QRadioButton::clicked, this, [this] { triggerOptionChosen(0); });
    connect(m_triggerOptions[1], &QRadioButton::clicked, this, [this] { triggerOptionChosen(1); });
    // Typed by the operator only: the path the program sets is not echoed back to it.
    connect(m_outputPathBox, &QLineEdit::textEdited, this,
            [this](const QString &text) { m_run->outputPathEdited(text.toStdString()); });
    for (int i = 0; i < 3; ++i)
        connect(m_backgroundOptions[i], &QRadioButton::clicked, this, [this, i] { backgroundChosen(i); });
    for (QSlider *slider : m_rangeSliders)
        connect(slider, &QSlider::valueChanged, this, &SVGCom::drawGraphFrame);
    m_intervalBox->installEventFilter(this);
    for (QRadioButton *option : findChildren<QRadioButton *>())
        option->installEventFilter(this);
    for (QPushButton *button : {m_startButton, m_stopButton, m_browseButton})
        button->installEventFilter(this);
}

// Command1, Command2, Text1, Command3, the Option2 pair, Text4, the TG pair, Text2, Picture1,
// Picture2, Check1, Text3, Check2, Slider1(0), Slider1(1), the Option4 triple, Combo1, Check4,
// Check6; Qt skips hidden and disabled controls.
void SVGCom::setTabOrderAsDesigned()
{
    const QList<QWidget *> order{m_startButton,  m_stopButton,  m_outputPathBox,     m_browseButton,  m_samplingOptions[0], m_samplingOptions[1],
                                 m_intervalBox,     m_triggerOptions[0],     m_triggerOptions[1],     m_communicationLogBox,     m_plotArea,   m_scaleStrip,
                                 m_uncompensatedVoltageCheck,    m_reactancePercentBox,     m_graphCheck,    m_rangeSliders[0], m_rangeSliders[1], m_backgroundOptions[0],
                                 m_backgroundOptions[1], m_backgroundOptions[2], m_portList,   m_powerFlowCheck,    m_communicationLogCheck};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void SVGCom::loadInitialState()
{
    m_run->setLogFolder(LogRecorder::defaultLogFolder(QDir::homePath().toStdString()));
    m_dialogFileName = m_outputPathBox->text();
    const QString ports = m_inventory.discoverSerialPorts();
    if (!ports.isEmpty())
        m_portList->addItems(ports.split("\r\n"));
    m_portList->setCurrentIndex(m_portList->count() > 0 ? 0 : -1);
    m_portNumber = portNumberFromEntry(m_portList->currentText().toStdString());
    drawGraphFrame();
    m_startButton->setFocus();
}

void SVGCom::drawGraphFrame()
{
    const int v = m_rangeSliders[0]->value();
    const int p = m_rangeSliders[1]->value();
    m_plotArea->drawFrame();
    m_scaleStrip->drawNumbers(v, p);
    // The value captions double as the legend.
    const int legend[5] = {0, 1, 2, 3, 7};
    for (int t = 0; t < 5; ++t) {
        QPalette colours = m_readoutNames[legend[t]]->palette();
        colours.setColor(QPalette::WindowText, QColor(PlotArea::kTraceColours[static_cast<std::size_t>(t)]));
        m_readoutNames[legend[t]]->setPalette(colours);
    }
    m_run->graphRangesChanged(v, p);
}

// Black, white or the start-up grey; the frame is drawn anew on it.
void SVGCom::backgroundChosen(int index)
{
    m_plotArea->setBackground(index == 2 ? QColor(176, 176, 176) : QColor(index * 255, index * 255, index * 255));
    m_plotArea->clearPlot();
    drawGraphFrame();
}

// --- Settings -------------------------------------------------------------------------------

bool SVGCom::showCommunicationLog() const { return m_communicationLogCheck->isChecked(); }
bool SVGCom::powerFlowCorrection() const { return m_powerFlowCheck->isChecked(); }
bool SVGCom::phaseRotationCorrection() const { return m_phaseRotationCheck->isChecked(); }
bool SVGCom::uncompensatedVoltageShown() const { return m_uncompensatedVoltageCheck->isChecked(); }
std::string SVGCom::uncompensatedPercentText() const { return m_reactancePercentBox->text().toStdString(); }
bool SVGCom::graphShown() const { return m_graphCheck->isChecked(); }

int SVGCom::graphBackground() const
{
    for (int i = 0; i < 3; ++i)
        if (m_backgroundOptions[i]->isChecked())
            return i;
    return kBackgroundGrey;
}

int SVGCom::voltageRange() const { return m_rangeSliders[0]->value(); }
int SVGCom::powerRange() const { return m_rangeSliders[1]->value(); }
int SVGCom::samplingMode() const { return m_samplingOptions[1]->isChecked() ? kSamplingInterval : kSamplingContinuous; }
std::string SVGCom::intervalText() const { return m_intervalBox->text().toStdString(); }
bool SVGCom::triggerOn() const { return m_triggerOptions[1]->isChecked(); }
std::string SVGCom::outputPath() const { return m_outputPathBox->text().toStdString(); }
std::string SVGCom::serialPortEntry() const { return m_portList->currentText().toStdString(); }

// --- Views ----------------------------------------------------------------------------------

// The end of every receive event: the time, and the log box catches up once.
void SVGCom::showMeasurementTime(std::string_view text)
{
    m_measurementTimeLabel->setText(fromStd(text));
    if (m_logChanged && m_communicationLogBox->isVisible())
        refreshCommunicationLog();
}

void SVGCom::refreshCommunicationLog()
{
    QString text = m_communicationLog;
    m_communicationLogBox->setPlainText(text.replace("\r\n", "\n"));
    m_communicationLogBox->verticalScrollBar()->setValue(m_communicationLogBox->verticalScrollBar()->maximum());
    m_logChanged = false;
}

// The log keeps one character per received byte; CR LF pairs show as line breaks.
void SVGCom::communicationLogInserted(std::int32_t position, std::string_view text)
{
    m_communicationLog.insert(position, QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    m_logChanged = true;
}

void SVGCom::communicationLogTrimmed(std::int32_t count)
{
    m_communicationLog.remove(0, count);
    m_logChanged = true;
}

void SVGCom::setReadoutValue(int row, std::string_view text)
{
    m_readoutValues[row]->setText(fromStd(text));
}

void SVGCom::setNegativeSequenceRowsEnabled(bool enabled)
{
    for (int i = 4; i <= 6; ++i) {
        m_readoutNames[i]->setEnabled(enabled);
        m_readoutValues[i]->setEnabled(enabled);
        m_readoutUnits[i]->setEnabled(enabled);
    }
}

void SVGCom::setOutputPath(std::string_view path)
{
    m_outputPathBox->setText(fromStd(path));
}

void SVGCom::setRecordCount(std::string_view text)
{
    m_recordCountLabels[0]->setText(fromStd(text));
}

void SVGCom::setSampleCount(std::string_view text)
{
    m_sampleCountLabel->setText(fromStd(text));
}

void SVGCom::statusChanged(const RunStatus &status)
{
    const QString whole = fromStd(status.text);
    m_statusText->setText(fitStatusText(whole, m_statusText->fontMetrics(), m_statusText->width()));
    m_statusText->setToolTip(whole);
}

void SVGCom::setCaptureIndicatorVisible(bool visible)
{
    m_captureIndicator->setVisible(visible);
}

void SVGCom::runEnded()
{
    lockRunSettings(false);
    m_captureIndicator->hide();
    showStopped();
}

// "あり" shows the trigger settings beside the main window, "なし" hides them.
void SVGCom::triggerOptionChosen(int index)
{
    if (index == 1) {
        if (!tgForm().isVisible() && !m_tgFormPlaced) {
            // Beside the main window, not over it.
            tgForm().move(frameGeometry().topRight() + QPoint(8, 0));
            m_tgFormPlaced = true;
        }
        tgForm().show();
        tgForm().raise();
        tgForm().activateWindow();
    } else if (TGForm *form = m_triggerSettings.existing()) {
        form->hide();
    }
}

// The operator closed the settings window: no trigger, and the window's contents are gone.
void SVGCom::triggerWindowClosed()
{
    m_triggerOptions[0]->setChecked(true);
    triggerOptionChosen(0);
    m_triggerSettings.discard();
    m_tgFormPlaced = false;
    m_run->triggerWindowClosed();
}

// --- Handlers -------------------------------------------------------------------------------

void SVGCom::lockRunSettings(bool locked)
{
    for (QWidget *w : std::initializer_list<QWidget *>{m_samplingFrame, m_portList, m_triggerFrame, m_browseButton, m_powerFlowCheck, m_outputPathBox})
        w->setEnabled(!locked);
}

void SVGCom::startClicked()
{
    if (m_run->measuring())
        return;
    lockRunSettings(true);
    const std::string entry = m_portList->count() == 0 ? std::string() : m_portList->currentText().toStdString();
    if (!m_run->start(entry, m_inventory.deviceForPort(m_portNumber).toStdString())) {
        lockRunSettings(false);
        return;
    }
    m_stopButton->setText(QString::fromUtf8("中断"));
    m_startButton->setEnabled(false);
    showFocusOn(m_stopButton); // where the disabled button left it
    m_timer1.stop();
}

void SVGCom::stopOrExitClicked()
{
    lockRunSettings(false);
    m_captureIndicator->hide();
    if (!m_run->measuring()) {
        endProgram();
        emit exitRequested();
        return;
    }
    m_run->stop();
    showStopped();
}

// The focus on a button with its ring drawn, as after a Tab: the operator sees what Enter does.
void SVGCom::showFocusOn(QPushButton *button)
{
    setAttribute(Qt::WA_KeyboardFocusChange);
    button->setFocus(Qt::TabFocusReason);
}

// After a Stop: "再開" starts the next run, "終了" ends the program, the idle clock runs.
void SVGCom::showStopped()
{
    m_stopButton->setText(QString::fromUtf8("終了"));
    m_startButton->setText(QString::fromUtf8("再開"));
    m_startButton->setEnabled(true);
    // Enter after a Stop starts the next run: ending the program always takes a deliberate
    // press on "終了" or the close box.
    showFocusOn(m_startButton);
    m_timer1.start();
}

void SVGCom::browseClicked()
{
    const std::optional<QString> chosen = m_chooseFile(this, m_dialogFileName);
    if (!chosen)
        return;
    m_dialogFileName = *chosen;
    // Qt's dialog answers with "/" everywhere; Text1 shows the platform's own separators
    // ("C:\\data\\x.csv" on Windows). Its folder becomes the log folder.
    m_outputPathBox->setText(QDir::toNativeSeparators(*chosen));
    m_run->outputPathEdited(m_outputPathBox->text().toStdString());
}

void SVGCom::portChosen()
{
    m_portNumber = portNumberFromEntry(m_portList->currentText().toStdString());
}

// The port list asks the inventory again each time it is opened while idle, so an adapter
// plugged in after start-up is offered: new ports appear, vanished ones go, and the chosen
// port stays chosen while it is there (its entry's number may change).
void SVGCom::refreshPortList()
{
    if (m_run->measuring())
        return;
    const QString chosen = m_inventory.deviceForPort(m_portNumber);
    const QString ports = m_inventory.discoverSerialPorts();
    m_portList->clear();
    if (!ports.isEmpty())
        m_portList->addItems(ports.split("\r\n"));
    const int kept = chosen.isEmpty() ? -1 : m_inventory.indexOfDevice(chosen);
    m_portList->setCurrentIndex(kept >= 0 ? kept : (m_portList->count() > 0 ? 0 : -1));
    m_portNumber = portNumberFromEntry(m_portList->currentText().toStdString());
}

void SVGCom::idleClockTick()
{
    const LocalDateTime now = m_clock.now();
    m_measurementTimeLabel->setText(QString::fromStdString(formatMeasurementTime(now)));
    if (triggerOn())
        m_run->refreshOutputPath();
}

void SVGCom::uncompensatedVoltageToggled()
{
    const bool shown = m_uncompensatedVoltageCheck->isChecked();
    m_reactanceFrame->setVisible(shown);
    m_readoutNames[7]->setVisible(shown);
    m_readoutValues[7]->setVisible(shown);
    m_readoutUnits[7]->setVisible(shown);
}

void SVGCom::powerFlowToggled()
{
    m_run->refreshOutputPath();
}

void SVGCom::communicationLogToggled()
{
    const bool shown = m_communicationLogCheck->isChecked();
    m_communicationLogBox->setVisible(shown);
    if (shown)
        refreshCommunicationLog();
    setFixedSize(kClientWidth, kClientHeight + (shown ? kLogExtraHeight : 0));
}

void SVGCom::samplingModeChosen(int index)
{
    const bool enabled = IntervalAggregator::intervalBoxEnabled(index);
    m_intervalBox->setEnabled(enabled);
    m_intervalUnitLabel->setEnabled(enabled);
}

void SVGCom::intervalBoxLeft()
{
    const std::string kept = IntervalAggregator::validatedIntervalText(m_intervalBox->text().toStdString());
    if (kept != m_intervalBox->text().toStdString())
        m_intervalBox->setText(QString::fromStdString(kept));
}

// --- Program end -------------------------------------------------------------------------------

void SVGCom::endProgram()
{
    if (m_ended)
        return;
    m_ended = true;
    if (TGForm *form = m_triggerSettings.existing())
        form->hide();
    m_timer1.stop();
    m_run->endProgram();
}

void SVGCom::closeEvent(QCloseEvent *event)
{
    endProgram();
    event->accept();
    emit exitRequested();
}

bool SVGCom::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_intervalBox && event->type() == QEvent::FocusOut)
        intervalBoxLeft();
    if (event->type() == QEvent::FocusIn) {
        // Tabbing into an option group lands on its selected option.
        auto *option = qobject_cast<QRadioButton *>(watched);
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (option && !option->isChecked() && (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)) {
            for (QRadioButton *sibling : option->parentWidget()->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly)) {
                if (sibling->isChecked() && sibling->isEnabled()) {
                    sibling->setFocus(reason);
                    break;
                }
            }
        }
    }
    if (event->type() == QEvent::KeyPress) {
        auto *button = qobject_cast<QPushButton *>(watched);
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (button && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            button->click(); // Enter presses the focused button, as Space does
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace svglogger
