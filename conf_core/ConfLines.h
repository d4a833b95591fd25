#pragma once
// The configuration document: corvane.conf as an ordered list of byte lines,
// normalised so that no blank stands next to "=" outside comment lines.
//
// Built for files of millions of lines: the file's bytes are kept in one
// buffer that normalisation compacts in place, a line is its offset there, and
// each line carries a tag of its key so lookups scan a small array instead of
// the text and ask the locale about a line at most once. An unchanged
// document is saved as one contiguous write.

#include "fileio/FileStamp.h"
#include "fileio/SafeWrite.h"

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class ConfDocument {
public:
    // Replaces the whole document with the lines of these file bytes and normalises them.
    void loadFromBytes(QByteArray bytes);
    // The same with the bytes of a file, normalised while the file is read.
    // Throws FileError when it cannot be read.
    void loadFromFile(const QByteArray &path);
    void clear();
    // Whether a load filled the document. One that none filled, at start-up
    // or since a clear(), is never saved over the file.
    bool isFilled() const { return m_filled; }
    // The file as the last load read it, or as the last save wrote it.
    const FileStamp &fileStamp() const { return m_fileStamp; }
    void setFileStamp(const FileStamp &stamp) { m_fileStamp = stamp; }

    qsizetype lineCount() const { return qsizetype(m_refs.size()); }
    QByteArrayView line(qsizetype index) const;

    // GetConfValue: the value of the first entry line whose key matches the
    // name ignoring letter case; empty when there is none.
    QByteArray value(QByteArrayView name) const;
    // Whether some entry line's key matches the name: an empty value and no
    // line look the same to value().
    bool hasEntry(QByteArrayView name) const { return findEntry(name) >= 0; }
    // SetConfValue: replaces the first matching line by name "=" value, appends
    // it when there is none, removes the matching line when the value is empty.
    void setValue(QByteArrayView name, QByteArrayView value);

    // The document as saved: every line followed by one LF, as contiguous
    // pieces of the document's own storage.
    std::vector<QByteArrayView> savedChunks() const;
    QByteArray savedText() const;

private:
    // A line is its offset in m_storage, or AddedLine and its index in m_added.
    static constexpr uint64_t AddedLine = uint64_t(1) << 63;

    void startLoad(qsizetype size);
    // Normalises the lines in [in, end) down to out and adds them to the line
    // table with offsets from base; returns the end of the written text.
    char *normaliseLines(const char *base, char *out, const char *in, const char *end, bool asciiFolding);
    void finishLoad(QByteArray storage, qsizetype written);
    QByteArrayView keyOfLine(qsizetype index) const;
    qsizetype findEntry(QByteArrayView name) const;
    void retag() const;
    void hashLocaleKeys() const;
    void dropLoadedLine(qsizetype index);

    QByteArray m_storage;             // the file's bytes, normalised, each line followed by LF
    qsizetype m_storageEnd = 0;       // where the normalised text ends
    std::deque<QByteArray> m_added;   // text of lines set after loading, each followed by LF
    std::vector<uint64_t> m_refs;     // the document's lines in order
    std::vector<uint64_t> m_gaps;     // sorted offsets of loaded lines removed or replaced
    // Per line, a tag of its key (see KeyTags.h). Lookups fill in what
    // loading left for later, so they change these without changing the document.
    mutable std::vector<uint16_t> m_keyTags;
    mutable bool m_localePending = false;  // some tags wait for their collation hash
    mutable bool m_anyLocaleKey = false;   // some key needs the locale
    mutable std::string m_tagLocale;  // the locale the tags were made in
    bool m_filled = false;
    FileStamp m_fileStamp;
};

// Line splitting and normalisation, on their own for tests and tools.
std::vector<QByteArray> SplitConfLines(QByteArrayView bytes);
// A line holds no LF or CR.
QByteArray NormaliseConfLine(QByteArrayView line);

// The document's operations on a given document and file. A load that fails,
// for lack of memory too, leaves the document as it was; saving a document
// that no load has filled throws FileError::createFailed. A save refuses to
// replace a file that changed since the load (FileError::changedSinceRead)
// unless told to overwrite it.
void LoadConfFile(ConfDocument &document, const QByteArray &fileName);
QByteArray GetConfValue(const ConfDocument &document, QByteArrayView name);
bool HasConfEntry(const ConfDocument &document, QByteArrayView name);
void SetConfValue(ConfDocument &document, QByteArrayView name, QByteArrayView value);
void SaveConfFile(ConfDocument &document, const QByteArray &fileName, IfChanged ifChanged = IfChanged::Refuse);
