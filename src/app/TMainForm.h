#pragma once

#include "device/DeviceLink.h"
#include "platform/Prompter.h"
#include "run/RunDocuments.h"
#include "run/RunReport.h"

#include <QMainWindow>
#include <QMargins>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTimer;

namespace cantrel {

class Clock;
class DaySchedule;
class DocumentFiles;
class FileDialogs;
class ScheduleEditing;
class MonthCalendar;
class MediaOpener;
class RadioBank;
class RunEngine;
class SettingsFile;
class StringGrid;
class StringGridModel;
class TAboutBox;
class TComSetupDlg;

inline const QString kEditModeTitle = QStringLiteral("Cantrel 1.18 - Edit mode");
inline const QString kRunModeTitle = QStringLiteral("Cantrel 1.18 - Run mode");

// The main window. It owns the program's state for the whole run; each
// subsystem's behaviour lives in the .cpp files of its own folder:
//   src/app       layout, start-up, close, settings
//   src/schedule  the two documents and the editing grids
//   src/run       Run mode and the scheduler tick
//   src/device    the connection, pulses, link test and radio bank
class TMainForm : public QMainWindow,
                  private RunDocuments,
                  private RunReport {
    Q_OBJECT
public:
    struct Services {
        Clock* clock;
        Prompter* prompter;
        MediaOpener* opener;
        // Where the settings are written; the executable's folder when empty.
        QString programFolder = {};
    };

    explicit TMainForm(const Services& services, QWidget* parent = nullptr);
    ~TMainForm() override;

    // ---- start-up and close ------------------------------------------------
    // The start-up sequence. False when a failure ended it; the failure has
    // been shown and the window must not be used.
    bool FormCreate();
    // True when the window may close.
    bool FormCloseQuery();
    void FormClose();
    void Exit1Click();
    void AboutClick();
    void setAboutBox(TAboutBox* box) { aboutBox_ = box; }

    // ---- state record ------------------------------------------------------
    // LPTAddr, PulseTime, ComHandle, ComNumber and DeviceID live in the
    // device link, which the window owns.
    DeviceLink& device() const { return *device_; }

    // The two documents; their grids show their rows.
    DaySchedule& daySchedule() const { return *daySchedule_; }
    MonthCalendar& monthCalendar() const { return *monthCalendar_; }

    // ---- day schedule document ------------------------------------------------
    // Its File menu commands; settings and Run mode use the members below.
    DocumentFiles& dayScheduleFiles() const { return *dayScheduleFiles_; }
    QString dayScheduleName() const;
    bool ConfirmDayScheduleClose();
    void NewDaySchedule();
    // An empty name raises ".24h file don't specified" before anything is
    // asked; once loaded, row 1 is selected and shown in the editor.
    void LoadDaySchedule(const QString& name);
    void WriteDaySchedule(const QString& name);

    // ---- month calendar document ----------------------------------------------
    DocumentFiles& monthCalendarFiles() const { return *monthCalendarFiles_; }
    QString monthCalendarName() const;
    void NewMonthCalendar();
    void LoadMonthCalendar(const QString& name);

    // ---- editing grids (src/app/MainFormSchedule.cpp) -----------------------
    // The rules behind the document grids and their editors; the window
    // connects the grids' selections, keys and clicks and the buttons to them.
    ScheduleEditing& scheduleEditing() const { return *scheduleEditing_; }
    // A document grid's editor takes the grid's column widths.
    void copyColumnWidths(StringGrid* grid);
    // The Insert and Remove buttons, on the selected row.
    void InsertButtonClick();
    void RemoveButtonClick();

    // ---- Run mode (src/app/MainFormRun.cpp; the engine is src/run) -------------
    // Run: after the unsaved-changes question, Run mode on today's file; its
    // failure is shown and Edit mode stays.
    void enterRunMode();
    void ExecuteButtonClick();
    void EnableEditControls(bool enable);
    void EnableChildControls(QWidget* container, bool enable);
    RunEngine* runEngine() const { return runEngine_.get(); }

    // ---- settings file (src/app/Settings.cpp) ----------------------------------
    void ReadSettings();
    void WriteSettings();
    void LoadControlBounds(const SettingsFile& list, QWidget* control, const QString& prefix);
    void SaveControlBounds(SettingsFile& list, QWidget* control, const QString& prefix) const;
    QString programFolder() const;
    // The window's place and outer size, its frame included: as laid out,
    // or as the settings file remembers them.
    QRect outerGeometry() const { return outerGeometry_; }
    void setOuterGeometry(const QRect& outer);

    // ---- device link (src/device/MainFormDevice.cpp) -------------------------------
    void LoadPortLibrary();
    void UnloadPortLibrary();
    void CloseComPort();
    void TestLinkTimerTimer();
    bool serialConnectionOpen() const;
    void Port1Click();
    int ExecuteComSetup();
    void Sound1Click();
    void PulseOutput(int output);
    RadioBank* radioBank() const { return radioBank_; }

    // ---- messages -------------------------------------------------------------
    // A plain box with OK, captioned with the program's title.
    void ShowMessage(const QString& text);
    // Runs an operator-started handler: the program's own texts are shown
    // in a plain box, any other failure goes to the general error display.
    void handle(const std::function<void()>& handler);

    Prompter& prompter() const { return *services_.prompter; }
    const Services& services() const { return services_; }

    // ---- controls ---------------------------------------------------------------
    QWidget* BottomPanel = nullptr;
    QPushButton* InsertButton = nullptr;
    QPushButton* ModifyButton = nullptr;
    QPushButton* RemoveButton = nullptr;
    QPushButton* ExecuteButton = nullptr;
    QPushButton* RunButton = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QSplitter* Splitter1 = nullptr;
    QGroupBox* DayGroupBox = nullptr;
    QGroupBox* MonthGroupBox = nullptr;
    QWidget* DayEditPanel = nullptr;
    QWidget* MonthEditPanel = nullptr;
    StringGrid* DayGrid = nullptr;
    StringGrid* EditDayGrid = nullptr;
    StringGrid* MonthGrid = nullptr;
    StringGrid* EditMonthGrid = nullptr;
    QPushButton* Select24dButton = nullptr;
    QPushButton* Select31hButton = nullptr;
    QLabel* ConnectionPanel = nullptr;
    QLabel* LinkPanel = nullptr;
    QTimer* TestLinkTimer = nullptr;
    QMenu* File1 = nullptr;
    QMenu* Setup1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* Sound1 = nullptr;
    TComSetupDlg* ComSetupDlg = nullptr;

    // The shared open and save dialogs.
    FileDialogs& fileDialogs() const { return *fileDialogs_; }

private:
    std::unique_ptr<FileDialogs> fileDialogs_;
    DocumentFiles* dayScheduleFiles_ = nullptr;
    DocumentFiles* monthCalendarFiles_ = nullptr;
    ScheduleEditing* scheduleEditing_ = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // What the run engine reads and where it reports.
    StringGridModel& dayRows() override;
    StringGridModel& monthRows() override;
    void loadDaySchedule(const QString& name) override { LoadDaySchedule(name); }
    void failure(const QString& text, bool programText) override;
    void ended(const QString& text, bool shown) override;
    void showRunMode(bool running);

    void connectDevice();
    void connectEditingGrids();
    void connectRunMode();
    void buildLayout();
    void buildMenus();
    void buildDayPanel();
    void buildMonthPanel();
    void buildBottomPanel();
    void buildStatusBar();
    void fitToFrame();
    void followFrame();

    Services services_;
    TAboutBox* aboutBox_ = nullptr;
    std::unique_ptr<RunEngine> runEngine_;
    std::unique_ptr<DeviceLink> device_;
    DaySchedule* daySchedule_;
    MonthCalendar* monthCalendar_;
    RadioBank* radioBank_ = nullptr;
    bool linkTestRunning_ = false;
    QRect outerGeometry_;
    // The frame the window was last fitted to, and whether the window
    // manager's frame has been seen.
    QMargins fittedFrame_;
    bool framed_ = false;
};

} // namespace cantrel
