#pragma once

#include <QByteArray>

#include <clocale>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace testing_support
{

// Environment variables set for a scope; what was there before comes back when it ends.
class ScopedEnvironment
{
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment()
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

    // A null value removes the variable.
    ScopedEnvironment& Set(const char* name, const QByteArray& value)
    {
        if (!m_saved.count(name)) {
            const char* previous = getenv(name);
            m_saved[name] = previous ? std::optional<std::string>(previous) : std::nullopt;
        }
        if (value.isNull())
            unsetenv(name);
        else
            setenv(name, value.constData(), 1);
        return *this;
    }

private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

// The character set of the C locale (ASCII) for a scope, as services and cron jobs get it.
class ScopedCLocale
{
public:
    ScopedCLocale()
        : m_saved(std::setlocale(LC_CTYPE, nullptr))
    {
        std::setlocale(LC_CTYPE, "C");
    }
    ~ScopedCLocale() { std::setlocale(LC_CTYPE, m_saved.c_str()); }
    ScopedCLocale(const ScopedCLocale&) = delete;
    ScopedCLocale& operator=(const ScopedCLocale&) = delete;

private:
    std::string m_saved;
};

} // namespace testing_support
