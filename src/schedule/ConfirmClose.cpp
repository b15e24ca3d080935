#include "app/TMainForm.h"
#include "schedule/DocumentText.h"
#include "schedule/ScheduleDocument.h"


namespace cantrel {

bool TMainForm::confirmDocumentClose(ScheduleDocument& document, void (TMainForm::*save)()) {
    if (document.isModified()) {
        switch (prompter().question(QStringLiteral("Warning"), changedQuestion(document.name()))) {
        case Answer::Cancel:
            return false;
        case Answer::Yes:
            (this->*save)();
            break;
        default:
            break;
        }
    }
    document.setName(QString());
    document.setModified(false);
    return true;
}

} // namespace cantrel
