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

std::string programVersion()
{
    const std::string revision = buildRevision();
    return projectVersion() + (revision.empty() ? "" : " (git " + revision + ")");
}

std::string versionLine(std::string_view program)
{
    return std::string(program) + " " + programVersion() + "\n";
}

} // namespace svglogger
