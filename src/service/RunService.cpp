#include "service/RunService.h"

#include "device/DeviceThread.h"
#include "platform/ProgramError.h"
#include "run/DueScan.h"
#include "run/HeadlessRun.h"
#include "run/RunDocuments.h"
#include "run/RunEngine.h"
#include "schedule/Cells.h"
#include "schedule/StringGridModel.h"
#include "service/AlertCommand.h"
#include "service/DesktopNotifier.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDeadlineTimer>
#include <QEventLoop>

namespace cantrel {

namespace {

// What the bus sees of the service: its properties, its two calls and its
// signals, each named as D-Bus names them.
class ServiceObject final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.cantrel.Cantrel.Service")
    Q_PROPERTY(QString RunningSince READ runningSince)
    Q_PROPERTY(uint ProcessId READ processId)
    Q_PROPERTY(QString SettingsFile READ settingsFile)
    Q_PROPERTY(QString MonthCalendar READ monthCalendar)
    Q_PROPERTY(QString DayFile READ dayFile)
    Q_PROPERTY(QString ConnectionText READ connectionText)
    Q_PROPERTY(QString LinkText READ linkText)
    Q_PROPERTY(int RunAdvance READ runAdvance)
    Q_PROPERTY(QStringList NextRow READ nextRow)
    Q_PROPERTY(qlonglong NextRowIn READ nextRowIn)
    Q_PROPERTY(QStringList Marks READ marks)
    Q_PROPERTY(QList<QStringList> RecentEvents READ recentEvents)
  public:
    explicit ServiceObject(RunService& service) : QObject(&service), service_(service) {
        connect(&service, &RunService::eventLogged, this, [this](const ServiceEvent& event) {
            const QStringList f = event.fields();
            emit Event(f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]);
        });
        connect(&service, &RunService::stateChanged, this, &ServiceObject::StateChanged);
    }

    QString runningSince() const { return service_.since().toString(Qt::ISODate); }
    uint processId() const { return uint(QCoreApplication::applicationPid()); }
    QString settingsFile() const { return service_.settingsFile(); }
    QString monthCalendar() const { return service_.run().documents().monthCalendarName(); }
    // The file the run has loaded, which a window beside it matches its own
    // against; on a day of nothing, why, as the as-run log says it.
    QString dayFile() const {
        const RunEngine& engine = service_.run().engine();
        return engine.scheduleToday() ? service_.run().documents().dayScheduleName()
                                      : engine.dayText();
    }
    QString connectionText() const { return service_.run().connectionText(); }
    QString linkText() const { return service_.run().linkText(); }
    int runAdvance() const { return service_.run().engine().runAdvance(); }
    QStringList nextRow() const { return service_.nextRow().first; }
    qlonglong nextRowIn() const { return service_.nextRow().second; }
    QStringList marks() const { return service_.marks(); }
    QList<QStringList> recentEvents() const {
        QList<QStringList> events;
        for (const ServiceEvent& event : service_.recentEvents())
            events << event.fields();
        return events;
    }

  public slots:
    // Answered once the output has gone out: the line may be busy.
    void FireOutput(int output) {
        setDelayedReply(true);
        const QDBusMessage call = message();
        QDBusConnection bus = connection();
        answer(call, bus, [&] {
            service_.fireOutput(output, [call, bus](const QString& failure) mutable {
                bus.send(failure.isEmpty() ? call.createReply()
                                           : call.createErrorReply(kServiceFailed, failure));
            });
        });
    }
    void ExecuteRow(int row) {
        answer([&] { service_.executeRow(row); });
    }

  signals:
    void Event(const QString& time, const QString& event, const QString& rowTime,
               const QString& output, const QString& comment, const QString& media,
               const QString& lateMs, const QString& detail);
    void StateChanged();

  private:
    // A delayed call refused before it goes out is answered at once.
    template <typename Call> void answer(const QDBusMessage& call, QDBusConnection& bus, Call&& fire) {
        try {
            fire();
        } catch (const TextFailure& failure) {
            bus.send(call.createErrorReply(kServiceFailed, failure.oneLine()));
        } catch (const std::exception& failure) {
            bus.send(call.createErrorReply(kServiceFailed, QString::fromLocal8Bit(failure.what())));
        }
    }
    template <typename Call> void answer(Call&& call) {
        try {
            call();
        } catch (const TextFailure& failure) {
            sendErrorReply(kServiceFailed, failure.oneLine());
        } catch (const std::exception& failure) {
            sendErrorReply(kServiceFailed, QString::fromLocal8Bit(failure.what()));
        }
    }

    RunService& service_;
};

bool matters(const QString& event) {
    for (const char* name : {"failed", "missed", "link down", "link back"})
        if (event == QLatin1String(name))
            return true;
    return false;
}

} // namespace

