// Interim: Run mode is built by the run engine work; until then these do nothing.
#include "app/TMainForm.h"

namespace cantrel {

void TMainForm::connectRunMode() {}
void TMainForm::RunButtonClick() {}
void TMainForm::PauseButtonClick() {}
void TMainForm::TimerTimer() {}
void TMainForm::ExecuteButtonClick() {}
void TMainForm::ExecuteCurrentRow() {}
void TMainForm::EnableEditControls(bool) {}
void TMainForm::EnableChildControls(QWidget*, bool) {}

} // namespace cantrel
