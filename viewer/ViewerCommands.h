#pragma once

#include "viewer/ViewerOptions.h"

#include <ostream>

namespace svglogger {

// Exit codes of svg-logger-view.
inline constexpr int kViewOk = 0;
inline constexpr int kViewBadInput = 2; // a bad option, or no input with a readable row

// The command-line modes (everything but the window): reads the inputs, names each left-out
// row and unreadable file on `err`, writes the result. Needs a QGuiApplication for pictures.
int runViewerCommand(const ViewerOptions &options, std::ostream &out, std::ostream &err);

} // namespace svglogger
