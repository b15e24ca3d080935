#include "app/AboutBox.h"

#include "support/TestDoubles.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QTest>

#include <algorithm>

using namespace cantrel;
using cantrel::test::RecordingOpener;

class TestAboutBox : public QObject {
    Q_OBJECT

  private slots:
    void mailAddressShowsWhole_data();
    void mailAddressShowsWhole();
    void onlyLeftClickSendsMail_data();
    void onlyLeftClickSendsMail();
    void showsTheProgramsIcon();
};

// Whatever family the desktop gives the dialog, the address is neither cut
// by its own label nor by the panel, and stays clear of the copyright.
void TestAboutBox::mailAddressShowsWhole_data() {
    QTest::addColumn<QString>("family");
    QTest::newRow("desktop default") << QString();
    // Broad families first: they are where a fixed place runs out of room.
    for (const char* family : {"DejaVu Sans", "DejaVu Serif", "URW Bookman", "Nimbus Sans"})
        QTest::newRow(family) << QString::fromLatin1(family);
}

void TestAboutBox::mailAddressShowsWhole() {
    QFETCH(QString, family);
    const QFont before = QApplication::font();
    if (!family.isEmpty())
        QApplication::setFont(QFont(family));
    RecordingOpener opener;
    AboutBox box(opener);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QApplication::setFont(before);

    const QLabel* mail = box.mailLabel;
    const auto* panel = box.findChild<QFrame*>(QStringLiteral("Panel1"));
    QVERIFY(panel);
    QCOMPARE(mail->parentWidget(), panel);
    QCOMPARE(mail->text(), QStringLiteral("cantrel@example.org"));
    QVERIFY2(mail->fontMetrics().horizontalAdvance(mail->text()) <= mail->contentsRect().width(),
             qPrintable(QStringLiteral("%1 px of text in %2 px")
                            .arg(mail->fontMetrics().horizontalAdvance(mail->text()))
                            .arg(mail->contentsRect().width())));
    QVERIFY2(panel->contentsRect().contains(mail->geometry()),
             qPrintable(QStringLiteral("label at x %1..%2, panel inside up to %3")
                            .arg(mail->x())
                            .arg(mail->geometry().right())
                            .arg(panel->contentsRect().right())));
    QVERIFY(!mail->geometry().intersects(box.copyright->geometry()));
}

// A left click sends mail to the address shown; the other buttons, and a left
// press released off the label, do not.
void TestAboutBox::onlyLeftClickSendsMail_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("releasedOnLabel");
    QTest::addColumn<QStringList>("opened");
    QTest::newRow("left") << Qt::LeftButton << true << QStringList{"mailto:cantrel@example.org"};
    QTest::newRow("right") << Qt::RightButton << true << QStringList{};
    QTest::newRow("middle") << Qt::MiddleButton << true << QStringList{};
    QTest::newRow("left, dragged off") << Qt::LeftButton << false << QStringList{};
}

void TestAboutBox::onlyLeftClickSendsMail() {
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, releasedOnLabel);
    QFETCH(QStringList, opened);
    RecordingOpener opener;
    AboutBox box(opener);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));

    QLabel* mail = box.mailLabel;
    const QPoint on = mail->rect().center();
    QTest::mousePress(mail, button, {}, on);
    QTest::mouseRelease(mail, button, {}, releasedOnLabel ? on : QPoint(-10, mail->height() + 10));
    QCOMPARE(opener.takeOpened(), opened);
}

// The icon rendered from the program's own drawing, in every size a menu and
// a window frame ask for, is the one the About box shows.
void TestAboutBox::showsTheProgramsIcon() {
    const QIcon icon = programIcon();
    QList<int> sizes;
    for (const QSize& size : icon.availableSizes())
        sizes << size.width();
    std::sort(sizes.begin(), sizes.end());
    QCOMPARE(sizes, (QList<int>{16, 22, 24, 32, 48, 64, 128, 256}));

    RecordingOpener opener;
    AboutBox box(opener);
    const QLabel* shown = box.findChild<QLabel*>(QStringLiteral("ProgramIcon"));
    QVERIFY(shown);
    const QImage image = shown->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(32, 32));
    // The drawing itself: clear corners, the blue ground, the red hub of the clock.
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(QColor(image.pixel(4, 16)).name(), QStringLiteral("#204080"));
    const QColor hub = image.pixel(16, 13);
    QVERIFY2(hub.red() > 160 && hub.green() < 100 && hub.blue() < 100, qPrintable(hub.name()));
}

QTEST_MAIN(TestAboutBox)
#include "test_about_box.moc"
