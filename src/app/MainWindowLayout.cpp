// The main window's controls, menus, status bar and timers, built once.
#include "app/AnchorPlacer.h"
#include "app/MainWindow.h"
#include "schedule/DocumentFiles.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/ScheduleEditing.h"
#include "schedule/StringGrid.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace cantrel {

namespace {

constexpr int kStatusBarHeight = 19;
constexpr int kBottomPanelHeight = 88;
constexpr int kDayPanelWidth = 443;
constexpr int kSplitterWidth = 4;
constexpr int kMonthPanelWidth = 196;
constexpr int kEditStripHeight = 33;
// The window's place and outer size as laid out, and its smallest outer size;
// outer sizes count the window manager's frame.
constexpr QRect kOuterGeometry(203, 116, 651, 442);
constexpr QSize kMinimumOuterSize(480, 250);

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

// The panel's width: the laid-out one, or what the label itself needs to show
// the widest of the texts whole (frame and indent included).
int widthShowing(QLabel* panel, int laidOut, const QStringList& texts)
{
    const QString shown = panel->text();
    int width = laidOut;
    for (const QString& text : texts) {
        panel->setText(text);
        width = std::max(width, panel->sizeHint().width());
    }
    panel->setText(shown);
    return width;
}

QAction* addItem(QMenu* menu, const char* name, const QString& text)
{
    QAction* action = menu->addAction(text);
    action->setObjectName(QLatin1String(name));
    return action;
}

} // namespace

void MainWindow::buildLayout()
{
    QFont dialogFont = font();
    dialogFont.setPixelSize(11);
    setFont(dialogFont);

    buildMenus();
    buildStatusBar();

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    splitter = new QSplitter(Qt::Horizontal, central);
    splitter->setObjectName(QStringLiteral("Splitter1"));
    splitter->setHandleWidth(kSplitterWidth);
    splitter->setChildrenCollapsible(false);
    buildDayPanel();
    buildMonthPanel();
    splitter->addWidget(dayGroupBox);
    splitter->addWidget(monthGroupBox);
    // The month panel keeps its width; the day panel takes what is left.
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({kDayPanelWidth, kMonthPanelWidth});
    column->addWidget(splitter, 1);

    buildBottomPanel();
    column->addWidget(bottomPanel);
    setCentralWidget(central);

    setOuterGeometry(kOuterGeometry);

    linkTestTimer = new QTimer(this);
    linkTestTimer->setObjectName(QStringLiteral("TestLinkTimer"));
    linkTestTimer->setInterval(3000);
}

void MainWindow::setOuterGeometry(const QRect& outer)
{
    outerGeometry_ = outer;
    fitToFrame();
}

// Sizes the window so that its frame, not the window inside it, has the
// wanted place and size, and makes the minimum a minimum of the frame. Until
// the window manager has framed the window its frame counts as nothing.
void MainWindow::fitToFrame()
{
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    fittedFrame_ = frame;
    const QSize border(frame.left() + frame.right(), frame.top() + frame.bottom());
    setMinimumSize(kMinimumOuterSize - border);
    resize(outerGeometry_.size().expandedTo(kMinimumOuterSize) - border);
    move(outerGeometry_.topLeft());
}

// A window manager frames the window only after it is shown and reports the
// frame a little later, with a move of the window into it. Once the frame
// is known, the window is fitted to it again; from then on the window's size
// is the operator's.
void MainWindow::followFrame()
{
    if (framed_ || !windowHandle())
        return;
    const QMargins frame = windowHandle()->frameMargins();
    if (frame != fittedFrame_ && windowState() == Qt::WindowNoState)
        fitToFrame();
    framed_ = isVisible() && !frame.isNull();
}

