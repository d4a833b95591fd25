#pragma once
// The language file CVConfManager.lang: "[name]" sections of "key=value"
// lines, held in memory for the whole run. Section names and keys match
// exactly, case included; where a name or key repeats, the last one counts.
// All texts are bytes in the user's locale character set. A NUL byte ends the
// text that is read; the bytes from it on are kept and written back as they were.

#include "fileio/FileStamp.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <vector>

class LangIniFile {
public:
    struct Section {
        QByteArray name;
        std::vector<QByteArray> lines;  // "key=value", or a line without "=" kept as it is
    };

    // Reads the file; a missing file gives no sections. Throws FileError when
    // the file exists but cannot be read.
    static LangIniFile open(const QByteArray &fileName);
    // Reads the file as it is now. Throws FileError when it cannot, a missing file included.
    static LangIniFile read(const QByteArray &fileName);
    static LangIniFile fromBytes(const QByteArray &fileName, QByteArrayView bytes);

    QByteArray ReadEntry(QByteArrayView section, QByteArrayView key, const QByteArray &fallback) const;
    // Sets the entry in memory, then writes the whole file back. Throws FileError.
    void WriteEntry(QByteArrayView section, QByteArrayView key, QByteArrayView value);
    // WriteEntry on the file as it is now rather than as it was read, so that
    // what other programs changed in it meanwhile stays; memory then holds
    // that file. Throws FileError, and writes nothing, when it cannot be read.
    void RereadAndWriteEntry(QByteArrayView section, QByteArrayView key, QByteArrayView value);
    QList<QByteArray> SectionNames() const;
    // Replaces the file on disk by the in-memory content. Throws FileError,
    // changedSinceRead too when another program wrote the file since it was read.
    void WriteBack();

    // The file's text as WriteBack writes it: the sections, then whatever
    // followed a NUL in the file as read, unchanged.
    QByteArray serialise() const;
    const QByteArray &fileName() const { return m_fileName; }
    const std::vector<Section> &sections() const { return m_sections; }

private:
    const Section *findSection(QByteArrayView name) const;
    Section *findSection(QByteArrayView name);

    QByteArray m_fileName;
    std::vector<Section> m_sections;
    QByteArray m_unreadRest;
    FileStamp m_readStamp;  // the file as read, then as last written
};
