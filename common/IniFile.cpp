#include "common/IniFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
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

// The first word of a line: what its writer meant as the key.
std::string_view firstWord(std::string_view line)
{
    return line.substr(0, line.find_first_of(" \t=:"));
}

} // namespace

bool IniFile::isSecret(std::string_view key)
{
    std::string lower(key);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char *word : {"password", "secret", "token"})
        if (lower.find(word) != std::string::npos)
            return true;
    return false;
}

IniFile IniFile::read(const std::string &path)
{
    IniFile failed;
    failed.m_name = path;
    // Settings are a regular file of a few KiB: a device (/dev/zero) or a pipe would be read
    // for ever, so neither is opened.
    constexpr std::uintmax_t kLargest = 1u << 20;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::directory) {
        failed.m_error = path + ": cannot be read: it is a folder";
        return failed;
    }
    if (!error && status.type() != std::filesystem::file_type::regular
        && status.type() != std::filesystem::file_type::not_found) {
        failed.m_error = path + ": cannot be read: it is no regular file (a device, a pipe or a socket)";
        return failed;
    }
    if (const std::uintmax_t size = std::filesystem::file_size(path, error); !error && size > kLargest) {
        failed.m_error = path + ": cannot be read: it is larger than 1 MiB, too large for settings";
        return failed;
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        failed.m_error = path + ": cannot be read" + (errno != 0 ? std::string(": ") + std::strerror(errno) : "");
        return failed;
    }
    std::string text(kLargest + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        failed.m_error = path + ": cannot be read: " + std::strerror(errno);
        return failed;
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kLargest) {
        failed.m_error = path + ": cannot be read: it is larger than 1 MiB, too large for settings";
        return failed;
    }
    return parse(text, path);
}

IniFile IniFile::parse(std::string_view text, const std::string &name)
{
    IniFile file;
    file.m_name = name;
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3); // the byte-order mark an editor on Windows may write
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
        if (key.empty() || key.find_first_of(" \t") != std::string_view::npos) {
            // "mqtt-password Pa55" wants its "=": the line is the secret. So may be a line
            // after a secret's, where its value went on.
            const bool afterSecret = !file.m_entries.empty() && file.m_entries.back().line == lineNumber - 1
                && isSecret(file.m_entries.back().key);
            if (isSecret(key.empty() ? line : key))
                file.m_error = located(name, lineNumber, std::string(firstWord(line))
                                           + ": not a key=value line (its value is not repeated here)");
            else if (afterSecret)
                file.m_error = located(name, lineNumber, "not a key=value line (not repeated here: it may go on with "
                                                         "the value of " + file.m_entries.back().key + " above)");
            else
                file.m_error = located(name, lineNumber, "not a key=value line: " + std::string(line));
            return file;
        }
        std::string_view value = trimmed(line.substr(equals + 1));
        if (!value.empty() && value.front() == '"') {
            // A quoted value is taken as it stands between its quotes; a comment may follow.
            const std::size_t close = value.find('"', 1);
            if (close == std::string_view::npos) {
                file.m_error = located(name, lineNumber, "the value of " + std::string(key) + " has no closing quote");
                return file;
            }
            const std::string_view rest = trimmed(value.substr(close + 1));
            if (!rest.empty() && rest.front() != ';' && rest.front() != '#') {
                file.m_error = located(name, lineNumber, "text after the quoted value of " + std::string(key));
                return file;
            }
            value = value.substr(1, close - 1);
        } else {
            // ";" or "#" after white space starts a comment: "type = continuous ; or single".
            for (std::size_t at = 1; at < value.size(); ++at) {
                if ((value[at] == ';' || value[at] == '#') && (value[at - 1] == ' ' || value[at - 1] == '\t')) {
                    value = trimmed(value.substr(0, at));
                    break;
                }
            }
        }
        for (const Entry &earlier : file.m_entries) {
            if (earlier.key == key) {
                file.m_error = located(name, lineNumber, std::string(key) + " is given twice (also on line "
                                                             + std::to_string(earlier.line) + ")");
                return file;
            }
        }
        file.m_entries.push_back({std::string(key), std::string(value), lineNumber});
    }
    return file;
}

std::string IniFile::where(const Entry &entry, std::string_view message) const
{
    return located(m_name, entry.line, message);
}

} // namespace svglogger
