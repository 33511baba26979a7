#include "kestrane/specialeffectinfopanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>
#include <QTimer>

#include "kestrane/clicklabel.h"
#include "kestrane/colorwidget.h"
#include "kestrane/gconfig.h"
#include "kestrane/timeaxiswidget.h"

namespace {
const char* const kHeaderStyle =
    "ClickLabel{border-top:1px solid #454545;border-bottom:1px solid #141414;background-color:#343434;}";
const char* const kSelectedStyle =
    "ClickLabel{border-top:1px solid #454545;border-bottom:1px solid #141414;background-color:#4b5367;}";
}  // namespace

SpecialEffectInfoPanel::SpecialEffectInfoPanel(int row, int kind, QWidget* parent)
    : QWidget(parent), m_row(row), m_kind(kind) {
    setStyleSheet(QStringLiteral("SpecialEffectInfoPanel {border-right:1px solid #141414;}"));
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 1, 0);
    outer->setSpacing(0);
    m_eye = new ColorWidget(this);
    m_eye->setFixedSize(41, 24);
    m_eye->setEyeHidden(false);
    connect(m_eye, &ColorWidget::clicked, this, &SpecialEffectInfoPanel::eyeClicked);
    outer->addWidget(m_eye);
    m_header = new ClickLabel(this);
    m_header->setStyleSheet(QString::fromLatin1(kHeaderStyle));
    outer->addWidget(m_header);

    auto* layout = new QHBoxLayout(m_header);
    layout->setContentsMargins(0, 0, 16, 0);
    layout->setSpacing(0);
    layout->addSpacing(11 + 11);
    m_kindLabel = new QLabel(kindText(kind), m_header);
    m_kindLabel->setFixedWidth(48);
    m_kindLabel->setStyleSheet(QStringLiteral("color:#aeaeae;padding-left:8px;"));
    layout->addWidget(m_kindLabel);
    layout->addStretch(1);
    m_lockIcon = new QPushButton(m_header);
    m_lockIcon->setObjectName(QStringLiteral("layerinfopanel_lock"));
    m_lockIcon->setFixedSize(17, 16);
    m_lockIcon->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_lockIcon->hide();
    layout->addWidget(m_lockIcon);
}

QString SpecialEffectInfoPanel::kindText(int kind) {
    switch (kind) {
    case 1: return QStringLiteral("位置");
    case 2: return QStringLiteral("旋转");
    case 3: return QStringLiteral("缩放");
    case 4: return QStringLiteral("透明度");
    default: return QString();
    }
}

void SpecialEffectInfoPanel::setSelected(bool selected) {
    m_selected = selected;
    m_header->setStyleSheet(QString::fromLatin1(selected ? kSelectedStyle : kHeaderStyle));
    if (selected) {
        QTimer::singleShot(0, this, [this] {
            if (TimeAxisWidget* axis = GConfig::instance().timeAxis)
                axis->setLockChecked(m_locked);
        });
    }
}

void SpecialEffectInfoPanel::setLocked(bool locked) {
    m_locked = locked;
    m_lockIcon->setVisible(locked);
}

bool SpecialEffectInfoPanel::eyeIsHidden() const { return m_eye->eyeHidden() != 0; }

void SpecialEffectInfoPanel::setEyeHidden(bool hidden) { m_eye->setEyeHidden(hidden); }

void SpecialEffectInfoPanel::eyeClicked() {
    GConfig::instance().pausePlayback();
    setEyeHidden(!eyeIsHidden());
}

void SpecialEffectInfoPanel::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
