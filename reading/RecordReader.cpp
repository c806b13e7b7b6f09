#include "reading/RecordReader.h"

#include "reading/LocalClock.h"

#include "common/Settings.h"
#include "reading/RecordTime.h"
#include "recording/CsvText.h"
#include "recording/ShiftJisText.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <optional>

namespace svglogger {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kMaxFields = 1 + 27;

struct Line {
    std::string_view text;
    std::size_t number; // 1-based
    bool ended;         // a line end followed it
};

// Lines at LF, a CR before it dropped; the last line may have no end.
template <typename Visit>
void forEachLine(std::string_view bytes, Visit visit)
{
    std::size_t at = 0, number = 0;
    while (at < bytes.size()) {
        const std::size_t lf = bytes.find('\n', at);
        const bool ended = lf != std::string_view::npos;
        std::string_view line = bytes.substr(at, (ended ? lf : bytes.size()) - at);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!visit(Line{line, ++number, ended}))
            return;
        at = ended ? lf + 1 : bytes.size();
    }
}

// A file's text in a message: at most 40 characters, control characters as '?', bytes that are
// no UTF-8 (a Shift-JIS header, a cut character) as \xNN, so every message is valid UTF-8.
std::string shown(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    std::size_t characters = 0, i = 0;
    while (i < text.size() && characters < 40) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        bool valid = length != 0 && i + length <= text.size() && !(length == 2 && c < 0xC2);
        for (std::size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (!valid) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
            ++i;
        } else if (length == 1) {
            out += (c < 0x20 || c == 0x7f) ? '?' : static_cast<char>(c);
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
        ++characters;
    }
    return i < text.size() ? out + "..." : out;
}

struct RowParse {
    std::int64_t second = 0;
    std::array<float, kMaxFields> values{};
    std::array<std::string_view, kMaxFields> texts{};
    std::string why; // empty when the row is readable
};

// One row of `columns` numbers after its time.
RowParse parseRow(std::string_view line, std::size_t columns)
{
    RowParse row;
    std::size_t fields = 0, start = 0;
    std::array<std::string_view, kMaxFields> parts{};
    bool quoted = false; // a spreadsheet's save may put fields in double quotes, commas inside
    for (std::size_t i = 0; i <= line.size(); ++i) {
        if (i < line.size() && line[i] == '"')
            quoted = !quoted;
        if (i == line.size() || (line[i] == ',' && !quoted)) {
            std::string_view field = line.substr(start, i - start);
            if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
                field = field.substr(1, field.size() - 2);
            if (fields < kMaxFields)
                parts[fields] = field;
            ++fields;
            start = i + 1;
        }
    }
    if (fields != columns + 1) {
        row.why = "wrong field count (" + std::to_string(fields) + ", the header has " + std::to_string(columns + 1) + ")";
        return row;
    }
    const std::optional<std::int64_t> second = parseRowTime(parts[0]);
    if (!second) {
        row.why = "no time in field 1 ('" + shown(parts[0]) + "')";
        return row;
    }
    row.second = *second;
    for (std::size_t f = 1; f <= columns; ++f) {
        const std::string_view text = parts[f];
        double value = 0.0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)
            || text.front() == '+') {
            row.why = "field " + std::to_string(f + 1) + " is no number ('" + shown(text) + "')";
            return row;
        }
        row.values[f - 1] = static_cast<float>(value);
        row.texts[f - 1] = text;
    }
    return row;
}

std::string_view withoutMark(std::string_view line)
{
    return line.starts_with(kByteOrderMark) ? line.substr(kByteOrderMark.size()) : line;
}

} // namespace

void ColumnStats::add(double value, std::string_view text)
{
    if (count == 0 || value < min) {
        min = value;
        minText = text;
    }
    if (count == 0 || value > max) {
        max = value;
        maxText = text;
    }
    sum += value;
    ++count;
}

void ColumnStats::add(float value)
{
    std::string text;
    appendNumberText(text, value, -1);
    add(value, text);
}

void ColumnStats::add(const ColumnStats &other)
{
    if (other.count == 0)
        return;
    if (count == 0 || other.min < min) {
        min = other.min;
        minText = other.minText;
    }
    if (count == 0 || other.max > max) {
        max = other.max;
        maxText = other.maxText;
    }
    sum += other.sum;
    count += other.count;
}

