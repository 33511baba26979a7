#include "kestrane/rightsidebar.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "kestrane/deviceattribute.h"
#include "kestrane/devicelist.h"
#include "kestrane/devicesidebar.h"
#include "kestrane/devicetree.h"
#include "kestrane/gconfig.h"
#include "kestrane/sidepanelhooks.h"

namespace {

GConfig& cfg() { return GConfig::instance(); }

RightSidebarPages& pageMakers() {
    static RightSidebarPages pages;
    return pages;
}

// The device and tab calls go to the sidebar; the media calls to the hooks
// that were installed before it.
class RightSidebarHooks : public SidePanelHooks {
public:
    RightSidebarHooks(RightSidebar* sidebar, SidePanelHooks* media) : m_bar(sidebar), m_media(media) {}

    void showMediaAttribute(int mediaId, bool switchTab) override { m_bar->showMediaAttribute(mediaId, switchTab); }
    void showDeviceAttribute(int deviceId, bool switchTab) override { m_bar->showDeviceAttribute(deviceId, switchTab); }
    void updateDeviceNames() override { m_bar->updateDeviceNames(); }
    void selectMediaRows(const QList<qint64>& keys) override { m_media->selectMediaRows(keys); }
    void showMediaTab() override {
        m_bar->showMediaTab();
        m_media->showMediaTab();
    }
    void showDeviceTab() override { m_bar->showDeviceTab(); }
    void showControlTab(int page) override { m_bar->showControlTab(page); }
    void resetTabs() override {
        m_bar->resetTabs();
        m_media->resetTabs();
    }
    void addSource(int typeIndex) override { m_media->addSource(typeIndex); }

    void setDeviceFieldsEnabled(bool enabled) override {
        m_bar->deviceSidebar()->deviceAttribute()->setFieldsEnabled(enabled);
    }
    void selectDeviceInTree(int deviceId) override { tree()->selectItemById(deviceId); }
    bool hasDeviceTree() const override { return true; }
    void removeTreeItem(int deviceId) override { tree()->removeItemById(deviceId); }
    void clearDeviceTree() override { tree()->clearTree(); }

    void insertFolderRow(const MediaSource& folder) override { m_media->insertFolderRow(folder); }
    void insertMediaRow(const MediaSource& media, qint64 folderKey) override {
        m_media->insertMediaRow(media, folderKey);
    }
    void updateMediaOrder() override { m_media->updateMediaOrder(); }
    void clearMediaTable() override { m_media->clearMediaTable(); }
    void collectTreeOrder(QMap<int, int>& folderPositions, QMap<int, int>& devicePositions) const override {
        tree()->collectTreeOrder(folderPositions, devicePositions);
    }
    void loadTree(const QList<QVariantMap>& folders, const QMap<int, int>& folderPositions) override {
        QList<DeviceFolderRecord> records;
        for (const QVariantMap& m : folders) {
            DeviceFolderRecord r;
            r.id = m.value(QStringLiteral("id")).toInt();
            r.name = m.value(QStringLiteral("name")).toString();
            r.parentId = m.value(QStringLiteral("parentId")).toInt();
            r.isExpanded = m.value(QStringLiteral("isExpanded")).toBool();
            records.append(r);
        }
        cfg().deviceFolders = records;
        tree()->loadTree(records, folderPositions, nullptr, 0);
    }
    void insertDeviceItem(int deviceId, int folderId, bool loading) override {
        QTreeWidgetItem* reference = nullptr;
        if (!loading) {
            const QList<QTreeWidgetItem*> selected = tree()->selectedInTreeOrder();
            if (!selected.isEmpty()) reference = selected.first();
        }
        tree()->insertDeviceItem(deviceId, reference, loading, folderId);
    }
    void restoreExpandState() override { tree()->restoreExpandState(); }

private:
    DeviceTree* tree() const { return m_bar->deviceSidebar()->deviceList()->tree(); }

    RightSidebar* m_bar;
    SidePanelHooks* m_media;
};

}  // namespace

void RightSidebar::setPages(const RightSidebarPages& pages) { pageMakers() = pages; }

