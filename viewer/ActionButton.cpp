#include "viewer/ActionButton.h"

#include <QAction>

namespace svglogger {

ActionButton::ActionButton(QAction *action, QWidget *parent)
    : QPushButton(parent)
    , m_action(action)
{
    setObjectName(action->objectName());
    follow();
    connect(action, &QAction::changed, this, &ActionButton::follow);
    if (action->isCheckable()) {
        connect(this, &QPushButton::toggled, action, &QAction::setChecked);
        connect(action, &QAction::toggled, this, &QPushButton::setChecked);
    } else {
        connect(this, &QPushButton::clicked, action, &QAction::trigger);
    }
}

void ActionButton::follow()
{
    setText(m_action->text());
    setCheckable(m_action->isCheckable());
    setChecked(m_action->isChecked());
    setEnabled(m_action->isEnabled());
    // An action's tooltip is its caption unless it was given one: the button then has none.
    QString tip = m_action->toolTip() == m_action->text() ? QString() : m_action->toolTip();
    if (const QKeySequence key = m_action->shortcut(); !key.isEmpty()) {
        const QString said = tip.isEmpty() ? m_action->text() : tip;
        tip = said + QString::fromUtf8("（%1）").arg(key.toString(QKeySequence::NativeText));
    }
    setToolTip(tip);
}

} // namespace svglogger
