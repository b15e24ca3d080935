#include "app/TAboutBox.h"

#include "app/BuildLine.h"
#include "platform/MediaOpener.h"

#include <QEvent>
#include <functional>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace cantrel {

QIcon programIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x20, 0x40, 0x80), 2));
    p.setBrush(QColor(0xf0, 0xf4, 0xff));
    p.drawEllipse(QRectF(2, 2, 28, 28));
    p.drawLine(QPointF(16, 16), QPointF(16, 7));
    p.drawLine(QPointF(16, 16), QPointF(23, 19));
    p.setBrush(QColor(0xd0, 0x30, 0x30));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(13.5, 13.5, 5, 5));
    return QIcon(pixmap);
}

namespace {
// The mail label reacts to a click like a link.
class ClickFilter final : public QObject {
public:
    ClickFilter(QObject* parent, std::function<void()> onClick)
        : QObject(parent), onClick_(std::move(onClick)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonRelease)
            onClick_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onClick_;
};
} // namespace

TAboutBox::TAboutBox(MediaOpener& opener, QWidget* parent) : QDialog(parent), opener_(opener)
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

    ProductName = new QLabel(panel);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont bold = dialogFont;
    bold.setBold(true);
    bold.setPixelSize(16);
    ProductName->setFont(bold);
    ProductName->move(104, 16);

    BuildLine = new QLineEdit(panel);
    BuildLine->setObjectName(QStringLiteral("BuildLine"));
    BuildLine->setReadOnly(true);
    BuildLine->setFrame(false);
    BuildLine->setGeometry(80, 48, 193, 19);
    QPalette flat = BuildLine->palette();
    flat.setColor(QPalette::Base, palette().color(QPalette::Window));
    BuildLine->setPalette(flat);

    Copyright = new QLabel(QStringLiteral("© 2026 Cantrel"), panel);
    Copyright->setObjectName(QStringLiteral("Copyright"));
    Copyright->move(32, 96);

    MailLabel = new QLabel(QStringLiteral("cantrel@example.org"), panel);
    MailLabel->setObjectName(QStringLiteral("MailLabel"));
    MailLabel->setStyleSheet(QStringLiteral("color: blue; text-decoration: underline;"));
    MailLabel->setCursor(Qt::PointingHandCursor);
    MailLabel->move(168, 96);
    MailLabel->installEventFilter(new ClickFilter(MailLabel, [this] { MailLabelClick(); }));

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(111, 156, 75, 25);
    OKButton->setDefault(true);
    // OK is also the cancel button: Escape closes the box through reject().
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate();
    for (QLabel* label : {ProductName, Copyright, MailLabel})
        label->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TAboutBox::FormCreate()
{
    ProductName->setText(QStringLiteral("Cantrel 1.18"));
    BuildLine->setText(buildLine(__DATE__, __TIME__));
}

void TAboutBox::MailLabelClick()
{
    // No mail program is no failure: the result is ignored.
    opener_.open(QStringLiteral("mailto:") + MailLabel->text());
}

} // namespace cantrel
