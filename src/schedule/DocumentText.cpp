#include "schedule/DocumentText.h"

#include "platform/LockedFile.h"
#include "platform/ProgramError.h"

namespace cantrel {

QString changedQuestion(const QString& documentName) {
    return QStringLiteral("The file ") + documentName +
           QStringLiteral(" was changed, would you like to save the changes?");
}

void saveDocument(const QString& path, const QByteArray& bytes) {
    switch (replaceFile(path, bytes)) {
    case ReplaceResult::Replaced:
        return;
    case ReplaceResult::CannotCreate:
        throw ProgramError(QStringLiteral("Can't create file!"));
    case ReplaceResult::CannotWrite:
        throw ProgramError(QStringLiteral("Can't write file!"));
    }
}

} // namespace cantrel
