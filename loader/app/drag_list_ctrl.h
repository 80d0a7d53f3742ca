// The image list: one column "Filename", rows reordered by dragging them,
// several rows selected at once, Delete removing the selected rows.
#pragma once

#include <QList>
#include <QStringList>
#include <QTreeWidget>

class CDragListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CDragListCtrl(QWidget* parent = nullptr);

    QStringList Paths() const;
    void SetPaths(const QStringList& paths);
    QList<int> SelectedRows() const;

    // Moves the rows (in their order) in front of row before (the row count
    // for the end); the moved rows stay selected.
    void MoveRows(QList<int> rows, int before);

signals:
    void reordered();
    void deletePressed();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
