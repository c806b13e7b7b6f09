#pragma once

#include "common/Settings.h"
#include "reading/RecordSet.h"

#include <utility>
#include <vector>

namespace svglogger::test {

// A set of one continuous file of an older controller holding `table`'s rows, as if read.
inline RecordSet setOfOneFile(RecordTable table)
{
    RecordFile file;
    file.path = "t.csv";
    file.layout = {SamplingMode::Continuous, ControllerVersion::Older};
    file.table = std::move(table);
    std::vector<RecordFile> files;
    files.push_back(std::move(file));
    return RecordSet::join(std::move(files));
}

} // namespace svglogger::test