RightSidebar::RightSidebar(QWidget* parent) : QWidget(parent), m_pages(pageMakers()) {
    setCursor(Qt::ArrowCursor);
    initUi();
    // The media page may have installed its own hooks while it was made.
    m_inner = &cfg().sidePanelHooks();
    m_hooks = std::make_unique<RightSidebarHooks>(this, m_inner);
    cfg().setSidePanelHooks(m_hooks.get());
    cfg().rightSidebar = this;
    cfg().controlSidebar = m_controlPage;
}

RightSidebar::~RightSidebar() {
    if (&cfg().sidePanelHooks() == m_hooks.get()) cfg().setSidePanelHooks(m_inner);
    if (cfg().rightSidebar == this) cfg().rightSidebar = nullptr;
    if (cfg().controlSidebar == m_controlPage) cfg().controlSidebar = nullptr;
}

void RightSidebar::initUi() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 0, 0, 0);
    layout->setSpacing(0);
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("panelTab"));
    bar->setFixedHeight(18);
    auto* h = new QHBoxLayout(bar);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(0);
    const char* names[] = {"rightTabBt1", "rightTabBt2", "rightTabBt3"};
    const char* texts[] = {"媒体", "设备", "控制"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QPushButton(QString::fromUtf8(texts[i]), bar);
        b->setObjectName(QLatin1String(names[i]));
        b->setFixedSize(40, 18);
        b->setCheckable(true);
        b->setChecked(i == 0);
        h->addWidget(b);
        m_buttons.append(b);
        connect(b, &QPushButton::clicked, this, &RightSidebar::btClicked);
    }
    auto* filler = new QWidget(bar);
    filler->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    h->addWidget(filler);
    layout->addWidget(bar);

    m_stack = new QStackedWidget(this);
    m_stack->setObjectName(QStringLiteral("tabWidget"));
    m_stack->setStyleSheet(QStringLiteral("QStackedWidget#tabWidget{background:#343434;}"));
    layout->addWidget(m_stack);
    m_mediaPage = m_pages.makeMediaPage ? m_pages.makeMediaPage(m_stack) : new QWidget(m_stack);
    m_stack->addWidget(m_mediaPage);
    m_devicePage = new DeviceSidebar(m_stack);
    m_stack->addWidget(m_devicePage);
    m_controlPage = m_pages.makeControlPage ? m_pages.makeControlPage(m_stack) : new QWidget(m_stack);
    m_stack->addWidget(m_controlPage);
}

void RightSidebar::selectTab(int page) {
    m_stack->setCurrentIndex(page);
    for (int i = 0; i < m_buttons.size(); ++i) m_buttons[i]->setChecked(i == page);
}

void RightSidebar::btClicked() {
    auto* sender = qobject_cast<QPushButton*>(QObject::sender());
    const int i = m_buttons.indexOf(sender);
    if (i < 0) return;
    selectTab(i);
    if (i == 0 || i == 1) {
        const int wanted = i == 0 ? 1 : 0;  // media editing for the media tab, device editing for the device tab
        if (cfg().editMode() != wanted) cfg().setMediaEditMode(wanted, false);
    }
}

void RightSidebar::showMediaTab() {
    if (m_stack->currentIndex() != 0) selectTab(0);
    if (m_pages.mediaFirstPage) m_pages.mediaFirstPage(m_mediaPage);
}

void RightSidebar::showDeviceTab() {
    if (m_stack->currentIndex() != 1) selectTab(1);
    m_devicePage->showFirstPage();
}

void RightSidebar::showControlTab(int page) {
    if (m_stack->currentIndex() != 2) selectTab(2);
    if (m_pages.setControlTab) m_pages.setControlTab(m_controlPage, page);
}

void RightSidebar::showMediaAttribute(int mediaId, bool switchTab) {
    if (switchTab) selectTab(0);
    if (m_pages.showMediaAttribute)
        m_pages.showMediaAttribute(m_mediaPage, mediaId, switchTab);
    else
        m_inner->showMediaAttribute(mediaId, switchTab);
}

void RightSidebar::showDeviceAttribute(int deviceId, bool switchTab) {
    if (switchTab && m_stack->currentIndex() != 1) selectTab(1);
    m_devicePage->showDeviceAttribute(deviceId, switchTab);
}

void RightSidebar::resetTabs() {
    selectTab(0);
    if (m_pages.mediaFirstPage) m_pages.mediaFirstPage(m_mediaPage);
    m_devicePage->showFirstPage();
}

void RightSidebar::updateDeviceNames() { m_devicePage->updateDeviceNames(); }
