#include "drag_list_ctrl.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>

#include <algorithm>

CDragListCtrl::CDragListCtrl(QWidget* parent) : QTreeWidget(parent)
{
    setColumnCount(1);
    setHeaderLabels({"Filename"});
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
    header()->setStretchLastSection(true);
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
    clear();
    for (const QString& p : paths) {
        auto* item = new QTreeWidgetItem(this, QStringList{p});
        item->setData(0, Qt::UserRole, p);
        item->setToolTip(0, p);
        // Rows are dropped between rows, never into one.
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

void CDragListCtrl::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->source() == this)
        event->acceptProposedAction();
    else
        event->ignore();
}

void CDragListCtrl::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->source() != this) {
        event->ignore();
        return;
    }
    QTreeWidget::dragMoveEvent(event);
    event->accept();
}

void CDragListCtrl::dropEvent(QDropEvent* event)
{
    if (event->source() != this) {
        event->ignore();
        return;
    }
    const QPoint at = event->position().toPoint();
    const QModelIndex index = indexAt(at);
    int before = topLevelItemCount();
    if (index.isValid()) {
        const QRect r = visualRect(index);
        before = index.row() + (at.y() >= r.center().y() ? 1 : 0);
    }
    const QList<int> rows = SelectedRows();
    MoveRows(rows, before);
    // The rows are moved here; the drag must not remove them afterwards.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    emit reordered();
}

void CDragListCtrl::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete) {
        emit deletePressed();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}
