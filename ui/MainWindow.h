#pragma once

#include "common/Settings.h"
#include "link/LinkView.h"
#include "pipeline/RunController.h"
#include "pipeline/RunEvents.h"
#include "platform/RunStation.h"
#include "recording/RecordingView.h"
#include "ui/PlotArea.h"
#include "ui/PortList.h"
#include "ui/ScaleStrip.h"
#include "recording/TriggerSettings.h"
#include "ui/TriggerSettingsWindow.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace Ui {
class MainWindowForm;
}

namespace svglogger {

// The main window: the settings in its controls, the live readout, the run control (start,
// stop, exit, port choice, output folder) and the engine that handles every receive event.
// Controls are named by role in its form (MainWindow.ui); each member names the established
// control beside it.
class MainWindow final : public QWidget,
                     public LinkView,
                     public RecordingView,
                     public RunEvents
{
    Q_OBJECT

public:
    static constexpr int kClientWidth = 11895 / 15;     // twips at 96 dpi
    static constexpr int kClientHeight = 7470 / 15;
    static constexpr int kLogExtraHeight = (9915 - 7875) / 15; // the taller window with the log

    using FileChooser = std::function<std::optional<QString>(QWidget *parent, const QString &start)>;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The Browse dialog; tests put their own in place of the platform's.
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    RunController &run() { return m_station->run(); }
    LinkState linkState() const { return m_station->run().linkState(); }
    bool waitingForPort() const { return m_station->run().waitingForPort(); }

    // What the engine reads of the controls, as the window last wrote it.
    const Settings &settings() const { return m_settings; }

    // LinkView
    void showMeasurementTime(std::string_view text) override;
    void communicationLogInserted(std::int32_t position, std::string_view text) override;
    void communicationLogTrimmed(std::int32_t count) override;
    void setReadoutValue(int row, std::string_view text) override;
    void setNegativeSequenceRowsEnabled(bool enabled) override;

    // RecordingView
    void setOutputPath(std::string_view path) override;
    void setRecordCount(std::string_view text) override;
    void setSampleCount(std::string_view text) override;

    void setCaptureIndicatorVisible(bool visible) override;

    // RunEvents: a complete single-shot capture has stopped the run; the status line.
    void runEnded() override;
    void statusChanged(const RunStatus &status) override;

    // The trigger settings as the engine reads them, the settings window's defaults until the
    // operator changes them there; the window is made when "あり" first shows it.
    const TriggerSettings &triggerSettings() const { return m_triggerSettings; }
    TriggerSettingsWindow *triggerWindow() const { return m_triggerWindow.get(); }

signals:
    // Exit ("終了" while idle) or the window closed: the program ends.
    void exitRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void readSettingsFromControls();
    TriggerSettingsWindow &showableTriggerWindow();
    void loadInitialState();                 // Form_Load
    void drawGraphFrame();
    void backgroundChosen(int index);        // "黒", "白", "グレー"

    void startClicked();                     // "開始" / "再開"
    void stopOrExitClicked();                // "中断" / "終了"
    void browseClicked();                    // "参照"
    void portChosen();
    void refreshPortList();
    void idleClockTick();                    // the clock while idle
    void uncompensatedVoltageToggled();      // "未補償電圧計算"
    void powerFlowToggled();                 // "潮流補正"
    void communicationLogToggled();          // "通信ログを表示"
    void samplingModeChosen(int index);
    void intervalBoxLeft();                  // validated when the focus leaves
    void triggerOptionChosen(int index);     // "なし", "あり"
    void triggerWindowClosed();              // closed by the operator

    void lockRunSettings(bool locked);
    void showStopped();
    void showFocusOn(QPushButton *button);
    void endProgram();
    void refreshCommunicationLog();

    Settings m_settings;                 // written here when a control changes
    TriggerSettings m_triggerSettings;   // written by the trigger settings window
    std::unique_ptr<RunStation> m_station;
    std::unique_ptr<TriggerSettingsWindow> m_triggerWindow; // made when first shown
    FileChooser m_chooseFile;
    QTimer m_idleClock; // Timer1
    QString m_dialogFileName;   // where the next Browse starts
    QString m_communicationLog; // Text2's text, one character per received byte
    bool m_triggerWindowPlaced = false;
    std::int16_t m_portNumber = 0;
    bool m_logChanged = false;
    bool m_ended = false;

    std::unique_ptr<Ui::MainWindowForm> m_form; // the geometry from MainWindow.ui
    QPushButton *m_startButton = nullptr;                // Command1 "開始" / "再開"
    QPushButton *m_stopButton = nullptr;                 // Command2 "終了" / "中断"
    QPushButton *m_browseButton = nullptr;               // Command3 "参照"
    QLineEdit *m_outputPathBox = nullptr;                // Text1 "出力ファイル名"
    QLineEdit *m_reactancePercentBox = nullptr;          // Text3, "%X="
    QLineEdit *m_intervalBox = nullptr;                  // Text4, seconds
    QPlainTextEdit *m_communicationLogBox = nullptr;     // Text2
    PortList *m_portList = nullptr;                      // Combo1
    QCheckBox *m_uncompensatedVoltageCheck = nullptr;    // Check1 "未補償電圧計算"
    QCheckBox *m_graphCheck = nullptr;                   // Check2 "グラフ表示"
    QCheckBox *m_powerFlowCheck = nullptr;               // Check4 "潮流補正"
    QCheckBox *m_phaseRotationCheck = nullptr;           // Check5 "相回転補正"
    QCheckBox *m_communicationLogCheck = nullptr;        // Check6 "通信ログを表示"
    QGroupBox *m_samplingFrame = nullptr;                // Frame2 "計測間隔"
    QGroupBox *m_triggerFrame = nullptr;                 // Frame4 "トリガー"
    QGroupBox *m_backgroundFrame = nullptr;              // Frame6 "BakC"
    QFrame *m_reactanceFrame = nullptr;                  // Frame5, the "%X=" input
    std::array<QRadioButton *, 2> m_samplingOptions{};   // Option2 "連続(5回／秒)", "ｲﾝﾀｰﾊﾞﾙ"
    std::array<QRadioButton *, 2> m_triggerOptions{};    // TG "なし", "あり"
    std::array<QRadioButton *, 3> m_backgroundOptions{}; // Option4 "黒", "白", "グレー"
    std::array<QSlider *, 2> m_rangeSliders{};           // Slider1: voltage, power
    std::array<QLabel *, 8> m_readoutNames{};            // Label1
    std::array<QLabel *, 8> m_readoutValues{};           // DTLabel
    std::array<QLabel *, 8> m_readoutUnits{};            // Label3
    std::array<QLabel *, 2> m_recordCountLabels{};       // Label8: the count, "ﾚｺｰﾄﾞ"
    QLabel *m_measurementTimeLabel = nullptr;            // Label5
    QLabel *m_intervalUnitLabel = nullptr;               // Label9 "秒"
    QLabel *m_sampleCountLabel = nullptr;                // Label10
    QLabel *m_captureIndicator = nullptr;                // Label12 "トリガー計測中"
    QLabel *m_statusText = nullptr;                      // the status line
    PlotArea *m_plotArea = nullptr;                      // Picture1
    ScaleStrip *m_scaleStrip = nullptr;                  // Picture2
};

} // namespace svglogger
