#pragma once

#include "device/ComPort.h"
#include "device/PortLibrary.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace cantrel {

class ProgramError;

// Opens a port by its name ("COM3"); null when it cannot be opened, and then
// why names the device and the reason ("COM3 (/dev/ttyS2): no such device").
using ComPortOpener =
    std::function<std::unique_ptr<ComPort>(const QString& portName, QString* why)>;

// The connection to the switching device: the port library, the serial port,
// the device's fields (address, pulse time, COM number, device ID) and the
// output it has selected, which the radio bank shows. Everything runs on the
// GUI thread; the calls block it for a pulse or an exchange, by design.
class DeviceLink final : public QObject {
    Q_OBJECT
  public:
    explicit DeviceLink(QStringList portLibraryFiles = PortLibrary::defaultFileNames(),
                        ComPortOpener openComPort = defaultComPortOpener(),
                        QObject* parent = nullptr);
    ~DeviceLink() override;
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    static ComPortOpener defaultComPortOpener();

    // Loads the port library, resolves Inp32 and Out32 and writes the idle byte
    // 0xFF to parallelAddress. Raises the three "Reinstall application" texts.
    void loadPortLibrary();
    void unloadPortLibrary();

    // 0 closes the serial port (comNumber keeps its value); the open number is
    // configured again without reopening; another number is opened and set up
    // before the old port is closed. Raises "Can't open port" (with the device
    // and why), "Can't setup com config", "Can't setup timeouts", leaving port_
    // and comNumber as they were.
    void setComPort(int number, qint32 baudRate);

    // For the run without a window, where nobody is there to choose the port
    // again: a serial port that cannot be opened stays the connection in force,
    // without its port, and each link test tries to open it again.
    void setKeepConnection(bool keep) { keepConnection_ = keep; }

    // Another program holds the device (the service beside the window): the
    // serial port is closed and stays closed, a connection set is only
    // remembered, and the link test rests. takeUp() opens the connection
    // asked last, as setConnection does.
    void standBy();
    void takeUp();
    bool standingBy() const { return standingBy_; }

    // 0 LPT378, 1 LPT278, k COM(k-1). setComPort's failures are not raised:
    // they go out as connectionFailed; the connection in force stays, unless
    // it is kept (setKeepConnection).
    void setConnection(int index);
    int connectionIndex() const;
    // The index last asked of setConnection, whatever came of it; before
    // any, the connection in force. What the settings keep.
    int askedConnection() const { return askedConnection_.value_or(connectionIndex()); }

    // Fires one output (low 8 bits) on the connection in force: a parallel pulse
    // of pulseMs ms, or a serial exchange. Raises the exchange's failures, and
    // "Can't write to port" for a parallel port that writes do not reach
    // (output 0 excepted, which fires nothing) or a kept serial port not open.
    void pulseOutput(int output);

    // One request and reply on the open serial port; gives the link text and
    // returns the number of reply bytes. Raises "Can't write to port" and
    // "Can't read from port", leaving the link text as it was.
    //
    // A reply that reports another selected output (1..16) makes it the
    // selected one and fires it, as a click on its radio button would: a
    // whole inner exchange, whose failure ends this one too. A request for
    // an output that the device acknowledged makes that output the selected
    // one without firing it again.
    int exchange(int output);

    // The link test, every 3000 ms: a status request while a serial port is
    // open; a kept serial port that is not open is tried again; a parallel
    // port in force is looked at, its panel changed when it came or went.
    void testLink();

    // True while a serial port is open (port_ non-null).
    bool serialOpen() const { return port_ != nullptr; }
    const ComPort* serialPort() const { return port_.get(); }

    // The output the device has selected as far as the program knows: 0 for
    // none yet.
    int selectedOutput() const { return selectedOutput_; }
    // The operator chose output n (1..16) on the radio bank: it becomes the
    // selected one, and fires.
    void chooseOutput(int n);
    // Takes n (1..16) as the selected output without firing it.
    void setSelectedOutput(int n) { select(n); }

    // The device fields of the main window's state record.
    quint32 parallelAddress = 888;
    quint32 pulseMs = 100;
    quint32 comNumber = 0;
    qint32 deviceId = 0;

  signals:
    // Status bar panel 0 and panel 1.
    void connectionTextChanged(const QString& text);
    void linkTextChanged(const QString& text);
    // Outputs 1..count can be chosen: 4 on a parallel port, 16 on a serial line.
    void outputCountChanged(int count);
    // The device's selected output changed by its own report or by a
    // request it acknowledged: shown, not fired again.
    void selectedOutputChanged(int output);
    // A serial port that could not be set up, for a plain message box:
    // the text, and which device and why.
    void connectionFailed(const QString& text, const QString& detail);
    // The link was found down, and why: a port that could not be (re)opened,
    // an exchange that failed, a parallel port in force that writes do not
    // reach. Said at each failure; the link panel keeps its text.
    void linkLost(const QString& why);

  private:
    // Makes n the selected output; true when it was not already.
    bool select(int n);
    // Says the link is lost, and raises text with detail.
    [[noreturn]] void fail(const QString& text, const QString& detail = {});
    // A kept serial port that is not open: opened again, or why not.
    void reopenSerial();
    void serialNotOpen(const ProgramError& failure);
    // Why writes to the parallel port in force reach nothing, or empty; the
    // panel follows a change.
    QString parallelProblem();
    void showParallel(const QString& problem);

    PortLibrary portLibrary_;
    ComPortOpener openComPort_;
    std::unique_ptr<ComPort> port_;
    int selectedOutput_ = 0;
    std::optional<int> askedConnection_;
    bool keepConnection_ = false;
    bool standingBy_ = false;
    // Kept connections only: the first output the device reports after its
    // port opened is what it already had selected (from before a restart
    // of the run, say), taken as the selection without firing it again.
    bool adoptReport_ = false;
    // A kept serial connection in force whose port is not open, and why.
    bool serialPending_ = false;
    QString serialProblem_;
    // Whether the parallel connection in force reaches its port, as shown;
    // none while no parallel connection was set.
    std::optional<bool> parallelPresent_;
};

} // namespace cantrel
