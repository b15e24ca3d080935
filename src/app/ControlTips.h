#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLabel;

namespace cantrel {

// What the window says of its own controls when the pointer rests on them:
// short texts for an operator who has not read the guide.

// The header tips of the day schedule's and the calendar's columns, in
// column order.
QStringList dayHeaderTips();
QStringList monthHeaderTips();

extern const char* const kInsertTip;
extern const char* const kModifyTip;
extern const char* const kRemoveTip;
extern const char* const kExecuteTip;
extern const char* const kBrowseMediaTip;
extern const char* const kBrowseDayFileTip;

// The Run button: Run in Edit mode, Pause in Run mode.
QString runButtonTip(bool running);

// A radio button of the bank: its output, and on a parallel connection the
// data line and connector pin that output pulses.
QString radioTip(int output, bool parallel);

// What the text a status panel shows now means.
QString connectionPanelTip(const QString& text);
QString linkPanelTip(const QString& text);
QString nextRowPanelTip(const QString& text);

// Gives a status panel its tip from its text at the moment the pointer
// asks, so the tip always speaks of what the panel shows.
class PanelTips final : public QObject {
  public:
    using Explain = QString (*)(const QString&);
    PanelTips(QLabel* panel, Explain explain);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLabel* panel_;
    Explain explain_;
};

} // namespace cantrel
