// The main window as the operator first sees it, its close, and the About box.
#include "app/BuildLine.h"
#include "app/AboutBox.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"
#include "run/RunEngine.h"
#include "support/MainWindowFixture.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QStyle>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

using namespace cantrel;
using namespace cantrel::test;

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startsInEditModeWithEmptyDocuments();
    void layoutMatchesTheDesign();
    void startingWidthsShowTheirTexts_data();
    void startingWidthsShowTheirTexts();
    void statusPanelsShowTheirTexts_data();
    void statusPanelsShowTheirTexts();
    void menusAndTheirItems();
    void resizingKeepsRunButtonAndMonthPanel();
    void closeIsRefusedInRunMode();
    void closeAsksDayThenMonthAndCancelKeepsWindow();
    void exitGoesThroughTheSameClose();
    void buildLine_data();
    void buildLine();
    void aboutBox();
};

void TestMainWindow::startsInEditModeWithEmptyDocuments()
{
    MainWindowFixture f;
    QVERIFY(f.start());
    MainWindow& w = *f.form;
    QCOMPARE(w.windowTitle(), QStringLiteral("Cantrel 1.18 - Edit mode"));
    QCOMPARE(w.dayGroupBox->title(), QStringLiteral("Untitled.24h"));
    QCOMPARE(w.monthGroupBox->title(), QStringLiteral("Untitled.31d"));
    QCOMPARE(w.device().parallelAddress, 888u);
    QCOMPARE(w.device().pulseMs, 100u);
    QCOMPARE(w.device().deviceId, 0);
    QCOMPARE(w.runEngine()->runAdvance(), 0);
    QVERIFY(!w.daySchedule().isModified() && !w.daySchedule().hasFile() && !w.monthCalendar().isModified() && !w.monthCalendar().hasFile());

    QCOMPARE(w.dayGrid->rowCount(), 2);
    QCOMPARE(w.dayGrid->rowCells(0), (QStringList{"E", "Time", "P", "Comments", "Media file"}));
    QCOMPARE(w.dayGrid->rowCells(1), QStringList(5));
    QCOMPARE(w.monthGrid->rowCount(), 32);
    QCOMPARE(w.monthGrid->rowCells(0), (QStringList{"E", "D", ".24h file"}));
    for (int day = 1; day <= 31; ++day)
        QCOMPARE(w.monthGrid->rowCells(day), (QStringList{"", QString::number(day), ""}));
    QCOMPARE(w.monthEditGrid->rowCells(0), (QStringList{"", "1", ""}));
    QCOMPARE(w.dayEditGrid->col(), 1);
    QCOMPARE(w.monthEditGrid->col(), 2);

    // The editors have their grids' widths.
    for (int c = 0; c < 5; ++c)
        QCOMPARE(w.dayEditGrid->colWidth(c), w.dayGrid->colWidth(c));
    for (int c = 0; c < 3; ++c)
        QCOMPARE(w.monthEditGrid->colWidth(c), w.monthGrid->colWidth(c));

    QCOMPARE(w.connectionPanel->text(), QStringLiteral("Connection: None"));
    QCOMPARE(w.linkPanel->text(), QStringLiteral("Wait"));
    for (int n = 1; n <= 16; ++n) {
        auto* radio = w.bottomPanel->findChild<QRadioButton*>(QStringLiteral("Radio%1").arg(n));
        QVERIFY2(radio, qPrintable(QStringLiteral("Radio%1").arg(n)));
        QVERIFY(radio->isEnabled());
        QVERIFY(!radio->isChecked());
        QCOMPARE(radio->property("tag").toInt(), n);
        QCOMPARE(radio->geometry().topLeft(), QPoint(8 + 24 * (n - 1), 40));
        QCOMPARE(radio->width(), 16);
    }
    QVERIFY(w.noOutputRadio->isHidden());

    const QTimer& tick = w.runEngine()->tickTimer();
    QVERIFY(!tick.isActive());
    QCOMPARE(tick.interval(), 490);
    QCOMPARE(tick.timerType(), Qt::PreciseTimer);
    QVERIFY(w.linkTestTimer->isActive());
    QCOMPARE(w.linkTestTimer->interval(), 3000);
    QVERIFY(f.prompter.takeShown().isEmpty());
}

