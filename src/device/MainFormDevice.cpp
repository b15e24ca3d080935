// The main window's side of the device link.
#include "app/TMainForm.h"

namespace cantrel {

void TMainForm::LoadPortLibrary() {}
void TMainForm::UnloadPortLibrary() {}
void TMainForm::CloseComPort() {}
void TMainForm::TestLinkTimerTimer() {}
void TMainForm::Port1Click() {}
void TMainForm::Sound1Click() {}
void TMainForm::RadioButtonClick(QObject*) {}
void TMainForm::PulseOutput(int) {}

} // namespace cantrel
