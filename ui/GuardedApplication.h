#pragma once
// The application object. Its notify() is the last net under every event
// handler: an error that escaped one is shown instead of unwinding through Qt.
// Handlers still run their bodies through RunGuarded themselves: an error
// thrown in a slot would otherwise unwind through the signal's emission,
// which Qt does not survive, before it reached this net.

#include <QApplication>

class GuardedApplication : public QApplication {
public:
    GuardedApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
