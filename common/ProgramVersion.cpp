#include "common/ProgramVersion.h"

#include "BuildRevision.h" // generated at each build: SVG_BUILD_REVISION

namespace svglogger {

std::string projectVersion()
{
    return SVG_PROJECT_VERSION;
}

std::string buildRevision()
{
    return SVG_BUILD_REVISION;
}

std::string packageVersion()
{
    return SVG_PACKAGE_VERSION;
}

std::string programVersion()
{
    std::string origin;
    if (const std::string package = packageVersion(); !package.empty())
        origin = "Debian " + package;
    if (const std::string revision = buildRevision(); !revision.empty())
        origin += (origin.empty() ? "git " : ", git ") + revision;
    return projectVersion() + (origin.empty() ? "" : " (" + origin + ")");
}

std::string versionLine(std::string_view program)
{
    return std::string(program) + " " + programVersion() + "\n";
}

} // namespace svglogger
