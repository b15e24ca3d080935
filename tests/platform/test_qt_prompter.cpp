#include "platform/QtPrompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QListView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace cantrel;

Q_DECLARE_METATYPE(cantrel::Answer)

// The real message boxes and file dialog, offscreen: what they show and what
// each way of closing them answers.
class TestQtPrompter : public QObject {
    Q_OBJECT

  private slots:
    void cleanup();
    void boxShowsItsKind_data();
    void boxShowsItsKind();
    void questionAnswers_data();
    void questionAnswers();
    void filterConversion_data();
    void filterConversion();
    void anyFileListsNamesWithoutDot();
    void dialogsTakeWhatTheyNeed_data();
    void dialogsTakeWhatTheyNeed();

  private:
    // Runs `act` on the next modal dialog of type T once it is on screen.
    template <typename T> void onNextDialog(std::function<void(T*)> act);

    QTimer poll_;
};

void TestQtPrompter::cleanup() {
    poll_.stop();
    poll_.disconnect();
}

template <typename T> void TestQtPrompter::onNextDialog(std::function<void(T*)> act) {
    poll_.disconnect();
    poll_.setInterval(10);
    connect(&poll_, &QTimer::timeout, this, [this, act] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll_.stop();
        act(dialog);
    });
    poll_.start();
}

namespace {
// A key goes where the operator's key would go: to the widget with focus.
void press(QMessageBox* box, Qt::Key key) {
    QWidget* target = box->focusWidget() ? box->focusWidget() : box;
    QTest::keyClick(target, key);
}

struct Shown {
    QString caption;
    QString text;
    QString detail = {};
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    // The default button is the one that Enter presses.
    QMessageBox::StandardButton enterPresses = QMessageBox::NoButton;
    // Room left beside the caption's text for the title bar's icon and buttons.
    int roomBesideCaption = 0;
};

// Reads the box, then closes it with Enter.
Shown lookAndPressEnter(QMessageBox* box) {
    // The line below the text as its label shows it: markup must come out as written.
    const auto* below = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    const QString detail = !below ? QString()
                           : below->textFormat() == Qt::PlainText
                               ? below->text()
                               : QStringLiteral("not plain text: ") + below->text();
    Shown shown{box->windowTitle(), box->text(), detail, box->textFormat(), box->icon(),
                box->standardButtons()};
    shown.roomBesideCaption = box->width() - box->fontMetrics().horizontalAdvance(box->windowTitle());
    const QMetaObject::Connection clicked = QObject::connect(
        box, &QMessageBox::buttonClicked, box, [box, &shown](QAbstractButton* button) {
            shown.enterPresses = box->standardButton(button);
        });
    press(box, Qt::Key_Return);
    QObject::disconnect(clicked);
    if (box->isVisible()) {
        shown.enterPresses = QMessageBox::NoButton;
        box->close();
    }
    return shown;
}
} // namespace

void TestQtPrompter::boxShowsItsKind_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("defaultButton");
    QTest::addColumn<QString>("detail"); // the line below the text
    QTest::newRow("message") << "message"
                             << "Cantrel"
                             << "Can't load .24h file" << int(QMessageBox::NoIcon)
                             << int(QMessageBox::Ok) << int(QMessageBox::Ok)
                             << "/srv/<i>day</i>.24h: no such file";
    QTest::newRow("error") << "error"
                           << "Cantrel"
                           << "'25:61:00' is not a valid time" << int(QMessageBox::Critical)
                           << int(QMessageBox::Ok) << int(QMessageBox::Ok) << QString();
    // A document name is shown as written, even when it looks like markup.
    QTest::newRow("question")
        << "question"
        << "Warning"
        << "The file /tmp/<b>Week</b>.24h was changed, would you like to save the changes?"
        << int(QMessageBox::Warning)
        << int(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel) << int(QMessageBox::Yes)
        << QString();
}

void TestQtPrompter::boxShowsItsKind() {
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(QString, text);
    QFETCH(int, icon);
    QFETCH(int, buttons);
    QFETCH(int, defaultButton);
    QFETCH(QString, detail);

    std::optional<Shown> shown;
    onNextDialog<QMessageBox>([&shown](QMessageBox* box) { shown = lookAndPressEnter(box); });
    QtPrompter prompter;
    if (kind == QLatin1String("message"))
        prompter.message(caption, text, detail);
    else if (kind == QLatin1String("error"))
        prompter.error(caption, text, detail);
    else
        prompter.question(caption, text);

    QVERIFY2(shown, "no message box was shown");
    QCOMPARE(shown->caption, caption);
    QCOMPARE(shown->text, text);
    QCOMPARE(shown->detail, detail);
    QCOMPARE(int(shown->icon), icon);
    QCOMPARE(int(shown->buttons), buttons);
    QCOMPARE(int(shown->enterPresses), defaultButton);
    QCOMPARE(shown->format, Qt::PlainText);
    // A short text still gives a box wide enough for a window manager to
    // show the caption whole.
    QVERIFY2(shown->roomBesideCaption >= 150, qPrintable(QString::number(shown->roomBesideCaption)));
}

