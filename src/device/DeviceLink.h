#pragma once

#include "device/ComPort.h"
#include "device/PortLibrary.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace cantrel {

// What the device link shows through the main window.
class DeviceView {
  public:
    virtual ~DeviceView() = default;
    // Status bar panel 0 and panel 1.
    virtual void setConnectionText(const QString& text) = 0;
    virtual void setLinkText(const QString& text) = 0;
    // Enables radio buttons 1..count and disables the rest of the 16.
    virtual void enableRadios(int count) = 0;
    // Selects radio button n (1..16). Selecting a button that was not selected
    // counts as a click, so the window fires output n through PulseOutput before
    // returning. Raises ProgramError("Can't find control") when there is none.
    virtual void selectRadio(int n) = 0;
    // Shows radio button n (1..16) as the selected one without clicking it.
    virtual void showSelectedRadio(int n) = 0;
    // A plain message box with OK.
    virtual void showMessage(const QString& text) = 0;
};

// Opens a port by its name ("COM3"); null when it cannot be opened.
using ComPortOpener = std::function<std::unique_ptr<ComPort>(const QString& portName)>;

// The connection to the switching device: the port library, the serial port and
// the device fields of the main window's state record. Everything runs on the
// GUI thread; the calls block it for a pulse or an exchange, by design.
class DeviceLink {
  public:
    explicit DeviceLink(DeviceView& view,
                        QStringList portLibraryFiles = PortLibrary::defaultFileNames(),
                        ComPortOpener openComPort = defaultComPortOpener());
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    static ComPortOpener defaultComPortOpener();

    // Loads the port library, resolves Inp32 and Out32 and writes the idle byte
    // 0xFF to LPTAddr. Raises the three "Reinstall application" texts.
    void LoadPortLibrary();
    void UnloadPortLibrary();

    // 0 closes the serial port (ComNumber keeps its value); the open number is
    // configured again without reopening; another number is opened and set up
    // before the old port is closed. Raises "Can't open port", "Can't setup com
    // config", "Can't setup timeouts", leaving ComHandle and ComNumber as they were.
    void SetComPort(int comNumber, qint32 baudRate);

    // 0 LPT378, 1 LPT278, k COM(k-1). Shows SetComPort's failures itself.
    void SetConnection(int index);
    int ConnectionIndex() const;

    // Fires one output (low 8 bits) on the connection in force: a parallel pulse
    // of PulseTime ms, or a serial exchange. Raises the exchange's failures.
    void PulseOutput(int output);

    // One request and reply on the open serial port; sets the link panel and
    // returns the number of reply bytes. Raises "Can't write to port" and
    // "Can't read from port", leaving the link panel as it was.
    int DeviceExchange(int output);

    // The link test, every 3000 ms: a status request while a serial port is open.
    void TestLinkTimerTimer();

    // True while a serial port is open (ComHandle non-null).
    bool serialOpen() const { return ComHandle != nullptr; }
    const ComPort* comHandle() const { return ComHandle.get(); }

    // The device fields of the main window's state record.
    quint32 LPTAddr = 888;
    quint32 PulseTime = 100;
    quint32 ComNumber = 0;
    qint32 DeviceID = 0;

  private:
    DeviceView& view_;
    PortLibrary portLibrary_;
    ComPortOpener openComPort_;
    std::unique_ptr<ComPort> ComHandle;
};

} // namespace cantrel
