#pragma once

#include "platform/Prompter.h"

namespace cantrel {

// The program's one open dialog and one save dialog, shared by every command
// that asks for a file. Each use sets its filter; the chosen file name
// carries over to the next use, and choosing a file makes its folder the
// current one, so the next dialog opens where the last one was closed.
class FileDialogs {
  public:
    explicit FileDialogs(Prompter& prompter);

    // The chosen path, or an empty text when the operator cancelled.
    QString chooseFileToOpen(const QString& filter);
    // Proposes proposedName; the dialog adds suffix to a name typed without
    // one and asks before it lets an existing file be chosen.
    QString chooseFileToSave(const QString& filter, const QString& suffix,
                             const QString& proposedName);

  private:
    using Show = QString (Prompter::*)(const FileDialogRequest&);
    QString choose(FileDialogRequest& dialog, Show show);

    Prompter& prompter_;
    FileDialogRequest open_;
    FileDialogRequest save_;
};

} // namespace cantrel
