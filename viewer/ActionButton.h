#pragma once

#include <QPushButton>

class QAction;

namespace svglogger {

// A push button for one QAction of the window's band: its caption, tooltip (with the
// shortcut), enabled and checked state follow the action; a click triggers it (or toggles it).
// It takes the action's object name.
class ActionButton final : public QPushButton
{
    Q_OBJECT

public:
    explicit ActionButton(QAction *action, QWidget *parent = nullptr);

private:
    void follow();

    QAction *m_action = nullptr;
};

} // namespace svglogger
