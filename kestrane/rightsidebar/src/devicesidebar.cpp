#include "kestrane/devicesidebar.h"

#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "kestrane/deviceattribute.h"
#include "kestrane/devicelist.h"
#include "sidebartabs.h"

DeviceSidebar::DeviceSidebar(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 0, 1, 0);
    layout->setSpacing(0);
    m_buttons = kestrane::sidebar::addTabStrip(this, layout, "deviceTopPanel",
                                               {{"deviceBt1", "列表"}, {"deviceBt2", "属性"}});
    for (QPushButton* b : m_buttons) connect(b, &QPushButton::clicked, this, &DeviceSidebar::btClicked);

    m_stack = new QStackedWidget(this);
    m_list = new DeviceList(m_stack);
    m_stack->addWidget(m_list);
    auto* scroll = new QScrollArea(m_stack);
    scroll->setStyleSheet(
        QStringLiteral(".QScrollArea {border:0px; background:#343434;border-bottom:1px solid #1e1e1e;}"));
    m_attribute = new DeviceAttribute;
    scroll->setWidget(m_attribute);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_stack->addWidget(scroll);
    m_stack->setCurrentIndex(0);
    layout->addWidget(m_stack);
}

void DeviceSidebar::selectPage(int page) {
    m_stack->setCurrentIndex(page);
    for (int i = 0; i < m_buttons.size(); ++i) m_buttons[i]->setChecked(i == page);
}

void DeviceSidebar::btClicked() {
    auto* sender = qobject_cast<QPushButton*>(QObject::sender());
    const int page = m_buttons.indexOf(sender);
    if (page < 0) return;
    selectPage(page);
}

void DeviceSidebar::showDeviceAttribute(int deviceId, bool switchPage) {
    if (switchPage && m_stack->currentIndex() != 1) selectPage(1);
    m_attribute->showDevice(deviceId);
}

void DeviceSidebar::updateDeviceNames() { m_list->updateDeviceNames(); }

void DeviceSidebar::showFirstPage() { selectPage(0); }

void DeviceSidebar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_attribute->resize(width(), m_attribute->height());
}
