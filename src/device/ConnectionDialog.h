#pragma once

#include <QDialog>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace cantrel {

class Prompter;
class UpDown;

// The communication setup dialog: port, device ID and run advance. It checks
// the two numbers before OK may close it; the main window applies them.
class ConnectionDialog final : public QDialog {
    Q_OBJECT
public:
    ConnectionDialog(Prompter& prompter, QWidget* owner);

    // Shows the connection index in the port list; a COM port beyond COM4
    // gets an entry of its own so that OK without a change keeps it.
    void showConnection(int index);
    // The connection index of the selected entry.
    int selectedConnection() const;

    void centreAndRefresh();
    void portChanged();
    // Looks the selected COM entry's device up anew, as it may have been
    // plugged in or out since.
    void showPortDevice();
    // True when the dialog may close with OK.
    bool mayClose();

    QFrame* bevel;
    QLabel* portLabel;
    QComboBox* portList;
    // For a COM entry: the device it maps to and what the system says it is.
    QLabel* portDeviceLabel;
    QLabel* deviceIdLabel;
    QLineEdit* deviceIdEdit;
    UpDown* deviceIdUpDown;
    QLabel* runAdvanceLabel;
    QLineEdit* runAdvanceEdit;
    UpDown* runAdvanceUpDown;
    QPushButton* okButton;
    QPushButton* cancelButton;

protected:
    void showEvent(QShowEvent* event) override;

private:
    Prompter& prompter_;
};

} // namespace cantrel
