#include "ui/MainWindow.h"

#include "platform/QtText.h"
#include "link/MeasurementTime.h"
#include "link/Quantity.h"
#include "link/PortEntry.h"
#include "recording/IntervalAggregator.h"
#include "ui/FileDialog.h"
#include "ui_MainWindow.h"
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



} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QWidget(parent)
    , m_form(std::make_unique<Ui::MainWindowForm>())
{
    m_chooseFile = chooseOutputFile;
    buildControls();
    readSettingsFromControls();
    m_station = std::make_unique<RunStation>(m_settings, m_triggerSettings,
                                             RunStation::Views{*this, *m_plotArea, *this});
    run().follow(this);
    m_idleClock.setInterval(300);
    connect(&m_idleClock, &QTimer::timeout, this, &MainWindow::idleClockTick);

    loadInitialState();
    m_idleClock.start();
}

MainWindow::~MainWindow()
{
    endProgram();
}

void MainWindow::buildControls()
{
    // The geometry, names and captions are the form's (MainWindow.ui); here what it cannot say:
    // the members by role, the readout's texts from the table, faces and colours.
    m_form->setupUi(this);
    setFixedSize(kClientWidth, kClientHeight);
    m_plotArea = m_form->plotArea;
    m_scaleStrip = m_form->scaleStrip;
    m_readoutNames = {m_form->readoutName_0, m_form->readoutName_1, m_form->readoutName_2, m_form->readoutName_3,
                      m_form->readoutName_4, m_form->readoutName_5, m_form->readoutName_6, m_form->readoutName_7};
    m_readoutValues = {m_form->readoutValue_0, m_form->readoutValue_1, m_form->readoutValue_2, m_form->readoutValue_3,
                       m_form->readoutValue_4, m_form->readoutValue_5, m_form->readoutValue_6, m_form->readoutValue_7};
    m_readoutUnits = {m_form->readoutUnit_0, m_form->readoutUnit_1, m_form->readoutUnit_2, m_form->readoutUnit_3,
                      m_form->readoutUnit_4, m_form->readoutUnit_5, m_form->readoutUnit_6, m_form->readoutUnit_7};
    m_graphCheck = m_form->graphCheck;
    m_powerFlowCheck = m_form->powerFlowCheck;
    m_phaseRotationCheck = m_form->phaseRotationCheck; // phase-rotation correction is always on
    m_uncompensatedVoltageCheck = m_form->uncompensatedVoltageCheck;
    m_reactanceFrame = m_form->reactanceFrame;
    m_reactancePercentBox = m_form->reactancePercentBox;
    m_rangeSliders = {m_form->voltageRangeSlider, m_form->powerRangeSlider};
    m_outputPathBox = m_form->outputPathBox;
    m_browseButton = m_form->browseButton;
    m_measurementTimeLabel = m_form->measurementTimeLabel;
    m_startButton = m_form->startButton;
    m_stopButton = m_form->stopButton;
    m_portList = m_form->portList;
    m_recordCountLabels = {m_form->recordCountLabel, m_form->recordCountUnitLabel};
    m_sampleCountLabel = m_form->sampleCountLabel;
    m_samplingFrame = m_form->samplingFrame;
    m_samplingOptions = {m_form->continuousOption, m_form->intervalOption};
    m_intervalBox = m_form->intervalBox;
    m_intervalUnitLabel = m_form->intervalUnitLabel;
    m_triggerFrame = m_form->triggerFrame;
    m_triggerOptions = {m_form->triggerOffOption, m_form->triggerOnOption};
    m_backgroundFrame = m_form->backgroundFrame;
    m_backgroundOptions = {m_form->blackBackgroundOption, m_form->whiteBackgroundOption, m_form->greyBackgroundOption};
    m_communicationLogCheck = m_form->communicationLogCheck;
    m_captureIndicator = m_form->captureIndicator;
    m_statusText = m_form->statusText;
    m_communicationLogBox = m_form->communicationLogBox;

    // The readout: captions and units from the table of readout rows, in Japanese faces.
    for (std::size_t row = 0; row < kReadoutRows.size(); ++row) {
        m_readoutNames[row]->setText(fromStd(kReadoutRows[row].caption));
        m_readoutNames[row]->setFont(japaneseFont(12));
        m_readoutValues[row]->setFont(japaneseFont(18));
        QPalette cyan = m_readoutValues[row]->palette();
        cyan.setColor(QPalette::Window, QColor(128, 255, 255));
        m_readoutValues[row]->setPalette(cyan);
        QLabel *unit = m_readoutUnits[row];
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

    // Each control writes its setting when it changes, whoever changed it.
    connect(m_communicationLogCheck, &QCheckBox::toggled, this, [this](bool on) { m_settings.logShown = on; });
    connect(m_powerFlowCheck, &QCheckBox::toggled, this, [this](bool on) { m_settings.powerFlow = on; });
    connect(m_phaseRotationCheck, &QCheckBox::toggled, this, [this](bool on) { m_settings.phaseRotation = on; });
    connect(m_uncompensatedVoltageCheck, &QCheckBox::toggled, this,
            [this](bool on) { m_settings.uncompensatedVoltage = on; });
    connect(m_graphCheck, &QCheckBox::toggled, this, [this](bool on) { m_settings.graph = on; });
    connect(m_reactancePercentBox, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_settings.reactancePercent = text.toStdString(); });
    connect(m_intervalBox, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_settings.interval = text.toStdString(); });
    connect(m_samplingOptions[1], &QRadioButton::toggled, this, [this](bool on) {
        m_settings.sampling = on ? SamplingMode::Interval : SamplingMode::Continuous;
    });
    connect(m_triggerOptions[1], &QRadioButton::toggled, this, [this](bool on) { m_settings.trigger = on; });

    // Ties between controls.
    connect(m_startButton, &QPushButton::clicked, this, &MainWindow::startClicked);
    connect(m_stopButton, &QPushButton::clicked, this, &MainWindow::stopOrExitClicked);
    connect(m_browseButton, &QPushButton::clicked, this, &MainWindow::browseClicked);
    connect(m_portList, qOverload<int>(&QComboBox::activated), this, &MainWindow::portChosen);
    connect(m_portList, &PortList::aboutToOpen, this, &MainWindow::refreshPortList);
    connect(m_uncompensatedVoltageCheck, &QCheckBox::clicked, this, &MainWindow::uncompensatedVoltageToggled);
    connect(m_powerFlowCheck, &QCheckBox::clicked, this, &MainWindow::powerFlowToggled);
    connect(m_communicationLogCheck, &QCheckBox::clicked, this, &MainWindow::communicationLogToggled);
    connect(m_samplingOptions[0], &QRadioButton::clicked, this, [this] { samplingModeChosen(0); });
    connect(m_samplingOptions[1], &QRadioButton::clicked, this, [this] { samplingModeChosen(1); });
    connect(m_triggerOptions[0], &QRadioButton::clicked, this, [this] { triggerOptionChosen(0); });
    connect(m_triggerOptions[1], &QRadioButton::clicked, this, [this] { triggerOptionChosen(1); });
    // Typed by the operator only: the path the program sets is not echoed back to it.
    connect(m_outputPathBox, &QLineEdit::textEdited, this,
            [this](const QString &text) { run().outputPathEdited(text.toStdString()); });
    for (int i = 0; i < 3; ++i)
        connect(m_backgroundOptions[i], &QRadioButton::clicked, this, [this, i] { backgroundChosen(i); });
    for (QSlider *slider : m_rangeSliders)
        connect(slider, &QSlider::valueChanged, this, &MainWindow::drawGraphFrame);
    m_intervalBox->installEventFilter(this);
    for (QRadioButton *option : findChildren<QRadioButton *>())
        option->installEventFilter(this);
    for (QPushButton *button : {m_startButton, m_stopButton, m_browseButton})
        button->installEventFilter(this);
}