void TestQtPrompter::questionAnswers_data() {
    using Act = std::function<void(QMessageBox*)>;
    QTest::addColumn<Act>("act");
    QTest::addColumn<Answer>("answer");
    const auto click = [](QMessageBox::StandardButton which) {
        return Act(
            [which](QMessageBox* box) { QTest::mouseClick(box->button(which), Qt::LeftButton); });
    };
    const auto key = [](Qt::Key k) { return Act([k](QMessageBox* box) { press(box, k); }); };
    QTest::newRow("Yes") << click(QMessageBox::Yes) << Answer::Yes;
    QTest::newRow("No") << click(QMessageBox::No) << Answer::No;
    QTest::newRow("Cancel") << click(QMessageBox::Cancel) << Answer::Cancel;
    QTest::newRow("Return keeps the edits") << key(Qt::Key_Return) << Answer::Yes;
    QTest::newRow("keypad Enter") << key(Qt::Key_Enter) << Answer::Yes;
    QTest::newRow("Escape") << key(Qt::Key_Escape) << Answer::Cancel;
    QTest::newRow("close box") << Act([](QMessageBox* box) { box->close(); }) << Answer::Cancel;
}

void TestQtPrompter::questionAnswers() {
    using Act = std::function<void(QMessageBox*)>;
    QFETCH(Act, act);
    QFETCH(Answer, answer);
    onNextDialog<QMessageBox>(act);
    QtPrompter prompter;
    QCOMPARE(prompter.question("Warning", "The file Untitled.24h was changed, would you like to "
                                          "save the changes?"),
             answer);
}

void TestQtPrompter::filterConversion_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Any file") << "Any file|*.*"
                              << "Any file (*)";
    QTest::newRow("any file") << "any file|*.*"
                              << "any file (*)";
    QTest::newRow(".24h files") << ".24h files|*.24h"
                                << ".24h files (*.24h)";
    QTest::newRow(".31d files") << ".31d files|*.31d"
                                << ".31d files (*.31d)";
    QTest::newRow("several patterns, several filters") << "Schedules|*.24h;*.31d|All|*.*"
                                                       << "Schedules (*.24h *.31d);;All (*)";
    QTest::newRow("only the whole pattern *.*") << "Backups|*.*~;*.24h.*"
                                                << "Backups (*.*~ *.24h.*)";
}

void TestQtPrompter::filterConversion() {
    QFETCH(QString, filter);
    QFETCH(QString, expected);
    QCOMPARE(QtPrompter::qtFilter(filter), expected);
}

// The open dialog under "Any file" lists a file whose name has no dot.
void TestQtPrompter::anyFileListsNamesWithoutDot() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char* name : {"README", "clip.mp3"}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    QStringList listed;
    onNextDialog<QFileDialog>([&listed](QFileDialog* dialog) {
        auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
        if (view) {
            // The folder is read in the background; a hidden name keeps the
            // count short and ends the wait at its timeout.
            const bool both = QTest::qWaitFor(
                [view] { return view->model()->rowCount(view->rootIndex()) >= 2; }, 3000);
            Q_UNUSED(both);
            for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
                listed << view->model()->index(row, 0, view->rootIndex()).data().toString();
        }
        dialog->reject();
    });
    QtPrompter prompter;
    FileDialogRequest request;
    request.filter = QStringLiteral("Any file|*.*");
    request.directory = dir.path();
    QCOMPARE(prompter.openFile(request), QString());

    listed.sort();
    QCOMPARE(listed, (QStringList{"README", "clip.mp3"}));
}

void TestQtPrompter::dialogsTakeWhatTheyNeed_data() {
    QTest::addColumn<bool>("save");
    QTest::addColumn<int>("acceptMode");
    QTest::addColumn<int>("fileMode");
    // A file to open must be there; a file to save may be new.
    QTest::newRow("open") << false << int(QFileDialog::AcceptOpen)
                          << int(QFileDialog::ExistingFile);
    QTest::newRow("save") << true << int(QFileDialog::AcceptSave) << int(QFileDialog::AnyFile);
}

void TestQtPrompter::dialogsTakeWhatTheyNeed() {
    QFETCH(bool, save);
    QFETCH(int, acceptMode);
    QFETCH(int, fileMode);
    QTemporaryDir dir;
    QFile kept(dir.filePath(QStringLiteral("monday.24h")));
    QVERIFY(kept.open(QIODevice::WriteOnly));
    int shownAccept = -1, shownFile = -1;
    QStringList proposed;
    onNextDialog<QFileDialog>([&](QFileDialog* dialog) {
        shownAccept = int(dialog->acceptMode());
        shownFile = int(dialog->fileMode());
        proposed = dialog->selectedFiles();
        dialog->reject();
    });
    QtPrompter prompter;
    FileDialogRequest request;
    request.filter = QStringLiteral("Day schedule|*.24h");
    request.directory = dir.path();
    // The name used last time is proposed again.
    request.fileName = QStringLiteral("monday.24h");
    QCOMPARE(save ? prompter.saveFile(request) : prompter.openFile(request), QString());
    QCOMPARE(shownAccept, acceptMode);
    QCOMPARE(shownFile, fileMode);
    QCOMPARE(proposed, QStringList{kept.fileName()});
}

QTEST_MAIN(TestQtPrompter)
#include "test_qt_prompter.moc"
