// The settings file "Cantrel.ini": read once at start-up, written whole at
// every close request in Edit mode (where: SettingsPlace).
#include "app/SettingsFile.h"
#include "app/SettingsPlace.h"
#include "app/MainWindow.h"
#include "platform/LockedFile.h"
#include "platform/ProgramError.h"
#include "run/RunEngine.h"
#include "schedule/StringGrid.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>

namespace cantrel {

namespace {

// A window whose remembered place lies wholly off every screen (a monitor
// since unplugged) comes back onto the primary one.
QRect keptOnScreen(const QRect& outer) {
    const QRect shown(outer.topLeft(), outer.size().expandedTo(QSize(1, 1)));
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(shown))
            return outer;
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? outer.translated(primary->availableGeometry().topLeft() - outer.topLeft())
                   : outer;
}

// A remembered document that is gone, or whose name is now a folder's, is
// skipped and the new document stays.
bool documentExists(const QString& name) {
    const QFileInfo info(name);
    return info.exists() && !info.isDir();
}

} // namespace

QString MainWindow::programFolder() const {
    return services_.programFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                             : services_.programFolder;
}

void MainWindow::loadBounds(const SettingsFile& list, QWidget* control,
                                  const QString& prefix) {
    const bool isWindow = control == this;
    for (const char* edge : {"Left", "Top", "Width", "Height"}) {
        const std::optional<int> value = list.number(prefix + QLatin1String(edge));
        if (!value)
            continue;
        const QString which = QLatin1String(edge);
        if (isWindow) {
            // Left and top place the frame; width and height are outer sizes.
            QRect outer = outerGeometry();
            if (which == QLatin1String("Left"))
                outer.moveLeft(*value);
            else if (which == QLatin1String("Top"))
                outer.moveTop(*value);
            else if (which == QLatin1String("Width"))
                outer.setWidth(*value);
            else
                outer.setHeight(*value);
            setOuterGeometry(outer);
        } else if (which == QLatin1String("Width")) {
            // The month panel is docked to the right: only its width shows,
            // as the place where the two panels meet.
            // The day panel takes whatever the window leaves it.
            splitter->setSizes({splitter->sizes().value(0), *value});
        }
    }
}

void MainWindow::saveBounds(SettingsFile& list, QWidget* control, const QString& prefix) const {
    const QRect r = control == this
                        ? frameGeometry()
                        : QRect(control->mapTo(centralWidget(), QPoint(0, 0)), control->size());
    list.add(prefix + QStringLiteral("Left"), r.x());
    list.add(prefix + QStringLiteral("Top"), r.y());
    list.add(prefix + QStringLiteral("Width"), r.width());
    list.add(prefix + QStringLiteral("Height"), r.height());
}

void MainWindow::readSettings(const QString& path) {
    QFile file(path);
    // A settings file that cannot be read is treated like a missing one.
    if (!file.open(QIODevice::ReadOnly))
        return;
    const SettingsFile list = SettingsFile::parse(file.readAll());

    loadBounds(list, this, QStringLiteral("form"));
    setOuterGeometry(keptOnScreen(outerGeometry()));
    loadBounds(list, monthGroupBox, QStringLiteral("month"));

    for (int c = 0; c < 5; ++c)
        if (const auto w = list.number(QStringLiteral("D%1").arg(c)))
            dayGrid->setColWidth(c, *w);
    for (int c = 0; c < 3; ++c)
        if (const auto w = list.number(QStringLiteral("M%1").arg(c)))
            monthGrid->setColWidth(c, *w);

    const QString day = list.value(QStringLiteral("file24h")).value_or(QString());
    newDaySchedule();
    if (documentExists(day))
        loadDaySchedule(day);
    const QString month = list.value(QStringLiteral("file31d")).value_or(QString());
    newMonthCalendar();
    if (documentExists(month))
        loadMonthCalendar(month);

    const HeadlessSettings run = readRunSettings(list);
    device().deviceId = run.deviceId;
    runEngine_->setRunAdvance(run.runAdvance);
    device().setConnection(run.connection);
    device().pulseMs = 100;
}

void MainWindow::writeSettings() {
    // The folder written to stays the current one after, so the file
    // dialogs open there next.
    const QString folder = settingsPlace(programFolder()).writeFolder;
    QDir().mkpath(folder);
    QDir::setCurrent(folder);

    SettingsFile list;
    saveBounds(list, this, QStringLiteral("form"));
    saveBounds(list, monthGroupBox, QStringLiteral("month"));
    for (int c = 0; c < 5; ++c)
        list.add(QStringLiteral("D%1").arg(c), dayGrid->colWidth(c));
    for (int c = 0; c < 3; ++c)
        list.add(QStringLiteral("M%1").arg(c), monthGrid->colWidth(c));
    list.add(QStringLiteral("file24h"), dayScheduleName());
    list.add(QStringLiteral("file31d"), monthCalendarName());
    list.add(QStringLiteral("LPTAddr"), device().parallelAddress);
    // The connection asked for, though its port may not have opened this
    // time (held by cantrel --run, say): the next start asks for it again.
    list.add(QStringLiteral("Port"), device().askedConnection());
    list.add(QStringLiteral("DeviceID"), device().deviceId);
    list.add(QStringLiteral("RunAdvance"), runEngine_->runAdvance());

    QString why;
    const ReplaceResult result = replaceFile(kSettingsName, list.bytes(), &why);
    if (result != ReplaceResult::Replaced)
        throw PlatformError((result == ReplaceResult::CannotCreate
                                 ? QStringLiteral("Cannot create file \"%1\"")
                                 : QStringLiteral("Cannot write file \"%1\""))
                                .arg(QDir::current().absoluteFilePath(kSettingsName)),
                            why);
}

} // namespace cantrel
