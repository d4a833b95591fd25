#pragma once
// File helpers the tests share: whole-file reads and writes, directory listings, status.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTest>
#include <sys/stat.h>

inline QByteArray encoded(const QString &path) { return QFile::encodeName(path); }

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable " + path.toUtf8() + ">");
}

// Fails the running test when the file cannot be written whole.
inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A stand-in program: a script anyone may run, also a test's unprivileged child.
inline void writeScript(const QString &path, const QString &text)
{
    writeFile(path, text.toUtf8());
    QCOMPARE(::chmod(encoded(path).constData(), 0755), 0);
}

// The entry itself, not what a symbolic link points at.
inline struct stat statOf(const QString &path)
{
    struct stat status {};
    ::lstat(encoded(path).constData(), &status);
    return status;
}

inline QStringList entriesOf(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}
