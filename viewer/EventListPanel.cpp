#include "viewer/EventListPanel.h"

#include "common/TextNumber.h"
#include "platform/QtText.h"
#include "reading/RecordTime.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include <cmath>
#include <string_view>

namespace svglogger {

EventListPanel::EventListPanel(QWidget *parent)
    : QWidget(parent)
{
    m_nominal = new QLabel(this);
    m_nominal->setObjectName("EventNominal");
    m_list = new QListWidget(this);
    m_list->setObjectName("Events");
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_nominal);
    layout->addWidget(m_list, 1);
    connect(m_list, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { emit activated(static_cast<std::size_t>(m_list->row(item))); });
}

void EventListPanel::setEvents(const std::vector<ListedEvent> &events, double nominal, const QString &source)
{
    m_nominal->setText(QString::fromUtf8("基準電圧 Uc = %1 V（%2）").arg(fromStd(significantText(nominal)), source));
    m_list->clear();
    for (const ListedEvent &event : events) {
        // The list speaks the window's language; the CSV keeps the English names.
        const std::string_view name = eventKindTitle(event.kind).japanese;
        QString text = fromStd(rowTimeText(static_cast<std::int64_t>(std::floor(event.time)))) + "  "
            + QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
        if (event.seconds)
            text += QString("  %1 s").arg(*event.seconds, 0, 'f', 1);
        if (event.extreme)
            text += QString("  %1 V (%2 %)").arg(*event.extreme, 0, 'f', 1).arg(*event.extreme * 100.0 / nominal, 0, 'f', 1);
        m_list->addItem(text);
    }
}

void EventListPanel::setCurrent(std::size_t index)
{
    m_list->setCurrentRow(static_cast<int>(index));
}

QString EventListPanel::itemText(std::size_t index) const
{
    const QListWidgetItem *item = m_list->item(static_cast<int>(index));
    return item ? item->text() : QString();
}

} // namespace svglogger
