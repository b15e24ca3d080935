#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace cantrel {

class MediaOpener;

// The About box: product name, build line, copyright and a mail link.
// Created once; hidden, not destroyed, when closed.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(MediaOpener& opener, QWidget* parent = nullptr);

    void MailLabelClick();

    QLabel* ProductName = nullptr;
    QLineEdit* BuildLine = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* MailLabel = nullptr;
    QPushButton* OKButton = nullptr;

private:
    void FormCreate();

    MediaOpener& opener_;
};

// The program's icon, drawn rather than shipped: a clock face.
QIcon programIcon();

} // namespace cantrel
