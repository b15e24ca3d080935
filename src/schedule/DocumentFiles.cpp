#include "schedule/DocumentFiles.h"

#include "platform/FileDialogs.h"
#include "schedule/ScheduleDocument.h"

namespace cantrel {

DocumentFiles::DocumentFiles(ScheduleDocument& document, Prompter& prompter, FileDialogs& dialogs,
                             QObject* parent)
    : QObject(parent), document_(document), prompter_(prompter), dialogs_(dialogs) {}

bool DocumentFiles::confirmClose() {
    return document_.confirmClose(prompter_, [this] { save(); });
}

void DocumentFiles::newDocument() {
    if (confirmClose())
        document_.startNew();
}

void DocumentFiles::load(const QString& name) {
    document_.checkFileName(name);
    if (!confirmClose())
        return;
    document_.load(name);
    emit loaded();
}

void DocumentFiles::openChosen() {
    const QString path = dialogs_.chooseFileToOpen(document_.fileType().filter);
    if (!path.isEmpty())
        load(path);
}

void DocumentFiles::save() {
    if (document_.hasFile())
        document_.write(QString());
    else
        saveAs();
}

void DocumentFiles::saveAs() {
    const DocumentFileType type = document_.fileType();
    const QString path = dialogs_.chooseFileToSave(type.filter, type.suffix, document_.name());
    if (!path.isEmpty())
        document_.write(path);
}

} // namespace cantrel
