#include "kestrane/dprogressbar.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

DProgressBar::DProgressBar(QWidget* parent) : QDialog(parent) {
    setupUi();
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
}

void DProgressBar::setupUi() {
    if (objectName().isEmpty()) setObjectName(QStringLiteral("DProgressBar"));
    setFixedSize(269, 69);
    auto* layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("verticalLayout"));
    m_info = new QLabel(this);
    m_info->setObjectName(QStringLiteral("info"));
    layout->addWidget(m_info);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setValue(24);
    layout->addWidget(m_progress);
    layout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    retranslateUi();
}

void DProgressBar::retranslateUi() {
    setWindowTitle(QStringLiteral("媒体导入"));
    m_info->setText(QStringLiteral("TextLabel"));
}

void DProgressBar::setInfo(const QString& text) { m_info->setText(text); }
void DProgressBar::setProgress(int value) { m_progress->setValue(value); }

void DProgressBar::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}
