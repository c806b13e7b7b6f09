#pragma once

#include <QWidget>

#include <array>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace svglogger {

class ReceiveHandler;
class Settings;

// The trigger settings window "トリガーの設定": trigger type, OR/AND rule, record counts,
// window-out and change conditions. Modeless beside the main window; its controls are read
// live by the trigger at every sample. Controls carry their established names ("Check1_4").
class TGForm final : public QWidget
{
    Q_OBJECT

public:
    // `mainSettings` gives the main window's sampling mode and interval for the duration shown.
    TGForm(ReceiveHandler &engine, const Settings &mainSettings, QWidget *mainWindow);

    bool windowOutChecked(int k) const;
    std::string text2(int j) const;
    bool changeChecked(int k) const;
    std::string text3(int k) const;
    bool orSelected() const;
    bool continuousSelected() const;
    std::string text1(int index) const;
    std::string text4() const;
    // Clears Check1(4) and Check1(5); their clicks count down as the operator's would.
    void clearNegativeSequenceConditions();

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
    void command1Click();

    ReceiveHandler &m_engine;
    const Settings &m_mainSettings;
    QWidget *m_mainWindow = nullptr;
    std::array<QRadioButton *, 2> m_option1{};
    std::array<QRadioButton *, 2> m_option2{};
    std::array<QLineEdit *, 2> m_text1{};
    std::array<QCheckBox *, 6> m_check1{};
    std::array<QLineEdit *, 10> m_text2{};
    std::array<QCheckBox *, 6> m_check2{};
    std::array<QLineEdit *, 6> m_text3{};
    QLineEdit *m_text4 = nullptr;
    QLabel *m_label2 = nullptr;
    QPushButton *m_command1 = nullptr;
};

} // namespace svglogger
