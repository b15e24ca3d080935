#include "app/PlanHintDelegate.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

namespace cantrel {

const PlanHint* PlanHintDelegate::hintAt(const QModelIndex& index) const {
    // The grid's header row is the view's header: the model's row 0 is day 1.
    const int day = index.row() + 1;
    if (index.column() != fileColumn_ || day < 1 || day > hints_.size() ||
        !index.data().toString().isEmpty() || hints_[day - 1].text.isEmpty())
        return nullptr;
    return &hints_[day - 1];
}

void PlanHintDelegate::initStyleOption(QStyleOptionViewItem* option,
                                       const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const PlanHint* hint = hintAt(index);
    if (!hint)
        return;
    option->text = hint->text;
    option->font.setItalic(true);
    const QColor grey = option->palette.color(QPalette::Disabled, QPalette::Text);
    option->palette.setColor(QPalette::Text, grey);
    option->palette.setColor(QPalette::HighlightedText,
                             option->palette.color(QPalette::Disabled, QPalette::HighlightedText));
}

bool PlanHintDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                 const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() == QEvent::ToolTip) {
        if (const PlanHint* hint = hintAt(index)) {
            QToolTip::showText(event->globalPos(), hint->toolTip, view);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

} // namespace cantrel
