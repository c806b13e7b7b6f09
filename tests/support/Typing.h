#pragma once

#include <QLineEdit>
#include <QTest>

namespace svglogger::test {

// The operator types `text` over what a box holds, key by key, as its edits signal it.
inline void typeInto(QLineEdit *box, const QString &text)
{
    box->selectAll();
    QTest::keyClicks(box, text);
}

} // namespace svglogger::test
