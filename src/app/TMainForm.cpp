// The main window's life: construction, the start-up sequence and the close.
#include "app/TMainForm.h"

#include "app/TAboutBox.h"
#include "device/RadioBank.h"
#include "device/TComSetupDlg.h"
#include "run/RunEngine.h"
#include "schedule/DocumentFiles.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/ScheduleEditing.h"
#include "platform/FileDialogs.h"
#include "platform/ProgramError.h"
#include "schedule/StringGrid.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QTimer>

#include <algorithm>

namespace cantrel {


TMainForm::TMainForm(const Services& services, QWidget* parent)
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
}

TMainForm::~TMainForm() = default;

bool TMainForm::FormCreate()
{
    ComSetupDlg = new TComSetupDlg(prompter(), this);
    setWindowTitle(kEditModeTitle);
    radioBank_->create(16);
    runEngine_->setRunAdvance(0);
    device().LPTAddr = 888;
    device().PulseTime = 100;
    try {
        LoadPortLibrary();

        // The laid-out widths follow the row height; the time, output and
        // day columns are widened where the grid's font needs more room to
        // show a time or a two-digit number whole.
        const int h = DayGrid->defaultRowHeight();
        const int time = DayGrid->widthShowing(QStringLiteral("00:00:00"));
        const int output = DayGrid->widthShowing(QStringLiteral("00"));
        const int day = MonthGrid->widthShowing(QStringLiteral("00"));
        const int dayWidths[] = {h, std::max(3 * h, time), std::max(h, output), 128, 128};
        for (int c = 0; c < 5; ++c)
            DayGrid->setColWidth(c, dayWidths[c]);
        const int monthWidths[] = {h, std::max(h, day), 128};
        for (int c = 0; c < 3; ++c)
            MonthGrid->setColWidth(c, monthWidths[c]);

        NewDaySchedule();
        NewMonthCalendar();
        if (QFileInfo::exists(QStringLiteral("Cantrel.ini")))
            ReadSettings();

        const QStringList dayHeader = {QStringLiteral("E"), QStringLiteral("Time"),
                                       QStringLiteral("P"), QStringLiteral("Comments"),
                                       QStringLiteral("Media file")};
        DayGrid->setRowCells(0, dayHeader);
        MonthGrid->setRowCells(0, {QStringLiteral("E"), QStringLiteral("D"),
                                   QStringLiteral(".24h file")});

        DayGrid->setPartner(EditDayGrid);
        EditDayGrid->setPartner(DayGrid);
        MonthGrid->setPartner(EditMonthGrid);
        EditMonthGrid->setPartner(MonthGrid);
        copyColumnWidths(DayGrid);
        copyColumnWidths(MonthGrid);

        scheduleEditing().showDayRow(1);
        scheduleEditing().showCalendarDay(1);
        EditDayGrid->setCol(1);
        EditMonthGrid->setCol(2);
    } catch (const ProgramError& failure) {
        ShowMessage(failure.text());
        return false;
    } catch (const PlatformError& failure) {
        // A remembered file that cannot be read as it should: rather than put
        // a half set-up window into use, start-up ends here too.
        prompter().error(kProgramTitle, failure.text());
        return false;
    }
    TestLinkTimer->start();
    return true;
}

bool TMainForm::FormCloseQuery()
{
    if (runEngine_->running()) {
        prompter().message(QStringLiteral("Error"),
                           QStringLiteral("Can't terminate programm in run mode"));
        return false;
    }
    WriteSettings();
    if (!ConfirmDayScheduleClose())
        return false;
    return monthCalendarFiles().confirmClose();
}

void TMainForm::FormClose()
{
    CloseComPort();
    UnloadPortLibrary();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    bool canClose = false;
    handle([&] { canClose = FormCloseQuery(); });
    if (!canClose) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    followFrame();
}

void TMainForm::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    followFrame();
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    followFrame();
}

void TMainForm::Exit1Click()
{
    close();
}

void TMainForm::AboutClick()
{
    if (aboutBox_)
        aboutBox_->exec();
}

void TMainForm::ShowMessage(const QString& text)
{
    prompter().message(kProgramTitle, text);
}

void TMainForm::handle(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const ProgramError& failure) {
        ShowMessage(failure.text());
    } catch (const PlatformError& failure) {
        prompter().error(kProgramTitle, failure.text());
    } catch (const std::exception& failure) {
        prompter().error(kProgramTitle, QString::fromLocal8Bit(failure.what()));
    }
}

} // namespace cantrel
