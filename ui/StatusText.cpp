#include "ui/StatusText.h"

#include <QStringList>

#include <vector>

namespace svglogger {

namespace {

const QChar kDash(0x2014); // "—"

// Where a line may end: after "—" or ":", or at a space (which the break swallows).
std::vector<qsizetype> breakPoints(const QString &text)
{
    std::vector<qsizetype> points;
    for (qsizetype i = 1; i < text.size(); ++i) {
        const QChar before = text[i - 1];
        if ((before == kDash || before == u':' || before == u' ') && text[i] != u' ')
            points.push_back(i);
    }
    return points;
}

bool fits(const QFontMetrics &metrics, const QString &line, int width)
{
    return metrics.horizontalAdvance(line) <= width;
}

// One line made to fit: its longest word elided in the middle, or the whole line if that
// is not enough.
QString elideLine(const QString &line, const QFontMetrics &metrics, int width)
{
    if (fits(metrics, line, width))
        return line;
    QStringList words = line.split(u' ');
    qsizetype longest = 0;
    for (qsizetype i = 1; i < words.size(); ++i)
        if (metrics.horizontalAdvance(words[i]) > metrics.horizontalAdvance(words[longest]))
            longest = i;
    const int excess = metrics.horizontalAdvance(line) - width;
    const int room = metrics.horizontalAdvance(words[longest]) - excess;
    if (room > metrics.horizontalAdvance(QStringLiteral("a…b"))) {
        words[longest] = metrics.elidedText(words[longest], Qt::ElideMiddle, room);
        const QString shortened = words.join(u' ');
        if (fits(metrics, shortened, width))
            return shortened;
    }
    return metrics.elidedText(line, Qt::ElideMiddle, width);
}

} // namespace

QString fitStatusText(const QString &text, const QFontMetrics &metrics, int width)
{
    if (fits(metrics, text, width))
        return text;
    const std::vector<qsizetype> points = breakPoints(text);
    auto first = [&](qsizetype at) { return text.left(at).trimmed(); };
    auto second = [&](qsizetype at) { return text.mid(at).trimmed(); };
    // Two whole lines: the latest break whose first line fits.
    for (auto it = points.rbegin(); it != points.rend(); ++it) {
        if (!fits(metrics, first(*it), width))
            continue;
        if (fits(metrics, second(*it), width))
            return first(*it) + u'\n' + second(*it);
        break; // an earlier break only makes the second line longer
    }
    // The message's head on the first line (up to its first ":" when that fits), the long
    // part elided on the second.
    qsizetype chosen = -1;
    for (qsizetype at : points) {
        if (!fits(metrics, first(at), width))
            break;
        chosen = at;
        if (first(at).endsWith(u':') || first(at).endsWith(kDash))
            break;
    }
    if (chosen < 0)
        return elideLine(text, metrics, width);
    return first(chosen) + u'\n' + elideLine(second(chosen), metrics, width);
}

} // namespace svglogger
