// The table of the output-control list: one row per string output, newest
// on top. A row dragged onto a layer of the time axis places an output
// command there; a double click or the context menu edits it.
#pragma once

#include <QPoint>
#include <QTableWidget>

class QMimeData;
struct OutControlRecord;

class OutControlTable : public QTableWidget {
    Q_OBJECT
public:
    explicit OutControlTable(QWidget* parent = nullptr);

    // Runs the edit dialog for the control of that row and stores the answer.
    void editRow(int row);
    // Drags the current row's control ("type" = "outControl", "groupId").
    void startDrag();
    // The drag data of the current row; null without one.
    QMimeData* dragData() const;
    // Fills a row from the record (column 0 name, icon and id, column 1 the
    // description, column 2 empty).
    void setRow(int row, const OutControlRecord& record);
    // "TCP 10.0.0.5:4000" for a network port; for a serial port the display
    // device's name, or "None Selected" when it names none.
    static QString description(const OutControlRecord& record);
    // The control id of a row, 0 when none.
    int rowId(int row) const;

signals:
    void delCurrentItem();

protected:
    using QAbstractItemView::startDrag;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QPoint contentPos(const QPoint& viewportPos) const;

    QPoint m_pressPoint;
    int m_role = Qt::UserRole + 1;
};
