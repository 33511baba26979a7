#include "kestrane/colorwidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

ColorWidget::ColorWidget(QWidget* parent) : QLabel(parent) {
    setStyleSheet(QStringLiteral(
        "QLabel {border-top:1px solid #454545;border-bottom:1px solid #141414;"
        "border-right:1px solid #141414;background-color:#424242;}"));
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
    setPixmap(QPixmap(QStringLiteral(":/images/timeaxis/eye.png")));
    m_colorName = QStringLiteral("无颜色");
    m_color = colorTable().value(m_colorName);
}

const QMap<QString, QColor>& ColorWidget::colorTable() {
    static const QMap<QString, QColor> table{
        {QStringLiteral("无颜色"), QColor(16, 16, 16, 75)},
        {QStringLiteral("红色"), QColor(255, 0, 0, 90)},
        {QStringLiteral("橙色"), QColor(255, 85, 0, 110)},
        {QStringLiteral("黄色"), QColor(255, 232, 28, 110)},
        {QStringLiteral("绿色"), QColor(0, 139, 0, 50)},
        {QStringLiteral("蓝色"), QColor(0, 0, 255, 50)},
        {QStringLiteral("紫色"), QColor(125, 38, 205, 50)},
    };
    return table;
}

void ColorWidget::setColorName(const QString& name) {
    m_color = colorTable().value(name);  // invalid when unknown
    m_colorName = name;
    // Yellow would vanish on the grey background.
    if (name == QStringLiteral("黄色"))
        setStyleSheet(QStringLiteral(
            "QLabel {border-top:1px solid #454545;border-right:1px solid #141414;background-color:#755555;}"));
    else
        setStyleSheet(QStringLiteral(
            "QLabel {border-top:1px solid #454545;border-right:1px solid #141414;background-color:#424242;}"));
    update();
}

void ColorWidget::setEyeHidden(bool hidden) {
    setPixmap(QPixmap(hidden ? QStringLiteral(":/images/timeaxis/eye_hide.png")
                             : QStringLiteral(":/images/timeaxis/eye.png")));
    m_eyeHidden = hidden ? 1 : 0;
    update();
}

void ColorWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton)
        emit rightClicked();
    QLabel::mousePressEvent(event);
}

void ColorWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void ColorWidget::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    // Translucent, so it tints the eye picture below.
    painter.fillRect(QRect(0, 1, width() - 1, height() - 1), m_color.isValid() ? QBrush(m_color) : QBrush(Qt::NoBrush));
}