void MainWindow::buildMenus()
{
    fileMenu = menuBar()->addMenu(QStringLiteral("File"));
    fileMenu->setObjectName(QStringLiteral("File1"));
    connect(addItem(fileMenu, "New24h1", QStringLiteral("New 24h")), &QAction::triggered, this,
            [this] { handle([this] { dayScheduleFiles().newDocument(); }); });
    connect(addItem(fileMenu, "Load24h1", QStringLiteral("Load 24h")), &QAction::triggered, this,
            [this] { handle([this] { dayScheduleFiles().openChosen(); }); });
    connect(addItem(fileMenu, "Save24h1", QStringLiteral("Save 24h")), &QAction::triggered, this,
            [this] { handle([this] { dayScheduleFiles().save(); }); });
    connect(addItem(fileMenu, "SaveAs24h1", QStringLiteral("Save As 24h")), &QAction::triggered, this,
            [this] { handle([this] { dayScheduleFiles().saveAs(); }); });
    fileMenu->addSeparator();
    connect(addItem(fileMenu, "New31d1", QStringLiteral("New 31d")), &QAction::triggered, this,
            [this] { handle([this] { monthCalendarFiles().newDocument(); }); });
    connect(addItem(fileMenu, "Load31d1", QStringLiteral("Load 31d")), &QAction::triggered, this,
            [this] { handle([this] { monthCalendarFiles().openChosen(); }); });
    connect(addItem(fileMenu, "Save31d1", QStringLiteral("Save 31d")), &QAction::triggered, this,
            [this] { handle([this] { monthCalendarFiles().save(); }); });
    connect(addItem(fileMenu, "SaveAs31d1", QStringLiteral("Save As 31d")), &QAction::triggered, this,
            [this] { handle([this] { monthCalendarFiles().saveAs(); }); });
    fileMenu->addSeparator();
    connect(addItem(fileMenu, "Exit1", QStringLiteral("Exit")), &QAction::triggered, this,
            [this] { exitProgram(); });

    setupMenu = menuBar()->addMenu(QStringLiteral("Setup"));
    setupMenu->setObjectName(QStringLiteral("Setup1"));
    connect(addItem(setupMenu, "Port1", QStringLiteral("Port")), &QAction::triggered, this,
            [this] { handle([this] { setUpConnection(); }); });
    soundAction = addItem(setupMenu, "Sound1", QStringLiteral("Sound"));
    soundAction->setCheckable(true);
    soundAction->setChecked(true);
    // Kept hidden; it has nothing to do.
    soundAction->setVisible(false);

    helpMenu = menuBar()->addMenu(QStringLiteral("Help"));
    helpMenu->setObjectName(QStringLiteral("Help1"));
    connect(addItem(helpMenu, "About", QStringLiteral("About")), &QAction::triggered, this,
            [this] { showAbout(); });
}

void MainWindow::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setFixedHeight(kStatusBarHeight);
    connectionPanel = new QLabel(QStringLiteral("Connection: None"), bar);
    connectionPanel->setObjectName(QStringLiteral("ConnectionPanel"));
    linkPanel = new QLabel(QStringLiteral("Wait"), bar);
    linkPanel->setObjectName(QStringLiteral("LinkPanel"));
    for (QLabel* panel : {connectionPanel, linkPanel}) {
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addWidget(panel);
    }
    // Laid out 300 and 50 wide; wider where the font needs more room for
    // a text the panel carries.
    connectionPanel->setFixedWidth(widthShowing(
        connectionPanel, 300,
        {QStringLiteral("Connection: None"), QStringLiteral("Connection: LPT378"),
         QStringLiteral("Connection: LPT278"), QStringLiteral("Connection: LPT378 (no port)"),
         QStringLiteral("Connection: COM4   Device ID: 127")}));
    linkPanel->setFixedWidth(widthShowing(linkPanel, 50,
                                          {QStringLiteral("Wait"), QStringLiteral("No link"),
                                           QStringLiteral("Link OK"),
                                           QStringLiteral("Link error")}));
    // In Run mode: the next row to fire, after the two panels.
    nextRowPanel = new QLabel(bar);
    nextRowPanel->setObjectName(QStringLiteral("NextRowPanel"));
    nextRowPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->addWidget(nextRowPanel, 1);
}

