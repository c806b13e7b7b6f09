#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace svglogger::test {

// An environment variable set (or unset, with no value) for a scope: its earlier value, or its
// absence, comes back however the scope ends, a failed ASSERT too.
class ScopedVariable
{
public:
    ScopedVariable(const char *name, std::optional<std::string> value)
        : m_name(name)
    {
        if (const char *earlier = std::getenv(name))
            m_earlier = earlier;
        assign(value);
    }
    ~ScopedVariable() { assign(m_earlier); }
    ScopedVariable(const ScopedVariable &) = delete;
    ScopedVariable &operator=(const ScopedVariable &) = delete;

private:
    void assign(const std::optional<std::string> &value)
    {
        if (value)
            ::setenv(m_name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }

    std::string m_name;
    std::optional<std::string> m_earlier;
};

} // namespace svglogger::test
