#pragma once

#include <QByteArray>
#include <cstddef>

// Reads a whole regular file. Throws FileError::openFailed when it cannot be
// opened or read, and at once, without blocking, for anything that is not a
// regular file (a FIFO, socket, device or directory).
QByteArray ReadWholeFile(const QByteArray &path);

// A regular file read into one buffer piece by piece, so that a caller can
// work on what has arrived while the rest is read. Opening throws as
// ReadWholeFile does.
class PieceReader {
public:
    explicit PieceReader(const QByteArray &path);
    ~PieceReader();
    PieceReader(const PieceReader &) = delete;
    PieceReader &operator=(const PieceReader &) = delete;

    // The size the file had when opened; the buffer has room for it.
    qsizetype expectedSize() const { return m_bytes.size() - 1; }
    // Reads at most `most` bytes more into that room; the buffer stays where
    // it is. Returns 0 at the end of the file or when the room is used up.
    qsizetype readSome(qsizetype most);
    // Reads to the end of the file, growing the buffer, which may move it.
    void readRest();

    char *data() { return m_bytes.data(); }
    qsizetype size() const { return m_used; }
    // The bytes read; there is room for one byte more after them.
    QByteArray take();

private:
    qsizetype readInto(qsizetype most);

    QByteArray m_path;
    int m_fd = -1;
    QByteArray m_bytes;
    qsizetype m_used = 0;
};

// Whether the path names a FIFO, socket or device (links followed).
bool IsSpecialFile(const QByteArray &path);

// Asks the kernel to back a large buffer with huge pages, which makes filling
// it several times faster. Only advice: nothing changes when it is not taken.
void AdviseLargeBuffer(void *data, size_t size);

// Whether a directory entry exists at the path, reachable with the process's
// effective rights. Any kind of entry counts.
bool PathExists(const QByteArray &path);
