// The main window's controls, menus, status bar and timers, built once.
#include "app/AnchorPlacer.h"
#include "app/TMainForm.h"
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

void TMainForm::buildLayout()
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

    Splitter1 = new QSplitter(Qt::Horizontal, central);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(kSplitterWidth);
    Splitter1->setChildrenCollapsible(false);
    buildDayPanel();
    buildMonthPanel();
    Splitter1->addWidget(DayGroupBox);
    Splitter1->addWidget(MonthGroupBox);
    // The month panel keeps its width; the day panel takes what is left.
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({kDayPanelWidth, kMonthPanelWidth});
    column->addWidget(Splitter1, 1);

    buildBottomPanel();
    column->addWidget(BottomPanel);
    setCentralWidget(central);

    setOuterGeometry(kOuterGeometry);

    TestLinkTimer = new QTimer(this);
    TestLinkTimer->setObjectName(QStringLiteral("TestLinkTimer"));
    TestLinkTimer->setInterval(3000);
}

void TMainForm::setOuterGeometry(const QRect& outer)
{
    outerGeometry_ = outer;
    fitToFrame();
}

// Sizes the window so that its frame, not the window inside it, has the
// wanted place and size, and makes the minimum a minimum of the frame. Until
// the window manager has framed the window its frame counts as nothing.
void TMainForm::fitToFrame()
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
void TMainForm::followFrame()
{
    if (framed_ || !windowHandle())
        return;
    const QMargins frame = windowHandle()->frameMargins();
    if (frame != fittedFrame_ && windowState() == Qt::WindowNoState)
        fitToFrame();
    framed_ = isVisible() && !frame.isNull();
}

