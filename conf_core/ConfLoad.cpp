// Loading a file: a second thread normalises what has been read while the
// rest of the file is still being read, and once it is read both threads share
// what is left, so reading and normalising a large file overlap.

#include "conf_core/ConfLines.h"

#include "conf_core/ConfText.h"
#include "conf_core/NameMatch.h"
#include "fileio/ReadFile.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// Small files are read and normalised faster than a thread starts.
constexpr qsizetype ParallelFromBytes = 4 * 1024 * 1024;
constexpr qsizetype PieceBytes = 1024 * 1024;

// What the reading thread hands to the normalising one: how far the read
// text holds whole lines, how far the normalising thread has taken it, and
// whether any more will come.
struct Handoff {
    std::mutex mutex;
    std::condition_variable changed;
    qsizetype ready = 0;
    qsizetype taken = 0;
    bool finished = false;

    void hand(qsizetype end)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            ready = end;
        }
        changed.notify_one();
    }
    // Ends the handing: the normalising thread goes on up to a line end
    // halfway through what it has not taken, which it returns; the rest is
    // the caller's.
    qsizetype finishHalfway(const char *data)
    {
        qsizetype half;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            half = WholeLinesEnd(data, taken, taken + (ready - taken) / 2);
            ready = half;
            finished = true;
        }
        changed.notify_one();
        return half;
    }
    void finish()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            finished = true;
        }
        changed.notify_one();
    }
    // The end of the next piece beyond `from`, a megabyte or so of whole
    // lines, or `from` once nothing more will come.
    qsizetype take(const char *data, qsizetype from)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return ready > from || finished; });
        if (ready > from) {
            const qsizetype end = WholeLinesEnd(data, from, std::min(ready, from + PieceBytes));
            taken = end > from ? end : ready;
        }
        return taken;
    }
};

// Ends the thread on every way out, an exception too: it finishes the
// lines handed to it and stops.
struct ThreadEnd {
    Handoff &handoff;
    std::thread &thread;
    ~ThreadEnd()
    {
        if (thread.joinable()) {
            handoff.finish();
            thread.join();
        }
    }
};

}  // namespace

void ConfDocument::loadFromFile(const QByteArray &path)
{
    PieceReader reader(path);
    startLoad(reader.expectedSize());
    const bool asciiFolding = AsciiFoldingIsPlain();
    // The buffer does not move while the thread works on it: the thread only
    // runs while the file is read into the room its size promised.
    char *base = reader.data();
    char *written = base;
    qsizetype normalised = 0;

    if (reader.expectedSize() >= ParallelFromBytes) {
        Handoff handoff;
        std::exception_ptr failure;
        ConfDocument part;
        qsizetype partStart = 0;
        char *partEnd = nullptr;
        std::thread thread;
        try {
            thread = std::thread([&] {
                try {
                    for (qsizetype from = 0;;) {
                        const qsizetype to = handoff.take(base, from);
                        if (to == from)
                            return;
                        written = normaliseLines(base, written, base + from, base + to, asciiFolding);
                        from = to;
                    }
                } catch (...) {
                    failure = std::current_exception();
                }
            });
        } catch (const std::system_error &) {
            // No thread to be had: the text is normalised after reading.
        }
        if (thread.joinable()) {
            const ThreadEnd end{handoff, thread};
            for (qsizetype before = 0; reader.readSome(PieceBytes) > 0; before = reader.size()) {
                // Only what this piece read, and the byte before it, can end
                // a line beyond those handed on: a line of many pieces is
                // looked through once, not once per piece.
                const qsizetype from = std::max(normalised, before - 1);
                const qsizetype lines = WholeLinesEnd(base, from, reader.size());
                if (lines > from) {
                    handoff.hand(lines);
                    normalised = lines;
                }
            }
            // Once the file is read, this thread takes the second half of
            // what the other has still to do, normalised on its own and
            // moved down behind the first half when both are done.
            partStart = handoff.finishHalfway(base);
            // Its table lives only until the merge: no huge pages, which
            // would count whole in the peak.
            const size_t partLines = size_t((normalised - partStart) / 16 + 16);
            part.m_refs.reserve(partLines);
            part.m_keyTags.reserve(partLines);
            partEnd = part.normaliseLines(base, base + partStart, base + partStart, base + normalised, asciiFolding);
        }
        if (failure)
            std::rethrow_exception(failure);
        if (partEnd) {
            const qsizetype shift = base + partStart - written;
            std::memmove(written, base + partStart, size_t(partEnd - (base + partStart)));
            const size_t first = m_refs.size();
            m_refs.insert(m_refs.end(), part.m_refs.begin(), part.m_refs.end());
            for (size_t i = first; i < m_refs.size(); ++i)
                m_refs[i] -= uint64_t(shift);
            m_keyTags.insert(m_keyTags.end(), part.m_keyTags.begin(), part.m_keyTags.end());
            m_localePending |= part.m_localePending;
            written = partEnd - shift;
        }
    }

    // What is left: the last lines, a file that grew while it was read, or
    // the whole of a small one.
    const qsizetype writtenLength = written - base;
    reader.readRest();
    base = reader.data();
    written = normaliseLines(base, base + writtenLength, base + normalised, base + reader.size(), asciiFolding);
    finishLoad(reader.take(), written - base);
}
