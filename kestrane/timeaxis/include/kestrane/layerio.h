// The block of one timeline output command on its layer strip.
#pragma once

#include <QWidget>

class LayerIO : public QWidget {
    Q_OBJECT
public:
    // String outputs are this wide whatever their length.
    static constexpr int kStringOutputWidth = 100;

    LayerIO(int id, QWidget* panel);

    int id() const { return m_id; }
    int kind() const { return m_kind; }
    // Geometry from the record: at its time, as wide as its length.
    void refreshGeometry();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int m_mode = 2;
    int m_id;
    QWidget* m_panel;
    int m_kind = 0;
    QString m_normalStyle;
    QString m_focusStyle;
};