// Builds a group box holding a document grid above an editor strip with its
// one-row editor and "..." button.
static QGroupBox* documentPanel(QWidget* parent, const char* name, StringGrid* grid,
                                QWidget** strip, const char* stripName, StringGrid* editor,
                                QPushButton* button, QSize stripSize, QRect editorRect,
                                QRect buttonRect)
{
    auto* box = new QGroupBox(parent);
    box->setObjectName(QLatin1String(name));
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(2, 2, 2, 0);
    layout->setSpacing(0);
    grid->setParent(box);
    layout->addWidget(grid, 1);

    *strip = new QWidget(box);
    (*strip)->setObjectName(QLatin1String(stripName));
    (*strip)->setFixedHeight(stripSize.height());
    (*strip)->resize(stripSize);
    editor->setParent(*strip);
    button->setParent(*strip);
    auto* placer = new AnchorPlacer(*strip, stripSize);
    placer->place(editor, editorRect, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
    placer->place(button, buttonRect, Qt::RightEdge | Qt::BottomEdge);
    layout->addWidget(*strip);
    return box;
}

void MainWindow::buildDayPanel()
{
    dayGrid = new StringGrid(StringGrid::Kind::Document, &daySchedule().rows());
    dayGrid->setObjectName(QStringLiteral("DayGrid"));
    dayEditGrid = new StringGrid(StringGrid::Kind::Editor, &scheduleEditing().dayEditor());
    dayEditGrid->setObjectName(QStringLiteral("EditDayGrid"));
    browseMediaButton = new QPushButton(QStringLiteral("..."));
    browseMediaButton->setObjectName(QStringLiteral("Select24dButton"));
    dayGroupBox = documentPanel(splitter, "DayGroupBox", dayGrid, &dayEditPanel, "DayEditPanel",
                                dayEditGrid, browseMediaButton, {439, kEditStripHeight},
                                {1, 3, 413, 21}, {412, 3, 25, 21});
    connect(&daySchedule(), &ScheduleDocument::nameChanged, dayGroupBox, &QGroupBox::setTitle);
}

void MainWindow::buildMonthPanel()
{
    monthGrid = new StringGrid(StringGrid::Kind::Document, &monthCalendar().rows());
    monthGrid->setObjectName(QStringLiteral("MonthGrid"));
    monthEditGrid = new StringGrid(StringGrid::Kind::Editor, &scheduleEditing().monthEditor());
    monthEditGrid->setObjectName(QStringLiteral("EditMonthGrid"));
    browseDayFileButton = new QPushButton(QStringLiteral("..."));
    browseDayFileButton->setObjectName(QStringLiteral("Select31hButton"));
    monthGroupBox = documentPanel(splitter, "MonthGroupBox", monthGrid, &monthEditPanel,
                                  "MonthEditPanel", monthEditGrid, browseDayFileButton,
                                  {192, kEditStripHeight}, {1, 3, 160, 21}, {163, 3, 25, 21});
    connect(&monthCalendar(), &ScheduleDocument::nameChanged, monthGroupBox, &QGroupBox::setTitle);
}

void MainWindow::buildBottomPanel()
{
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("BottomPanel"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setFixedHeight(kBottomPanelHeight);
    const QSize design(kDayPanelWidth + kSplitterWidth + kMonthPanelWidth, kBottomPanelHeight);
    panel->resize(design);
    bottomPanel = panel;
    auto* placer = new AnchorPlacer(panel, design);

    insertButton = makeButton(panel, "InsertButton", QStringLiteral("&Insert"));
    modifyButton = makeButton(panel, "ModifyButton", QStringLiteral("&Modify"));
    removeButton = makeButton(panel, "RemoveButton", QStringLiteral("&Remove"));
    executeButton = makeButton(panel, "ExecuteButton", QStringLiteral("&Execute"));
    int left = 16;
    for (QPushButton* button : {insertButton, modifyButton, removeButton, executeButton}) {
        placer->place(button, {left, 8, 75, 25});
        // Tab skips the command buttons; Alt and the marked letter presses them.
        button->setFocusPolicy(Qt::ClickFocus);
        left += 88;
    }
    runButton = makeButton(panel, "RunButton", QStringLiteral("Run"));
    placer->place(runButton, {561, 8, 49, 49}, Qt::RightEdge | Qt::TopEdge);

    // Laid out once and never shown; it shares the radio buttons' handler.
    noOutputRadio = new QRadioButton(panel);
    noOutputRadio->setObjectName(QStringLiteral("RadioButton1"));
    noOutputRadio->setProperty("tag", 0);
    noOutputRadio->setGeometry(112, 48, 16, 17);
    noOutputRadio->hide();
}

} // namespace cantrel
