// The window's side of the plan behind the month calendar: the grid's empty
// days show, greyed, what the plan runs on them this month. Display only:
// the calendar's cells, its file and its modified state are never touched.
#include "app/MainWindow.h"
#include "app/PlanHintDelegate.h"
#include "platform/Clock.h"
#include "platform/ProgramError.h"
#include "run/RunEngine.h"
#include "schedule/Cells.h"
#include "schedule/DayPlan.h"
#include "schedule/DocumentFiles.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"

#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QStatusBar>
#include <QTimer>

namespace cantrel {

void MainWindow::connectPlan() {
    planHints = new PlanHintDelegate(MonthCol::File, monthGrid);
    monthGrid->setItemDelegate(planHints);
    planPanel = new QLabel(statusBar());
    planPanel->setObjectName(QStringLiteral("PlanPanel"));
    planPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->insertWidget(2, planPanel);
    planPanel->hide();
    // Said when the operator loads a calendar; a new name (New, Save As)
    // or a new day only shows what the plan now gives.
    connect(&monthCalendarFiles(), &DocumentFiles::loaded, this, [this] { showPlan(true); });
    connect(&monthCalendar(), &ScheduleDocument::nameChanged, this, [this] { showPlan(false); });
    connect(runEngine_.get(), &RunEngine::dayStarted, this, [this] { showPlan(false); });
    // A new month shows its own days, Run mode or not.
    auto* newMonth = new QTimer(this);
    newMonth->setInterval(60000);
    connect(newMonth, &QTimer::timeout, this, [this] {
        const QDate today = services_.clock->now().date();
        if (today.month() != planMonth_.month() || today.year() != planMonth_.year())
            showPlan(false);
    });
    newMonth->start();
}

void MainWindow::showPlan(bool sayFailure) {
    const QDate today = services_.clock->now().date();
    planMonth_ = QDate(today.year(), today.month(), 1);
    QList<PlanHint> hints;
    QString shown;
    if (monthCalendar().hasFile()) {
        const QString file = planFileFor(monthCalendarName());
        try {
            if (const std::optional<DayPlan> plan = readPlanFile(file)) {
                hints = cantrel::planHints(*plan, today.year(), today.month());
                shown = QStringLiteral("Plan for %1: %2")
                            .arg(QLocale::c().toString(planMonth_, QStringLiteral("MMMM yyyy")),
                                 QFileInfo(file).fileName());
            }
        } catch (const ProgramError& failure) {
            shown = QStringLiteral("Plan not read: %1").arg(QFileInfo(file).fileName());
            if (sayFailure)
                showMessage(failure.text(), failure.detail());
        }
    }
    planHints->setHints(std::move(hints));
    // The panel is narrow: the whole path is its tool tip.
    planPanel->setText(shown);
    planPanel->setToolTip(shown.isEmpty() ? QString() : planFileFor(monthCalendarName()));
    showPlanPanel();
    monthGrid->viewport()->update();
}

// The status bar has no room for both: while a next row is shown, its time
// left matters more than the month the calendar shows.
void MainWindow::showPlanPanel() {
    planPanel->setVisible(!planPanel->text().isEmpty() && nextRowPanel->text().isEmpty());
}

} // namespace cantrel
