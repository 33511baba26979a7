#include "kestrane/controlsidebar.h"

#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "kestrane/inputcontrollist.h"
#include "kestrane/outcontrollist.h"
#include "sidebartabs.h"

ControlSidebar::ControlSidebar(QWidget* parent) : QWidget(parent) { initUi(); }

void ControlSidebar::initUi() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 0, 1, 0);
    layout->setSpacing(0);
    m_buttons = kestrane::sidebar::addTabStrip(this, layout, "deviceTopPanel",
                                               {{"deviceBt1", "输入"}, {"deviceBt2", "输出"}, {"deviceBt2", "任务"}});
    for (QPushButton* b : m_buttons) connect(b, &QPushButton::clicked, this, &ControlSidebar::btClicked);
    m_buttons[2]->setEnabled(false);  // tasks are not offered yet

    m_stack = new QStackedWidget(this);
    m_inputs = new InputControlList(m_stack);
    m_outputs = new OutControlList(m_stack);
    m_stack->addWidget(m_inputs);
    m_stack->addWidget(m_outputs);
    m_stack->addWidget(new QWidget(m_stack));
    m_stack->setCurrentIndex(0);
    layout->addWidget(m_stack);
}

void ControlSidebar::checkOnly(int index) {
    for (int i = 0; i < m_buttons.size(); ++i) m_buttons[i]->setChecked(i == index);
}

void ControlSidebar::btClicked() {
    const int index = m_buttons.indexOf(qobject_cast<QPushButton*>(sender()));
    if (index < 0) return;
    checkOnly(index);
    m_stack->setCurrentIndex(index);
}

void ControlSidebar::setCurrentTab(int page) {
    if (page < 0 || page >= m_stack->count() || m_stack->currentIndex() == page) return;
    m_stack->setCurrentIndex(page);
    checkOnly(page);
}
