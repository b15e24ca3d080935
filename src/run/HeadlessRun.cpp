#include "run/HeadlessRun.h"

#include "platform/Clock.h"
#include "platform/ProgramError.h"
#include "run/AsRunLog.h"
#include "run/NextRowText.h"
#include "run/RunLogger.h"
#include "run/RunEngine.h"
#include "schedule/ScheduleDocument.h"

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
    new RunLogger(*engine_, documents_, device_, clock_, *log_, writeLine_, this);
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
    connect(&device_, &DeviceLink::connectionTextChanged, this,
            [this](const QString& text) { sayPanel(connectionText_, text); });
    connect(&device_, &DeviceLink::linkTextChanged, this,
            [this](const QString& text) { sayPanel(linkText_, text); });
    connect(&device_, &DeviceLink::connectionFailed, this,
            [this](const QString& text, const QString& detail) {
                say(TextFailure::withDetail(text, detail));
            });
    linkTest_.setInterval(3000);
    connect(&linkTest_, &QTimer::timeout, this, [this] {
        // As in the window: a line that fails is reported and the test goes on.
        try {
            device_.testLink();
        } catch (const TextFailure& failure) {
            say(failure.oneLine());
        } catch (const std::exception& failure) {
            say(QString::fromLocal8Bit(failure.what()));
        }
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
    if (engine_ && engine_->running())
        engine_->leave(QStringLiteral("terminated"));
    device_.setComPort(0, 0);
    device_.unloadPortLibrary();
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
