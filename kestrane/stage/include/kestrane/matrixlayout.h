// The matrix layout: a set of display outputs arranged in rows and columns
// with overlaps counted in warp-grid cells (1/40 of an output), the edge
// blend widths that follow from it sent live, and the placement written into
// the device records on acceptance.
#pragma once

#include <QDialog>
#include <QList>
#include <QMap>
#include <QRectF>
#include <QString>

class QGraphicsScene;
class QGraphicsView;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QStringList;
class MatrixDeviceItem;
class MatrixListWidget;
class RadiusBackgroundWidget;

// Blend widths of one cell in grid cells; 0: no blending on that edge.
struct MatrixBlend {
    int top = 0;
    int left = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const MatrixBlend& o) const {
        return top == o.top && left == o.left && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const MatrixBlend& o) const { return !(*this == o); }
};

class MatrixLayout : public QDialog {
    Q_OBJECT
public:
    // The ids of the devices to arrange (at least one), in the caller's order.
    MatrixLayout(const QList<int>& deviceIds, QWidget* parent = nullptr);
    ~MatrixLayout() override;

    // The blend rule: one entry per cell (index row * columns + column). An
    // edge gets the overlap only when the neighbour across it is occupied;
    // outer edges and single rows or columns get 0.
    static QList<MatrixBlend> computeBlend(int rows, int columns, int h, int v, const QList<bool>& occupied);

    // Recomputes the blend and sends it to the devices whose widths changed.
    void applyBlend();
    // Hides or shows every list entry of that device.
    void setListItemHidden(int deviceId, bool hidden);
    // Empties the scene and makes one empty cell per matrix position.
    void rebuildGrid();
    // Puts the devices of a saved matrix back into their cells.
    void restorePlacement();

    // What the cells and the list read.
    QList<QRectF>* cellRects() { return &m_rects; }
    double viewScale() const { return m_scale; }
    const QList<int>& deviceIds() const { return m_ids; }
    // The cells, by index; a pointer not in this list is no cell of ours.
    const QList<MatrixDeviceItem*>& cells() const { return m_cells; }
    bool isCell(const void* item) const;
    QGraphicsScene* scene() const { return m_scene; }
    const QList<MatrixBlend>& cellBlend() const { return m_blend; }
    int rows() const { return m_rows; }
    int columns() const { return m_columns; }
    qint64 matrixStamp() const { return m_stamp; }

    // The form's widgets.
    struct Form {
        RadiusBackgroundWidget* topPanel = nullptr;
        QLabel* label_2 = nullptr;
        QPushButton* close = nullptr;
        QLabel* label_11 = nullptr;
        QGraphicsView* graphicsView = nullptr;
        QLabel* label = nullptr;
        MatrixListWidget* listWidget = nullptr;
        QGroupBox* contentGroup = nullptr;
        QLabel* demoPic = nullptr;
        QSpinBox* colNum = nullptr;
        QSpinBox* rowNum = nullptr;
        QGroupBox* contentGroup_2 = nullptr;
        QSlider* hSlider = nullptr;
        QLineEdit* hNum = nullptr;
        QSlider* vSlider = nullptr;
        QLineEdit* vNum = nullptr;
        QPushButton* group = nullptr;
        QPushButton* OK = nullptr;
        QPushButton* cancel = nullptr;
    };
    const Form& form() const { return m_form; }

    static constexpr int kDeviceIdRole = Qt::UserRole + 1;

public slots:
    void accept() override;
    void reject() override;

private slots:
    void rowNumChanged(int v);
    void colNumChanged(int v);
    void hDorodeNumChanged(QString str);
    void vDorodeNumChanged(QString str);

private:
    void setupUi();
    // The grid again after a change of rows or columns.
    void regrid();
    void computeBlend();
    // Each server once, in order of first appearance among the dialog's devices.
    QStringList serverIpsOfDevices() const;
    // Sends every server its world, rebuilt from the records as they are now.
    void resetServers(const QStringList& ips);

    Form m_form;
    QGraphicsScene* m_scene = nullptr;
    QList<int> m_ids;
    double m_sceneWidth = 3000.0;
    double m_sceneHeight = 2000.0;
    double m_outputWidth = 0.0;
    double m_outputHeight = 0.0;
    double m_cellWidth = 0.0;
    double m_cellHeight = 0.0;
    double m_scale = 0.125;
    double m_originX = 0.0;
    double m_originY = 0.0;
    double m_marginX = 0.0;
    double m_marginY = 0.0;
    int m_rows = 2;
    int m_columns = 2;
    QList<QRectF> m_rects;
    QList<QRectF> m_baseRects;
    QList<MatrixBlend> m_blend;
    QMap<int, MatrixBlend> m_lastApplied;
    qint64 m_stamp = 0;
    QList<MatrixDeviceItem*> m_cells;
};
