// The main window's life: construction, the start-up sequence and the close.
#include "app/MainWindow.h"
#include "app/SettingsPlace.h"

#include "app/AboutBox.h"
#include "device/RadioBank.h"
#include "device/ConnectionDialog.h"
#include "run/AsRunLog.h"
#include "run/RunEngine.h"
#include "schedule/DocumentFiles.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/ScheduleEditing.h"
#include "platform/FileDialogs.h"
#include "platform/ProgramError.h"
#include "schedule/StringGrid.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QTimer>

#include <algorithm>

namespace cantrel {


MainWindow::MainWindow(const Services& services, QWidget* parent)
    : QMainWindow(parent), fileDialogs_(std::make_unique<FileDialogs>(*services.prompter)),
      services_(services), daySchedule_(new DaySchedule(this)),
      monthCalendar_(new MonthCalendar(this))
{
    setObjectName(QStringLiteral("MainForm"));
    dayScheduleFiles_ = new DocumentFiles(daySchedule(), prompter(), fileDialogs(), this);
    monthCalendarFiles_ = new DocumentFiles(monthCalendar(), prompter(), fileDialogs(), this);
    scheduleEditing_ = new ScheduleEditing(daySchedule(), monthCalendar(), fileDialogs(), this);
    buildLayout();
    connectDevice();
    connectEditingGrids();
    connectRunMode();
    connectPlan();
    explainControls();
}

MainWindow::~MainWindow() = default;

bool MainWindow::start()
{
    connectionDialog = new ConnectionDialog(prompter(), this);
    setWindowTitle(kEditModeTitle);
    radioBank_->create(16);
    showOutputs(16);
    runEngine_->setRunAdvance(0);
    device().parallelAddress = 888;
    device().pulseMs = 100;
    try {
        device_->loadPortLibrary();

        // The laid-out widths follow the row height; the time, output and
        // day columns are widened where the grid's font needs more room to
        // show a time or a two-digit number whole.
        const int h = dayGrid->defaultRowHeight();
        const int time = dayGrid->widthShowing(QStringLiteral("00:00:00"));
        const int output = dayGrid->widthShowing(QStringLiteral("00"));
        const int day = monthGrid->widthShowing(QStringLiteral("00"));
        const int dayWidths[] = {h, std::max(3 * h, time), std::max(h, output), 128, 128};
        for (int c = 0; c < 5; ++c)
            dayGrid->setColWidth(c, dayWidths[c]);
        const int monthWidths[] = {h, std::max(h, day), 128};
        for (int c = 0; c < 3; ++c)
            monthGrid->setColWidth(c, monthWidths[c]);

        newDaySchedule();
        newMonthCalendar();
        // A service that runs the schedule keeps the device: the settings'
        // connection is only remembered.
        watchService();
        if (const QString settings = settingsPlace(programFolder()).readFrom; !settings.isEmpty())
            readSettings(settings);

        const QStringList dayHeader = {QStringLiteral("E"), QStringLiteral("Time"),
                                       QStringLiteral("P"), QStringLiteral("Comments"),
                                       QStringLiteral("Media file")};
        dayGrid->setRowCells(0, dayHeader);
        monthGrid->setRowCells(0, {QStringLiteral("E"), QStringLiteral("D"),
                                   QStringLiteral(".24h file")});

        dayGrid->setPartner(dayEditGrid);
        dayEditGrid->setPartner(dayGrid);
        monthGrid->setPartner(monthEditGrid);
        monthEditGrid->setPartner(monthGrid);
        copyColumnWidths(dayGrid);
        copyColumnWidths(monthGrid);

        scheduleEditing().showDayRow(1);
        scheduleEditing().showCalendarDay(1);
        dayEditGrid->setCol(1);
        monthEditGrid->setCol(2);
    } catch (const ProgramError& failure) {
        showMessage(failure.text(), failure.detail());
        return false;
    } catch (const PlatformError& failure) {
        // A remembered file that cannot be read as it should: rather than put
        // a half set-up window into use, start-up ends here too.
        prompter().error(kProgramTitle, failure.text(), failure.detail());
        return false;
    }
    linkTestTimer->start();
    return true;
}

bool MainWindow::mayClose()
{
    if (runEngine_->running()) {
        prompter().message(QStringLiteral("Error"),
                           QStringLiteral("Can't terminate programm in run mode"));
        return false;
    }
    writeSettings();
    if (!confirmDayScheduleClose())
        return false;
    return monthCalendarFiles().confirmClose();
}

void MainWindow::releaseDevice()
{
    device_->closePort();
    device_->unloadPortLibrary();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    bool canClose = false;
    handle([&] { canClose = mayClose(); });
    if (!canClose) {
        event->ignore();
        return;
    }
    releaseDevice();
    event->accept();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    followFrame();
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    followFrame();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    followFrame();
}

void MainWindow::exitProgram()
{
    close();
}

void MainWindow::showAbout()
{
    if (aboutBox_)
        aboutBox_->exec();
}

void MainWindow::showMessage(const QString& text, const QString& detail)
{
    prompter().message(kProgramTitle, text, detail);
}

void MainWindow::handle(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const ProgramError& failure) {
        showMessage(failure.text(), failure.detail());
    } catch (const PlatformError& failure) {
        prompter().error(kProgramTitle, failure.text(), failure.detail());
    } catch (const std::exception& failure) {
        prompter().error(kProgramTitle, QString::fromLocal8Bit(failure.what()));
    }
}

} // namespace cantrel
