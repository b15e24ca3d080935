// The settings file "Cantrel.ini".
#include "app/TMainForm.h"

namespace cantrel {

void TMainForm::ReadSettings() {}

void TMainForm::WriteSettings() {}

} // namespace cantrel
