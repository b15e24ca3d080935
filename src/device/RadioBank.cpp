#include "device/RadioBank.h"


#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>

namespace cantrel {

RadioBank::RadioBank(QWidget* panel) : QObject(panel), panel_(panel) {}

void RadioBank::create(int count) {
    for (int n = 1; n <= count; ++n) {
        auto* radio = new QRadioButton(panel_);
        radio->setObjectName(QStringLiteral("Radio%1").arg(n));
        radio->setProperty("tag", n);
        // 16 wide: only the circle shows; the label below carries the number.
        radio->setGeometry(8 + 24 * (n - 1), 40, 16, 17);
        adopt(radio);
        radio->show();
        auto* label = new QLabel(QString::number(n), panel_);
        label->move(8 + 24 * (n - 1) + (n <= 8 ? 3 : 0), 58);
        label->adjustSize();
        label->show();
    }
}

void RadioBank::enable(int count) {
    for (int n = 1; n <= 16; ++n)
        if (QRadioButton* radio = button(n))
            radio->setEnabled(n <= count);
}

void RadioBank::show(int n) {
    if (QRadioButton* radio = button(n)) {
        const QSignalBlocker quiet(radio);
        radio->setChecked(true);
    }
}

QRadioButton* RadioBank::button(int n) const {
    const QString name = QStringLiteral("Radio%1").arg(n);
    for (QObject* child : panel_->children())
        if (child->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return qobject_cast<QRadioButton*>(child);
    return nullptr;
}

void RadioBank::adopt(QRadioButton* radio) {
    // Selecting a button counts as a click on it; clicking the selected one
    // does nothing.
    connect(radio, &QRadioButton::toggled, this, [this, radio](bool checked) {
        if (checked)
            emit clicked(radio->property("tag").toInt() & 0xFF);
    });
}

} // namespace cantrel
