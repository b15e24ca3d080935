#pragma once

#include <QString>

namespace cantrel {

// The caption of every plain message box and of the general error display.
inline const QString kProgramTitle = QStringLiteral("Cantrel");

enum class Answer { Ok, Yes, No, Cancel };

// What one use of the shared open or save dialog asks for. Filters are in
// the "Description|*.ext" form the program's texts use.
struct FileDialogRequest {
    QString filter;
    QString defaultSuffix;
    QString fileName;       // proposed file name, kept from one use to the next
    QString directory;      // where the dialog opens
    bool confirmOverwrite = false;
};

// Every message box and file dialog the program shows goes through here, so
// tests can answer them and read back what was shown.
class Prompter {
public:
    virtual ~Prompter() = default;
    // A plain box with an OK button. detail, when given, is a second line
    // below the text: what file or port the failure concerns, and why.
    virtual void message(const QString& caption, const QString& text,
                         const QString& detail = {}) = 0;
    // The general error display for failures that are not the program's texts.
    virtual void error(const QString& caption, const QString& text,
                       const QString& detail = {}) = 0;
    // A warning with Yes, No and Cancel.
    virtual Answer question(const QString& caption, const QString& text) = 0;
    // The chosen path, or an empty text when the operator cancelled.
    virtual QString openFile(const FileDialogRequest& request) = 0;
    virtual QString saveFile(const FileDialogRequest& request) = 0;
};

} // namespace cantrel
