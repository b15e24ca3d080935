#include "app/AnchorPlacer.h"

#include <QEvent>
#include <QWidget>

namespace cantrel {

AnchorPlacer::AnchorPlacer(QWidget* parent, QSize designSize)
    : QObject(parent), parent_(parent), designSize_(designSize)
{
    parent->installEventFilter(this);
}

void AnchorPlacer::place(QWidget* child, QRect designRect, Qt::Edges anchors)
{
    items_.push_back({child, designRect, anchors});
    arrange(items_.back());
}

void AnchorPlacer::arrange(const Item& item) const
{
    const int dx = parent_->width() - designSize_.width();
    const int dy = parent_->height() - designSize_.height();
    QRect r = item.rect;
    if (item.anchors & Qt::RightEdge) {
        if (item.anchors & Qt::LeftEdge)
            r.setWidth(std::max(0, r.width() + dx));
        else
            r.moveLeft(r.left() + dx);
    }
    if (item.anchors & Qt::BottomEdge) {
        if (item.anchors & Qt::TopEdge)
            r.setHeight(std::max(0, r.height() + dy));
        else
            r.moveTop(r.top() + dy);
    }
    item.child->setGeometry(r);
}

bool AnchorPlacer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent_ && event->type() == QEvent::Resize)
        for (const Item& item : items_)
            arrange(item);
    return QObject::eventFilter(watched, event);
}

} // namespace cantrel
