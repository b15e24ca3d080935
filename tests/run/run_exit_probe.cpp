// Ends the program the way main() does while two workers sleep out a run
// advance of almost an hour and a third one's report is still queued. The
// process must end at once, with exit code 0.
#include "run/RunEngine.h"
#include "app/MainWindow.h"
#include "run/RowWorker.h"
#include "schedule/StringGrid.h"
#include "support/TestDoubles.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

using namespace cantrel;

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    test::FakeClock clock;
    test::ScriptedPrompter prompter;
    test::RecordingOpener opener;
    {
        MainWindow form({&clock, &prompter, &opener});
        if (!form.start())
            return 2;
        form.runEngine()->setRunAdvance(3599);
        form.dayGrid->setRowCells(1, {"", "12:00:00", "1", "", ""});
        form.dayGrid->appendRow({"", "12:00:01", "2", "", ""});
        for (int row : {1, 2}) {
            form.dayGrid->setRow(row);
            form.executeSelectedRow();
        }
        const QDeadlineTimer deadline(10000);
        while ((form.dayGrid->cell(0, 1) != ">" || form.dayGrid->cell(0, 2) != ">") &&
               !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (deadline.hasExpired())
            return 3;
        std::printf("sleeping workers: %d\n", RowWorker::liveCount());
        std::fflush(stdout);
        form.dayGrid->setCell(2, 1, QStringLiteral("0"));
        form.dayGrid->setRow(1);
        form.executeSelectedRow();
    }
    return 0;
}
