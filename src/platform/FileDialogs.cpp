#include "platform/FileDialogs.h"

#include <QDir>
#include <QFileInfo>

namespace cantrel {

FileDialogs::FileDialogs(Prompter& prompter) : prompter_(prompter) {
    save_.confirmOverwrite = true;
}

QString FileDialogs::chooseFileToOpen(const QString& filter) {
    open_.filter = filter;
    return choose(open_, &Prompter::openFile);
}

QString FileDialogs::chooseFileToSave(const QString& filter, const QString& suffix,
                                      const QString& proposedName) {
    save_.filter = filter;
    save_.defaultSuffix = suffix;
    save_.fileName = proposedName;
    return choose(save_, &Prompter::saveFile);
}

QString FileDialogs::choose(FileDialogRequest& dialog, Show show) {
    dialog.directory = QDir::currentPath();
    const QString path = (prompter_.*show)(dialog);
    if (!path.isEmpty()) {
        dialog.fileName = path;
        QDir::setCurrent(QFileInfo(path).absolutePath());
    }
    return path;
}

} // namespace cantrel
