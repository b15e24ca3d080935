#include "schedule/CellEditor.h"

#include "schedule/StringGrid.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace cantrel {

CellEditor::CellEditor(StringGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

QWidget* CellEditor::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                  const QModelIndex& index) const {
    auto* line = new QLineEdit(parent);
    line->setFrame(false);
    if (index.column() == grid_->maskedColumn())
        line->setInputMask(QStringLiteral("99:99:99"));
    connect(line, &QLineEdit::textEdited, this, [this, line] {
        emit const_cast<CellEditor*>(this)->commitData(line);
    });
    return line;
}

void CellEditor::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* line = static_cast<QLineEdit*>(editor);
    QString text = index.data(Qt::EditRole).toString();
    if (text.isEmpty() && index.column() == grid_->maskedColumn())
        text = QStringLiteral("00:00:00");
    // Rewriting the same text would move the cursor under the operator's hands.
    if (line->text() != text)
        line->setText(text);
}

void CellEditor::setModelData(QWidget* editor, QAbstractItemModel* model,
                              const QModelIndex& index) const {
    model->setData(index, static_cast<QLineEdit*>(editor)->text(), Qt::EditRole);
}

bool CellEditor::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && grid_->offerKey(static_cast<QKeyEvent*>(event)))
        return true;
    return QStyledItemDelegate::eventFilter(watched, event);
}

} // namespace cantrel
