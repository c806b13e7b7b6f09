#pragma once

#include "quality/EventList.h"

#include <QWidget>

#include <cstddef>
#include <vector>

class QLabel;
class QListWidget;

namespace svglogger {

// "イベント": the listed events in the window's language, above them the Uc they were found
// with and where that came from (a settings file, the command line or the defaults).
class EventListPanel final : public QWidget
{
    Q_OBJECT

public:
    explicit EventListPanel(QWidget *parent = nullptr);

    void setEvents(const std::vector<ListedEvent> &events, double nominal, const QString &source);
    void setCurrent(std::size_t index);
    QString itemText(std::size_t index) const;

signals:
    void activated(std::size_t index);

private:
    QLabel *m_nominal = nullptr;
    QListWidget *m_list = nullptr;
};

} // namespace svglogger
