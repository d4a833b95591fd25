#include "Waiting.h"

#include "fileio/FileError.h"

#include <QScopeGuard>
#include <algorithm>
#include <thread>

namespace {

using std::chrono::milliseconds;

// Soon after a lock is let go, yet without spinning on a long wait.
constexpr milliseconds FirstPause{1};
constexpr milliseconds LongestPause{20};
constexpr milliseconds NoticeAfter{1000};

// The default pause: the interval, at most LongestPause, and nothing else.
bool pauseFor(milliseconds interval)
{
    std::this_thread::sleep_for(interval);
    return true;
}

}  // namespace

QString HolderText(const LockHolder &holder)
{
    if (holder.command.isEmpty())
        return QString::number(holder.pid);
    return QStringLiteral("%1 (%2)").arg(QString::number(holder.pid), holder.command);
}

WaitingStyle &ProcessWaiting()
{
    static WaitingStyle style{std::chrono::seconds(10), std::chrono::minutes(5), nullptr, pauseFor, nullptr};
    return style;
}

bool WaitUntil(const std::function<bool()> &done, milliseconds bound,
               const std::function<WaitReason()> &reason)
{
    const WaitingStyle &style = ProcessWaiting();
    const auto start = std::chrono::steady_clock::now();
    bool noticed = false;
    const auto end = qScopeGuard([&] {
        if (noticed && style.ended)
            style.ended();
    });
    milliseconds pause = FirstPause;
    while (!done()) {
        const auto waited = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
        if (waited >= bound)
            return false;
        if (!noticed && waited >= NoticeAfter) {
            noticed = true;
            if (style.noticed)
                style.noticed(reason());
        }
        if (!style.pause(std::min(pause, bound - waited)))
            return false;
        pause = std::min(pause * 2, LongestPause);
    }
    return true;
}
