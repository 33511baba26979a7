// The left-hand header of a layer or layer-group row: eye with the layer
// colour, title (renamed by a double click), lock mark, a group's expand
// arrow or a layer's effect-row button. Headers are dragged to reorder rows.
#pragma once

#include <QList>
#include <QPoint>
#include <QWidget>

class ClickLabel;
class ColorWidget;
class LayerTable;
class QLabel;
class QLineEdit;
class QMimeData;
class QPushButton;

class LayerInfoPanel : public QWidget {
    Q_OBJECT
public:
    // Kinds: a group, a layer at the top level, a layer inside a group.
    enum Kind { Folder = 0, TopLayer = 1, ChildLayer = 2 };

    LayerInfoPanel(int rowIndex, int kind, QWidget* parent = nullptr);

    int rowIndex() const { return m_rowIndex; }
    void setRowIndex(int row) { m_rowIndex = row; }
    int kind() const { return m_kind; }
    void setKind(int kind);
    void updateIndent();
    bool isFolder() const { return m_kind == Folder; }

    QString title() const;
    void setTitle(const QString& title);

    bool isSelected() const { return m_checked; }
    void setSelected(bool selected);
    bool isLocked() const { return m_locked; }
    void setLocked(bool locked);
    bool eyeIsHidden() const;
    void setEyeHidden(bool hidden);
    QString color() const;
    void setColor(const QString& name);
    // A group's arrow; checked means collapsed.
    bool isExpanded() const;
    void setExpanded(bool checked);

    // Shows or hides the layers of a group: hiding folds their effect rows
    // too, showing shows the layers with their effect rows folded.
    static void updateChildRows(int folderRow, bool hide);
    // The title made free among the other headers of the table.
    static QString uniqueTitle(const QString& text, int skipRow);
    static QString newLayerTitle();
    static bool isFolderChecked();

    // Where a header drag dropped at pos (header coordinates) would go:
    // 0 above, 1 below, 2 into, -1 nowhere.
    int dropPlaceAt(const QPoint& pos) const;
    QWidget* dropLine() const { return m_dropLine; }
    QLineEdit* titleEditor() const { return m_titleEditor; }
    QPushButton* effectButton() const { return m_effectButton; }
    QPushButton* expandArrow() const { return m_expandArrow; }
    ColorWidget* eye() const { return m_eye; }

    // The header drag's payload for this row and the rows it carries.
    QMimeData* dragData(QList<int>* rows);

public slots:
    void toggleEffectRows(bool checked);
    // Takes the finished text of the title editor.
    void finishRename();

signals:
    void eyeChanged(int rowIndex, bool hide);
    void allEyesChanged(int exclude);

private slots:
    void eyeMenuClicked();
    void eyeClicked();
    void reNameTitle(QPoint pos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void applyEye(bool hide);
    void startDrag();
    QPixmap dragPicture(const QList<int>& rows) const;
    void showDropLine(int place);

    int m_rowIndex;
    bool m_checked = false;
    ClickLabel* m_titleFrame = nullptr;
    ColorWidget* m_eye = nullptr;
    bool m_locked = false;
    QPushButton* m_lockMark = nullptr;
    QWidget* m_dropLine = nullptr;
    int m_kind;
    QWidget* m_indent = nullptr;
    QLabel* m_title = nullptr;
    QLineEdit* m_titleEditor = nullptr;
    QPushButton* m_expandArrow = nullptr;
    QPushButton* m_effectButton = nullptr;
    QPoint m_pressPos;
};
