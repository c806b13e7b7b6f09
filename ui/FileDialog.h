#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace svglogger {

// The Open dialog of the output path: all files or CSV files (preselected), starting from
// `start`; the process's working directory is left as it is. Empty when cancelled.
std::optional<QString> chooseOutputFile(QWidget *parent, const QString &start);

} // namespace svglogger
