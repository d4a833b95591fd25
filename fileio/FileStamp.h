#pragma once
// What a file was when it was read: which file, its size, its modification
// time and a digest of its bytes. A save compares the file it is about to
// replace with this, so that it never overwrites a change it has not seen.

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <ctime>
#include <memory>
#include <optional>
#include <sys/types.h>

struct FileStamp {
    bool exists = false;  // false: no regular file could be read there
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified {};
    std::optional<quint64> digest;  // none when the bytes could not be read back
};

// Whether two stamps can describe the same file with the same content:
// everything that both of them know agrees.
bool SameFileAndContent(const FileStamp &read, const FileStamp &now);

// A digest of bytes fed in pieces of any size: XXH3 with 64 bits, unseeded,
// so the same bytes give the same digest however they are cut and in every
// process, which another process's stamp relies on. Not cryptographic: it
// tells a change apart, which is all a stamp needs, at memory speed.
class ContentDigest {
public:
    ContentDigest();
    ~ContentDigest();
    ContentDigest(const ContentDigest &) = delete;
    ContentDigest &operator=(const ContentDigest &) = delete;

    void add(QByteArrayView bytes);
    quint64 value() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// A stamp as one line of text and back, so that another process can be handed
// the read's stamp and answer the stamp of what it wrote. Yields nothing for a
// line that is not such a text.
QByteArray StampText(const FileStamp &stamp);
std::optional<FileStamp> StampFromText(QByteArrayView text);

// The stamp of an open regular file, read from its start to its end. The
// digest stays empty when the descriptor cannot be read.
FileStamp StampOfOpenFile(int fd);
