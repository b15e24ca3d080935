#include "schedule/StringGrid.h"

#include "schedule/CellEditor.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QStyleOptionViewItem>
#include <QScrollBar>

namespace cantrel {

namespace {

constexpr int kRowHeight = 16;

// The item views' text sits one pixel from the grid line instead of three.
class NarrowCellStyle final : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_FocusFrameHMargin)
            return 0;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

StringGrid::StringGrid(Kind kind, int colCount, int rowCount, QWidget* parent)
    : StringGrid(kind, new StringGridModel(colCount, rowCount, kind == Kind::Document ? 1 : 0),
                 parent) {
    model_->setParent(this);
}

StringGrid::StringGrid(Kind kind, StringGridModel* rows, QWidget* parent)
    : QTableView(parent), model_(rows) {
    setModel(model_);
    setShowGrid(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    // Narrow cells as laid out ("00:00:00" in 48 pixels) need the text close
    // to the grid lines. (A style sheet would do the same, but it stops the
    // window's dialog font from reaching the grid.)
    auto* style = new NarrowCellStyle;
    style->setParent(this);
    setStyle(style);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(kRowHeight);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setMinimumSectionSize(0);
    horizontalHeader()->setFixedHeight(kRowHeight + 2);
    horizontalHeader()->setStretchLastSection(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    if (kind == Kind::Document) {
        setSelectionBehavior(QAbstractItemView::SelectRows);
        setEditTriggers(QAbstractItemView::NoEditTriggers);
        // Tab leaves a document grid for the next control.
        setTabKeyNavigation(false);
    } else {
        horizontalHeader()->hide();
        setSelectionBehavior(QAbstractItemView::SelectItems);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setTabKeyNavigation(true);
        model_->setEditable(true);
        setItemDelegate(new CellEditor(this));
        setEditTriggers(QAbstractItemView::AllEditTriggers);
    }
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (!current.isValid())
                    return;
                if (columnGuard_) {
                    const int allowed = columnGuard_(previous.isValid() ? previous.column() : 0,
                                                     current.column());
                    if (allowed != current.column()) {
                        setCurrent(current.row() + fixedRows(), allowed);
                        return;
                    }
                }
                if (!quiet_)
                    emit selectCell(current.column(), current.row() + fixedRows());
            });
    connect(model_, &StringGridModel::structureAboutToChange, this, &StringGrid::holdCurrentCell);
    connect(model_, &StringGridModel::structureChanged, this, &StringGrid::restoreCurrentCell);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { emit topLeftChanged(); });
    // Column borders are dragged on the header: its mouse-up counts as the grid's.
    horizontalHeader()->viewport()->installEventFilter(this);
    // Like any grid, it starts with its first row current.
    if (this->rowCount() > fixedRows()) {
        quiet_ = true;
        setCurrent(fixedRows(), 0);
        quiet_ = false;
    }
}

bool StringGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == horizontalHeader()->viewport()) {
        if (event->type() == QEvent::MouseButtonRelease)
            emit mouseReleased();
        else if (event->type() == QEvent::MouseButtonDblClick &&
                 static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            emit doubleClickedAnywhere();
    }
    return QTableView::eventFilter(watched, event);
}

int StringGrid::row() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() + fixedRows() : fixedRows();
}

int StringGrid::col() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.column() : 0;
}

void StringGrid::setCurrent(int row, int col) {
    const QModelIndex at = model_->index(row - fixedRows(), col);
    QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect;
    if (selectionBehavior() == SelectRows)
        flags |= QItemSelectionModel::Rows;
    selectionModel()->setCurrentIndex(at, flags);
}

void StringGrid::setRow(int row, bool notify) {
    const bool wasQuiet = quiet_;
    quiet_ = wasQuiet || !notify;
    setCurrent(row, col());
    quiet_ = wasQuiet;
}

void StringGrid::setCol(int col) {
    setCurrent(row(), col);
}

void StringGrid::holdCurrentCell() {
    held_ = {row(), col(), quiet_};
    quiet_ = true;
}

void StringGrid::restoreCurrentCell() {
    if (rowCount() > fixedRows())
        setCurrent(std::min(held_.row, rowCount() - 1), held_.col);
    quiet_ = held_.quiet;
}

void StringGrid::removeRow(int row) {
    model_->removeGridRow(row);
    // Another row now stands under the selection (the one below moved up,
    // or the selection moved up from a removed last row): that is a change
    // of the selected row like any other.
    if (rowCount() > fixedRows())
        emit selectCell(col(), this->row());
}

int StringGrid::defaultRowHeight() const {
    return verticalHeader()->defaultSectionSize();
}

int StringGrid::widthShowing(QString text) const {
    const QFontMetrics metrics = fontMetrics();
    QChar widest = QLatin1Char('0');
    for (char digit = '1'; digit <= '9'; ++digit)
        if (metrics.horizontalAdvance(QLatin1Char(digit)) > metrics.horizontalAdvance(widest))
            widest = QLatin1Char(digit);
    for (QChar& c : text)
        if (c.isDigit())
            c = widest;

    QStyleOptionViewItem option;
    option.initFrom(this);
    option.font = font();
    option.fontMetrics = metrics;
    option.text = text;
    option.features = QStyleOptionViewItem::HasDisplay;
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    option.textElideMode = Qt::ElideNone;
    const QSize cell = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this);
    return cell.width() + (showGrid() ? 1 : 0);
}

int StringGrid::leftCol() const {
    return horizontalScrollBar()->value();
}

void StringGrid::setLeftCol(int col) {
    if (leftCol() != col)
        horizontalScrollBar()->setValue(col);
}

void StringGrid::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    emit mouseReleased();
}

void StringGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit doubleClickedAnywhere();
}

bool StringGrid::offerKey(QKeyEvent* event) {
    bool handled = false;
    emit keyPressed(event, &handled);
    return handled;
}

// A document grid is not typed into: besides the keys its handlers take,
// only the keys that move the selection act on it.
static bool movesSelection(const QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    case Qt::Key_Home:
    case Qt::Key_End:
        // Without Ctrl these only walk the columns of the selected row.
        return event->modifiers() & Qt::ControlModifier;
    default:
        return false;
    }
}

void StringGrid::keyPressEvent(QKeyEvent* event) {
    if (offerKey(event))
        return;
    if (editTriggers() == NoEditTriggers && !movesSelection(event)) {
        event->ignore();
        return;
    }
    QTableView::keyPressEvent(event);
}

void StringGrid::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    emit focused();
    // An editor grid shows its cell editor whenever it has the focus.
    if (editTriggers() != NoEditTriggers && currentIndex().isValid())
        edit(currentIndex());
}

bool StringGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (columnGuard_ && index.isValid() && columnGuard_(index.column(), index.column()) != index.column())
        return false;
    return QTableView::edit(index, trigger, event);
}

} // namespace cantrel
