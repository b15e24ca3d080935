#include "app/ControlTips.h"

#include <QEvent>
#include <QLabel>

namespace cantrel {

QStringList dayHeaderTips() {
    return {QStringLiteral("The row's mark: empty waits, \">\" media file opened, waiting out the "
                           "run advance, \"+\" fired, \"!\" failed"),
            QStringLiteral("The time of day the row fires, HH:MM:SS"),
            QStringLiteral("The output the row switches on the device, 1 to 16; 0 or empty "
                           "switches none"),
            QStringLiteral("Your note for the row; Run mode shows it in the status bar"),
            QStringLiteral("The file opened when the row falls due; \"...\" below chooses it")};
}

QStringList monthHeaderTips() {
    return {QStringLiteral("\"+\": the day whose schedule Run mode has loaded"),
            QStringLiteral("The day of the month, 1 to 31"),
            QStringLiteral("The day schedule for that day; a double-click or Enter loads it")};
}

const char* const kInsertTip =
    "Add the editing row to the day schedule, in time order (Alt+I)";
const char* const kModifyTip =
    "Put the editing row in place of the selected row (Alt+M)";
const char* const kRemoveTip = "Remove the selected row, without asking (Alt+R)";
const char* const kExecuteTip =
    "Fire the selected row now: its media file opens and its output switches after the run "
    "advance (Alt+E; a double-click or Enter on the row does the same)";
const char* const kBrowseMediaTip = "Choose the media file for the editing row";
const char* const kBrowseDayFileTip = "Choose the day schedule for the selected day";

QString runButtonTip(bool running) {
    return running ? QStringLiteral("Back to Edit mode: no row fires until Run is pressed again")
                   : QStringLiteral("Run mode: each row of today's day schedule fires at its time");
}

QString radioTip(int output, bool parallel) {
    // Output n is data line D(n-1), on pins 2 to 9 of the DB-25 connector.
    if (parallel && output >= 1 && output <= 8)
        return QStringLiteral("Output %1: a click switches it (data line D%2, pin %3)")
            .arg(output)
            .arg(output - 1)
            .arg(output + 1);
    return QStringLiteral("Output %1: a click switches it; selected when the device reports it")
        .arg(output);
}

QString connectionPanelTip(const QString& text) {
    if (text == QLatin1String("Connection: None"))
        return QStringLiteral("No connection yet: Setup > Port chooses one");
    if (text.contains(QLatin1String(" (service)")))
        return QStringLiteral("The service (cantrel --run) holds the device: this window edits "
                              "and watches, and a radio button goes through the service");
    if (text.endsWith(QLatin1String(" (no port)")))
        return QStringLiteral("This parallel port is not there or may not be used: pulses reach "
                              "no device");
    if (text.startsWith(QLatin1String("Connection: LPT")))
        return QStringLiteral("The parallel port: a row's output is a 100 ms pulse on one data "
                              "line");
    if (text.startsWith(QLatin1String("Connection: COM")))
        return QStringLiteral("The serial port and the ID of the device it talks to");
    return {};
}

QString linkPanelTip(const QString& text) {
    if (text == QLatin1String("Wait"))
        return QStringLiteral("No answer yet: a serial device is asked every 3 seconds; a parallel "
                              "port has no link test");
    if (text == QLatin1String("Link OK"))
        return QStringLiteral("The device answered the last link test");
    if (text == QLatin1String("No link"))
        return QStringLiteral("The device did not answer: check its power, the cable and the "
                              "port");
    if (text == QLatin1String("Link error"))
        return QStringLiteral("Something answered, but not as the device does: check the device "
                              "ID and that nothing else uses the line");
    return {};
}

QString nextRowPanelTip(const QString& text) {
    if (text.isEmpty())
        return QStringLiteral("In Run mode: the next row to fire and the time left");
    return QStringLiteral("The next row to fire: its time, output and comment, and the time "
                          "left until it fires");
}

PanelTips::PanelTips(QLabel* panel, Explain explain)
    : QObject(panel), panel_(panel), explain_(explain) {
    panel_->installEventFilter(this);
}

bool PanelTips::eventFilter(QObject* watched, QEvent* event) {
    // Set just before the label shows it, from the text it carries now.
    if (watched == panel_ && event->type() == QEvent::ToolTip)
        panel_->setToolTip(explain_(panel_->text()));
    return false;
}

} // namespace cantrel
