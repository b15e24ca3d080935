#include "run/HeadlessRun.h"

#include "platform/Clock.h"
#include "platform/ProgramError.h"
#include "run/AsRunLog.h"
#include "run/NextRowText.h"
#include "run/RunLogger.h"
#include "run/RowWorker.h"
#include "run/RunEngine.h"
#include "schedule/ScheduleDocument.h"

#include <QElapsedTimer>
#include <QEventLoop>

namespace cantrel {

HeadlessRun::HeadlessRun(const HeadlessSettings& settings, Clock& clock, MediaOpener& opener,
                         LineWriter writeLine, QStringList portLibraryFiles, QObject* parent)
    : QObject(parent), settings_(settings), clock_(clock), writeLine_(std::move(writeLine)),
      day_(std::make_unique<DaySchedule>()), month_(std::make_unique<MonthCalendar>()),
      documents_(*day_, *month_), device_(std::move(portLibraryFiles)),
      engine_(std::make_unique<RunEngine>(documents_, clock, opener, device_,
                                          static_cast<RunReport&>(*this))) {
    // Nobody is there to choose the port again: the configured one stays.
    device_.setKeepConnection(true);
    day_->startNew();
    month_->startNew();
    day_->setReadOnlyLoads(true);
    month_->setReadOnlyLoads(true);
    // The as-run log, its lines on standard error too.
    log_ = std::make_unique<AsRunLog>();
    logger_ = new RunLogger(*engine_, documents_, device_, clock_, *log_, writeLine_, this);
    connect(logger_, &RunLogger::logged, this, &HeadlessRun::logged);
    connect(log_.get(), &AsRunLog::writeFailed, this, &HeadlessRun::say);
    engine_->setFollowFiles(true);
    // What fires next, said when it changes rather than every second.
    connect(engine_.get(), &RunEngine::ticked, this, [this] {
        const std::optional<RunEngine::NextRow> next = engine_->nextRow();
        const QStringList cells = next ? day_->rows().rowCells(next->row) : QStringList();
        if (next && cells != nextCells_)
            say(nextRowText(cells, next->msLeft));
        nextCells_ = cells;
    });
    connect(&device_, &DeviceThread::connectionTextChanged, this,
            [this](const QString& text) { sayPanel(connectionText_, text); });
    connect(&device_, &DeviceThread::linkTextChanged, this,
            [this](const QString& text) { sayPanel(linkText_, text); });
    connect(&device_, &DeviceThread::connectionFailed, this,
            [this](const QString& text, const QString& detail) {
                say(TextFailure::withDetail(text, detail));
            });
    connect(&device_, &DeviceThread::realTimeRefused, this, &HeadlessRun::say);
    linkTest_.setInterval(3000);
    connect(&linkTest_, &QTimer::timeout, this, [this] {
        // As in the window: a line that fails is reported and the test goes on.
        device_.testLink([this](const std::optional<DeviceFailure>& failure) {
            if (failure)
                say(TextFailure::withDetail(failure->text, failure->detail));
        });
    });
}

HeadlessRun::~HeadlessRun() {
    stop();
    engine_.reset();
    log_.reset();
}

bool HeadlessRun::start() {
    try {
        if (settings_.monthCalendar.isEmpty())
            throw ProgramError(QStringLiteral("No month calendar: the settings name no file31d"));
        month_->load(settings_.monthCalendar);
        device_.loadPortLibrary();
        device_.deviceId = settings_.deviceId;
        device_.pulseMs = 100;
        engine_->setRunAdvance(settings_.runAdvance);
        engine_->enter();
        // Once in Run mode, so that a link found down at once is in the log.
        device_.setConnection(settings_.connection);
    } catch (const TextFailure& failure) {
        say(failure.oneLine());
        return false;
    }
    linkTest_.start();
    return true;
}

void HeadlessRun::stop() {
    linkTest_.stop();
    finishPulsesUnderWay();
    if (engine_ && engine_->running())
        engine_->leave(QStringLiteral("terminated"));
    device_.closePort();
    device_.unloadPortLibrary();
}

void HeadlessRun::finishPulsesUnderWay() {
    // A pulse already on its way to the device goes out and is told, as it
    // was when the pulse held the event loop; the wait is bounded by the
    // longest a pulse takes, with room to spare.
    if (!engine_ || RowWorker::pulsesUnderWay() == 0)
        return;
    QEventLoop wait;
    QTimer look;
    QElapsedTimer waited;
    waited.start();
    connect(&look, &QTimer::timeout, &wait, [&] {
        if (RowWorker::pulsesUnderWay() == 0 || waited.elapsed() > 2000)
            wait.quit();
    });
    look.start(5);
    wait.exec();
}

int HeadlessRun::outputCount() const {
    return device_.connectionIndex() >= 2 ? 16 : 4;
}

void HeadlessRun::fireOutput(int n, const QString& how, std::function<void(const QString&)> done) {
    device_.chooseOutput(n, [this, n, how, done](const std::optional<DeviceFailure>& failure) {
        const QString why =
            failure ? TextFailure::withDetail(failure->text, failure->detail) : QString();
        logger_->writeOutput(failure ? QStringLiteral("failed") : QStringLiteral("executed"), n,
                             failure ? why : how);
        if (done)
            done(why);
    });
}

void HeadlessRun::takeSettings(const HeadlessSettings& settings) {
    if (settings.monthCalendar.isEmpty()) {
        keepSettings(QStringLiteral("No month calendar: the settings name no file31d"));
        return;
    }
    QStringList changes;
    if (settings.connection != settings_.connection)
        changes << QStringLiteral("Port %1 -> %2").arg(settings_.connection).arg(settings.connection);
    if (settings.deviceId != settings_.deviceId)
        changes << QStringLiteral("device ID %1 -> %2").arg(settings_.deviceId).arg(settings.deviceId);
    if (settings.runAdvance != settings_.runAdvance)
        changes << QStringLiteral("run advance %1 s -> %2 s")
                       .arg(settings_.runAdvance)
                       .arg(settings.runAdvance);
    // Another calendar mid-run would drop the day's marks: it waits for a restart.
    if (settings.monthCalendar != settings_.monthCalendar)
        changes << QStringLiteral("file31d %1 -> %2 not taken until restart")
                       .arg(settings_.monthCalendar, settings.monthCalendar);
    logEvent(QStringLiteral("settings loaded"),
             changes.isEmpty() ? QStringLiteral("nothing changed") : changes.join(u", "));

    const bool reconnect =
        settings.connection != settings_.connection || settings.deviceId != settings_.deviceId;
    settings_.connection = settings.connection;
    settings_.deviceId = settings.deviceId;
    settings_.runAdvance = settings.runAdvance;
    engine_->setRunAdvance(settings.runAdvance);
    // The device ID first, so that the connection line says the new one.
    device_.deviceId = settings.deviceId;
    if (reconnect)
        device_.setConnection(settings.connection);
}

void HeadlessRun::keepSettings(const QString& why) {
    logEvent(QStringLiteral("settings kept"), why);
}

void HeadlessRun::logEvent(const QString& event, const QString& detail) {
    logger_->writeEvent(event, detail);
}

void HeadlessRun::say(const QString& text) const {
    writeLine_(clock_.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + text);
}

void HeadlessRun::sayPanel(QString& shown, const QString& text) {
    if (text != shown)
        say(text);
    shown = text;
}

void HeadlessRun::failure(const QString& text, bool, const QString& detail) {
    say(TextFailure::withDetail(text, detail));
}

// The as-run log's "run left" line has said why.
void HeadlessRun::ended(const QString&, bool, const QString&) {
    emit endedByItself();
}

} // namespace cantrel
