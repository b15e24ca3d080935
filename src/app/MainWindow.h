#pragma once

#include "device/DeviceThread.h"
#include "platform/Prompter.h"
#include "run/RunDocuments.h"
#include "run/RunReport.h"
#include "service/ServiceBus.h"

#include <QDate>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMargins>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

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
class AsRunLog;
class RunEngine;
class RunLogger;
class SettingsFile;
class StringGrid;
class StringGridModel;
class AboutBox;
class ConnectionDialog;
class PlanHintDelegate;
class ServiceClient;

inline const QString kEditModeTitle = QStringLiteral("Cantrel 1.18 - Edit mode");
inline const QString kRunModeTitle = QStringLiteral("Cantrel 1.18 - Run mode");

// The main window: it builds the layout, holds the menus and the status bar,
// and wires the subsystems' objects together. It is the only place that
// knows them all:
//   src/schedule  the two documents, their File commands, the editing rules
//   src/run       the run engine (Run mode, the tick, the workers)
//   src/device    the device link (connection, link test, pulses, selection)
// The window's own parts are in src/app/MainWindow*.cpp, one file for each.
class MainWindow : public QMainWindow,
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
        // The session bus's view of `cantrel --run`; none: the window works
        // alone.
        ServiceClient* service = nullptr;
    };

    explicit MainWindow(const Services& services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // ---- start-up and close ------------------------------------------------
    // The start-up sequence. False when a failure ended it; the failure has
    // been shown and the window must not be used.
    bool start();
    // True when the window may close.
    bool mayClose();
    void releaseDevice();
    void exitProgram();
    void showAbout();
    void setAboutBox(AboutBox* box) { aboutBox_ = box; }

    // ---- the subsystems' objects ---------------------------------------------
    // The connection to the device, with its address, pulse time, COM port
    // and device ID.
    DeviceThread& device() const { return *device_; }

    // The two documents; their grids show their rows.
    DaySchedule& daySchedule() const { return *daySchedule_; }
    MonthCalendar& monthCalendar() const { return *monthCalendar_; }

    // ---- day schedule document ------------------------------------------------
    // Its File menu commands; settings and Run mode use the members below.
    DocumentFiles& dayScheduleFiles() const { return *dayScheduleFiles_; }
    QString dayScheduleName() const override;
    bool confirmDayScheduleClose();
    void newDaySchedule();
    // An empty name raises ".24h file don't specified" before anything is
    // asked; once loaded, row 1 is selected and shown in the editor.
    void loadDaySchedule(const QString& name) override;
    void writeDaySchedule(const QString& name);

    // ---- month calendar document ----------------------------------------------
    DocumentFiles& monthCalendarFiles() const { return *monthCalendarFiles_; }
    QString monthCalendarName() const override;
    void newMonthCalendar();
    void loadMonthCalendar(const QString& name);

    // ---- editing grids (src/app/MainWindowSchedule.cpp) -----------------------
    // The rules behind the document grids and their editors; the window
    // connects the grids' selections, keys and clicks and the buttons to them.
    ScheduleEditing& scheduleEditing() const { return *scheduleEditing_; }
    // A document grid's editor takes the grid's column widths.
    void copyColumnWidths(StringGrid* grid);
    // The Insert and Remove buttons, on the selected row.
    void insertRow();
    void removeRow();

    // ---- Run mode (src/app/MainWindowRun.cpp; the engine is src/run) -------------
    // Run: after the unsaved-changes question, Run mode on today's file; its
    // failure is shown and Edit mode stays.
    void enterRunMode();
    void executeSelectedRow();
    void enableEditing(bool enable);
    void enableChildren(QWidget* container, bool enable);
    RunEngine* runEngine() const { return runEngine_.get(); }

    // ---- settings file (src/app/Settings.cpp) ----------------------------------
    void readSettings(const QString& path);
    void writeSettings();
    void loadBounds(const SettingsFile& list, QWidget* control, const QString& prefix);
    void saveBounds(SettingsFile& list, QWidget* control, const QString& prefix) const;
    QString programFolder() const;
    // The window's place and outer size, its frame included: as laid out,
    // or as the settings file remembers them.
    QRect outerGeometry() const { return outerGeometry_; }
    void setOuterGeometry(const QRect& outer);

    // ---- device link (src/app/MainWindowDevice.cpp) ----------------------------------
    bool serialConnectionOpen() const;
    // Setup > Port: the connection dialog, applied when it closes with OK;
    // the connection index chosen, or -1 when cancelled.
    void setUpConnection();
    int runConnectionDialog();
    RadioBank* radioBank() const { return radioBank_; }
    // A radio button clicked: the output goes out through the device, or
    // through the service beside the window.
    void chooseOutput(int output);
    // A link test or a click whose exchange failed: the general error
    // display, as for any failure that escapes a handler.
    void showDeviceFailure(const DeviceFailure& failure);

    // ---- beside the service (src/app/MainWindowService.cpp) -------------------
    // While `cantrel --run` runs the schedule, the device is the service's:
    // the window shows its state and sends it outputs and rows.
    bool besideService() const { return device_->standingBy(); }

    // ---- messages -------------------------------------------------------------
    // A plain box with OK, captioned with the program's title; detail is
    // the line below the text (what and why).
    void showMessage(const QString& text, const QString& detail = {});
    // Runs an operator-started handler: the program's own texts are shown
    // in a plain box, any other failure goes to the general error display.
    void handle(const std::function<void()>& handler);

    Prompter& prompter() const { return *services_.prompter; }
    const Services& services() const { return services_; }

    // ---- controls ---------------------------------------------------------------
    QWidget* bottomPanel = nullptr;
    QPushButton* insertButton = nullptr;
    QPushButton* modifyButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* executeButton = nullptr;
    QPushButton* runButton = nullptr;
    QRadioButton* noOutputRadio = nullptr;
    QSplitter* splitter = nullptr;
    QGroupBox* dayGroupBox = nullptr;
    QGroupBox* monthGroupBox = nullptr;
    QWidget* dayEditPanel = nullptr;
    QWidget* monthEditPanel = nullptr;
    StringGrid* dayGrid = nullptr;
    StringGrid* dayEditGrid = nullptr;
    StringGrid* monthGrid = nullptr;
    StringGrid* monthEditGrid = nullptr;
    QPushButton* browseMediaButton = nullptr;
    QPushButton* browseDayFileButton = nullptr;
    QLabel* connectionPanel = nullptr;
    QLabel* linkPanel = nullptr;
    QLabel* nextRowPanel = nullptr;
    // Which month the grid's greyed plan entries are for; shown only when
    // the calendar has a plan.
    QLabel* planPanel = nullptr;
    PlanHintDelegate* planHints = nullptr;
    QTimer* linkTestTimer = nullptr;
    QMenu* fileMenu = nullptr;
    QMenu* setupMenu = nullptr;
    QMenu* helpMenu = nullptr;
    QAction* soundAction = nullptr;
    ConnectionDialog* connectionDialog = nullptr;

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
    void reloadMonthCalendar() override;
    void clearDaySchedule() override;
    void failure(const QString& text, bool programText, const QString& detail) override;
    void ended(const QString& text, bool shown, const QString& detail) override;
    void showRunMode(bool running);
    void showNextRow();
    void showPlanPanel();

    void watchService();
    void stepAside();
    void takeDeviceBack();
    void showServiceState(const ServiceState& state);
    QString serviceNextRowText() const;
    void showRunAvailable();
    // Tooltips of the controls an operator looks at (MainWindowTips.cpp).
    void explainControls();
    // Enables radio buttons 1 to count, with tips for that connection.
    void showOutputs(int count);

    void connectDevice();
    void connectEditingGrids();
    void connectRunMode();
    // The plan beside the calendar, greyed into the month grid's empty days
    // for the current month (src/app/MainWindowPlan.cpp).
    void connectPlan();
    void showPlan(bool sayFailure);
    void buildLayout();
    void buildMenus();
    void buildDayPanel();
    void buildMonthPanel();
    void buildBottomPanel();
    void buildStatusBar();
    void fitToFrame();
    void followFrame();

    Services services_;
    AboutBox* aboutBox_ = nullptr;
    // Before the run engine: its workers may be giving a pulse on the
    // device thread until the engine has gone.
    std::unique_ptr<DeviceThread> device_;
    std::unique_ptr<RunEngine> runEngine_;
    std::unique_ptr<AsRunLog> asRunLog_;
    RunLogger* runLogger_ = nullptr;
    DaySchedule* daySchedule_;
    MonthCalendar* monthCalendar_;
    RadioBank* radioBank_ = nullptr;
    bool linkTestBoxOpen_ = false;
    // The service's state as last read, and how long ago.
    std::optional<ServiceState> serviceState_;
    QElapsedTimer serviceStateAge_;
    QTimer* serviceClock_ = nullptr;
    QTimer* takeBackTimer_ = nullptr;
    QRect outerGeometry_;
    // The frame the window was last fitted to, and whether the window
    // manager's frame has been seen.
    QMargins fittedFrame_;
    bool framed_ = false;
    // The month whose plan entries the grid shows.
    QDate planMonth_;
};

} // namespace cantrel
