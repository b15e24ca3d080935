#include "app/TMainForm.h"
#include "schedule/DocumentText.h"

#include <QGroupBox>

namespace cantrel {

bool TMainForm::confirmDocumentClose(QGroupBox* panel, bool& modified, void (TMainForm::*save)()) {
    if (modified) {
        switch (prompter().question(QStringLiteral("Warning"), changedQuestion(panel->title()))) {
        case Answer::Cancel:
            return false;
        case Answer::Yes:
            (this->*save)();
            break;
        default:
            break;
        }
    }
    panel->setTitle(QString());
    modified = false;
    return true;
}

} // namespace cantrel
