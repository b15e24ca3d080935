// Run mode: the switch between Edit and Run mode, the scheduler tick and the
// Execute command. The window is in Run mode exactly while Timer runs.
#include "app/TMainForm.h"
#include "device/RadioBank.h"
#include "platform/Clock.h"
#include "platform/ProgramError.h"
#include "run/ExecuteThread.h"
#include "run/RunEngine.h"
#include "run/ShiftedClock.h"
#include "schedule/Cells.h"
#include "schedule/MonthCalendarFile.h"
#include "schedule/StringGrid.h"

#include <QGroupBox>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

namespace cantrel {

void TMainForm::connectRunMode() {
    runEngine_ = std::make_unique<RunEngine>(*this);
    runEngine_->bindRunButton(&TMainForm::RunButtonClick);
    // The tick deals with its own failures: it ends Run mode before it shows one.
    connect(Timer, &QTimer::timeout, this, [this] { TimerTimer(); });
    connect(ExecuteButton, &QAbstractButton::clicked, this,
            [this] { handle([this] { ExecuteButtonClick(); }); });
    connect(DayGrid, &StringGrid::doubleClickedAnywhere, this,
            [this] { handle([this] { ExecuteButtonClick(); }); });
}

void TMainForm::RunButtonClick() {
    if (!ConfirmDayScheduleClose())
        return;
    for (int day = 1; day <= monthDays; ++day)
        MonthGrid->setCell(MonthCol::Mark, day, QString());
    try {
        // Entering loads today's file by the calendar date; the advance only
        // moves the ticks.
        const QDate today = services().clock->now().date();
        const int day = today.day();
        LoadDaySchedule(MonthGrid->cell(MonthCol::File, day));
        MonthGrid->setCell(MonthCol::Mark, day, QStringLiteral("+"));
        MonthGrid->setRow(day);
        RunButton->setText(QStringLiteral("Pause"));
        runEngine_->bindRunButton(&TMainForm::PauseButtonClick);
        setWindowTitle(kRunModeTitle);
        EnableEditControls(false);
        runEngine_->setRunDate(today);
        Timer->start();
    } catch (const ProgramError& failure) {
        ShowMessage(failure.text());
    }
}

void TMainForm::PauseButtonClick() {
    RunButton->setText(QStringLiteral("Run"));
    runEngine_->bindRunButton(&TMainForm::RunButtonClick);
    setWindowTitle(kEditModeTitle);
    EnableEditControls(true);
    Timer->stop();
}

void TMainForm::TimerTimer() {
    const QDateTime shifted = shiftedClock(services().clock->now(), RunAdvance);
    try {
        const QDate date = shifted.date();
        const int day = date.day();
        const QString dayFile = MonthGrid->cell(MonthCol::File, day);
        if (date != runEngine_->runDate() || dayScheduleName() != dayFile) {
            LoadDaySchedule(dayFile);
            MonthGrid->setCell(MonthCol::Mark, day, QStringLiteral("+"));
            MonthGrid->setRow(day);
            runEngine_->setRunDate(date);
        }
        const DueScan scan = runEngine_->dueRows(secondOfDay(shifted.time()));
        for (int row : scan.due) {
            DayGrid->setRow(row);
            ExecuteCurrentRow();
        }
        // A time that does not read ends Run mode without a word.
        if (scan.badRow)
            PauseButtonClick();
    } catch (const ProgramError& failure) {
        PauseButtonClick();
        ShowMessage(failure.text());
    } catch (const std::exception&) {
        PauseButtonClick();
    }
}

void TMainForm::ExecuteButtonClick() {
    ExecuteCurrentRow();
}

void TMainForm::ExecuteCurrentRow() {
    const int row = DayGrid->row();
    auto* worker = new ExecuteThread(runEngine_->link());
    worker->AdvanceSec = clampRunAdvance(RunAdvance);
    worker->OutputNumber = outputNumber(DayGrid->cell(DayCol::Output, row));
    worker->RowIndex = row;
    worker->FileName = DayGrid->cell(DayCol::Media, row);
    worker->RowLayout = runEngine_->take(row);
    worker->start();
}

void TMainForm::EnableEditControls(bool enable) {
    EnableChildControls(BottomPanel, enable);
    EnableChildControls(DayGroupBox, enable);
    EnableChildControls(MonthGroupBox, enable);
    // Run mode must always be leavable.
    RunButton->setEnabled(true);
    if (enable && !serialConnectionOpen())
        radioBank()->enable(4);
    File1->setEnabled(enable);
    Setup1->setEnabled(enable);
}

void TMainForm::EnableChildControls(QWidget* container, bool enable) {
    for (QObject* child : container->children()) {
        if (auto* control = qobject_cast<QWidget*>(child))
            control->setEnabled(enable);
    }
}

} // namespace cantrel