void TMainForm::buildMenus()
{
    File1 = menuBar()->addMenu(QStringLiteral("File"));
    File1->setObjectName(QStringLiteral("File1"));
    connect(addItem(File1, "New24h1", QStringLiteral("New 24h")), &QAction::triggered, this,
            [this] { handle([this] { dayScheduleFiles().newDocument(); }); });
    connect(addItem(File1, "Load24h1", QStringLiteral("Load 24h")), &QAction::triggered, this,
            [this] { handle([this] { dayScheduleFiles().openChosen(); }); });
    connect(addItem(File1, "Save24h1", QStringLiteral("Save 24h")), &QAction::triggered, this,
            [this] { handle([this] { dayScheduleFiles().save(); }); });
    connect(addItem(File1, "SaveAs24h1", QStringLiteral("Save As 24h")), &QAction::triggered, this,
            [this] { handle([this] { dayScheduleFiles().saveAs(); }); });
    File1->addSeparator();
    connect(addItem(File1, "New31d1", QStringLiteral("New 31d")), &QAction::triggered, this,
            [this] { handle([this] { monthCalendarFiles().newDocument(); }); });
    connect(addItem(File1, "Load31d1", QStringLiteral("Load 31d")), &QAction::triggered, this,
            [this] { handle([this] { monthCalendarFiles().openChosen(); }); });
    connect(addItem(File1, "Save31d1", QStringLiteral("Save 31d")), &QAction::triggered, this,
            [this] { handle([this] { monthCalendarFiles().save(); }); });
    connect(addItem(File1, "SaveAs31d1", QStringLiteral("Save As 31d")), &QAction::triggered, this,
            [this] { handle([this] { monthCalendarFiles().saveAs(); }); });
    File1->addSeparator();
    connect(addItem(File1, "Exit1", QStringLiteral("Exit")), &QAction::triggered, this,
            [this] { Exit1Click(); });

    Setup1 = menuBar()->addMenu(QStringLiteral("Setup"));
    Setup1->setObjectName(QStringLiteral("Setup1"));
    connect(addItem(Setup1, "Port1", QStringLiteral("Port")), &QAction::triggered, this,
            [this] { handle([this] { Port1Click(); }); });
    Sound1 = addItem(Setup1, "Sound1", QStringLiteral("Sound"));
    Sound1->setCheckable(true);
    Sound1->setChecked(true);
    Sound1->setVisible(false);
    connect(Sound1, &QAction::triggered, this, [this] { Sound1Click(); });

    Help1 = menuBar()->addMenu(QStringLiteral("Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    connect(addItem(Help1, "About", QStringLiteral("About")), &QAction::triggered, this,
            [this] { AboutClick(); });
}

void TMainForm::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setFixedHeight(kStatusBarHeight);
    ConnectionPanel = new QLabel(QStringLiteral("Connection: None"), bar);
    ConnectionPanel->setObjectName(QStringLiteral("ConnectionPanel"));
    LinkPanel = new QLabel(QStringLiteral("Wait"), bar);
    LinkPanel->setObjectName(QStringLiteral("LinkPanel"));
    for (QLabel* panel : {ConnectionPanel, LinkPanel}) {
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addWidget(panel);
    }
    // Laid out 300 and 50 wide; wider where the font needs more room for
    // a text the panel carries.
    ConnectionPanel->setFixedWidth(
        widthShowing(ConnectionPanel, 300,
                     {QStringLiteral("Connection: None"), QStringLiteral("Connection: LPT378"),
                      QStringLiteral("Connection: LPT278"),
                      QStringLiteral("Connection: COM4   Device ID: 127")}));
    LinkPanel->setFixedWidth(widthShowing(LinkPanel, 50,
                                          {QStringLiteral("Wait"), QStringLiteral("No link"),
                                           QStringLiteral("Link OK"),
                                           QStringLiteral("Link error")}));
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

void TMainForm::buildDayPanel()
{
    DayGrid = new StringGrid(StringGrid::Kind::Document, &daySchedule().rows());
    DayGrid->setObjectName(QStringLiteral("DayGrid"));
    EditDayGrid = new StringGrid(StringGrid::Kind::Editor, &scheduleEditing().dayEditor());
    EditDayGrid->setObjectName(QStringLiteral("EditDayGrid"));
    Select24dButton = new QPushButton(QStringLiteral("..."));
    Select24dButton->setObjectName(QStringLiteral("Select24dButton"));
    DayGroupBox = documentPanel(Splitter1, "DayGroupBox", DayGrid, &DayEditPanel, "DayEditPanel",
                                EditDayGrid, Select24dButton, {439, kEditStripHeight},
                                {1, 3, 413, 21}, {412, 3, 25, 21});
    connect(&daySchedule(), &ScheduleDocument::nameChanged, DayGroupBox, &QGroupBox::setTitle);
}

void TMainForm::buildMonthPanel()
{
    MonthGrid = new StringGrid(StringGrid::Kind::Document, &monthCalendar().rows());
    MonthGrid->setObjectName(QStringLiteral("MonthGrid"));
    EditMonthGrid = new StringGrid(StringGrid::Kind::Editor, &scheduleEditing().monthEditor());
    EditMonthGrid->setObjectName(QStringLiteral("EditMonthGrid"));
    Select31hButton = new QPushButton(QStringLiteral("..."));
    Select31hButton->setObjectName(QStringLiteral("Select31hButton"));
    MonthGroupBox = documentPanel(Splitter1, "MonthGroupBox", MonthGrid, &MonthEditPanel,
                                  "MonthEditPanel", EditMonthGrid, Select31hButton,
                                  {192, kEditStripHeight}, {1, 3, 160, 21}, {163, 3, 25, 21});
    connect(&monthCalendar(), &ScheduleDocument::nameChanged, MonthGroupBox, &QGroupBox::setTitle);
}

void TMainForm::buildBottomPanel()
{
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("BottomPanel"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setFixedHeight(kBottomPanelHeight);
    const QSize design(kDayPanelWidth + kSplitterWidth + kMonthPanelWidth, kBottomPanelHeight);
    panel->resize(design);
    BottomPanel = panel;
    auto* placer = new AnchorPlacer(panel, design);

    InsertButton = makeButton(panel, "InsertButton", QStringLiteral("&Insert"));
    ModifyButton = makeButton(panel, "ModifyButton", QStringLiteral("&Modify"));
    RemoveButton = makeButton(panel, "RemoveButton", QStringLiteral("&Remove"));
    ExecuteButton = makeButton(panel, "ExecuteButton", QStringLiteral("&Execute"));
    int left = 16;
    for (QPushButton* button : {InsertButton, ModifyButton, RemoveButton, ExecuteButton}) {
        placer->place(button, {left, 8, 75, 25});
        // Tab skips the command buttons; Alt and the marked letter presses them.
        button->setFocusPolicy(Qt::ClickFocus);
        left += 88;
    }
    RunButton = makeButton(panel, "RunButton", QStringLiteral("Run"));
    placer->place(RunButton, {561, 8, 49, 49}, Qt::RightEdge | Qt::TopEdge);

    // Laid out once and never shown; it shares the radio buttons' handler.
    RadioButton1 = new QRadioButton(panel);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton1->setProperty("tag", 0);
    RadioButton1->setGeometry(112, 48, 16, 17);
    RadioButton1->hide();
}

} // namespace cantrel
