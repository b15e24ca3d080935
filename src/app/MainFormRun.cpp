// The window's side of Run mode: the Run/Pause button, the title, the locked
// controls and the Execute command. What happens when a row falls due is the
// run engine's.
#include "app/TMainForm.h"
#include "device/RadioBank.h"
#include "platform/ProgramError.h"
#include "run/RunEngine.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"

#include <QGroupBox>
#include <QMenu>
#include <QPushButton>

namespace cantrel {

void TMainForm::connectRunMode() {
    runEngine_ = std::make_unique<RunEngine>(static_cast<RunDocuments&>(*this), *services_.clock,
                                             *services_.opener, *device_,
                                             static_cast<RunReport&>(*this));
    connect(runEngine_.get(), &RunEngine::modeChanged, this, &TMainForm::showRunMode);
    connect(runEngine_.get(), &RunEngine::dayStarted, this, [this](int day) { MonthGrid->setRow(day); });
    connect(runEngine_.get(), &RunEngine::rowFalling, this, [this](int row) { DayGrid->setRow(row); });
    // The one button is Run in Edit mode and Pause in Run mode.
    connect(RunButton, &QAbstractButton::clicked, this, [this] {
        handle([this] {
            if (runEngine_->running())
                runEngine_->leave();
            else
                enterRunMode();
        });
    });
    connect(ExecuteButton, &QAbstractButton::clicked, this,
            [this] { handle([this] { ExecuteButtonClick(); }); });
    connect(DayGrid, &StringGrid::doubleClickedAnywhere, this,
            [this] { handle([this] { ExecuteButtonClick(); }); });
}

StringGridModel& TMainForm::dayRows() {
    return daySchedule().rows();
}

StringGridModel& TMainForm::monthRows() {
    return monthCalendar().rows();
}

void TMainForm::enterRunMode() {
    if (!ConfirmDayScheduleClose())
        return;
    try {
        runEngine_->enter();
    } catch (const ProgramError& failure) {
        ShowMessage(failure.text());
    }
}

void TMainForm::showRunMode(bool running) {
    RunButton->setText(running ? QStringLiteral("Pause") : QStringLiteral("Run"));
    setWindowTitle(running ? kRunModeTitle : kEditModeTitle);
    EnableEditControls(!running);
}

void TMainForm::failure(const QString& text, bool programText) {
    if (programText)
        ShowMessage(text);
    else
        prompter().error(kProgramTitle, text);
}

// A time that does not read ends Run mode without a word.
void TMainForm::ended(const QString& text, bool shown) {
    if (shown)
        ShowMessage(text);
}

void TMainForm::ExecuteButtonClick() {
    runEngine_->executeRow(DayGrid->row());
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
