#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace svglogger {

// An INI file as Qt's QSettings writes one: "key=value" lines, optionally under "[General]",
// ";" or "#" comment lines, blank lines; a value may be quoted. After a value, ";" or "#"
// following white space starts a comment (a quoted value keeps them). A key may stand once.
// A UTF-8 byte-order mark is skipped. Every entry keeps its line number, so that a refusal
// can name it; a refusal never repeats a secret's value (see isSecret), and a quote left open
// is refused rather than taken into the value.
class IniFile
{
public:
    // Whether a key's value is a secret that no message may repeat: its name says password,
    // secret or token, in any case.
    static bool isSecret(std::string_view key);

    struct Entry {
        std::string key;
        std::string value;
        int line = 0;
    };

    // The file's entries, or the error ("<path>:<line>: ...") of the first line that is
    // none of the above; a file that cannot be read is an error too. A line that is no
    // key=value line is repeated in the error unless it may hold a secret.
    static IniFile read(const std::string &path);
    static IniFile parse(std::string_view text, const std::string &name);

    bool ok() const { return m_error.empty(); }
    const std::string &error() const { return m_error; }
    const std::vector<Entry> &entries() const { return m_entries; }
    const std::string &name() const { return m_name; }
    // "<file>:<line>: <message>"
    std::string where(const Entry &entry, std::string_view message) const;

private:
    std::string m_name;
    std::string m_error;
    std::vector<Entry> m_entries;
};

} // namespace svglogger
