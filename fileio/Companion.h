#pragma once
// Companion files. Before a save rewrites a file in place, where a crash
// could leave it torn, the whole new content is written and synced to a
// companion: beside the file, "." + name + ".unsaved-" + six characters, or,
// where the directory does not allow that, in the user's state directory,
// named after the file's real path with "%" written "%25" and "/" "%2F".
// It is written under the prefix and twelve characters and takes its name
// only when whole and synced; the save removes it once the file itself holds
// the content, so one that is still there tells of a save that did not finish.

#include "fileio/FileError.h"

#include <QByteArray>
#include <QList>
#include <QString>

// $XDG_STATE_HOME/cvconfmanager, else ~/.local/state/cvconfmanager.
QByteArray CompanionStateDirectory();
// How the companions of a file begin, before CompanionMark: beside it
// (`name` is the file's own name) and in the state directory.
QByteArray CompanionPrefixBeside(const QByteArray &name);
QByteArray CompanionPrefixInState(const QByteArray &path);
extern const char CompanionMark[];  // "unsaved-"

// The companions of the file at this path, as paths, for a process that
// holds the file's lock: every one there was left by a save that did not end.
QList<QByteArray> CompanionsOf(const QByteArray &path);
// The companions of the file that saves left behind, for a process that does
// not hold the lock: none while a save holds it, as its companion is in
// progress.
QList<QByteArray> LeftCompanions(const QByteArray &path);
// What a start tells of the companions these files have, in the form given:
// empty when none.
QString LeftCompanionsReport(const QList<QByteArray> &files, MessageForm form = FixedText);
// The same for companions of one file found already.
QString CompanionsReport(const QByteArray &file, const QList<QByteArray> &companions, MessageForm form = FixedText);
