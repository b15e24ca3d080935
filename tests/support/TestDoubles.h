#pragma once

// Test doubles for the seams the machine cannot give a test: the wall clock,
// the operator's answers and the desktop's opener.
#include "platform/Clock.h"
#include "platform/MediaOpener.h"
#include "platform/Prompter.h"

#include <QList>
#include <QMutex>
#include <QStringList>

namespace cantrel::test {

class FakeClock final : public Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 12, 10), QTime(12, 0)))
        : now_(std::move(start)) {}
    QDateTime now() const override
    {
        QMutexLocker lock(&mutex_);
        return now_;
    }
    void set(const QDateTime& t)
    {
        QMutexLocker lock(&mutex_);
        now_ = t;
    }
    void advanceMs(qint64 ms)
    {
        QMutexLocker lock(&mutex_);
        now_ = now_.addMSecs(ms);
    }

private:
    mutable QMutex mutex_;
    QDateTime now_;
};

// Answers questions and file dialogs from scripts and records every box.
class ScriptedPrompter final : public Prompter {
public:
    struct Shown {
        QString kind; // "message", "error", "question"
        QString caption;
        QString text;
        QString detail = {}; // the line below the text
    };

    void message(const QString& caption, const QString& text, const QString& detail = {}) override
    {
        record({QStringLiteral("message"), caption, text, detail});
    }
    void error(const QString& caption, const QString& text, const QString& detail = {}) override
    {
        record({QStringLiteral("error"), caption, text, detail});
    }
    Answer question(const QString& caption, const QString& text) override
    {
        record({QStringLiteral("question"), caption, text});
        QMutexLocker lock(&mutex_);
        return answers.isEmpty() ? Answer::Cancel : answers.takeFirst();
    }
    QString openFile(const FileDialogRequest& request) override
    {
        QMutexLocker lock(&mutex_);
        openRequests.append(request);
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }
    QString saveFile(const FileDialogRequest& request) override
    {
        QMutexLocker lock(&mutex_);
        saveRequests.append(request);
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }

    QList<Shown> takeShown()
    {
        QMutexLocker lock(&mutex_);
        return std::exchange(shown, {});
    }
    // The texts of every box shown so far, and forget them.
    QStringList takeTexts()
    {
        QStringList texts;
        for (const Shown& s : takeShown())
            texts << s.text;
        return texts;
    }

    QList<Answer> answers;
    QStringList openAnswers;
    QStringList saveAnswers;
    QList<FileDialogRequest> openRequests;
    QList<FileDialogRequest> saveRequests;

private:
    void record(const Shown& s)
    {
        QMutexLocker lock(&mutex_);
        shown.append(s);
    }
    mutable QMutex mutex_;
    QList<Shown> shown;
};

class RecordingOpener final : public MediaOpener {
public:
    bool open(const QString& target, QString* why = nullptr) override
    {
        QMutexLocker lock(&mutex_);
        opened.append(target);
        if (!succeed && why)
            *why = QStringLiteral("no such file");
        return succeed;
    }
    QStringList takeOpened()
    {
        QMutexLocker lock(&mutex_);
        return std::exchange(opened, {});
    }
    // What has been opened so far, kept: safe to poll from QTRY_ macros,
    // which evaluate their expression again once it holds.
    QStringList openedSoFar()
    {
        QMutexLocker lock(&mutex_);
        return opened;
    }
    bool succeed = true;

private:
    QMutex mutex_;
    QStringList opened;
};

} // namespace cantrel::test
