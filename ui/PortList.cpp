#include "ui/PortList.h"

namespace svglogger {

void PortList::showPopup()
{
    emit aboutToOpen();
    QComboBox::showPopup();
}

} // namespace svglogger
