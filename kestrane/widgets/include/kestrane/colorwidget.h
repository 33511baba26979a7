// The colour tag and eye toggle at the head of a timeline layer.
#pragma once

#include <QColor>
#include <QLabel>
#include <QMap>
#include <QString>

class ColorWidget : public QLabel {
    Q_OBJECT
public:
    explicit ColorWidget(QWidget* parent = nullptr);

    // The tag colours by name, "无颜色" (none) first.
    static const QMap<QString, QColor>& colorTable();

    // An unknown name gives an invalid colour, which tints nothing.
    void setColorName(const QString& name);
    void setEyeHidden(bool hidden);

    QColor color() const { return m_color; }
    QString colorName() const { return m_colorName; }
    int eyeHidden() const { return m_eyeHidden; }

signals:
    void clicked();
    void rightClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
    QString m_colorName;
    int m_eyeHidden = 0;
};
