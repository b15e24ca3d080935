#pragma once

#include "schedule/PlanMonth.h"

#include <QStyledItemDelegate>

namespace cantrel {

// Draws, in the month grid's file column, what the plan gives a day whose
// entry is empty: greyed and in italics, with the rule as its tool tip. The
// cell itself stays empty, so nothing of it reaches the calendar's file.
class PlanHintDelegate final : public QStyledItemDelegate {
    Q_OBJECT
  public:
    PlanHintDelegate(int fileColumn, QObject* parent = nullptr)
        : QStyledItemDelegate(parent), fileColumn_(fileColumn) {}

    // Days 1 to 31; none at all when the calendar has no plan.
    void setHints(QList<PlanHint> hints) { hints_ = std::move(hints); }
    // The hint the grid shows at that cell, or none.
    const PlanHint* hintAt(const QModelIndex& index) const;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

  private:
    int fileColumn_;
    QList<PlanHint> hints_;
};

} // namespace cantrel