RowLayout layoutOfHeader(std::string_view line)
{
    line = withoutMark(line);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    for (SamplingMode mode : {SamplingMode::Continuous, SamplingMode::Interval}) {
        for (ControllerVersion version : {ControllerVersion::Older, ControllerVersion::Version2}) {
            const std::string &utf8 = headerLine(mode, version);
            if (line == utf8)
                return {mode, version};
            if (const std::optional<std::string> sjis = toShiftJis(utf8); sjis && line == *sjis)
                return {mode, version};
        }
    }
    return {};
}

RecordRows readRows(const RowLayout &layout, std::string_view bytes, bool keepLines, std::int64_t notBefore)
{
    RecordRows rows;
    WallClockReader clock(localClock(), notBefore);
    const std::vector<int> columns = columnsOf(layout);
    constexpr std::size_t kProblemsSaid = 10; // rows left out named one by one; the rest counted
    std::array<float, kMaxFields> values{};
    std::int64_t lastSecond = 0;
    forEachLine(bytes, [&](const Line &line) {
        const std::size_t number = line.number;
        rows.lineCount = number;
        if (line.text.empty() && !line.ended)
            return true; // nothing after the last line end
        RowParse row = parseRow(line.text, columns.size());
        if (!row.why.empty()) {
            ++rows.unreadable;
            if (rows.problems.size() < kProblemsSaid)
                rows.problems.push_back({number, line.ended ? row.why : "last line cut short: " + row.why});
            else
                ++rows.unsaid;
            return true;
        }
        for (std::size_t c = 0; c < columns.size(); ++c) {
            values[c] = row.values[c];
            rows.stats[static_cast<std::size_t>(columns[c])].add(row.values[c], row.texts[c]);
        }
        const std::int64_t second = clock.read(row.second);
        if (rows.table.rows() == 0)
            rows.firstRowLine = number;
        else if (second < lastSecond)
            rows.problems.push_back({number, "the clock goes back from " + rowTimeText(lastSecond) + " to "
                                                 + rowTimeText(second) + " (the row is kept, in time order)"});
        lastSecond = second;
        rows.table.append(static_cast<double>(second), columns, values.data());
        if (keepLines)
            rows.lines.push_back(line.text);
        return true;
    });
    return rows;
}

void spreadWithinSeconds(std::vector<double> &times, std::size_t from, std::size_t to)
{
    assert(from <= to && to <= times.size());
    for (std::size_t i = from; i < to;) {
        const double second = std::floor(times[i]);
        std::size_t j = i;
        while (j < to && std::floor(times[j]) == second)
            ++j;
        for (std::size_t r = i; r < j; ++r)
            times[r] = second + static_cast<double>(r - i) / static_cast<double>(j - i);
        i = j;
    }
}

RecordFile readRecord(std::string path, std::string_view bytes, bool keepLines)
{
    // A Ctrl-Z after the last line is the end of the file, as old DOS tools wrote it.
    if (bytes.ends_with('\x1a'))
        bytes.remove_suffix(1);
    RecordFile file;
    file.path = std::move(path);
    const std::size_t lf = bytes.find('\n');
    if (bytes.empty()) {
        file.error = file.path + ": empty";
        return file;
    }
    std::string_view header = bytes.substr(0, lf);
    file.layout = layoutOfHeader(header);
    if (!file.layout.samplingMode) {
        if (header.ends_with('\r'))
            header.remove_suffix(1);
        file.error = file.path + ": not a log file of the logger (its first line is no header of one: '"
            + shown(withoutMark(header)) + "')";
        return file;
    }
    RecordRows rows = readRows(file.layout, lf == std::string_view::npos ? std::string_view() : bytes.substr(lf + 1), keepLines);
    file.unreadableLines = rows.unreadable;
    // Line 1 is the header.
    const auto said = [&](const RecordRows::Problem &p) { return file.path + ":" + std::to_string(p.line + 1) + ": " + p.reason; };
    if (rows.table.rows() == 0) {
        // One message for the file (a header that fits none of its rows): the count and the first.
        file.error = file.path + ": no readable row"
            + (rows.problems.empty() ? ""
                                     : " (" + std::to_string(rows.problems.size() + rows.unsaid) + " rows left out; the "
                                           "first: " + said(rows.problems.front()) + ")");
        return file;
    }
    file.table = std::move(rows.table);
    for (const RecordRows::Problem &p : rows.problems)
        file.problems.push_back(said(p));
    file.stats = rows.stats;
    file.lines = std::move(rows.lines);
    if (rows.unsaid != 0)
        file.problems.push_back(file.path + ": " + std::to_string(rows.unsaid) + " more rows left out");
    spreadWithinSeconds(file.table.mutableTimes(), 0, file.table.rows());
    return file;
}

} // namespace svglogger
