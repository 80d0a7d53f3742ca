// The image list: one column "Filename", rows reordered by dragging them,
// several rows selected at once, Delete removing the selected rows.
//
// Dragging rows is this list's own mouse gesture, not a drag and drop
// between windows: the rows go wherever the button comes up inside the list,
// once, and a drag that ends outside the list or with Escape moves nothing.
#pragma once

#include <QList>
#include <QPoint>
#include <QStringList>
#include <QTimer>
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
    // The rows were moved by a drag.
    void reordered();
    void deletePressed();

protected:
    // Called once the pointer has moved past the drag distance from a row
    // pressed on: the gesture begins.
    void startDrag(Qt::DropActions supportedActions) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The row in front of which rows dropped at a viewport point go.
    int InsertionRow(QPoint at) const;
    void EndDrag(bool drop);
    void ScrollWhileDragging();

    bool m_dragging = false;
    QPoint m_pointer;  // the pointer in viewport coordinates
    QTimer m_scroll;   // scrolls while a drag holds the pointer at an edge
};
