#pragma once
// The application object. Its notify() is the last net under every event
// handler: an error that escaped one is shown instead of unwinding through Qt.

#include <QApplication>

class GuardedApplication : public QApplication {
public:
    GuardedApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