void MainWindow::loadInitialState()
{
    run().setLogFolder(LogRecorder::defaultLogFolder(QDir::homePath().toStdString()));
    m_dialogFileName = m_outputPathBox->text();
    const QString ports = m_station->inventory().discoverSerialPorts();
    if (!ports.isEmpty())
        m_portList->addItems(ports.split("\r\n"));
    m_portList->setCurrentIndex(m_portList->count() > 0 ? 0 : -1);
    m_portNumber = portNumberFromEntry(m_portList->currentText().toStdString());
    drawGraphFrame();
    m_startButton->setFocus();
}

void MainWindow::drawGraphFrame()
{
    const int v = m_rangeSliders[0]->value();
    const int p = m_rangeSliders[1]->value();
    m_plotArea->drawFrame();
    m_scaleStrip->drawNumbers(v, p);
    // The value captions double as the legend.
    for (std::size_t t = 0; t < kTrendTraces.size(); ++t) {
        QLabel *caption = m_readoutNames[static_cast<std::size_t>(kTrendTraces[t].legendRow)];
        QPalette colours = caption->palette();
        colours.setColor(QPalette::WindowText, QColor(PlotArea::traceColour(t)));
        caption->setPalette(colours);
    }
    run().graphRangesChanged(v, p);
}

// Black, white or the start-up grey; the frame is drawn anew on it.
void MainWindow::backgroundChosen(int index)
{
    m_plotArea->setBackground(index == 2 ? QColor(176, 176, 176) : QColor(index * 255, index * 255, index * 255));
    m_plotArea->clearPlot();
    drawGraphFrame();
}

