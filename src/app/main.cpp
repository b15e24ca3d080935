#include "app/AboutBox.h"
#include "app/CommandLine.h"
#include "app/HeadlessMain.h"
#include "app/MainWindow.h"
#include "app/PlanMain.h"
#include "app/SettingsPlace.h"
#include "app/StatusMain.h"
#include "platform/Clock.h"
#include "platform/MediaOpener.h"
#include "platform/OpenFileLimit.h"
#include "platform/QtPrompter.h"
#include "service/ServiceClient.h"

#include <QApplication>
#include <QFileInfo>
#include <csignal>
#include <cstdio>

int main(int argc, char* argv[])
{
    using namespace cantrel;
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine command = readCommandLine(arguments);
    if (command.action == CommandLine::Action::ShowText) {
        std::fputs(command.text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (command.action == CommandLine::Action::Refuse) {
        std::fputs(command.text.toLocal8Bit().constData(), stderr);
        return 2;
    }
    if (command.action == CommandLine::Action::ShowStatus)
        return showStatus(argc, argv);
    if (command.action == CommandLine::Action::ShowPlan)
        return showPlan(argc, argv, command.settingsFile, command.planWhen);
    raiseOpenFileLimit();
    // A file grown past the user's file-size limit must fail its write, which
    // the program reports, rather than end a scheduler that runs unattended.
    std::signal(SIGXFSZ, SIG_IGN);
    if (command.action == CommandLine::Action::RunHeadless)
        return runHeadless(argc, argv, command.settingsFile);
    // Without a display Qt would abort with a toolkit message; say what to do instead.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        // No application object yet to ask for the program's folder.
        const QString folder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
        std::fputs(isInstalledCopy(folder)
                       ? "cantrel: no display to open the window on; start Cantrel from the "
                         "desktop's menu, or run the schedule without a window: cantrel --run\n"
                       : "cantrel: no display to open the window on; start it under a virtual "
                         "X server: xvfb-run -a ./dev.sh run\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Cantrel"));
    app.setWindowIcon(programIcon());
    // Lets the desktop match the window to its menu entry and icon.
    app.setDesktopFileName(QStringLiteral("org.cantrel.Cantrel"));

    SystemClock clock;
    QtPrompter prompter;
    DesktopMediaOpener opener;
    try {
        ServiceClient service;
        MainWindow form({&clock, &prompter, &opener, {}, &service});
        prompter.setParent(&form);
        if (!form.start())
            return 0;
        AboutBox about(opener, &form);
        form.setAboutBox(&about);
        form.show();
        app.exec();
    } catch (const std::exception& failure) {
        prompter.setParent(nullptr);
        prompter.error(kProgramTitle, QString::fromLocal8Bit(failure.what()));
    } catch (...) {
        prompter.setParent(nullptr);
        prompter.error(kProgramTitle, QString());
    }
    return 0;
}
