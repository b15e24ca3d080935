// The window's tooltips: on the grid headers, the command buttons, the radio
// buttons and the status panels.
#include "app/ControlTips.h"
#include "app/MainWindow.h"
#include "device/RadioBank.h"
#include "schedule/ScheduleDocument.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace cantrel {

void MainWindow::explainControls() {
    daySchedule().rows().setHeaderToolTips(dayHeaderTips());
    monthCalendar().rows().setHeaderToolTips(monthHeaderTips());
    insertButton->setToolTip(QString::fromUtf8(kInsertTip));
    modifyButton->setToolTip(QString::fromUtf8(kModifyTip));
    removeButton->setToolTip(QString::fromUtf8(kRemoveTip));
    executeButton->setToolTip(QString::fromUtf8(kExecuteTip));
    browseMediaButton->setToolTip(QString::fromUtf8(kBrowseMediaTip));
    browseDayFileButton->setToolTip(QString::fromUtf8(kBrowseDayFileTip));
    runButton->setToolTip(runButtonTip(false));
    new PanelTips(connectionPanel, connectionPanelTip);
    new PanelTips(linkPanel, linkPanelTip);
    new PanelTips(nextRowPanel, nextRowPanelTip);
}

void MainWindow::showOutputs(int count) {
    radioBank_->enable(count);
    // A parallel connection offers outputs 1 to 4, a serial one all 16.
    const bool parallel = count < 16;
    for (int n = 1; n <= 16; ++n)
        if (QRadioButton* radio = radioBank_->button(n))
            radio->setToolTip(radioTip(n, parallel));
}

} // namespace cantrel
