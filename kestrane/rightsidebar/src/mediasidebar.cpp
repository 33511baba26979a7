#include "kestrane/mediasidebar.h"

#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "kestrane/gconfig.h"
#include "kestrane/medialist.h"
#include "kestrane/mediapanelhooks.h"
#include "kestrane/mediascrollarea.h"
#include "sidebartabs.h"

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

    m_buttons = kestrane::sidebar::addTabStrip(this, layout, "mediaTopPanel",
                                               {{"mediaBt1", "列表"}, {"mediaBt2", "特效"}, {"mediaBt3", "属性"}}, 0);
    for (QPushButton* b : m_buttons) connect(b, &QPushButton::clicked, this, &MediaSidebar::btClicked);
    m_buttons.at(1)->hide();

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
