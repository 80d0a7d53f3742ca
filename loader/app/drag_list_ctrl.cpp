#include "drag_list_ctrl.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace {

constexpr int kScrollIntervalMs = 50;

}  // namespace

CDragListCtrl::CDragListCtrl(QWidget* parent) : QTreeWidget(parent)
{
    setColumnCount(1);
    setHeaderLabels({"Filename"});
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // The view's own press and drag-distance handling (a press on a selected
    // row keeps the others selected) leads to startDrag below.
    setDragEnabled(true);
    setAcceptDrops(false);
    header()->setStretchLastSection(true);
    m_scroll.setInterval(kScrollIntervalMs);
    connect(&m_scroll, &QTimer::timeout, this, &CDragListCtrl::ScrollWhileDragging);
}

QStringList CDragListCtrl::Paths() const
{
    QStringList paths;
    for (int i = 0; i < topLevelItemCount(); i++)
        paths.append(topLevelItem(i)->data(0, Qt::UserRole).toString());
    return paths;
}

void CDragListCtrl::SetPaths(const QStringList& paths)
{
    if (m_dragging)
        EndDrag(false);
    clear();
    for (const QString& p : paths) {
        auto* item = new QTreeWidgetItem(this, QStringList{p});
        item->setData(0, Qt::UserRole, p);
        item->setToolTip(0, p);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled);
    }
}

QList<int> CDragListCtrl::SelectedRows() const
{
    QList<int> rows;
    for (QTreeWidgetItem* item : selectedItems())
        rows.append(indexOfTopLevelItem(item));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CDragListCtrl::MoveRows(QList<int> rows, int before)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<QTreeWidgetItem*> moved;
    for (int i = int(rows.size()) - 1; i >= 0; i--) {
        const int row = rows[i];
        if (row < 0 || row >= topLevelItemCount())
            continue;
        if (row < before)
            before--;
        moved.prepend(takeTopLevelItem(row));
    }
    before = std::clamp(before, 0, topLevelItemCount());
    insertTopLevelItems(before, moved);
    clearSelection();
    for (QTreeWidgetItem* item : moved)
        item->setSelected(true);
    if (!moved.isEmpty())
        setCurrentItem(moved.first(), 0, QItemSelectionModel::NoUpdate);
}

void CDragListCtrl::startDrag(Qt::DropActions)
{
    if (SelectedRows().isEmpty())
        return;
    m_dragging = true;
    viewport()->setCursor(Qt::DragMoveCursor);
    viewport()->update();
}

void CDragListCtrl::mousePressEvent(QMouseEvent* event)
{
    if (!m_dragging)  // another button under a drag selects nothing
        QTreeWidget::mousePressEvent(event);
}

void CDragListCtrl::mouseMoveEvent(QMouseEvent* event)
{
    m_pointer = event->position().toPoint();
    if (!m_dragging) {
        QTreeWidget::mouseMoveEvent(event);
        return;
    }
    const int margin = autoScrollMargin();
    const bool atEdge = m_pointer.y() < margin || m_pointer.y() >= viewport()->height() - margin;
    if (atEdge && !m_scroll.isActive())
        m_scroll.start();
    else if (!atEdge)
        m_scroll.stop();
    viewport()->update();
}

void CDragListCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging) {
        QTreeWidget::mouseReleaseEvent(event);
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    m_pointer = event->position().toPoint();
    EndDrag(true);
}

void CDragListCtrl::keyPressEvent(QKeyEvent* event)
{
    if (m_dragging) {
        if (event->key() == Qt::Key_Escape)
            EndDrag(false);
        return;  // nothing else changes the list under a drag
    }
    if (event->key() == Qt::Key_Delete) {
        emit deletePressed();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CDragListCtrl::focusOutEvent(QFocusEvent* event)
{
    if (m_dragging)
        EndDrag(false);
    QTreeWidget::focusOutEvent(event);
}

int CDragListCtrl::InsertionRow(QPoint at) const
{
    const QModelIndex index = indexAt(at);
    if (!index.isValid())
        return at.y() < 0 ? 0 : topLevelItemCount();
    return index.row() + (at.y() >= visualRect(index).center().y() ? 1 : 0);
}

void CDragListCtrl::EndDrag(bool drop)
{
    m_dragging = false;
    m_scroll.stop();
    viewport()->unsetCursor();
    viewport()->update();
    if (!drop || !viewport()->rect().contains(m_pointer))
        return;
    const QStringList before = Paths();
    MoveRows(SelectedRows(), InsertionRow(m_pointer));
    if (Paths() != before)
        emit reordered();
}

void CDragListCtrl::ScrollWhileDragging()
{
    if (!m_dragging) {
        m_scroll.stop();
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() + (m_pointer.y() < autoScrollMargin() ? -bar->singleStep() : bar->singleStep()));
    viewport()->update();
}

void CDragListCtrl::paintEvent(QPaintEvent* event)
{
    QTreeWidget::paintEvent(event);
    if (!m_dragging || !viewport()->rect().contains(m_pointer) || topLevelItemCount() == 0)
        return;
    // A line where the rows would go.
    const int row = InsertionRow(m_pointer);
    const int y = row < topLevelItemCount() ? visualItemRect(topLevelItem(row)).top()
                                            : visualItemRect(topLevelItem(row - 1)).bottom() + 1;
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawLine(0, y, viewport()->width(), y);
}
