#include "headless/IniFile.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>

namespace svglogger {

namespace {

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string located(const std::string &name, int line, std::string_view message)
{
    return name + ":" + std::to_string(line) + ": " + std::string(message);
}

} // namespace

IniFile IniFile::read(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        IniFile file;
        file.m_name = path;
        file.m_error = path + ": cannot be read";
        return file;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return parse(text, path);
}

IniFile IniFile::parse(std::string_view text, const std::string &name)
{
    IniFile file;
    file.m_name = name;
    int lineNumber = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            if (line != "[General]") {
                file.m_error = located(name, lineNumber, "unknown section " + std::string(line));
                return file;
            }
            continue;
        }
        const auto equals = line.find('=');
        const std::string_view key =
            equals == std::string_view::npos ? std::string_view{} : trimmed(line.substr(0, equals));
        if (key.empty()) {
            file.m_error = located(name, lineNumber, "not a key=value line: " + std::string(line));
            return file;
        }
        std::string_view value = trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        file.m_entries.push_back({std::string(key), std::string(value), lineNumber});
    }
    return file;
}

std::string IniFile::where(const Entry &entry, std::string_view message) const
{
    return located(m_name, entry.line, message);
}

std::optional<double> wholeNumber(std::string_view value)
{
    value = trimmed(value);
    if (value.starts_with('+'))
        value.remove_prefix(1);
    double number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number,
                                              std::chars_format::fixed);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() || !std::isfinite(number))
        return std::nullopt; // "nan" and "inf" are no numbers of seconds or counts
    return number;
}

std::optional<bool> onOff(std::string_view value)
{
    value = trimmed(value);
    for (std::string_view yes : {"on", "true", "yes", "1"})
        if (value == yes)
            return true;
    for (std::string_view no : {"off", "false", "no", "0"})
        if (value == no)
            return false;
    return std::nullopt;
}

} // namespace svglogger