void TestMainWindow::layoutMatchesTheDesign()
{
    MainWindowFixture f;
    QVERIFY(f.start());
    MainWindow& w = *f.form;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // Place and size are the frame's.
    QTRY_COMPARE(w.frameGeometry(), QRect(203, 116, 651, 442));
    QCOMPARE(w.statusBar()->height(), 19);
    QCOMPARE(w.bottomPanel->height(), 88);
    QCOMPARE(w.monthGroupBox->width(), 196);
    // The day panel fills what the bottom panel, the splitter and the month panel leave.
    QCOMPARE(w.dayGroupBox->size(),
             w.centralWidget()->size() - QSize(4 + 196, 88));
    QCOMPARE(w.splitter->handleWidth(), 4);
    // Every control, the grids and their cell editors included, uses the
    // 11-pixel dialog font.
    for (QWidget* control : {static_cast<QWidget*>(w.dayGrid), static_cast<QWidget*>(w.dayEditGrid),
                             static_cast<QWidget*>(w.monthGrid),
                             static_cast<QWidget*>(w.monthEditGrid),
                             static_cast<QWidget*>(w.insertButton)})
        QVERIFY2(control->font().pixelSize() == 11, qPrintable(control->objectName()));

    const struct {
        QPushButton* button;
        const char* caption;
        QRect rect;
    } buttons[] = {{w.insertButton, "&Insert", {16, 8, 75, 25}},
                   {w.modifyButton, "&Modify", {104, 8, 75, 25}},
                   {w.removeButton, "&Remove", {192, 8, 75, 25}},
                   {w.executeButton, "&Execute", {280, 8, 75, 25}},
                   // Laid out at 561 on a 643-wide panel, it keeps its distance
                   // to the right edge.
                   {w.runButton, "Run", {w.bottomPanel->width() - 643 + 561, 8, 49, 49}}};
    for (const auto& b : buttons) {
        QCOMPARE(b.button->text(), QLatin1String(b.caption));
        QCOMPARE(b.button->geometry(), b.rect);
    }
    // Tab skips the four command buttons but not the Run button.
    for (QPushButton* b : {w.insertButton, w.modifyButton, w.removeButton, w.executeButton})
        QVERIFY(!(b->focusPolicy() & Qt::TabFocus));
    QCOMPARE(w.browseMediaButton->text(), QStringLiteral("..."));
    QCOMPARE(w.browseMediaButton->size(), QSize(25, 21));
    QCOMPARE(w.browseDayFileButton->size(), QSize(25, 21));
    QCOMPARE(w.dayGrid->defaultRowHeight(), 16);
    QCOMPARE(w.dayGrid->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(w.dayGrid->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void TestMainWindow::startingWidthsShowTheirTexts_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("laidOut");
    QTest::addColumn<QStringList>("texts"); // none: the width stays as laid out
    QTest::newRow("mark") << "DayGrid" << 0 << 16 << QStringList();
    QTest::newRow("time") << "DayGrid" << 1 << 48 << QStringList{"00:00:00", "23:59:59"};
    QTest::newRow("output") << "DayGrid" << 2 << 16 << QStringList{"12", "16"};
    QTest::newRow("comments") << "DayGrid" << 3 << 128 << QStringList();
    QTest::newRow("media file") << "DayGrid" << 4 << 128 << QStringList();
    QTest::newRow("day mark") << "MonthGrid" << 0 << 16 << QStringList();
    QTest::newRow("day") << "MonthGrid" << 1 << 16 << QStringList{"28", "31"};
    QTest::newRow(".24h file") << "MonthGrid" << 2 << 128 << QStringList();
}

void TestMainWindow::startingWidthsShowTheirTexts()
{
    QFETCH(QString, grid);
    QFETCH(int, col);
    QFETCH(int, laidOut);
    QFETCH(QStringList, texts);
    MainWindowFixture f;
    QVERIFY(f.start());
    const StringGrid* g = f.form->findChild<StringGrid*>(grid);
    const int width = g->colWidth(col);
    if (texts.isEmpty()) {
        QCOMPARE(width, laidOut);
        return;
    }
    QVERIFY(width >= laidOut);
    // A cell keeps for its text what the grid line (1) and the style's text
    // margins leave.
    const int textMargin = g->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, g) + 1;
    const int room = width - 1 - 2 * textMargin;
    for (const QString& text : texts)
        QVERIFY2(g->fontMetrics().horizontalAdvance(text) <= room,
                 qPrintable(QStringLiteral("\"%1\" in %2").arg(text).arg(width)));
}

void TestMainWindow::statusPanelsShowTheirTexts_data()
{
    QTest::addColumn<QString>("panel");
    QTest::addColumn<int>("laidOut");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("connection") << "ConnectionPanel" << 300
                                << QStringList{"Connection: None", "Connection: LPT378",
                                               "Connection: LPT278",
                                               "Connection: LPT378 (no port)",
                                               "Connection: COM4   Device ID: 127"};
    QTest::newRow("link") << "LinkPanel" << 50
                          << QStringList{"Wait", "No link", "Link OK", "Link error"};
}

void TestMainWindow::statusPanelsShowTheirTexts()
{
    QFETCH(QString, panel);
    QFETCH(int, laidOut);
    QFETCH(QStringList, texts);
    MainWindowFixture f;
    QVERIFY(f.start());
    f.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
    const QLabel* label = f.form->statusBar()->findChild<QLabel*>(panel);
    QVERIFY(label->width() >= laidOut);
    // Inside its frame a label sets its text off by half an "x".
    const QFontMetrics metrics = label->fontMetrics();
    const int room =
        label->contentsRect().width() - metrics.horizontalAdvance(QLatin1Char('x')) / 2;
    for (const QString& text : texts)
        QVERIFY2(metrics.horizontalAdvance(text) <= room,
                 qPrintable(QStringLiteral("\"%1\" in %2").arg(text).arg(label->width())));
}

void TestMainWindow::menusAndTheirItems()
{
    MainWindowFixture f;
    QVERIFY(f.start());
    QStringList menus;
    for (QAction* a : f.form->menuBar()->actions())
        menus << a->text();
    QCOMPARE(menus, (QStringList{"File", "Setup", "Help"}));
    auto items = [](QMenu* menu) {
        QStringList out;
        for (QAction* a : menu->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->objectName() + "=" + a->text());
        return out;
    };
    QCOMPARE(items(f.form->fileMenu),
             (QStringList{"New24h1=New 24h", "Load24h1=Load 24h", "Save24h1=Save 24h",
                          "SaveAs24h1=Save As 24h", "-", "New31d1=New 31d", "Load31d1=Load 31d",
                          "Save31d1=Save 31d", "SaveAs31d1=Save As 31d", "-", "Exit1=Exit"}));
    QCOMPARE(items(f.form->setupMenu), (QStringList{"Port1=Port", "Sound1=Sound"}));
    QCOMPARE(items(f.form->helpMenu), (QStringList{"About=About"}));
    QVERIFY(!f.form->soundAction->isVisible());
    QVERIFY(f.form->soundAction->isChecked());
}

void TestMainWindow::resizingKeepsRunButtonAndMonthPanel()
{
    MainWindowFixture f;
    QVERIFY(f.start());
    MainWindow& w = *f.form;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int runGap = w.bottomPanel->width() - w.runButton->geometry().right();
    const int buttonGap = w.dayEditPanel->width() - w.browseMediaButton->geometry().right();
    const int editorWidth = w.dayEditGrid->width();
    const int dayWidth = w.dayGroupBox->width();
    w.resize(w.width() + 200, w.height() + 100);
    QTRY_COMPARE(w.bottomPanel->width() - w.runButton->geometry().right(), runGap);
    QCOMPARE(w.monthGroupBox->width(), 196);
    QCOMPARE(w.dayGroupBox->width(), dayWidth + 200);
    QCOMPARE(w.dayEditPanel->width() - w.browseMediaButton->geometry().right(), buttonGap);
    QCOMPARE(w.dayEditGrid->width(), editorWidth + 200);

    // The smallest window is 480 x 250 with its frame.
    w.resize(100, 100);
    QTRY_COMPARE(w.frameGeometry().size(), QSize(480, 250));
}

void TestMainWindow::closeIsRefusedInRunMode()
{
    MainWindowFixture f;
    QVERIFY(f.start());
    // A file from an earlier close, dated well in the past.
    const QByteArray earlier("formLeft=10\r\nDeviceID=7\r\n");
    f.write("program/Cantrel.ini", earlier);
    const QDateTime written(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC);
    {
        QFile ini(f.path("program/Cantrel.ini"));
        QVERIFY(ini.open(QIODevice::ReadWrite));
        QVERIFY(ini.setFileTime(written, QFileDevice::FileModificationTime));
    }
    // Run mode on today's (10th) file.
    f.write("today.24h", "12:00:00,1,,\r\n");
    f.form->monthGrid->setCell(2, 10, f.path("today.24h"));
    f.form->runButton->click();
    QVERIFY(f.form->runEngine()->running());
    QVERIFY(!f.form->close());
    const auto shown = f.prompter.takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].caption, QStringLiteral("Error"));
    QCOMPARE(shown[0].text, QStringLiteral("Can't terminate programm in run mode"));
    QVERIFY(f.form->runEngine()->running());
    // The settings file is not touched.
    QCOMPARE(f.read("program/Cantrel.ini"), earlier);
    QCOMPARE(QFileInfo(f.path("program/Cantrel.ini")).lastModified().toUTC(), written);
    f.form->runButton->click();
}

