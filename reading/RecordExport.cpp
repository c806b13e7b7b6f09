#include "reading/RecordExport.h"

#include "reading/MappedFile.h"
#include "recording/ShiftJisText.h"

#include <algorithm>
#include <optional>

namespace svglogger {

std::string exportRows(const RecordSet &set, double from, double before, std::ostream &out, std::size_t *written)
{
    std::optional<RowLayout> layout;
    std::string body;
    std::size_t rows = 0;
    for (const RecordSet::Part &entry : set.parts()) {
        const RecordSet::Part *part = &entry;
        const double span = part->intervalSeconds;
        if (part->lastTime + 1.0 <= from || part->firstTime - span >= before)
            continue; // no row of it in the range: not read again
        const MappedFile mapped(part->path);
        if (!mapped.ok())
            return part->path + ": " + mapped.error();
        const RecordFile again = readRecord(part->path, mapped.bytes(), true);
        const std::vector<double> &times = again.table.times();
        bool any = false;
        // The part's run of the file's rows (rows it grew by since are not the set's).
        const std::size_t end = std::min(times.size(), part->fileRow + part->rows);
        for (std::size_t row = part->fileRow; row < end; ++row) {
            if (!rowWithin(times[row], span, from, before))
                continue;
            any = true;
            body.append(again.lines[row]);
            body += "\r\n";
            ++rows;
        }
        if (!any)
            continue;
        if (layout && *layout != again.layout)
            return "the rows are of more than one layout (" + part->path
                + " differs from the files before it): export a range of one layout";
        layout = again.layout;
    }
    if (!layout)
        return "no row in the range";
    const std::optional<std::string> header = toShiftJis(headerLine(*layout->samplingMode, layout->controllerVersion));
    out << *header << "\r\n" << body;
    if (written)
        *written = rows;
    return out ? std::string() : std::string("the file could not be written");
}

} // namespace svglogger
