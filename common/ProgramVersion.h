#pragma once

#include <string>
#include <string_view>

namespace svglogger {

// The project's version ("1.0.0"), the same for every program and the Debian packages.
std::string projectVersion();
// The git revision it was built from ("3f7f6b6", "3f7f6b6-dirty"); empty outside a checkout.
std::string buildRevision();
// The Debian package's version when built as one ("1.0.1-1", "1.0.0-1+b1"); else empty.
std::string packageVersion();
// All three: "1.0.0 (Debian 1.0.0-1, git 3f7f6b6)", "1.0.0 (git 3f7f6b6)", or "1.0.0".
std::string programVersion();
// What --version prints: "svg-logger-headless 1.0.0 (Debian 1.0.0-1, git 3f7f6b6)" and a line end.
std::string versionLine(std::string_view program);

} // namespace svglogger
