#pragma once

#include "recording/TriggerSettings.h"

#include <QWidget>

#include <array>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace svglogger {

class RunController;
class Settings;

// The trigger settings window "トリガーの設定": trigger type, OR/AND rule, record counts,
// window-out and change conditions. Modeless beside the main window; its controls are read
// live by the trigger at every sample. Controls carry their established names ("Check1_4").
class TGForm final : public QWidget, public TriggerSettings
{
    Q_OBJECT

public:
    // `mainSettings` gives the main window's sampling mode and interval for the duration shown.
    TGForm(RunController &run, const Settings &mainSettings, QWidget *mainWindow);

    // TriggerSettings: the controls as they are now.
    bool windowOutEnabled(int k) const override;
    std::string limitText(int j) const override;
    bool changeEnabled(int k) const override;
    std::string changeThresholdText(int k) const override;
    bool orSelected() const override;
    std::string recordCountText() const override;
    bool continuousCapture() const override;
    std::string preTriggerCountText() const override;
    std::string compareDepthText() const override;
    // Clears Check1(4) and Check1(5); their clicks count down as the operator's would.
    void clearNegativeSequenceConditions() override;

    // SecPR: Label2 shows how long one capture lasts.
    void secPR();

signals:
    // The operator closed the window with its close box.
    void closedByOperator();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void conditionClicked(bool checked);
    void applyClicked();

    RunController &m_run;
    const Settings &m_mainSettings;
    QWidget *m_mainWindow = nullptr;
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
