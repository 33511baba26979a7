#include "kestrane/mediasidebar.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "kestrane/gconfig.h"
#include "kestrane/medialist.h"
#include "kestrane/mediapanelhooks.h"
#include "kestrane/mediascrollarea.h"

MediaSidebar::MediaSidebar(QWidget* parent) : QWidget(parent) {
    initUi();
    m_hooks = std::make_unique<MediaPanelHooks>(this);
    GConfig::instance().setSidePanelHooks(m_hooks.get());
}

MediaSidebar::~MediaSidebar() {
    GConfig& config = GConfig::instance();
    if (&config.sidePanelHooks() == m_hooks.get()) config.setSidePanelHooks(nullptr);
}

void MediaSidebar::initUi() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 0, 1, 0);
    layout->setSpacing(0);

    auto* top = new QWidget(this);
    top->setObjectName(QStringLiteral("mediaTopPanel"));
    top->setFixedHeight(39);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(0);
    const struct {
        const char* name;
        const char* text;
    } tabs[] = {{"mediaBt1", "列表"}, {"mediaBt2", "特效"}, {"mediaBt3", "属性"}};
    for (const auto& t : tabs) {
        auto* b = new QPushButton(QString::fromUtf8(t.text), top);
        b->setObjectName(QString::fromLatin1(t.name));
        b->setFixedSize(40, 39);
        b->setCheckable(true);
        connect(b, &QPushButton::clicked, this, &MediaSidebar::btClicked);
        topLayout->addWidget(b);
        m_buttons << b;
    }
    m_buttons.at(0)->setChecked(true);
    m_buttons.at(1)->hide();
    auto* spacer = new QWidget(top);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    topLayout->addWidget(spacer);
    layout->addWidget(top);

    m_pages = new QStackedWidget(this);
    m_mediaList = new MediaList;
    m_pages->addWidget(m_mediaList);
    m_pages->addWidget(new QWidget);
    m_properties = new MediaScrollArea(nullptr);
    m_properties->setStyleSheet(
        QStringLiteral(".QScrollArea {border:0px; background:#343434;border-bottom:1px solid #1e1e1e;}"));
    m_properties->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_properties->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pages->addWidget(m_properties);
    m_pages->setCurrentIndex(0);
    layout->addWidget(m_pages);
}

void MediaSidebar::checkOnly(int index) {
    for (int i = 0; i < m_buttons.size(); ++i) m_buttons.at(i)->setChecked(i == index);
}

void MediaSidebar::btClicked() {
    auto* b = qobject_cast<QPushButton*>(sender());
    const int index = m_buttons.indexOf(b);
    if (index < 0) return;
    checkOnly(index);
    m_pages->setCurrentIndex(index);
}

void MediaSidebar::showMediaAttribute(int mediaId, bool switchPage) {
    if (switchPage && m_pages->currentIndex() != 2) {
        m_pages->setCurrentIndex(2);
        checkOnly(2);
    }
    m_properties->showMedia(mediaId);
}

void MediaSidebar::showFirstPage() {
    if (m_pages->currentIndex() == 0) return;
    m_pages->setCurrentIndex(0);
    checkOnly(0);
}