// --- Settings -------------------------------------------------------------------------------

// The controls' start-up state as the form sets it; from then on each control writes its own
// setting when it changes.
void MainWindow::readSettingsFromControls()
{
    m_settings.logShown = m_communicationLogCheck->isChecked();
    m_settings.powerFlow = m_powerFlowCheck->isChecked();
    m_settings.phaseRotation = m_phaseRotationCheck->isChecked();
    m_settings.uncompensatedVoltage = m_uncompensatedVoltageCheck->isChecked();
    m_settings.reactancePercent = m_reactancePercentBox->text().toStdString();
    m_settings.graph = m_graphCheck->isChecked();
    m_settings.sampling = m_samplingOptions[1]->isChecked() ? SamplingMode::Interval : SamplingMode::Continuous;
    m_settings.interval = m_intervalBox->text().toStdString();
    m_settings.trigger = m_triggerOptions[1]->isChecked();
}

// --- Views ----------------------------------------------------------------------------------

// The end of every receive event: the time, and the log box catches up once.
void MainWindow::showMeasurementTime(std::string_view text)
{
    m_measurementTimeLabel->setText(fromStd(text));
    if (m_logChanged && m_communicationLogBox->isVisible())
        refreshCommunicationLog();
}

void MainWindow::refreshCommunicationLog()
{
    QString text = m_communicationLog;
    m_communicationLogBox->setPlainText(text.replace("\r\n", "\n"));
    m_communicationLogBox->verticalScrollBar()->setValue(m_communicationLogBox->verticalScrollBar()->maximum());
    m_logChanged = false;
}

