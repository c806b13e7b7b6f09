#include "ui/TGFormHolder.h"

namespace svglogger {

TGForm &TGFormHolder::form() const
{
    if (!m_form)
        m_form = m_make();
    return *m_form;
}

void TGFormHolder::discard()
{
    if (m_form)
        m_form.release()->deleteLater();
}

} // namespace svglogger
