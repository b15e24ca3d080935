#pragma once

#include <QObject>
#include <QString>

namespace cantrel {

class FileDialogs;
class Prompter;
class ScheduleDocument;

// The File menu's commands for one document: New, Load, Save and Save As.
// Whatever replaces the document asks first about its unsaved changes; Yes
// to that question saves as Save does.
class DocumentFiles final : public QObject {
    Q_OBJECT
  public:
    DocumentFiles(ScheduleDocument& document, Prompter& prompter, FileDialogs& dialogs,
                  QObject* parent = nullptr);

    ScheduleDocument& document() const { return document_; }

    // The question about unsaved changes: false when the operator cancelled.
    bool confirmClose();
    void newDocument();
    // A name the document refuses outright fails before anything is asked;
    // otherwise the question comes first, then the load.
    void load(const QString& name);
    // The open dialog for the document's files, then the load of the file
    // chosen.
    void openChosen();
    // Writes to the document's own file without asking, or asks for one as
    // Save As does when it has none.
    void save();
    // The save dialog, proposing the document's name; nothing happens when
    // the operator cancels it.
    void saveAs();

  signals:
    // The document's rows were replaced by a file's.
    void loaded();

  private:
    ScheduleDocument& document_;
    Prompter& prompter_;
    FileDialogs& dialogs_;
};

} // namespace cantrel