// The log keeps one character per received byte; CR LF pairs show as line breaks.
void MainWindow::communicationLogInserted(std::int32_t position, std::string_view text)
{
    m_communicationLog.insert(position, QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    m_logChanged = true;
}

void MainWindow::communicationLogTrimmed(std::int32_t count)
{
    m_communicationLog.remove(0, count);
    m_logChanged = true;
}

void MainWindow::setReadoutValue(int row, std::string_view text)
{
    m_readoutValues[row]->setText(fromStd(text));
}

void MainWindow::setNegativeSequenceRowsEnabled(bool enabled)
{
    // An older controller has cleared the negative-sequence conditions: the trigger window
    // shows its settings as they now are.
    if (!enabled && m_triggerWindow)
        m_triggerWindow->showSettings();
    for (std::size_t row = 0; row < kReadoutRows.size(); ++row) {
        if (kReadoutRows[row].group != ReadoutGroup::Version2)
            continue;
        m_readoutNames[row]->setEnabled(enabled);
        m_readoutValues[row]->setEnabled(enabled);
        m_readoutUnits[row]->setEnabled(enabled);
    }
}

void MainWindow::setOutputPath(std::string_view path)
{
    m_outputPathBox->setText(fromStd(path));
}

void MainWindow::setRecordCount(std::string_view text)
{
    m_recordCountLabels[0]->setText(fromStd(text));
}

void MainWindow::setSampleCount(std::string_view text)
{
    m_sampleCountLabel->setText(fromStd(text));
}

void MainWindow::statusChanged(const RunStatus &status)
{
    const QString whole = fromStd(status.text);
    m_statusText->setText(fitStatusText(whole, m_statusText->fontMetrics(), m_statusText->width()));
    m_statusText->setToolTip(whole);
}

void MainWindow::setCaptureIndicatorVisible(bool visible)
{
    m_captureIndicator->setVisible(visible);
}

void MainWindow::runEnded()
{
    lockRunSettings(false);
    m_captureIndicator->hide();
    showStopped();
}

// "あり" shows the trigger settings beside the main window, "なし" hides them.
void MainWindow::triggerOptionChosen(int index)
{
    if (index == 1) {
        TriggerSettingsWindow &window = showableTriggerWindow();
        if (!window.isVisible() && !m_triggerWindowPlaced) {
            // Beside the main window, not over it.
            window.move(frameGeometry().topRight() + QPoint(8, 0));
            m_triggerWindowPlaced = true;
        }
        window.show();
        window.raise();
        window.activateWindow();
    } else if (m_triggerWindow) {
        m_triggerWindow->hide();
    }
}

TriggerSettingsWindow &MainWindow::showableTriggerWindow()
{
    if (!m_triggerWindow) {
        m_triggerWindow = std::make_unique<TriggerSettingsWindow>(m_triggerSettings, run(), m_settings, this);
        connect(m_triggerWindow.get(), &TriggerSettingsWindow::closedByOperator, this,
                &MainWindow::triggerWindowClosed);
    }
    return *m_triggerWindow;
}

// The operator closed the settings window: no trigger, and its settings are the defaults again
// (the condition count stays: a run armed with the closed window's conditions captures nothing).
void MainWindow::triggerWindowClosed()
{
    m_triggerOptions[0]->setChecked(true);
    triggerOptionChosen(0);
    m_triggerSettings = TriggerSettings{};
    m_triggerWindow.release()->deleteLater(); // it goes once its close event has returned
    m_triggerWindowPlaced = false;
    run().triggerWindowClosed();
}

// --- Handlers -------------------------------------------------------------------------------

void MainWindow::lockRunSettings(bool locked)
{
    for (QWidget *w : std::initializer_list<QWidget *>{m_samplingFrame, m_portList, m_triggerFrame, m_browseButton, m_powerFlowCheck, m_outputPathBox})
        w->setEnabled(!locked);
}

void MainWindow::startClicked()
{
    if (run().measuring())
        return;
    lockRunSettings(true);
    const std::string entry = m_portList->count() == 0 ? std::string() : m_portList->currentText().toStdString();
    if (!run().start(entry, m_station->inventory().deviceForPort(m_portNumber).toStdString())) {
        lockRunSettings(false);
        return;
    }
    m_stopButton->setText(QString::fromUtf8("中断"));
    m_startButton->setEnabled(false);
    showFocusOn(m_stopButton); // where the disabled button left it
    m_idleClock.stop();
}

void MainWindow::stopOrExitClicked()
{
    lockRunSettings(false);
    m_captureIndicator->hide();
    if (!run().measuring()) {
        endProgram();
        emit exitRequested();
        return;
    }
    run().stop();
    showStopped();
}

// The focus on a button with its ring drawn, as after a Tab: the operator sees what Enter does.
void MainWindow::showFocusOn(QPushButton *button)
{
    setAttribute(Qt::WA_KeyboardFocusChange);
    button->setFocus(Qt::TabFocusReason);
}

// After a Stop: "再開" starts the next run, "終了" ends the program, the idle clock runs.
void MainWindow::showStopped()
{
    m_stopButton->setText(QString::fromUtf8("終了"));
    m_startButton->setText(QString::fromUtf8("再開"));
    m_startButton->setEnabled(true);
    // Enter after a Stop starts the next run: ending the program always takes a deliberate
    // press on "終了" or the close box.
    showFocusOn(m_startButton);
    m_idleClock.start();
}

void MainWindow::browseClicked()
{
    const std::optional<QString> chosen = m_chooseFile(this, m_dialogFileName);
    if (!chosen)
        return;
    m_dialogFileName = *chosen;
    // Qt's dialog answers with "/" everywhere; Text1 shows the platform's own separators
    // ("C:\\data\\x.csv" on Windows). Its folder becomes the log folder.
    m_outputPathBox->setText(QDir::toNativeSeparators(*chosen));
    run().outputPathEdited(m_outputPathBox->text().toStdString());
}

void MainWindow::portChosen()
{
    m_portNumber = portNumberFromEntry(m_portList->currentText().toStdString());
}

// The port list asks the inventory again each time it is opened while idle, so an adapter
// plugged in after start-up is offered: new ports appear, vanished ones go, and the chosen
// port stays chosen while it is there (its entry's number may change).
void MainWindow::refreshPortList()
{
    if (run().measuring())
        return;
    const QString chosen = m_station->inventory().deviceForPort(m_portNumber);
    const QString ports = m_station->inventory().discoverSerialPorts();
    m_portList->clear();
    if (!ports.isEmpty())
        m_portList->addItems(ports.split("\r\n"));
    const int kept = chosen.isEmpty() ? -1 : m_station->inventory().indexOfDevice(chosen);
    m_portList->setCurrentIndex(kept >= 0 ? kept : (m_portList->count() > 0 ? 0 : -1));
    m_portNumber = portNumberFromEntry(m_portList->currentText().toStdString());
}

void MainWindow::idleClockTick()
{
    const LocalDateTime now = m_station->clock().now();
    m_measurementTimeLabel->setText(QString::fromStdString(formatMeasurementTime(now)));
    if (m_settings.trigger)
        run().refreshOutputPath();
}

void MainWindow::uncompensatedVoltageToggled()
{
    const bool shown = m_uncompensatedVoltageCheck->isChecked();
    m_reactanceFrame->setVisible(shown);
    for (std::size_t row = 0; row < kReadoutRows.size(); ++row) {
        if (kReadoutRows[row].group != ReadoutGroup::Uncompensated)
            continue;
        m_readoutNames[row]->setVisible(shown);
        m_readoutValues[row]->setVisible(shown);
        m_readoutUnits[row]->setVisible(shown);
    }
}

void MainWindow::powerFlowToggled()
{
    run().refreshOutputPath();
}

void MainWindow::communicationLogToggled()
{
    const bool shown = m_communicationLogCheck->isChecked();
    m_communicationLogBox->setVisible(shown);
    if (shown)
        refreshCommunicationLog();
    setFixedSize(kClientWidth, kClientHeight + (shown ? kLogExtraHeight : 0));
}

void MainWindow::samplingModeChosen(int index)
{
    const bool enabled = index == 1; // the interval's length is typed in the interval mode only
    m_intervalBox->setEnabled(enabled);
    m_intervalUnitLabel->setEnabled(enabled);
}

void MainWindow::intervalBoxLeft()
{
    const std::string kept = IntervalAggregator::validatedIntervalText(m_intervalBox->text().toStdString());
    if (kept != m_intervalBox->text().toStdString())
        m_intervalBox->setText(QString::fromStdString(kept));
}

// --- Program end -------------------------------------------------------------------------------

void MainWindow::endProgram()
{
    if (m_ended)
        return;
    m_ended = true;
    if (m_triggerWindow)
        m_triggerWindow->hide();
    m_idleClock.stop();
    run().endProgram();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    endProgram();
    event->accept();
    emit exitRequested();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
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
