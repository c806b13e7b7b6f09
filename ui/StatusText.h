#pragma once

#include <QFontMetrics>
#include <QString>

namespace svglogger {

// A status text laid out for a label `width` pixels wide in at most two lines. Lines break
// only after "—" or ":" or at a space, never inside a word; what still does not fit (an
// entry, a path) is elided in its middle, its longest word first, so that the system's reason
// after it stays readable. The label's tooltip carries the whole text.
QString fitStatusText(const QString &text, const QFontMetrics &metrics, int width);

} // namespace svglogger
