#include "app/AboutBox.h"

#include "app/BuildLine.h"
#include "platform/MediaOpener.h"

#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <functional>
#include <utility>

namespace cantrel {

QIcon programIcon()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/cantrel-%1.png").arg(size), QSize(size, size));
    return icon;
}

namespace {
// The mail label answers a click like a link does: the left button, pressed
// and released on it. Other buttons, and a press dragged off the label, do
// nothing.
class LinkClick final : public QObject {
public:
    LinkClick(QWidget* label, std::function<void()> onClick)
        : QObject(label), label_(label), onClick_(std::move(onClick)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress ||
            event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                if (event->type() == QEvent::MouseButtonPress) {
                    pressed_ = true;
                } else if (std::exchange(pressed_, false) &&
                           label_->rect().contains(mouse->position().toPoint())) {
                    onClick_();
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* label_;
    std::function<void()> onClick_;
    bool pressed_ = false;
};
} // namespace

AboutBox::AboutBox(MediaOpener& opener, QWidget* parent) : QDialog(parent), opener_(opener)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    QFont dialogFont = font();
    dialogFont.setPixelSize(11);
    setFont(dialogFont);
    setFixedSize(297, 188);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);
    panel->setGeometry(8, 8, 281, 137);

    auto* icon = new QLabel(panel);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(programIcon().pixmap(32, 32));
    icon->setGeometry(16, 16, 32, 32);

    productName = new QLabel(panel);
    productName->setObjectName(QStringLiteral("ProductName"));
    QFont bold = dialogFont;
    bold.setBold(true);
    bold.setPixelSize(16);
    productName->setFont(bold);
    productName->move(104, 16);

    buildLineEdit = new QLineEdit(panel);
    buildLineEdit->setObjectName(QStringLiteral("BuildLine"));
    buildLineEdit->setReadOnly(true);
    buildLineEdit->setFrame(false);
    buildLineEdit->setGeometry(80, 48, 193, 19);
    QPalette flat = buildLineEdit->palette();
    flat.setColor(QPalette::Base, palette().color(QPalette::Window));
    buildLineEdit->setPalette(flat);

    copyright = new QLabel(QStringLiteral("© 2026 Cantrel"), panel);
    copyright->setObjectName(QStringLiteral("Copyright"));
    copyright->move(32, 96);

    mailLabel = new QLabel(QStringLiteral("cantrel@example.org"), panel);
    mailLabel->setObjectName(QStringLiteral("MailLabel"));
    QFont underlined = dialogFont;
    underlined.setUnderline(true);
    mailLabel->setFont(underlined);
    QPalette blue = mailLabel->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    mailLabel->setPalette(blue);
    mailLabel->setCursor(Qt::PointingHandCursor);
    mailLabel->installEventFilter(new LinkClick(mailLabel, [this] { mailAuthor(); }));

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("OKButton"));
    okButton->setGeometry(111, 156, 75, 25);
    okButton->setDefault(true);
    // OK is also the cancel button: Escape closes the box through reject().
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    buildContents();
    for (QLabel* label : {productName, copyright, mailLabel})
        label->adjustSize();
    // The address is shown whole whatever the desktop's font: at 168 when it
    // fits there, else moved left just enough to end inside the panel.
    const int panelInnerRight = panel->contentsRect().right() - 4;
    mailLabel->move(std::min(168, panelInnerRight - mailLabel->width() + 1), 96);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void AboutBox::buildContents()
{
    productName->setText(QStringLiteral("Cantrel 1.18"));
    buildLineEdit->setText(buildLine(__DATE__, __TIME__));
}

void AboutBox::mailAuthor()
{
    // No mail program is no failure: the result is ignored.
    opener_.open(QStringLiteral("mailto:") + mailLabel->text());
}

} // namespace cantrel
