// The devices of the matrix layout not placed yet. Entries are hidden and
// shown, never removed; a drag carries the entry's device id.
#pragma once

#include <QListWidget>
#include <QPoint>

class MatrixLayout;

class MatrixListWidget : public QListWidget {
    Q_OBJECT
public:
    explicit MatrixListWidget(QWidget* parent = nullptr);

    void setDialog(MatrixLayout* dialog) { m_dialog = dialog; }
    void startDeviceDrag(QPoint pos);

    // Event handlers, reachable for synthetic events.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QPoint m_pressPoint;
    int m_deviceIdRole = Qt::UserRole + 1;
    MatrixLayout* m_dialog = nullptr;
};
