#pragma once

#include <QComboBox>

namespace svglogger {

// Combo1, the port list: says when the operator opens it, so that it can be filled anew first.
// Closed, it elides the middle of a long entry so that its end, "(COMn)", stays in sight; the
// whole entry is its tooltip, and the open list is wide enough for every entry.
class PortList final : public QComboBox
{
    Q_OBJECT

public:
    explicit PortList(QWidget *parent = nullptr);

    void showPopup() override;

protected:
    void paintEvent(QPaintEvent *event) override;

signals:
    void aboutToOpen();
};

} // namespace svglogger
