#pragma once

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace cantrel {

// One thing that happened during a run, as the as-run log records it.
struct AsRunEvent {
    QString event; // "run entered", "run left", "day loaded", "opened", "fired", "failed", "late",
                   // "missed", "link down", "link back", "settings loaded", "settings kept"
    QString rowTime; // the row's time as the day file has it; empty for events without a row
    QString output;  // the row's output number
    QString comment;
    QString media;                // the row's media file
    std::optional<qint64> lateMs; // how late, in ms, where it applies
    QString detail; // free text: the failure text, why missed, calendar/day file/run advance...
};

// The as-run log: one line per event of a run, appended to a file per day.
// The caller is the scheduler tick on the GUI thread, so write() only
// formats and queues; a thread of the log's own does the disk work and
// syncs every line to disk as it goes, so neither a crash nor a power cut
// loses a line already written. A log that cannot be written never holds the
// run up: its lines are dropped, a line that failed part-way is cut off again
// so the file keeps whole lines only, and writeFailed says so once.
class AsRunLog final : public QObject {
    Q_OBJECT
  public:
    // folder: where the day files go; created when missing (with parents).
    explicit AsRunLog(const QString& folder = defaultFolder(), QObject* parent = nullptr);
    // Writes out what is queued, then stops the writer thread.
    ~AsRunLog() override;

    // $XDG_STATE_HOME/cantrel when XDG_STATE_HOME is set and absolute,
    // else ~/.local/state/cantrel.
    static QString defaultFolder();
    // The line for an event at local time `at`, without a line end. Pure.
    static QString formatLine(const QDateTime& at, const AsRunEvent& event);
    // The line's first field: "2026-12-10 12:00:00.003 +01:00".
    static QString formatTime(const QDateTime& at);
    // The file the events of a local date go to: <folder>/as-run-YYYY-MM-DD.log.
    QString fileFor(const QDate& date) const;
    // Formats the line now, queues it for the writer thread and returns it.
    // Never waits for the disk.
    QString write(const QDateTime& at, const AsRunEvent& event);
    // Waits until every line queued so far is written (or failed).
    void flush();

  signals:
    // The log could not be written. Emitted at the first failure only, and
    // again after a line has since been written; from the writer thread.
    void writeFailed(const QString& text);

  private:
    struct Queued {
        QDate date;
        QString line;
    };

    void runWriter();
    // Writer thread: appends the lines of one date whole, synced, or not at
    // all, reporting a failure as the signal asks.
    void writeLines(const QDate& date, const QByteArray& lines);
    // Writer thread: the file for date open for appending, or a failure text.
    std::optional<QString> openFor(const QDate& date);
    void closeFile();
    // Writer thread: removes the day files too old to keep beside date's.
    void removeOldFiles(const QDate& date);
    void fail(const QString& text);

    const QString folder_;

    std::mutex mutex_;
    std::condition_variable wake_;    // the writer: a line queued, or stop
    std::condition_variable written_; // flush(): the writer has moved on
    std::deque<Queued> queue_;
    quint64 queued_ = 0; // lines queued since the start
    quint64 done_ = 0;   // of those, lines written or dropped
    bool stopping_ = false;

    // Writer thread only.
    int fd_ = -1; // the day file of fileDate_ open for appending, or -1
    QDate fileDate_;
    QDate cleanedFor_;
    bool failing_ = false;

    std::thread writer_;
};

} // namespace cantrel
