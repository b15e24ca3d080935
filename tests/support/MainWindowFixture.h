#pragma once

// A whole main window, started offscreen in a temporary current directory,
// with its seams answered by the test.
#include "app/MainWindow.h"
#include "schedule/ScheduleDocument.h"
#include "support/TestDoubles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

namespace cantrel::test {

struct MainWindowFixture {
    QTemporaryDir dir;
    QString oldCurrent = QDir::currentPath();
    FakeClock clock;
    ScriptedPrompter prompter;
    RecordingOpener opener;
    std::unique_ptr<MainWindow> form;

    MainWindowFixture() {
        QDir::setCurrent(dir.path());
        QDir(dir.path()).mkdir(QStringLiteral("program"));
    }
    ~MainWindowFixture()
    {
        form.reset();
        QDir::setCurrent(oldCurrent);
    }

    // Builds the window and runs its start-up; the result of start.
    bool start()
    {
        form = std::make_unique<MainWindow>(
            MainWindow::Services{&clock, &prompter, &opener, programFolder()});
        return form->start();
    }

    QString path(const QString& name) const { return dir.filePath(name); }
    // Stands in for the executable's folder, where the settings are written.
    QString programFolder() const { return dir.filePath(QStringLiteral("program")); }

    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(path(name));
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write fixture %s", qPrintable(name));
        f.write(bytes);
    }

    QByteArray read(const QString& name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // Runs a menu command as the operator would.
    void trigger(const char* actionName)
    {
        QAction* action = form->findChild<QAction*>(QLatin1String(actionName));
        if (!action)
            qFatal("no action %s", actionName);
        action->trigger();
    }
};

} // namespace cantrel::test
