#include "schedule/DocumentText.h"

#include "platform/LockedFile.h"
#include "platform/ProgramError.h"

namespace cantrel {

QString changedQuestion(const QString& documentName) {
    return QStringLiteral("The file ") + documentName +
           QStringLiteral(" was changed, would you like to save the changes?");
}

void saveDocument(const QString& path, const QByteArray& bytes) {
    QString why;
    const ReplaceResult result = replaceFile(path, bytes, &why);
    if (result == ReplaceResult::Replaced)
        return;
    throw ProgramError(result == ReplaceResult::CannotCreate ? QStringLiteral("Can't create file!")
                                                             : QStringLiteral("Can't write file!"),
                       path.isEmpty() ? why : QStringLiteral("%1: %2").arg(path, why));
}

} // namespace cantrel
