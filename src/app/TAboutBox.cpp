#include "app/TAboutBox.h"

#include "app/BuildLine.h"
#include "platform/MediaOpener.h"

#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <functional>
#include <utility>

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
    QFont underlined = dialogFont;
    underlined.setUnderline(true);
    MailLabel->setFont(underlined);
    QPalette blue = MailLabel->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    MailLabel->setPalette(blue);
    MailLabel->setCursor(Qt::PointingHandCursor);
    MailLabel->installEventFilter(new LinkClick(MailLabel, [this] { MailLabelClick(); }));

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(111, 156, 75, 25);
    OKButton->setDefault(true);
    // OK is also the cancel button: Escape closes the box through reject().
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate();
    for (QLabel* label : {ProductName, Copyright, MailLabel})
        label->adjustSize();
    // The address is shown whole whatever the desktop's font: at 168 when it
    // fits there, else moved left just enough to end inside the panel.
    const int panelInnerRight = panel->contentsRect().right() - 4;
    MailLabel->move(std::min(168, panelInnerRight - MailLabel->width() + 1), 96);
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
