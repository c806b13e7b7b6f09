#include "ui/PortList.h"

#include <QAbstractItemView>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <algorithm>

namespace svglogger {

PortList::PortList(QWidget *parent)
    : QComboBox(parent)
{
    connect(this, &QComboBox::currentTextChanged, this, [this](const QString &text) { setToolTip(text); });
}

void PortList::showPopup()
{
    emit aboutToOpen();
    // The open list shows every entry whole.
    int widest = width();
    for (int i = 0; i < count(); ++i) {
        setItemData(i, itemText(i), Qt::ToolTipRole);
        widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(i)) + 32);
    }
    view()->setTextElideMode(Qt::ElideNone);
    view()->setMinimumWidth(widest);
    QComboBox::showPopup();
}

void PortList::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect text = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, text.width());
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

} // namespace svglogger
