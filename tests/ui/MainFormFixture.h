#pragma once
// A program directory in a temporary folder, started the way the program
// starts, and the main window over it.

#include "conf_core/StartupChecks.h"
#include "ui/MainU.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <memory>

struct MainFormFixture {
    QTemporaryDir dir;
    std::unique_ptr<TMainForm> form;
    QStringList startupErrors;

    QString path(const QString &name) const { return dir.filePath(name); }

    // Empties the program directory, whatever an earlier test left there.
    void reset()
    {
        form.reset();
        QDir folder(dir.path());
        folder.removeRecursively();
        folder.mkpath(QStringLiteral("."));
    }

    void write(const QString &name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }

    QByteArray read(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    // Starts up from the folder and opens the window, shown and active.
    bool open(bool show = true)
    {
        form.reset();
        startupErrors.clear();
        StartupChecks({QFile::encodeName(path("CVConfManager")), QFile::encodeName(path("corvane.conf"))},
                      [this](const QString &text) { startupErrors.append(text); });
        if (!StartupOk)
            return false;
        form = std::make_unique<TMainForm>();
        MainForm = form.get();
        if (show) {
            form->show();
            QApplication::setActiveWindow(form.get());
            QApplication::processEvents();
        }
        return true;
    }

    template <typename T = QWidget>
    T *child(const char *name) const
    {
        return form->findChild<T *>(QLatin1String(name));
    }
    QTreeWidget *list() const { return child<QTreeWidget>("CV_List"); }
    QLineEdit *editor() const { return child<QLineEdit>("ItemValue"); }
    QPushButton *button(const char *name) const { return child<QPushButton>(name); }
    QString label(const char *name) const { return child<QLabel>(name)->text(); }

    int rowOf(const QString &name) const
    {
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            if (list()->topLevelItem(i)->text(0) == name)
                return i;
        return -1;
    }
    void select(const QString &name) const { list()->setCurrentItem(list()->topLevelItem(rowOf(name))); }
    QString cell(const QString &name, int column) const { return list()->topLevelItem(rowOf(name))->text(column); }
    QWidget *focus() const { return form->focusWidget(); }
};
