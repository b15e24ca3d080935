#pragma once

#include "schedule/StringGridModel.h"

#include <QObject>
#include <QString>

#include <functional>

namespace cantrel {

class Prompter;

// How the file dialogs offer one kind of document's files.
struct DocumentFileType {
    QString filter; // "Description|*.ext"
    QString suffix; // given to a name typed without one
};

// What the day schedule and the month calendar have in common: their rows,
// their name (what the window shows as the panel's title), whether they have
// unsaved changes and whether they came from or went to a file, so that Save
// writes without asking.
class ScheduleDocument : public QObject {
    Q_OBJECT
  public:
    StringGridModel& rows() const { return *rows_; }
    virtual DocumentFileType fileType() const = 0;

    QString name() const { return name_; }
    void setName(const QString& name);
    bool isModified() const { return modified_; }
    void setModified(bool modified) { modified_ = modified; }
    bool hasFile() const { return hasFile_; }
    void setHasFile(bool hasFile) { hasFile_ = hasFile; }
    // A run without a window reads files it may not write (an
    // administrator's schedules); the window's loads need them writable.
    void setReadOnlyLoads(bool allowed) { readOnlyLoads_ = allowed; }

    // The question about unsaved changes, asked only when there are any:
    // Cancel keeps everything and gives false; Yes saves through save (a
    // failure of that save goes on to the caller). Otherwise the name is
    // emptied and the document counts as unmodified, ready to be replaced.
    bool confirmClose(Prompter& prompter, const std::function<void()>& save);

    // Replaces the rows with those of a new, untitled document.
    virtual void startNew() = 0;
    // Raises the failure for a name that no load could take, for the File
    // commands to give before they ask anything; by default none.
    virtual void checkFileName(const QString& name) const;
    // Fills the rows from the file and takes its name; each document says
    // what its failures leave behind.
    virtual void load(const QString& name) = 0;
    // Writes the rows to the file of that name, or to the document's own name
    // when it is empty. Raises "Can't create file!" / "Can't write file!".
    virtual void write(const QString& name) = 0;

  signals:
    void nameChanged(const QString& name);

  protected:
    ScheduleDocument(int colCount, int rowCount, QObject* parent);
    bool readOnlyLoads() const { return readOnlyLoads_; }
    // The file's bytes for a load, or the failure with text, naming the file
    // and why it could not be read.
    QByteArray readForLoad(const QString& name, const QString& text) const;

  private:
    StringGridModel* rows_;
    QString name_;
    bool modified_ = false;
    bool hasFile_ = false;
    bool readOnlyLoads_ = false;
};

// The day schedule: rows of mark, time, output, comment and media file under
// a header row; always at least one row.
class DaySchedule final : public ScheduleDocument {
    Q_OBJECT
  public:
    explicit DaySchedule(QObject* parent = nullptr);

    // ".24h files", suffix "24h".
    DocumentFileType fileType() const override;
    // "Untitled.24h" with one empty row.
    void startNew() override;
    // Raises ".24h file don't specified" for an empty name.
    void checkFileName(const QString& name) const override;
    // Reads the file into the rows, every mark empty. Raises ".24h file don't
    // specified" for an empty name and "Can't load .24h file" when the file
    // cannot be opened; the document is then as it was.
    void load(const QString& name) override;
    void write(const QString& name) override;
};

// The month calendar: rows 1 to 31 of mark, day number and day schedule file.
class MonthCalendar final : public ScheduleDocument {
    Q_OBJECT
  public:
    explicit MonthCalendar(QObject* parent = nullptr);

    // ".31d files", suffix "31d".
    DocumentFileType fileType() const override;
    // "Untitled.31d" with every day empty.
    void startNew() override;
    // Raises "Can't load .31d file!" when the file cannot be opened (an empty
    // name included), and the platform's "'x' is not a valid integer value"
    // for a day that is not a number; a day outside 1..31 changes nothing.
    void load(const QString& name) override;
    void write(const QString& name) override;
    // Reads its own file anew: every day's file as the file now has it (a
    // day it no longer names is empty), the day marks kept. Raises what
    // load raises; the calendar is then as it was.
    void reload();
};

} // namespace cantrel
