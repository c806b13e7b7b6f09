#pragma once

#include <QComboBox>

namespace svglogger {

// Combo1, the port list: says when the operator opens it, so that it can be filled anew first.
class PortList final : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    void showPopup() override;

signals:
    void aboutToOpen();
};

} // namespace svglogger
