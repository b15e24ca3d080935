// The main window's life: construction, the start-up sequence and the close.
#include "app/TMainForm.h"

#include "app/TAboutBox.h"
#include "device/TComSetupDlg.h"
#include "run/RunEngine.h"
#include "platform/ProgramError.h"
#include "schedule/StringGrid.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QTimer>

namespace cantrel {

TMainForm::TMainForm(const Services& services, QWidget* parent)
    : QMainWindow(parent), services_(services)
{
    setObjectName(QStringLiteral("MainForm"));
    buildLayout();
    connectDevice();
    connectEditingGrids();
    connectRunMode();
    SaveDialog.confirmOverwrite = true;
    OpenDialog.filter = QStringLiteral("Any file|*.*");
}

TMainForm::~TMainForm() = default;

bool TMainForm::FormCreate()
{
    ComSetupDlg = new TComSetupDlg(prompter(), this);
    setWindowTitle(kEditModeTitle);
    CreateRadioBank(16);
    RunAdvance = 0;
    device().LPTAddr = 888;
    device().PulseTime = 100;
    try {
        LoadPortLibrary();

        const int h = DayGrid->defaultRowHeight();
        const int dayWidths[] = {h, 3 * h, h, 128, 128};
        for (int c = 0; c < 5; ++c)
            DayGrid->setColWidth(c, dayWidths[c]);
        const int monthWidths[] = {h, h, 128};
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
        CopyColumnWidths(DayGrid);
        CopyColumnWidths(MonthGrid);

        DayGridSelectCell(DayGrid, 1);
        DayGridSelectCell(MonthGrid, 1);
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
    if (Timer->isActive()) {
        prompter().message(QStringLiteral("Error"),
                           QStringLiteral("Can't terminate programm in run mode"));
        return false;
    }
    WriteSettings();
    if (!ConfirmDayScheduleClose())
        return false;
    return ConfirmMonthCalendarClose();
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
    if (rememberedOuterSize_.width() > 0 || rememberedOuterSize_.height() > 0) {
        applyRememberedOuterSize();
        rememberedOuterSize_ = QSize(-1, -1);
    }
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

// Choosing a file makes its folder the current one, so the next dialog
// opens where the last one was closed.
static QString runFileDialog(FileDialogRequest& dialog,
                             const std::function<QString(const FileDialogRequest&)>& show)
{
    dialog.directory = QDir::currentPath();
    const QString path = show(dialog);
    if (!path.isEmpty()) {
        dialog.fileName = path;
        QDir::setCurrent(QFileInfo(path).absolutePath());
    }
    return path;
}

QString TMainForm::executeOpenDialog()
{
    return runFileDialog(OpenDialog, [this](const FileDialogRequest& r) { return prompter().openFile(r); });
}

QString TMainForm::executeSaveDialog()
{
    return runFileDialog(SaveDialog, [this](const FileDialogRequest& r) { return prompter().saveFile(r); });
}

} // namespace cantrel
