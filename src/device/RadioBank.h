#pragma once

#include <QObject>

class QRadioButton;
class QWidget;

namespace cantrel {

// The bank of radio buttons "Radio1" to "Radio16", one per output, each with
// its number below it. The buttons are direct children of the panel that
// holds them, so locking the panel's controls reaches them; they form one
// group, in which selecting a button clears the others.
class RadioBank final : public QObject {
    Q_OBJECT
  public:
    explicit RadioBank(QWidget* panel);

    // Buttons 1 to count with their labels; enabled, none selected.
    void create(int count);
    // Enables buttons 1 to count and disables the rest of the 16.
    void enable(int count);
    // Shows button n (1..16) as the selected one, without a click.
    void show(int n);
    // Button n by its name, compared without regard to case; null if none.
    QRadioButton* button(int n) const;
    // Takes a button laid out elsewhere on the panel into the bank's group:
    // its click is reported like the bank's own, with its "tag" as output.
    void adopt(QRadioButton* radio);

  signals:
    // The operator selected a button that was not selected: its output fires.
    void clicked(int output);

  private:
    QWidget* panel_;
};

} // namespace cantrel
