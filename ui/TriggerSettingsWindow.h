#pragma once

#include "recording/TriggerSettings.h"

#include <QWidget>

#include <array>
#include <memory>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace Ui {
class TriggerSettingsWindowForm;
}

namespace svglogger {

class RunController;
struct Settings;

// The trigger settings window "トリガーの設定": trigger type, OR/AND rule, record counts,
// window-out and change conditions. Modeless beside the main window; each control writes its
// setting into the trigger settings the engine reads when it changes.
class TriggerSettingsWindow final : public QWidget
{
    Q_OBJECT

public:
    // `settings` are shown and written; `mainSettings` give the main window's sampling mode and
    // interval for the duration shown.
    TriggerSettingsWindow(TriggerSettings &settings, RunController &run, const Settings &mainSettings,
                          QWidget *mainWindow);
    ~TriggerSettingsWindow() override;

    // The controls show the settings as they are (an older controller cleared some), without
    // counting the boxes as clicks.
    void showSettings();

    // SecPR: the duration label shows how long one capture lasts.
    void showCaptureDuration();

signals:
    // The operator closed the window with its close box.
    void closedByOperator();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void writeSettingsOnChange();
    void conditionClicked(bool checked);
    void applyClicked();

    TriggerSettings &m_settings;
    RunController &m_run;
    const Settings &m_mainSettings;
    QWidget *m_mainWindow = nullptr;
    std::unique_ptr<Ui::TriggerSettingsWindowForm> m_form; // the geometry from TriggerSettingsWindow.ui
    std::array<QRadioButton *, 2> m_captureTypeOptions{};  // Option1 "単発", "連続"
    std::array<QRadioButton *, 2> m_combinationOptions{};  // Option2 "AND", "OR"
    std::array<QLineEdit *, 2> m_recordCountBoxes{};       // Text1 "プリトリガレコード数：", "記録レコード数："
    std::array<QCheckBox *, 6> m_windowOutChecks{};        // Check1, "ウインドアウト"
    std::array<QLineEdit *, 10> m_limitBoxes{};            // Text2: upper and lower limits
    std::array<QCheckBox *, 6> m_changeChecks{};           // Check2, "変化値管理"
    std::array<QLineEdit *, 6> m_changeThresholdBoxes{};   // Text3
    QLineEdit *m_compareDepthBox = nullptr;                // Text4 "比較データ"
    QLabel *m_durationLabel = nullptr;                     // Label2, the duration of a capture
    QPushButton *m_applyButton = nullptr;                  // Command1 "設定"
};

} // namespace svglogger
