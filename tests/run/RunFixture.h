#pragma once

// A whole window for Run mode tests: the fake clock drives the ticks, the
// worker threads are real, the device pulse and the run advance's sleep are
// recorded instead of given.
#include "platform/ProgramError.h"
#include "run/RowWorker.h"
#include "run/RunEngine.h"
#include "schedule/DayScheduleFile.h"
#include "schedule/StringGrid.h"
#include "support/MainWindowFixture.h"

#include <QMutex>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWaitCondition>

#include <memory>

namespace cantrel::test {

// Stands in for the run advance's sleep: records what was asked and holds
// the worker until the test lets it go.
class SleepGate {
  public:
    void sleep(qint64 ms) {
        QMutexLocker lock(&mutex_);
        asked_.append(ms);
        while (!open_ && permits_ == 0)
            released_.wait(&mutex_);
        if (!open_)
            --permits_;
    }
    void release(int workers = 1) {
        QMutexLocker lock(&mutex_);
        permits_ += workers;
        released_.wakeAll();
    }
    void openForGood() {
        QMutexLocker lock(&mutex_);
        open_ = true;
        released_.wakeAll();
    }
    QList<qint64> asked() const {
        QMutexLocker lock(&mutex_);
        return asked_;
    }

  private:
    mutable QMutex mutex_;
    QWaitCondition released_;
    QList<qint64> asked_;
    int permits_ = 0;
    bool open_ = false;
};

// Forwards to the scripted prompter and notes whether the window was still
// in Run mode when each box came up.
class ModeProbePrompter final : public Prompter {
  public:
    ModeProbePrompter(ScriptedPrompter& inner, std::unique_ptr<MainWindow>& form)
        : inner_(inner), form_(form) {}
    void message(const QString& caption, const QString& text,
                 const QString& detail = {}) override {
        note();
        inner_.message(caption, text, detail);
    }
    void error(const QString& caption, const QString& text, const QString& detail = {}) override {
        note();
        inner_.error(caption, text, detail);
    }
    Answer question(const QString& caption, const QString& text) override {
        return inner_.question(caption, text);
    }
    QString openFile(const FileDialogRequest& r) override { return inner_.openFile(r); }
    QString saveFile(const FileDialogRequest& r) override { return inner_.saveFile(r); }

    QList<bool> inRunModeAtBox;

  private:
    void note() { inRunModeAtBox.append(form_ && form_->runEngine()->running()); }
    ScriptedPrompter& inner_;
    std::unique_ptr<MainWindow>& form_;
};

struct RunFixture : MainWindowFixture {
    ModeProbePrompter probe{prompter, form};
    std::shared_ptr<SleepGate> sleeps = std::make_shared<SleepGate>();
    QList<int> pulses;
    // When set, the pulse fails with this text.
    QString pulseFailure;
    const QDate today{2026, 12, 10};

    ~RunFixture() {
        sleeps->openForGood();
        form.reset();
        // No worker may outlive the test that started it.
        if (!QTest::qWaitFor([] { return RowWorker::liveCount() == 0; }, 10000))
            qFatal("workers still alive after the test");
    }

    // The window with its start-up done. A real opener, clock or prompter
    // stands in for the test's own when given.
    void start(MediaOpener* desktop = nullptr, Clock* realClock = nullptr,
               Prompter* realPrompter = nullptr) {
        form = std::make_unique<MainWindow>(MainWindow::Services{
            realClock ? realClock : &clock, realPrompter ? realPrompter : &probe,
            desktop ? desktop : &opener, programFolder()});
        if (!form->start())
            qFatal("start-up failed");
        form->runEngine()->setPulseHook([this](int output) {
            pulses.append(output);
            if (!pulseFailure.isEmpty())
                throw ProgramError(pulseFailure);
        });
        form->runEngine()->link()->setSleepHook([gate = sleeps](qint64 ms) { gate->sleep(ms); });
    }

    // A .24h file of (time, output, comment, media) rows, named for a day.
    QString writeDay(const QString& name, const QList<QStringList>& rows) const {
        QList<QStringList> cells;
        for (const QStringList& r : rows)
            cells.append(QStringList{QString()} + r);
        write(name, writeDayRows(cells));
        return path(name);
    }
    void setCalendar(int day, const QString& file) { form->monthGrid->setCell(2, day, file); }

    static QDateTime at(QDate date, QTime time) { return QDateTime(date, time); }
    QDateTime at(QTime time) const { return at(today, time); }

    void enterRun(const QDateTime& when) {
        clock.set(when);
        form->runButton->click();
    }
    void tick(const QDateTime& when) {
        clock.set(when);
        form->runEngine()->tick();
    }
    void tick(QTime time) { tick(at(time)); }

    QStringList dayMarks() const {
        QStringList marks;
        for (int r = 1; r < form->dayGrid->rowCount(); ++r)
            marks << form->dayGrid->cell(0, r);
        return marks;
    }
    QStringList monthMarks() const {
        QStringList marks;
        for (int d = 1; d <= 31; ++d)
            marks << form->monthGrid->cell(0, d);
        return marks;
    }
    bool inRunMode() const {
        return form->runEngine()->running() &&
               form->windowTitle() == QLatin1String("Cantrel 1.18 - Run mode");
    }
    bool inEditMode() const {
        return !form->runEngine()->running() &&
               form->windowTitle() == QLatin1String("Cantrel 1.18 - Edit mode") &&
               form->runButton->text() == QLatin1String("Run");
    }
    static bool workersDone() {
        return QTest::qWaitFor([] { return RowWorker::liveCount() == 0; }, 5000);
    }
};

// Month marks with "+" on the given days only.
inline QStringList plusOn(std::initializer_list<int> days) {
    QStringList marks(31);
    for (int d : days)
        marks[d - 1] = QStringLiteral("+");
    return marks;
}

} // namespace cantrel::test
