#pragma once
// The configuration document: corvane.conf as an ordered list of byte lines,
// normalised so that no blank stands next to "=" outside comment lines.
//
// The lines live in one buffer, each followed by its LF, in file order: the
// file's bytes normalised in place, and behind them the lines set since. An
// unchanged document is therefore saved as one piece, an edited one as a few.

#include "fileio/FileStamp.h"

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class ConfDocument {
public:
    ConfDocument() = default;
    void clear();
    // A line as a load holds it: without the blanks around "=", unless it is
    // a comment line.
    static QByteArray normalisedLine(QByteArrayView line);
    // Whether a load filled the document. One that none filled, at start-up
    // or since a clear(), is never saved over the file.
    bool isFilled() const { return m_filled; }
    // The file as the last load read it, or as the last save wrote it.
    const FileStamp &fileStamp() const { return m_fileStamp; }
    void setFileStamp(const FileStamp &stamp) { m_fileStamp = stamp; }

    qsizetype lineCount() const { return qsizetype(m_starts.size()); }
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
    // pieces of the document's own buffer.
    std::vector<QByteArrayView> savedChunks() const;
    QByteArray savedText() const;
    // The document saved over the file it was loaded from, given as read,
    // changing only the lines set since: every line loaded and kept is the
    // file's line with its own line end, a replaced line keeps the line end
    // of the line it replaced, and an added line follows the last line with
    // an LF, after an LF for that line if it had no line end. Pieces of the
    // file and of the document's buffer.
    std::vector<QByteArrayView> keptChunks(QByteArrayView fileAsRead) const;

private:
    friend void LoadConfFile(ConfDocument &document, const QByteArray &fileName,
                             const std::function<QByteArray(const QByteArray &, FileStamp *)> &read);
    // The lines of a file's bytes, normalised.
    explicit ConfDocument(QByteArray fileBytes);

    qsizetype findEntry(QByteArrayView name) const;
    // Where the loaded line starts whose place the set line took; -1 for an added one.
    qsizetype replacedLoadedLine(qsizetype setLineStart) const;
    void hashKeys() const;
    uint32_t keyHash(QByteArrayView key, bool asciiFolding) const;

    QByteArray m_text;
    qsizetype m_loadedEnd = 0;  // where the loaded lines end in m_text
    // Where each line starts in m_text; it ends at the next LF.
    std::vector<qsizetype> m_starts;
    // Where loaded lines since removed or replaced start, in order.
    std::vector<qsizetype> m_dropped;
    // Per set line that took a loaded line's place, where each starts, in order.
    std::vector<std::pair<qsizetype, qsizetype>> m_replaced;
    // Per line, a hash of its key as names are matched in m_hashLocale (see
    // NameMatch.h), made by the load and again after a change of locale; a
    // line without "=" and a comment line hash as 0. A differing hash rules a
    // line out; a name that begins with "#" is compared with every line.
    mutable std::vector<uint32_t> m_keyHashes;
    mutable std::string m_hashLocale;
    // Some key is hashed through the locale.
    mutable bool m_anyLocaleKey = false;
    // Some key is too long to hash: every lookup compares every key.
    mutable bool m_compareEveryKey = false;
    bool m_filled = false;
    FileStamp m_fileStamp;
};

// The pieces as one text.
QByteArray JoinedChunks(const std::vector<QByteArrayView> &chunks);
