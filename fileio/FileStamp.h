#pragma once
// What a file was when it was read: which file, its size, its modification
// time and a digest of its bytes. A save compares the file it is about to
// replace with this, so that it never overwrites a change it has not seen.

#include <QByteArray>
#include <QByteArrayView>
#include <ctime>
#include <optional>
#include <sys/types.h>

struct FileStamp {
    bool exists = false;  // false: no regular file could be read there
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified {};
    std::optional<size_t> digest;  // none when the bytes could not be read back
};

// Whether two stamps can describe the same file with the same content:
// everything that both of them know agrees.
bool SameFileAndContent(const FileStamp &read, const FileStamp &now);

// A digest of bytes fed in pieces of any size; the same bytes give the same
// digest however they are cut. Not cryptographic: it tells a change apart,
// which is all a stamp needs, several times faster than a cryptographic one.
class ContentDigest {
public:
    void add(QByteArrayView bytes);
    size_t value() const;

private:
    void addBlock(const char *block);
    size_t m_hash = 0;
    QByteArray m_partial;  // the start of a block not yet complete
};

// A stamp as one line of text and back, so that another process can be handed
// the read's stamp and answer the stamp of what it wrote. Yields nothing for a
// line that is not such a text.
QByteArray StampText(const FileStamp &stamp);
std::optional<FileStamp> StampFromText(QByteArrayView text);

// The stamp of an open regular file, read from its start to its end. The
// digest stays empty when the descriptor cannot be read.
FileStamp StampOfOpenFile(int fd);
