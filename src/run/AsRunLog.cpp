#include "run/AsRunLog.h"

#include "platform/LockedFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cantrel {

namespace {

// Day files older than this, counted back from the date being written, go.
constexpr int keptDays = 90;

const QLatin1StringView filePrefix("as-run-");
const QLatin1StringView fileSuffix(".log");

void appendNumber(QString& out, int value, int width) {
    out += QString::number(value).rightJustified(width, QLatin1Char('0'));
}

// "2026-12-10 12:00:00.003 +01:00": local time with ms and the UTC offset.
void appendTime(QString& line, const QDateTime& at) {
    const QDate date = at.date();
    const QTime time = at.time();
    appendNumber(line, date.year(), 4);
    line += QLatin1Char('-');
    appendNumber(line, date.month(), 2);
    line += QLatin1Char('-');
    appendNumber(line, date.day(), 2);
    line += QLatin1Char(' ');
    appendNumber(line, time.hour(), 2);
    line += QLatin1Char(':');
    appendNumber(line, time.minute(), 2);
    line += QLatin1Char(':');
    appendNumber(line, time.second(), 2);
    line += QLatin1Char('.');
    appendNumber(line, time.msec(), 3);
    const int offset = at.offsetFromUtc();
    line += QLatin1Char(' ');
    line += QLatin1Char(offset < 0 ? '-' : '+');
    const int minutes = qAbs(offset) / 60;
    appendNumber(line, minutes / 60, 2);
    line += QLatin1Char(':');
    appendNumber(line, minutes % 60, 2);
}

// A field must not break the line into more fields or more lines.
void appendField(QString& out, const QString& field) {
    out += QLatin1Char('\t');
    const qsizetype start = out.size();
    out += field;
    for (qsizetype i = start; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            out[i] = QLatin1Char(' ');
    }
}

QString failureText(const QString& file, const QString& reason) {
    return QStringLiteral("Can't write the as-run log %1: %2")
        .arg(QDir::toNativeSeparators(file), reason);
}

// Appends bytes and syncs them to disk, so a power cut loses no line once
// written. 0, or the errno of the failure; then the file is cut back to the
// size it had, so it keeps whole lines only.
int appendWhole(int fd, const QByteArray& bytes) {
    struct stat before {};
    if (::fstat(fd, &before) != 0)
        return errno;
    int error = writeWhole(fd, bytes);
    // A pipe or a device has nothing to sync (EINVAL).
    if (!error && ::fdatasync(fd) != 0 && errno != EINVAL)
        error = errno;
    // When even the cut fails there is nothing more to do.
    if (error && S_ISREG(before.st_mode))
        std::ignore = ::ftruncate(fd, before.st_size);
    return error;
}

} // namespace

AsRunLog::AsRunLog(const QString& folder, QObject* parent) : QObject(parent), folder_(folder) {
    writer_ = std::thread([this] { runWriter(); });
}

AsRunLog::~AsRunLog() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    writer_.join();
}

QString AsRunLog::defaultFolder() {
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!state.isEmpty() && QDir::isAbsolutePath(state))
        return QDir::cleanPath(state + QLatin1String("/cantrel"));
    return QDir::cleanPath(QDir::homePath() + QLatin1String("/.local/state/cantrel"));
}

QString AsRunLog::formatLine(const QDateTime& at, const AsRunEvent& event) {
    // Built by hand rather than through a format string: this runs in the tick.
    QString line;
    line.reserve(64 + event.comment.size() + event.media.size() + event.detail.size());
    appendTime(line, at);
    appendField(line, event.event);
    appendField(line, event.rowTime);
    appendField(line, event.output);
    appendField(line, event.comment);
    appendField(line, event.media);
    appendField(line, event.lateMs ? QString::number(*event.lateMs) : QString());
    appendField(line, event.detail);
    return line;
}

QString AsRunLog::formatTime(const QDateTime& at) {
    QString text;
    appendTime(text, at);
    return text;
}

QString AsRunLog::fileFor(const QDate& date) const {
    return QDir(folder_).filePath(filePrefix + date.toString(QStringLiteral("yyyy-MM-dd")) +
                                  fileSuffix);
}

QString AsRunLog::write(const QDateTime& at, const AsRunEvent& event) {
    QString line = formatLine(at, event);
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({at.date(), line});
        ++queued_;
    }
    wake_.notify_one();
    return line;
}

void AsRunLog::flush() {
    std::unique_lock lock(mutex_);
    const quint64 target = queued_;
    written_.wait(lock, [&] { return done_ >= target; });
}

void AsRunLog::runWriter() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            break; // stopping, and all that was queued is out
        // Lines that came while the last ones were synced go out together,
        // with one sync: a burst of events does not wait a sync each.
        std::deque<Queued> batch;
        batch.swap(queue_);
        lock.unlock();
        for (auto first = batch.begin(); first != batch.end();) {
            QByteArray lines;
            auto last = first;
            for (; last != batch.end() && last->date == first->date; ++last)
                lines += last->line.toUtf8() + '\n';
            writeLines(first->date, lines);
            first = last;
        }
        lock.lock();
        done_ += batch.size();
        written_.notify_all();
    }
    closeFile();
}

void AsRunLog::writeLines(const QDate& date, const QByteArray& lines) {
    if (fd_ < 0 || fileDate_ != date) {
        if (const std::optional<QString> failure = openFor(date)) {
            fail(*failure);
            return;
        }
    }
    if (const int error = appendWhole(fd_, lines)) {
        // Opened again for the next line: the disk may have room by then.
        closeFile();
        fail(failureText(fileFor(fileDate_), QString::fromLocal8Bit(std::strerror(error))));
        return;
    }
    failing_ = false;
}

std::optional<QString> AsRunLog::openFor(const QDate& date) {
    closeFile();
    const QString name = fileFor(date);
    // Made on every attempt, so a folder that comes back (a drive mounted
    // again) is written to without restarting the run.
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(folder_).toStdString(), error);
    if (error)
        return failureText(name, QString::fromStdString(error.message()));
    if (cleanedFor_ != date) {
        cleanedFor_ = date;
        removeOldFiles(date);
    }
    fd_ = ::open(QFile::encodeName(name).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                 0666);
    if (fd_ < 0)
        return failureText(name, QString::fromLocal8Bit(std::strerror(errno)));
    fileDate_ = date;
    return std::nullopt;
}

void AsRunLog::closeFile() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void AsRunLog::removeOldFiles(const QDate& date) {
    static const QRegularExpression dayFile(
        QStringLiteral("^as-run-(\\d{4}-\\d{2}-\\d{2})\\.log$"));
    const QDate oldestKept = date.addDays(-keptDays);
    const QStringList names =
        QDir(folder_).entryList({filePrefix + QLatin1String("*") + fileSuffix}, QDir::Files);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = dayFile.match(name);
        if (!match.hasMatch())
            continue;
        const QDate fileDate = QDate::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd"));
        if (fileDate.isValid() && fileDate < oldestKept)
            QFile::remove(QDir(folder_).filePath(name));
    }
}

void AsRunLog::fail(const QString& text) {
    if (failing_)
        return;
    failing_ = true;
    emit writeFailed(text);
}

} // namespace cantrel
