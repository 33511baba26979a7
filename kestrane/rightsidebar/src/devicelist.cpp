#include "kestrane/devicelist.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "kestrane/adddevicedialog.h"
#include "kestrane/delegates.h"
#include "kestrane/devicetree.h"
#include "kestrane/gconfig.h"
#include "kestrane/prompt.h"

namespace {
GConfig& cfg() { return GConfig::instance(); }
}  // namespace

DeviceList::DeviceList(QWidget* parent) : QWidget(parent) {
    cfg().deviceList = this;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 1);
    layout->setSpacing(0);
    m_tree = new DeviceTree(this);
    layout->addWidget(m_tree);
    cfg().deviceTree = m_tree;

    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("devicelistBottompanel"));
    bar->setFixedHeight(16);
    auto* h = new QHBoxLayout(bar);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(0);
    m_presetBox = new QComboBox(bar);
    m_presetBox->setObjectName(QStringLiteral("devicelistCombobox"));
    m_presetBox->setFixedSize(110, 16);
    m_presetBox->setMaxVisibleItems(12);
    m_presetBox->setView(new QListView(m_presetBox));
    m_presetBox->view()->setItemDelegate(new DelegateForMediaListComBox(m_presetBox));
    m_presetBox->view()->setStyleSheet(QStringLiteral(
        "QListView {background:#313131;color:#aeaeae;border:0px;padding:2px;}"
        "QListView::item {background:#313131;border:0px;outline:0px;padding-top:1px;padding-bottom:1px;}"
        "QListView::item:selected {background:#141414;border:0px;outline:0px;color:#aeaeae;}"));
    m_presetBox->addItems(cfg().resolutionPresets());
    static_cast<QListView*>(m_presetBox->view())->setRowHidden(0, true);
    connect(m_presetBox, qOverload<int>(&QComboBox::activated), this, &DeviceList::addDevice);
    h->addWidget(m_presetBox);
    auto* addFolderBt = new QPushButton(bar);
    addFolderBt->setObjectName(QStringLiteral("devicelistAddfolder"));
    addFolderBt->setFixedSize(17, 16);
    connect(addFolderBt, &QPushButton::clicked, this, &DeviceList::addFolder);
    h->addWidget(addFolderBt);
    auto* filler = new QWidget(bar);
    filler->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    h->addWidget(filler);
    auto* del = new QPushButton(bar);
    del->setObjectName(QStringLiteral("devicelistDelbt"));
    del->setFixedSize(15, 16);
    connect(del, &QPushButton::clicked, this, &DeviceList::delFolderOrDevice);
    h->addWidget(del);
    layout->addWidget(bar);

    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &DeviceList::itemDoubleClicked);
}

DeviceList::~DeviceList() {
    if (cfg().deviceList == this) cfg().deviceList = nullptr;
}

void DeviceList::updateDeviceNames() { m_tree->updateDeviceNames(); }

void DeviceList::itemDoubleClicked(QTreeWidgetItem* /*item*/, int /*column*/) {}

QTreeWidgetItem* DeviceList::insertionPoint() const {
    const QList<QTreeWidgetItem*> selected = m_tree->selectedInTreeOrder();
    return selected.isEmpty() ? nullptr : selected.first();
}

void DeviceList::addDevice(int typeIndex) {
    m_presetBox->setCurrentIndex(0);
    if (cfg().isConnected()) {
        kestrane::prompt::warning(this, QStringLiteral("无法添加新设备"),
                                  QStringLiteral("仅当所有设备处于离线状态才能添加新的设备"));
        return;
    }
    cfg().pausePlayback();
    const QStringList presets = cfg().resolutionPresets();
    // The resting entry opens the dialog on the remembered preset.
    const int preset = typeIndex >= 1 && typeIndex < presets.size() ? typeIndex - 1 : -1;
    DeviceRecord record;
    AddDeviceDialog dialog(&record, preset, this);
    if (dialog.exec() != QDialog::Accepted) return;
    // The entry chosen in the dialog, as the box names it (its entry 0 is the resting text).
    const int chosen = dialog.findChild<QComboBox*>(QStringLiteral("resolution"))->currentIndex();
    record.presetIndex = chosen;
    record.presetText = presets.value(chosen + 1);
    const int id = cfg().nextDeviceId();
    cfg().devices().insert(id, record);
    cfg().setSaved(false);
    m_tree->insertDeviceItem(id, insertionPoint(), false, 0);
    cfg().addStageDevice(id);
}

void DeviceList::addFolder() { m_tree->insertFolderItem(insertionPoint(), QString(), -1, false); }

void DeviceList::delFolderOrDevice() {
    if (cfg().isConnected()) {
        kestrane::prompt::warning(this, QStringLiteral("不能删除"),
                                  QStringLiteral("当前设备处于连接状态，无法删除任何设备或分组"));
        return;
    }
    QList<QTreeWidgetItem*> items = m_tree->selectedItems();
    if (items.isEmpty()) return;
    // Whatever lies below another selected item goes with it: nothing is
    // deleted twice and no freed item is touched.
    DeviceTree::dropNestedItems(items);
    bool asks = false;
    for (QTreeWidgetItem* item : std::as_const(items))
        if (DeviceTree::isFolder(item) && m_tree->containsDevice(item)) asks = true;
    if (asks &&
        kestrane::prompt::question(this, QStringLiteral("删除确认"),
                                   QStringLiteral("待删除分组内包含设备，程序将会删除该分组内的所有设备，是否继续删除？"),
                                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    cfg().pausePlayback();
    cfg().showWaiting(true);
    QList<int> deviceIds;
    QList<int> folderIds;
    for (QTreeWidgetItem* item : std::as_const(items)) {
        if (DeviceTree::isDevice(item)) {
            deviceIds.append(DeviceTree::itemId(item));
        } else {
            folderIds.append(DeviceTree::itemId(item));
            for (QTreeWidgetItem* d : m_tree->collectDeviceItems(item)) deviceIds.append(DeviceTree::itemId(d));
        }
    }
    QList<int> done;
    for (int id : std::as_const(deviceIds)) {
        if (id == 0 || done.contains(id) || !cfg().device(id)) continue;
        done.append(id);
        cfg().removeDevice(id);
    }
    for (int id : std::as_const(folderIds))
        if (QTreeWidgetItem* folder = m_tree->findFolderItem(id)) m_tree->removeFolderItem(folder);
    m_tree->setCurrentItem(nullptr);
    cfg().showWaiting(false);
}
