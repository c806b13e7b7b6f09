#pragma once

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace svglogger::test {

// Switches the C locale to German, whose decimal separator is a comma, as QCoreApplication
// does on a German system; the C locale again at the end. Where the machine has no German
// locale it is made with localedef into a temporary LOCPATH. `active()` is false where none
// can be had (the test then says so and skips).
class CommaLocale
{
public:
    CommaLocale()
    {
        const char *previous = std::setlocale(LC_ALL, nullptr);
        m_previous = previous ? previous : "C";
        m_active = trySet();
#ifndef _WIN32
        if (!m_active) {
            m_folder = std::filesystem::temp_directory_path() / "svg-logger-locales";
            std::filesystem::create_directories(m_folder);
            const std::string command = "localedef -i de_DE -f UTF-8 '" + (m_folder / "de_DE.UTF-8").string()
                + "' >/dev/null 2>&1";
            (void)std::system(command.c_str()); // warnings make a non-zero status with a usable locale
            ::setenv("LOCPATH", m_folder.string().c_str(), 1);
            m_active = trySet();
        }
#endif
    }
    ~CommaLocale() { std::setlocale(LC_ALL, m_previous.c_str()); }
    CommaLocale(const CommaLocale &) = delete;
    CommaLocale &operator=(const CommaLocale &) = delete;

    bool active() const { return m_active; }

private:
    static bool trySet()
    {
        for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "de-DE"}) {
            if (std::setlocale(LC_ALL, name) && *std::localeconv()->decimal_point == ',')
                return true;
        }
        return false;
    }

    std::string m_previous;
    std::filesystem::path m_folder;
    bool m_active = false;
};

} // namespace svglogger::test