RunService::RunService(HeadlessRun& run, const QString& settingsFile, const QDateTime& since,
                       QObject* parent)
    : QObject(parent), run_(run), settingsFile_(settingsFile),
      // With its offset, so a reader elsewhere reads the same instant.
      since_(since.toOffsetFromUtc(since.offsetFromUtc())) {
    if (const QString program = AlertCommand::fromEnvironment(); !program.isEmpty())
        alertCommand_ =
            std::make_unique<AlertCommand>(program, [&run](const QString& line) { run.say(line); });
    connect(&run, &HeadlessRun::logged, this, [this](const QDateTime& at, const AsRunEvent& event) {
        logged({AsRunLog::formatTime(at), event});
    });
    connect(&run, &HeadlessRun::endedByItself, this, [this] {
        if (runLeft_)
            alert(*runLeft_);
    });
    changed_.setSingleShot(true);
    changed_.setInterval(0);
    connect(&changed_, &QTimer::timeout, this, &RunService::stateChanged);
    const auto change = [this] { changed_.start(); };
    // The link test says its text every 3 s; only a new one is a change.
    connect(&run.device(), &DeviceThread::connectionTextChanged, this, [this](const QString& text) {
        if (std::exchange(connectionText_, text) != text)
            changed_.start();
    });
    connect(&run.device(), &DeviceThread::linkTextChanged, this, [this](const QString& text) {
        if (std::exchange(linkText_, text) != text)
            changed_.start();
    });
    StringGridModel& rows = run.documents().dayRows();
    connect(&rows, &StringGridModel::dataChanged, this, change);
    connect(&rows, &StringGridModel::structureChanged, this, change);
    connect(&rows, &StringGridModel::modelReset, this, change);
}

RunService::~RunService() = default;

void RunService::publish(const QDBusConnection& connection) {
    QDBusConnection bus = connection;
    if (!bus.isConnected()) {
        run_.say(QStringLiteral("Cannot be watched: no session bus (%1); cantrel --status cannot "
                                "see this run and no desktop notification is posted")
                     .arg(bus.lastError().message()));
        return;
    }
    registerServiceTypes();
    notifier_ = std::make_unique<DesktopNotifier>(bus);
    bus.registerObject(kServicePath, new ServiceObject(*this),
                       QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                           QDBusConnection::ExportAllProperties);
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(kServiceName, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid())
        run_.say(QStringLiteral("Cannot be watched: %1 on the session bus: %2")
                     .arg(kServiceName, reply.error().message()));
    else if (reply.value() != QDBusConnectionInterface::ServiceRegistered)
        run_.say(QStringLiteral("Cannot be watched: another cantrel --run has %1 on the session "
                                "bus; cantrel --status sees that one")
                     .arg(kServiceName));
}

void RunService::finish(bool endedByItself) {
    if (!endedByItself)
        return;
    const QDeadlineTimer deadline(kSettleMs);
    const auto busy = [this] {
        return (notifier_ && !notifier_->idle()) || (alertCommand_ && alertCommand_->running());
    };
    while (busy() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

QStringList RunService::marks() const {
    const StringGridModel& rows = run_.documents().dayRows();
    QStringList marks;
    for (int row = kFirstDayRow; row < rows.gridRowCount(); ++row)
        marks << rows.cell(DayCol::Mark, row);
    return marks;
}

std::pair<QStringList, qint64> RunService::nextRow() const {
    const std::optional<RunEngine::NextRow> next = run_.engine().nextRow();
    if (!next)
        return {{}, -1};
    return {run_.documents().dayRows().rowCells(next->row).mid(DayCol::Time), next->msLeft};
}

void RunService::fireOutput(int output, std::function<void(const QString&)> done) {
    const int count = run_.outputCount();
    if (output < 1 || output > count)
        throw ProgramError(QStringLiteral("No output %1: the connection has outputs 1 to %2")
                               .arg(output)
                               .arg(count));
    run_.fireOutput(output, QStringLiteral("by hand over the bus"), std::move(done));
}

void RunService::executeRow(int row) {
    if (!run_.engine().scheduleToday())
        throw ProgramError(QStringLiteral("No row %1: no schedule today").arg(row));
    const StringGridModel& rows = run_.documents().dayRows();
    const int count = rows.gridRowCount() - kFirstDayRow;
    if (row < 1 || row > count)
        throw ProgramError(QStringLiteral("No row %1: today's day file %2 has rows 1 to %3")
                               .arg(QString::number(row), run_.documents().dayScheduleName(),
                                    QString::number(count)));
    run_.engine().executeRow(kFirstDayRow + row - 1);
}

void RunService::logged(const ServiceEvent& event) {
    recent_.push_back(event);
    if (recent_.size() > kRecentEvents)
        recent_.pop_front();
    emit eventLogged(event);
    changed_.start();
    if (event.event.event == QLatin1String("run left"))
        runLeft_ = event;
    else if (matters(event.event.event))
        alert(event);
}

void RunService::alert(const ServiceEvent& event) {
    if (notifier_)
        notifier_->post(event.event);
    if (alertCommand_)
        alertCommand_->run(event);
}

} // namespace cantrel

#include "RunService.moc"
