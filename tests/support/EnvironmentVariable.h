#pragma once
// An environment variable set, or removed for a null value, for the life of
// the object; then restored as it was.

#include <QByteArray>
#include <QtGlobal>

struct EnvironmentVariable {
    EnvironmentVariable(const char *name, const QByteArray &value) : name(name), previous(qgetenv(name))
    {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    ~EnvironmentVariable() { wasSet ? qputenv(name, previous) : qunsetenv(name); }
    Q_DISABLE_COPY(EnvironmentVariable)

    const char *name;
    const QByteArray previous;
    const bool wasSet = !previous.isNull();
};
