#pragma once
// An environment variable set, or removed for a null value, for the life of
// the object; then restored as it was.

#include <QByteArray>
#include <QtGlobal>

class EnvironmentVariable {
public:
    EnvironmentVariable(const char *name, const QByteArray &value)
        : m_name(name), m_wasSet(qEnvironmentVariableIsSet(name)), m_previous(qgetenv(name))
    {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    ~EnvironmentVariable() { m_wasSet ? qputenv(m_name, m_previous) : qunsetenv(m_name); }
    EnvironmentVariable(const EnvironmentVariable &) = delete;
    EnvironmentVariable &operator=(const EnvironmentVariable &) = delete;

private:
    const char *m_name;
    bool m_wasSet;
    QByteArray m_previous;
};
