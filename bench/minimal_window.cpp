// The floor for start-up time: a Qt Widgets program that shows one main window
// holding one line of text, and does nothing else. Any window with text must
// load fonts before it is mapped; with --empty the window holds nothing at all,
// the absolute floor.

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <cstring>

int main(int argc, char **argv)
{
    const bool empty = argc > 1 && std::strcmp(argv[1], "--empty") == 0;
    QApplication application(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Minimal window"));
    if (!empty)
        window.setCentralWidget(new QLabel(QStringLiteral("Minimal window")));
    window.resize(640, 480);
    window.show();
    return application.exec();
}
