// The window's side of Run mode: the Run/Pause button, the title, the locked
// controls and the Execute command. What happens when a row falls due is the
// run engine's.
#include "app/MainWindow.h"
#include "device/RadioBank.h"
#include "platform/ProgramError.h"
#include "run/AsRunLog.h"
#include "run/NextRowText.h"
#include "run/RunLogger.h"
#include "run/RunEngine.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"

#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

namespace cantrel {

void MainWindow::connectRunMode() {
    runEngine_ = std::make_unique<RunEngine>(static_cast<RunDocuments&>(*this), *services_.clock,
                                             *services_.opener, *device_,
                                             static_cast<RunReport&>(*this));
    connect(runEngine_.get(), &RunEngine::modeChanged, this, &MainWindow::showRunMode);
    // Every run is logged as it goes; a log that cannot be written is said
    // once, and the run goes on.
    asRunLog_ = std::make_unique<AsRunLog>();
    runLogger_ = new RunLogger(*runEngine_, static_cast<RunDocuments&>(*this), *device_,
                               *services_.clock, *asRunLog_, {}, this);
    connect(asRunLog_.get(), &AsRunLog::writeFailed, this,
            [this](const QString& text) { prompter().error(kProgramTitle, text); });
    connect(runEngine_.get(), &RunEngine::dayStarted, this, [this](int day) { monthGrid->setRow(day); });
    connect(runEngine_.get(), &RunEngine::rowFalling, this, [this](int row) { dayGrid->setRow(row); });
    connect(runEngine_.get(), &RunEngine::ticked, this, &MainWindow::showNextRow);
    // The one button is Run in Edit mode and Pause in Run mode.
    connect(runButton, &QAbstractButton::clicked, this, [this] {
        handle([this] {
            if (runEngine_->running())
                runEngine_->leave(QStringLiteral("paused"));
            else
                enterRunMode();
        });
    });
    connect(executeButton, &QAbstractButton::clicked, this,
            [this] { handle([this] { executeSelectedRow(); }); });
    connect(dayGrid, &StringGrid::doubleClickedAnywhere, this,
            [this] { handle([this] { executeSelectedRow(); }); });
}

StringGridModel& MainWindow::dayRows() {
    return daySchedule().rows();
}

StringGridModel& MainWindow::monthRows() {
    return monthCalendar().rows();
}

void MainWindow::reloadMonthCalendar() {
    monthCalendar().reload();
}

void MainWindow::clearDaySchedule() {
    daySchedule().startNew();
    dayGroupBox->setTitle(QStringLiteral("no schedule today"));
}

void MainWindow::enterRunMode() {
    if (!confirmDayScheduleClose())
        return;
    try {
        runEngine_->enter();
    } catch (const ProgramError& failure) {
        showMessage(failure.text(), failure.detail());
    }
}

void MainWindow::showRunMode(bool running) {
    runButton->setText(running ? QStringLiteral("Pause") : QStringLiteral("Run"));
    showRunAvailable();
    setWindowTitle(running ? kRunModeTitle : kEditModeTitle);
    enableEditing(!running);
    showNextRow();
}

// Kept current by every tick, so at least twice a second.
void MainWindow::showNextRow() {
    const std::optional<RunEngine::NextRow> next =
        runEngine_->running() ? runEngine_->nextRow() : std::nullopt;
    if (next)
        nextRowPanel->setText(
            nextRowText(daySchedule().rows().rowCells(next->row), next->msLeft));
    else
        nextRowPanel->setText(besideService() ? serviceNextRowText() : QString());
    showPlanPanel();
}

void MainWindow::failure(const QString& text, bool programText, const QString& detail) {
    if (programText)
        showMessage(text, detail);
    else
        prompter().error(kProgramTitle, text, detail);
}

// A time that does not read ends Run mode without a word.
void MainWindow::ended(const QString& text, bool shown, const QString& detail) {
    if (shown)
        showMessage(text, detail);
}

void MainWindow::enableEditing(bool enable) {
    enableChildren(bottomPanel, enable);
    enableChildren(dayGroupBox, enable);
    enableChildren(monthGroupBox, enable);
    // Run mode must always be leavable; beside the service Run is not there.
    showRunAvailable();
    if (enable && !serialConnectionOpen() && !besideService())
        radioBank()->enable(4);
    fileMenu->setEnabled(enable);
    setupMenu->setEnabled(enable);
}

void MainWindow::enableChildren(QWidget* container, bool enable) {
    for (QObject* child : container->children()) {
        if (auto* control = qobject_cast<QWidget*>(child))
            control->setEnabled(enable);
    }
}

} // namespace cantrel
