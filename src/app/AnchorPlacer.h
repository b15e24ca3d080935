#pragma once

#include <QObject>
#include <QRect>
#include <QSize>

#include <vector>

class QWidget;

namespace cantrel {

// Places children where the layout puts them and keeps each anchored edge
// at its distance from the same edge of the parent when the parent resizes
// (an edge anchored on both sides stretches the child).
class AnchorPlacer final : public QObject {
public:
    AnchorPlacer(QWidget* parent, QSize designSize);

    void place(QWidget* child, QRect designRect, Qt::Edges anchors = Qt::LeftEdge | Qt::TopEdge);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Item {
        QWidget* child;
        QRect rect;
        Qt::Edges anchors;
    };
    void arrange(const Item& item) const;

    QWidget* parent_;
    QSize designSize_;
    std::vector<Item> items_;
};

} // namespace cantrel
