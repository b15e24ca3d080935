#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace cantrel {

// A pair of arrow buttons bound to a line edit: each click steps the number
// in the edit by one within [minimum, maximum], without wrapping. The edit
// stays free text, so it can show a value the arrows could not reach.
class UpDown final : public QWidget {
    Q_OBJECT
public:
    UpDown(QLineEdit* buddy, int minimum, int maximum, QWidget* parent = nullptr);

    int position() const { return position_; }
    void setPosition(int position);
    void stepBy(int steps);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* buddy_;
    QToolButton* up_;
    QToolButton* down_;
    int minimum_;
    int maximum_;
    int position_;
};

} // namespace cantrel
