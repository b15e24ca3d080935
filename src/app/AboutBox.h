#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace cantrel {

class MediaOpener;

// The About box: product name, build line, copyright and a mail link.
// Created once; hidden, not destroyed, when closed.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(MediaOpener& opener, QWidget* parent = nullptr);

    void mailAuthor();

    QLabel* productName = nullptr;
    QLineEdit* buildLineEdit = nullptr;
    QLabel* copyright = nullptr;
    QLabel* mailLabel = nullptr;
    QPushButton* okButton = nullptr;

private:
    void buildContents();

    MediaOpener& opener_;
};

// The program's icon (src/app/cantrel.svg) in every size it was rendered to.
QIcon programIcon();

} // namespace cantrel