void TestMainWindow::closeAsksDayThenMonthAndCancelKeepsWindow()
{
    MainWindowFixture f;
    QVERIFY(f.start());
    MainWindow& w = *f.form;
    w.daySchedule().setModified(true);
    w.monthCalendar().setModified(true);

    f.prompter.answers = {Answer::Cancel};
    QVERIFY(!w.close());
    auto shown = f.prompter.takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].caption, QStringLiteral("Warning"));
    QCOMPARE(shown[0].text, QStringLiteral("The file Untitled.24h was changed, would you like "
                                           "to save the changes?"));
    QVERIFY(w.daySchedule().isModified() && w.monthCalendar().isModified());

    // No to the day schedule, Cancel to the calendar: the day schedule is
    // already closed (its name empty) and the window stays.
    f.prompter.answers = {Answer::No, Answer::Cancel};
    QVERIFY(!w.close());
    QCOMPARE(f.prompter.takeTexts(),
             (QStringList{"The file Untitled.24h was changed, would you like to save the changes?",
                          "The file Untitled.31d was changed, would you like to save the changes?"}));
    QCOMPARE(w.dayGroupBox->title(), QString());
    QVERIFY(!w.daySchedule().isModified());
    QVERIFY(w.monthCalendar().isModified());

    f.prompter.answers = {Answer::No};
    QVERIFY(w.close());
}

