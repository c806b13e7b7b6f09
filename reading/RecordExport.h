#pragma once

#include "reading/RecordSet.h"

#include <ostream>
#include <string>

namespace svglogger {

// Writes the rows of `set` that lie in [from, before) (a continuous row by its time, spread
// within its second as the table has it; an interval row by its whole span: rowWithin) as the
// logger wrote them: its header for their layout once, in Shift-JIS, then
// each row's bytes, every line ending in CR LF. The files are read again for their bytes.
// An error text (nothing written) when the rows are of more than one layout, or a file
// cannot be read again; empty on success.
std::string exportRows(const RecordSet &set, double from, double before, std::ostream &out,
                       std::size_t *written = nullptr);

} // namespace svglogger
