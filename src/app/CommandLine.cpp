#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>

namespace cantrel {

CommandLine readCommandLine(const QStringList& arguments) {
    const QString program =
        arguments.isEmpty() ? QStringLiteral("cantrel") : QFileInfo(arguments.first()).fileName();
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Cantrel 1.18: keeps a day schedule and a month calendar of timed actions,\n"
                       "opens each row's media file when it falls due and switches its output\n"
                       "on a 16-output device over a parallel port or a serial line."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption run(
        QStringLiteral("run"),
        QStringLiteral("Run the month calendar's schedule without a window, as Run mode "
                       "does, until SIGTERM or SIGINT. Failures go to standard error."));
    const QCommandLineOption settings(
        QStringLiteral("settings"),
        QStringLiteral("With --run or --plan: the settings file to read (default: Cantrel.ini in the "
                       "current folder, or for an installed program the one in "
                       "$XDG_CONFIG_HOME/cantrel when the current folder has none). It is "
                       "never written."),
        QStringLiteral("file"));
    const QCommandLineOption status(
        QStringLiteral("status"),
        QStringLiteral("Show the state of this user's cantrel --run: running since, files, "
                       "connection and link, the next row and the last ten as-run events. "
                       "Exit status 0 when it runs, 3 when none does, 1 on other errors."));
    const QCommandLineOption plan(
        QStringLiteral("plan"),
        QStringLiteral("Show for each day of the month (this month, or YYYY-MM), or for the "
                       "one day YYYY-MM-DD, the day schedule that will run and where it comes "
                       "from: calendar, plan line N or nothing. It reads the calendar the "
                       "settings name, as --run does, and the plan beside it (NAME.plan)."));
    parser.addOption(run);
    parser.addOption(settings);
    parser.addOption(status);
    parser.addOption(plan);
    parser.addPositionalArgument(QStringLiteral("when"),
                                 QStringLiteral("With --plan: a month YYYY-MM or a day "
                                                "YYYY-MM-DD (default: this month)."),
                                 QStringLiteral("[when]"));
    // Qt's own options ("-platform offscreen", "-style Fusion") are left to
    // the application object, which takes them after this.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin", "style",
                             "stylesheet", "display", "geometry", "qwindowgeometry", "qwindowicon",
                             "qwindowtitle", "session"}) {
        QCommandLineOption qtOption(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    for (const char* name : {"reverse", "nograb", "dograb", "sync", "widgetcount"}) {
        QCommandLineOption qtFlag(QString::fromLatin1(name));
        qtFlag.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtFlag);
    }

    if (!parser.parse(arguments))
        return {CommandLine::Action::Refuse,
                QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n")
                    .arg(program, parser.errorText())};
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        // The parser runs before any application object exists, so it cannot
        // name the program itself in the usage line.
        const QString text = parser.helpText();
        return {CommandLine::Action::ShowText,
                QStringLiteral("Usage: %1 [options]").arg(program) + text.mid(text.indexOf(u'\n'))};
    }
    if (parser.isSet(version))
        return {CommandLine::Action::ShowText, QStringLiteral("%1 1.18\n").arg(program)};
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(plan) && !parser.isSet(run) && !parser.isSet(status) &&
        positional.size() <= 1) {
        const QString when = positional.value(0);
        // A month or a day that exists; the calendar's days are those of real dates.
        const bool reads =
            when.isEmpty() ||
            (QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}(-\\d{2})?$")).match(when).hasMatch() &&
             QDate::fromString(when.size() == 7 ? when + QStringLiteral("-01") : when, Qt::ISODate)
                 .isValid());
        if (!reads)
            return {CommandLine::Action::Refuse,
                    QStringLiteral("%1: --plan takes a month YYYY-MM or a day YYYY-MM-DD, not '%2'\n"
                                   "Try '%1 --help' for more information.\n")
                        .arg(program, when)};
        return {CommandLine::Action::ShowPlan, QString(), parser.value(settings), when};
    }
    if (parser.isSet(plan))
        return {CommandLine::Action::Refuse,
                QStringLiteral("%1: --plan goes alone, with --settings and a month or a day at most\n"
                               "Try '%1 --help' for more information.\n")
                    .arg(program)};
    if (!positional.isEmpty())
        return {CommandLine::Action::Refuse,
                QStringLiteral("%1: unexpected argument '%2'\nTry '%1 --help' for more "
                               "information.\n")
                    .arg(program, positional.first())};
    if (parser.isSet(status) && (parser.isSet(run) || parser.isSet(settings)))
        return {CommandLine::Action::Refuse,
                QStringLiteral("%1: --status goes alone: it asks the cantrel --run that runs\n"
                               "Try '%1 --help' for more information.\n")
                    .arg(program)};
    if (parser.isSet(status))
        return {CommandLine::Action::ShowStatus, QString()};
    if (parser.isSet(run))
        return {CommandLine::Action::RunHeadless, QString(), parser.value(settings)};
    if (parser.isSet(settings))
        return {CommandLine::Action::Refuse,
                QStringLiteral("%1: --settings goes with --run or --plan; the window reads Cantrel.ini in "
                               "the current folder\nTry '%1 --help' for more information.\n")
                    .arg(program)};
    return {};
}

} // namespace cantrel
