#include "kestrane/loadingwidget.h"

#include <QPainter>
#include <QProgressBar>
#include <QStyleOption>
#include <QTimer>

LoadingWidget::LoadingWidget(QWidget* parent) : QDialog(parent) {
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setFixedSize(400, 300);
    setStyleSheet(QStringLiteral("background:url(:/images/loading.png)"));
    m_bar = new QProgressBar(this);
    m_bar->setFixedSize(180, 10);
    m_bar->move(180, 228);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    auto* timer = new QTimer(this);
    timer->setInterval(30);
    connect(timer, &QTimer::timeout, this, &LoadingWidget::slotTimeOut);
    timer->start();
}

void LoadingWidget::slotTimeOut() {
    if (m_bar->value() >= 100) {
        if (QObject* timer = sender()) timer->deleteLater();
        accept();
        return;
    }
    m_bar->setValue(m_bar->value() + 2);
}

void LoadingWidget::paintEvent(QPaintEvent* /*event*/) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
