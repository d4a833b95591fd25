#pragma once
// How this process waits for another one: for the lock on a file, which any
// user who may read the file can hold for as long as they like, and for the
// administrator's authentication, which takes as long as the user does.
// Every wait tries again and again and passes the time between through the
// process's own pause, so that a program decides once, at its start, how it
// waits: cvconf says on standard error what it waits for and gives up when
// its caller is gone; the windows keep painting and show what they wait for;
// the helper keeps the default, a silent pause.

#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

// A process that holds a file's lock, as /proc/locks and /proc/PID/comm tell.
struct LockHolder {
    qint64 pid = 0;
    QString command;  // empty where the system does not tell
};

// What a wait is for.
struct WaitReason {
    enum class Kind { Lock, AdministratorRead, AdministratorSave };
    Kind kind = Kind::Lock;
    QByteArray path;
    std::optional<LockHolder> holder;  // for a lock, where the system tells who holds it
};

// "4242 (flock)", or "4242" where its command is not told.
QString HolderText(const LockHolder &holder);

struct WaitingStyle {
    // How long a save waits for another's lock before it gives up.
    std::chrono::milliseconds lockBound = std::chrono::seconds(10);
    // How long the windows wait for an administrator's authentication before
    // they give it up; the user types a password meanwhile.
    std::chrono::milliseconds authenticationBound = std::chrono::minutes(5);
    // Told once, when a wait has taken about a second, what it waits for.
    std::function<void(const WaitReason &)> noticed;
    // Passes the time between two tries, at most the interval it is given;
    // false gives the wait up.
    std::function<bool(std::chrono::milliseconds)> pause;
    // Told when a wait that was noticed is over, however it ended.
    std::function<void()> ended;
};

// This process's way of waiting; set once at the start, before any wait.
WaitingStyle &ProcessWaiting();

// Tries until `done` says so, at most for the bound, pausing between tries
// as this process does. False when the bound passed or the pause gave up
// first. `reason` is asked only for a notice.
bool WaitUntil(const std::function<bool()> &done, std::chrono::milliseconds bound,
               const std::function<WaitReason()> &reason);
