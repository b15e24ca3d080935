#pragma once

#include <QString>
#include <QStringList>

namespace cantrel {

// What the command line asks for: the window (no arguments), the schedule
// run without a window (--run, perhaps with --settings FILE), the state of
// that run (--status), what the calendar and its plan will run (--plan
// [YYYY-MM | YYYY-MM-DD]), or a text:
// --help and --version answer on standard output, anything else is refused
// with exit status 2, as Linux programs do.
struct CommandLine {
    enum class Action { OpenWindow, RunHeadless, ShowStatus, ShowPlan, ShowText, Refuse };
    Action action = Action::OpenWindow;
    // The help or version text for standard output, or the complaint for
    // standard error, each ending with a newline.
    QString text;
    // --run and --plan: the settings file to read; empty for the current folder's.
    QString settingsFile = {};
    // --plan: the month or the day to show; empty for the current month.
    QString planWhen = {};
};

// arguments as the program received them, its own path first.
CommandLine readCommandLine(const QStringList& arguments);

} // namespace cantrel