void TestMainWindow::exitGoesThroughTheSameClose()
{
    MainWindowFixture f;
    QVERIFY(f.start());
    f.form->show();
    f.form->daySchedule().setModified(true);
    f.prompter.answers = {Answer::Cancel};
    f.trigger("Exit1");
    QVERIFY(f.form->isVisible());
    QCOMPARE(f.prompter.takeShown().size(), 1);
    f.prompter.answers = {Answer::No};
    f.trigger("Exit1");
    QVERIFY(!f.form->isVisible());
}

void TestMainWindow::buildLine_data()
{
    QTest::addColumn<QByteArray>("date");
    QTest::addColumn<QByteArray>("time");
    QTest::addColumn<QString>("expected");
    QTest::newRow("two-digit day") << QByteArray("Oct 25 2003") << QByteArray("15:34:24")
                                   << "Build: Oct 25 2003, 15:34:24";
    QTest::newRow("padded day") << QByteArray("Dec  9 2026") << QByteArray("06:05:01")
                                << "Build: Dec 9 2026, 06:05:01";
}

void TestMainWindow::buildLine()
{
    QFETCH(QByteArray, date);
    QFETCH(QByteArray, time);
    QFETCH(QString, expected);
    QCOMPARE(cantrel::buildLine(date.constData(), time.constData()), expected);
}

void TestMainWindow::aboutBox()
{
    RecordingOpener opener;
    AboutBox box(opener);
    QCOMPARE(box.windowTitle(), QStringLiteral("About"));
    QCOMPARE(box.size(), QSize(297, 188));
    QCOMPARE(box.productName->text(), QStringLiteral("Cantrel 1.18"));
    QVERIFY(QRegularExpression(QStringLiteral(
                                   "^Build: [A-Z][a-z]{2} [1-9][0-9]? [0-9]{4}, [0-9]{2}:[0-9]{2}:[0-9]{2}$"))
                .match(box.buildLineEdit->text())
                .hasMatch());
    QVERIFY(box.buildLineEdit->isReadOnly());
    QVERIFY(!box.buildLineEdit->hasFrame());
    QVERIFY(box.okButton->isDefault());
    QCOMPARE(box.okButton->geometry(), QRect(111, 156, 75, 25));

    QTest::mouseClick(box.mailLabel, Qt::LeftButton);
    QCOMPARE(opener.takeOpened(), QStringList{"mailto:" + box.mailLabel->text()});

    // Enter and Escape both close it, and it opens again.
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        QTimer::singleShot(0, &box, [&box, key] { QTest::keyClick(&box, Qt::Key(key)); });
        box.exec();
        QVERIFY(!box.isVisible());
    }
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
