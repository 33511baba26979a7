#include "kestrane/timeaxiswidget.h"

#include <QComboBox>
#include <QDebug>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "kestrane/axismath.h"
#include "kestrane/commandmonitor.h"
#include "kestrane/container.h"
#include "kestrane/effectcontainer.h"
#include "kestrane/gconfig.h"
#include "kestrane/layerinfopanel.h"
#include "kestrane/layerio.h"
#include "kestrane/layermedia.h"
#include "kestrane/layerpanel.h"
#include "kestrane/layerspecialeffect.h"
#include "kestrane/layerplaycontrol.h"
#include "kestrane/layertable.h"
#include "kestrane/mslider.h"
#include "kestrane/prompt.h"
#include "kestrane/rowmodel.h"
#include "kestrane/rulerwidget.h"
#include "kestrane/settings.h"
#include "kestrane/specialeffectinfopanel.h"
#include "kestrane/timeline.h"
#include "kestrane/tscrollbar.h"
#include "kestrane/utils.h"
#include "lintra/ioctrl.h"
#include "platform/textcodec.h"

using namespace kestrane;

namespace {

// The play-button styles from the named pictures' three states.
QString buttonStyle(const QString& picture) {
    return QStringLiteral("QPushButton {background:url(:/images/timeaxis/%1_01.png);border:0px;} "
                          "QPushButton:hover {background:url(:/images/timeaxis/%1_02.png);border:0px;} "
                          "QPushButton:pressed {background:url(:/images/timeaxis/%1_03.png);border:0px;} ")
        .arg(picture);
}

QPushButton* smallButton(const QString& name, int w, int h, QWidget* parent) {
    auto* b = new QPushButton(parent);
    b->setObjectName(name);
    b->setFixedSize(w, h);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

// The default play duration of a new project in ms.
int defaultPlayDurationMs() {
    const int minutes = std::clamp(GeneralSettings::read().defaultPlayDuration, 1, 9999);
    return minutes * 60000;
}

}  // namespace

TimeAxisWidget::TimeAxisWidget(QWidget* parent) : QWidget(parent) {
    GConfig& config = GConfig::instance();
    config.timeAxis = this;
    m_ruler = new RulerWidget(m_initialScale, this);
    config.ruler = m_ruler;

    const int duration = defaultPlayDurationMs();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->availableGeometry().width() : 1920;
    m_axisWidth = int(screenWidth * 1.3);
    int length = m_ruler->pixelToMs(m_axisWidth);
    if (duration * 1.2 > length) {
        length = int(duration * 1.2);
        m_axisWidth = m_ruler->msToPixel(length);
    }
    config.setTimeAxisLengthValue(length);
    config.setClearedTimeAxisLength(length);
    QTimer::singleShot(0, this, [duration] {
        GConfig::instance().setTimelineStart(0);
        GConfig::instance().setTimelineLength(duration, 0);
        GConfig::instance().setMinimumSpan(duration);
    });

    buildUi();
    m_timeLine = new TimeLine(0, std::max(0, height() - TimeLine::kTop - 17), m_ruler->offset(), this);
    m_tickTimer = new QTimer(this);
    m_tickTimer->setSingleShot(true);
    m_tickTimer->setTimerType(Qt::PreciseTimer);
    connect(m_tickTimer, &QTimer::timeout, this, [this] { playTimeLine(true); });
    m_resumeTimer = new QTimer(this);
    m_resumeTimer->setSingleShot(true);
    connect(m_resumeTimer, &QTimer::timeout, this, [this] {
        std::function<void()> action = std::move(m_resumeAction);
        m_resumeAction = nullptr;
        if (action)
            action();
    });
    connect(m_speedBox, qOverload<int>(&QComboBox::currentIndexChanged), this, &TimeAxisWidget::speedChanged);
    setObjectName(QStringLiteral("timeAxisWidget"));
    setCursor(Qt::ArrowCursor);

    QTimer::singleShot(0, this, [this] {
        for (int i = 0; i < 5; ++i)
            addLayer(false);
        startCommandMonitor();
    });
}

TimeAxisWidget::~TimeAxisWidget() {
    // The monitor is one per process; the chunks it queues stay valid, but
    // nothing would take them any more.
    if (m_monitorStarted)
        tolva_io_ctrl::StopMonitorNetworkCmd();
    GConfig& config = GConfig::instance();
    if (config.timeAxis == this)
        config.timeAxis = nullptr;
    if (config.ruler == m_ruler)
        config.ruler = nullptr;
    if (config.layerTable == m_table)
        config.layerTable = nullptr;
    if (config.playButton == m_playButton)
        config.playButton = nullptr;
}

namespace {
int& monitorPort() {
    static int port = -1;
    return port;
}
}  // namespace

void TimeAxisWidget::setCommandMonitorPort(int port) { monitorPort() = port; }
int TimeAxisWidget::commandMonitorPort() { return monitorPort(); }

// The network command monitor of the show controls starts here, once the
// first layers exist.
void TimeAxisWidget::startCommandMonitor() {
    const int port = monitorPort();
    if (port < 0)
        return;
    m_monitorStarted = true;
    if (!tolva_io_ctrl::StartMonitorNetworkCmd(port, monitor::onNetworkCommand, nullptr)) {
        // Usually a display server on this PC holds the port. The show runs
        // on without network triggers; the operator must know that before
        // relying on them.
        qWarning() << "command monitor cannot listen on port" << port;
        kestrane::prompt::warning(this, QStringLiteral("提示"),
                                  QStringLiteral("无法在端口 %1 上接收网络触发命令（该端口可能已被本机的显示服务器占用），"
                                                 "网络触发在本次运行中不可用。")
                                      .arg(port));
    }
    m_commandPoll = new QTimer(this);
    m_commandPoll->setInterval(100);
    connect(m_commandPoll, &QTimer::timeout, this, &TimeAxisWidget::pollNetworkCommand);
    m_commandPoll->start();
}

void TimeAxisWidget::buildUi() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_topTable = new QTableWidget(1, 2, this);
    m_topTable->setObjectName(QStringLiteral("topTable"));
    m_topTable->setFixedHeight(68);
    m_topTable->setShowGrid(false);
    m_topTable->horizontalHeader()->hide();
    m_topTable->verticalHeader()->hide();
    m_topTable->setColumnWidth(0, kHeaderWidth);
    m_topTable->horizontalHeader()->setStretchLastSection(true);
    m_topTable->setRowHeight(0, 68);
    m_topTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_topTable->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_topTable->setSelectionMode(QAbstractItemView::NoSelection);
    m_topTable->setFocusPolicy(Qt::NoFocus);
    m_topTable->setFrameShape(QFrame::NoFrame);
    m_topTable->setCellWidget(0, 0, buildPlayBar());
    m_topTable->setCellWidget(0, 1, buildTopBar());
    layout->addWidget(m_topTable);

    m_table = new LayerTable(this);
    m_table->setObjectName(QStringLiteral("axisTable"));
    GConfig::instance().layerTable = m_table;
    m_table->setColumnCount(2);
    m_table->horizontalHeader()->hide();
    m_table->verticalHeader()->hide();
    m_table->setColumnWidth(0, kHeaderWidth);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setShowGrid(false);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setFrameShape(QFrame::NoFrame);
    m_table->verticalHeader()->setMinimumSectionSize(1);
    m_table->setRowCount(1);
    auto* filler = new QTableWidgetItem;
    filler->setData(Qt::DisplayRole, 1.0e9);
    m_table->setItem(0, 0, filler);
    for (int column = 0; column < 2; ++column) {
        auto* cell = new QWidget;
        cell->setStyleSheet(QStringLiteral("border-top:1px solid #454545;"));
        m_table->setCellWidget(0, column, cell);
    }
    m_table->setRowHeight(0, 1);
    layout->addWidget(m_table, 1);
    layout->addWidget(buildBottomBar());
}

QWidget* TimeAxisWidget::buildPlayBar() {
    auto* bar = new QWidget;
    bar->setObjectName(QStringLiteral("timeAxisPlayBar"));
    auto* layout = new QVBoxLayout(bar);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(2);
    m_timeLabel = new QLabel(QStringLiteral("00:00:00"), bar);
    m_timeLabel->setStyleSheet(QStringLiteral(
        "font-size:22px;font-family:宋体;color:#aeaeae;font-weight:bold;border-top:1px solid #454545"));
    layout->addWidget(m_timeLabel);

    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    row->addWidget(new QLabel(QStringLiteral("<span style='color:#aeaeae;'>播放速度：</span>"), bar));
    m_speedBox = new QComboBox(bar);
    m_speedBox->setObjectName(QStringLiteral("timeaxisSpeed"));
    m_speedBox->setFixedSize(54, 21);
    m_speedBox->setFocusPolicy(Qt::NoFocus);
    m_speedBox->addItems({QStringLiteral("正常"), QStringLiteral("1.5X"), QStringLiteral("2.0X")});
    row->addWidget(m_speedBox);
    row->addStretch(1);

    m_stopButton = smallButton(QStringLiteral("timeaxisStop"), 21, 21, bar);
    connect(m_stopButton, &QPushButton::clicked, this, &TimeAxisWidget::playStop);
    row->addWidget(m_stopButton);
    QPushButton* back = smallButton(QStringLiteral("timeaxisBack"), 21, 21, bar);
    connect(back, &QPushButton::clicked, this, &TimeAxisWidget::backFiveSecond);
    row->addWidget(back);
    m_playStyle = buttonStyle(QStringLiteral("时间轴播放"));
    m_pauseStyle = buttonStyle(QStringLiteral("时间轴暂停"));
    m_playButton = smallButton(QStringLiteral("timeaxisPlay"), 21, 21, bar);
    m_playButton->setProperty("play", false);
    m_playButton->setStyleSheet(m_playStyle);
    connect(m_playButton, &QPushButton::clicked, this, &TimeAxisWidget::playOrPause);
    GConfig::instance().playButton = m_playButton;
    row->addWidget(m_playButton);
    QPushButton* forward = smallButton(QStringLiteral("timeaxisForward"), 21, 21, bar);
    connect(forward, &QPushButton::clicked, this, &TimeAxisWidget::forwardFiveSecond);
    row->addWidget(forward);

    m_muteButton = smallButton(QStringLiteral("timeaxisMute"), 21, 21, bar);
    m_muteButton->setCheckable(true);
    const QString soundOn = buttonStyle(QStringLiteral("静音-开"));
    const QString soundOff = buttonStyle(QStringLiteral("静音-关"));
    m_muteButton->setStyleSheet(soundOn);
    connect(m_muteButton, &QPushButton::toggled, this, [this, soundOn, soundOff](bool checked) {
        GConfig::instance().setSaved(false);
        m_muteButton->setStyleSheet(checked ? soundOff : soundOn);
        GConfig::instance().muteMedia(checked, 0);
    });
    row->addWidget(m_muteButton);
    layout->addLayout(row);
    return bar;
}

QWidget* TimeAxisWidget::buildTopBar() {
    auto* bar = new QWidget;
    bar->setObjectName(QStringLiteral("timeAxisTopBar"));
    m_topBarLayout = new QVBoxLayout(bar);
    m_topBarLayout->setContentsMargins(0, 0, 0, 0);
    m_topBarLayout->setSpacing(0);
    auto* title = new QWidget(bar);
    title->setFixedHeight(17);
    title->setStyleSheet(QStringLiteral("QWidget {border-top:1px solid #454545;background:#1e1e1e;}"));
    auto* titleLayout = new QHBoxLayout(title);
    titleLayout->setContentsMargins(0, 0, 0, 0);
    titleLayout->addStretch(1);
    auto* label = new QLabel(QStringLiteral("时间轴"), title);
    label->setFixedWidth(52);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("QLabel {background:#343434;border-right:1px solid #141414;color:#c8c8c8;}"));
    titleLayout->addWidget(label);
    titleLayout->addStretch(1);
    m_topBarLayout->addWidget(title);
    // The range bar goes between the title row and the ruler.
    m_timeSlider = new TimeAxisSlider(m_axisWidth, bar);
    m_topBarLayout->addWidget(m_timeSlider);
    m_ruler->setParent(bar);
    m_ruler->setFixedHeight(30);
    m_topBarLayout->addStretch(1);
    m_topBarLayout->addWidget(m_ruler);
    return bar;
}

QWidget* TimeAxisWidget::buildBottomBar() {
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("axisBottom"));
    bar->setFixedHeight(17);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->setSpacing(3);

    QPushButton* del = smallButton(QStringLiteral("delLayer"), 15, 16, bar);
    connect(del, &QPushButton::clicked, this, &TimeAxisWidget::removeLayer);
    layout->addWidget(del);
    m_lockButton = smallButton(QStringLiteral("layerLock"), 17, 16, bar);
    m_lockButton->setCheckable(true);
    connect(m_lockButton, &QPushButton::clicked, this, &TimeAxisWidget::lockLayer);
    layout->addWidget(m_lockButton);
    QPushButton* add = smallButton(QStringLiteral("addLayer"), 17, 16, bar);
    connect(add, &QPushButton::clicked, this, [this] { addLayer(false); });
    layout->addWidget(add);
    m_addFolderButton = smallButton(QStringLiteral("addFolder"), 17, 16, bar);
    connect(m_addFolderButton, &QPushButton::clicked, this, [this] { addFolder(false); });
    layout->addWidget(m_addFolderButton);
    layout->addSpacing(kHeaderWidth - 4 * 20 - 8);

    m_scrollBar = new TScrollBar(Qt::Horizontal, bar);
    m_scrollBar->setRange(0, 0);
    connect(m_scrollBar, &TScrollBar::valueChangedByMouse, this, &TimeAxisWidget::slotMoveHorizonalScrollBar);
    layout->addWidget(m_scrollBar, 1);

    const struct {
        const char* name;
        const char* text;
        int width;
        int unit;
    } units[] = {{"unitMin", "Min", 34, axis::UnitMinute},
                 {"unitSec", "Sec", 30, axis::UnitSecond},
                 {"unitMillsec", "Millsec", 58, axis::UnitMillisecond}};
    for (const auto& u : units) {
        QPushButton* b = smallButton(QString::fromLatin1(u.name), u.width, 16, bar);
        b->setText(QString::fromLatin1(u.text));
        b->setCheckable(true);
        b->setChecked(u.unit == axis::UnitMinute);
        const int unit = u.unit;
        connect(b, &QPushButton::clicked, this, [this, unit] { setUnit(unit); });
        m_unitButtons << b;
        layout->addWidget(b);
    }
    QPushButton* reduce = smallButton(QStringLiteral("reduceScale"), 15, 15, bar);
    connect(reduce, &QPushButton::clicked, this, &TimeAxisWidget::reduceScale);
    layout->addWidget(reduce);
    auto* zoom = new MSlider(Qt::Horizontal, bar);
    connect(zoom, &MSlider::posClicked, this, &TimeAxisWidget::scaleChanged2);
    m_zoomSlider = zoom;
    m_zoomSlider->setObjectName(QStringLiteral("axisSlider"));
    m_zoomSlider->setRange(0, axis::kLevelCount - 1);
    m_zoomSlider->setFixedWidth(136);
    m_zoomSlider->setValue(m_initialScale);
    connect(m_zoomSlider, &QSlider::valueChanged, this, &TimeAxisWidget::scaleChanged);
    layout->addWidget(m_zoomSlider);
    QPushButton* plus = smallButton(QStringLiteral("addScale"), 15, 15, bar);
    connect(plus, &QPushButton::clicked, this, &TimeAxisWidget::addScale);
    layout->addWidget(plus);
    return bar;
}

void TimeAxisWidget::setUnit(int unit) {
    static const int order[] = {axis::UnitMinute, axis::UnitSecond, axis::UnitMillisecond};
    for (int i = 0; i < m_unitButtons.size(); ++i)
        m_unitButtons.at(i)->setChecked(order[i] == unit);
    m_ruler->setUnit(unit);
    m_ruler->update();
}

// ---------------------------------------------------------------- rows

int TimeAxisWidget::currentLayer() const {
    if (m_table->rowCount() <= 1)
        return -1;
    const QList<int> checked = checkedLayers();
    return checked.isEmpty() ? 0 : checked.first();
}

int TimeAxisWidget::layerRowNear(int row) const {
    if (m_table->isLayerRow(row))
        return row;
    for (int r = std::max(row + 1, 0); r < m_table->fillerRow(); ++r)
        if (m_table->isLayerRow(r))
            return r;
    for (int r = std::min(row - 1, m_table->fillerRow() - 1); r >= 0; --r)
        if (m_table->isLayerRow(r))
            return r;
    return -1;
}

int TimeAxisWidget::currentLayerRow() const {
    const int current = currentLayer();
    const int row = m_table->isLayerRow(current) ? layerRowNear(current) : -1;
    if (row < 0)
        GConfig::instance().showWaiting(false);
    return row;
}

QList<int> TimeAxisWidget::checkedLayers() const {
    QList<int> rows;
    for (int row : m_table->headerRows())
        if (const LayerInfoPanel* h = m_table->header(row); h && h->isSelected())
            rows << row;
    return rows;
}

int TimeAxisWidget::layerRowCount() const { return m_table->fillerRow(); }

bool TimeAxisWidget::isLayerLocked(int row) const {
    const LayerInfoPanel* h = m_table->header(row);
    return h && h->isLocked();
}

bool TimeAxisWidget::isCurrentLayerLocked() const {
    const LayerInfoPanel* h = m_table->header(currentLayer());
    return !h || h->isLocked();
}

bool TimeAxisWidget::isLayerEyeHidden(int row) const {
    const LayerInfoPanel* h = m_table->header(row);
    return h && h->eyeIsHidden();
}

int TimeAxisWidget::rowOfLayerPanel(const LayerPanel* panel) const { return m_table->rowOfStrip(panel); }

void TimeAxisWidget::markCurrentLayer(int row, bool additive) {
    LayerInfoPanel* h = m_table->header(row);
    if (!h)
        return;
    m_markedRow = row;
    h->setSelected(true);
    if (additive)
        return;
    for (int r : m_table->headerRows())
        if (LayerInfoPanel* other = m_table->header(r); r != row && other && other->isSelected())
            other->setSelected(false);
}

LayerInfoPanel* TimeAxisWidget::insertHeaderRow(int row, int kind, int role) {
    auto* container = new Container(m_axisWidth);
    auto* strip = new LayerPanel;
    container->setPanel(strip);
    container->setScroll(m_ruler->offset());
    auto* header = new LayerInfoPanel(row, kind);
    connect(strip, &LayerPanel::currentLayerChecked, this, &TimeAxisWidget::currentLayerChanged);
    connect(header, &LayerInfoPanel::eyeChanged, this, &TimeAxisWidget::eyeChanged);
    connect(header, &LayerInfoPanel::allEyesChanged, this, &TimeAxisWidget::allEyesChanged);

    m_table->insertRow(row);
    m_table->setRowHeight(row, kLayerHeight);
    auto* item = new QTableWidgetItem;
    item->setData(LayerTable::KindRole, role);
    item->setData(Qt::DisplayRole, double(row));
    m_table->setItem(row, 0, item);
    m_table->setCellWidget(row, 0, header);
    m_table->setCellWidget(row, 1, container);
    m_table->setCurrentCell(row, 0);
    container->setLength(m_axisWidth, m_ruler->offset());
    return header;
}

void TimeAxisWidget::insertEffectRows(int row) {
    static const int kinds[] = {1, 3, 2, 4};
    for (int i = 0; i < 4; ++i) {
        const int r = row + 1 + i;
        m_table->insertRow(r);
        m_table->setRowHeight(r, kEffectHeight);
        auto* item = new QTableWidgetItem;
        item->setData(LayerTable::KindRole, int(LayerTable::EffectRow));
        item->setData(Qt::DisplayRole, double(r));
        m_table->setItem(r, 0, item);
        m_table->setCellWidget(r, 0, new SpecialEffectInfoPanel(r, kinds[i]));
        auto* container = new EffectContainer(m_axisWidth);
        container->setPanel(new EffectLayerPanel);
        container->setScroll(m_ruler->offset());
        m_table->setCellWidget(r, 1, container);
        container->setLength(m_axisWidth, m_ruler->offset());
        m_table->setRowHidden(r, true);
    }
}

LayerInfoPanel* TimeAxisWidget::addLayer(bool isInit) {
    // The loader appends in file order; otherwise a new layer goes above
    // the current one.
    const int row = isInit ? m_table->fillerRow() : std::max(currentLayer(), 0);
    int kind = LayerInfoPanel::TopLayer;
    if (!isInit && row > 0)
        if (const LayerInfoPanel* h = m_table->header(row); h && h->kind() == LayerInfoPanel::ChildLayer)
            kind = LayerInfoPanel::ChildLayer;
    LayerInfoPanel* header = insertHeaderRow(row, kind, LayerTable::LayerRow);
    insertEffectRows(row);
    markCurrentLayer(row);
    m_table->setCurrentCell(row, 0);
    ++m_markedRow;
    renumberRows(row);
    QTimer::singleShot(0, this, [this] { updateScroll(); });
    GConfig::instance().setSaved(false);
    return header;
}

LayerInfoPanel* TimeAxisWidget::addFolder(bool isInit) {
    m_addFolderButton->setEnabled(false);
    int row = isInit ? m_table->fillerRow() : std::max(currentLayer(), 0);
    if (!isInit)
        if (const LayerInfoPanel* h = m_table->header(row); h && h->kind() == LayerInfoPanel::ChildLayer) {
            // Below the group's last layer.
            while (row < m_table->fillerRow() &&
                   (m_table->isEffectRow(row) ||
                    (m_table->header(row) && m_table->header(row)->kind() == LayerInfoPanel::ChildLayer)))
                ++row;
        }
    LayerInfoPanel* header = insertHeaderRow(row, LayerInfoPanel::Folder, LayerTable::GroupRow);
    m_table->strip(row)->addFolderBar();
    ++m_markedRow;
    renumberRows(row);
    GConfig::instance().setSaved(false);
    QTimer::singleShot(0, this, [this, isInit] {
        updateScroll(0);
        renumberRows(-1);
        m_addFolderButton->setEnabled(true);
        if (isInit)
            GConfig::instance().setSaved(true);
    });
    return header;
}

QString TimeAxisWidget::nextFolderName() const { return axis::nextFolderName(m_table->titles(true)); }

void TimeAxisWidget::renumberRows(int from) {
    GConfig& config = GConfig::instance();
    bool changed = false;
    for (int row = std::max(from, 0); row < m_table->fillerRow(); ++row) {
        if (QTableWidgetItem* item = m_table->item(row, 0))
            item->setData(Qt::DisplayRole, double(row));
        if (m_table->isEffectRow(row)) {
            if (m_table->rowHeight(row) != kEffectHeight)
                m_table->setRowHeight(row, kEffectHeight);
            if (SpecialEffectInfoPanel* e = m_table->effectHeader(row))
                e->setRow(row);
            continue;
        }
        if (LayerInfoPanel* h = m_table->header(row))
            h->setRowIndex(row);
        m_table->setRowHeight(row, kLayerHeight);
        const LayerPanel* strip = m_table->strip(row);
        if (!m_table->isLayerRow(row) || !strip)
            continue;
        for (int id : strip->mediaIds())
            if (MediaSource* rec = config.mediaSource(id); rec && rec->layer != row) {
                rec->layer = row;
                changed = true;
            }
        for (const LayerIO* block : strip->layerIOItems())
            if (LayerIORecord* rec = config.findLayerIO(block->id()))
                rec->layerRow = row;
        for (const LayerPlayControl* block : strip->playControlItems())
            if (PlayControlRecord* rec = config.findPlayControl(block->controlId()))
                rec->layerRow = row;
    }
    if (changed)
        config.setSaved(false);
}

void TimeAxisWidget::applyRowPlan(const axis::RowPlan& plan) {
    for (int i = 0; i < plan.order.size(); ++i) {
        const int old = plan.order.at(i);
        if (QTableWidgetItem* item = m_table->item(old, 0))
            item->setData(Qt::DisplayRole, double(i));
        if (LayerInfoPanel* h = m_table->header(old); h && !m_table->isGroupRow(old) && h->kind() != plan.kinds.at(old))
            h->setKind(plan.kinds.at(old));
    }
    if (QTableWidgetItem* filler = m_table->item(m_table->fillerRow(), 0))
        filler->setData(Qt::DisplayRole, 1.0e9);
    m_table->sortItems(0, Qt::AscendingOrder);
    renumberRows(-1);
}

void TimeAxisWidget::changeLayerSequence(int code) {
    const int row = currentLayer();
    if (row < 0)
        return;
    m_table->setCurrentCell(row, 0);
    markCurrentLayer(row);
    const std::optional<axis::RowPlan> plan = axis::reorderRows(m_table->rowKinds(), row, code);
    if (!plan)
        return;
    applyRowPlan(*plan);
    GConfig::instance().refreshStage();
    GConfig::instance().requestRealtimeUpdate(false);
    updateLayerItems();
    GConfig::instance().setSaved(false);
}

void TimeAxisWidget::clearLayers() {
    while (m_table->rowCount() > 1)
        m_table->removeRow(0);
    m_markedRow = -1;
}

void TimeAxisWidget::removeLayer() {
    GConfig::instance().pausePlayback();
    QTimer::singleShot(0, this, &TimeAxisWidget::confirmAndRemoveChecked);
}

void TimeAxisWidget::confirmAndRemoveChecked() {
    const QList<int> checked = checkedLayers();
    if (checked.isEmpty())
        return;
    QList<int> rows;
    bool groupWithLayers = false;
    bool locked = false;
    for (int row : checked) {
        rows << row;
        locked = locked || isLayerLocked(row);
        const QList<int> children = m_table->childRows(row);
        groupWithLayers = groupWithLayers || !children.isEmpty();
        for (int child : children) {
            rows << child;
            locked = locked || isLayerLocked(child);
        }
    }
    if (locked) {
        prompt::warning(this, QStringLiteral("删除错误"), QStringLiteral("选定的图层或图层组及其子图层已被锁定，无法删除"));
        return;
    }
    const QString text = groupWithLayers
                             ? QStringLiteral("选中的图层组包含子图层，程序将会删除这些子图层，是否确认删除？")
                             : QStringLiteral("是否确认删除选中的图层/图层组？");
    if (prompt::question(this, QStringLiteral("删除确认"), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) !=
        QMessageBox::Yes)
        return;
    // A checked layer of a checked group comes twice: once is enough, a
    // second removal at that index would take an unrelated row.
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int row : rows)
        removeLayerRow(row, false);
    renumberRows(-1);
}

void TimeAxisWidget::removeLayerRow(int row, bool ask) {
    if (row == -1)
        row = currentLayer();
    if (ask && isLayerLocked(row)) {
        prompt::warning(this, QStringLiteral("删除错误"), QStringLiteral("锁定的图层/图层组无法删除"));
        return;
    }
    LayerPanel* strip = m_table->strip(row);
    if (row < 0 || row >= m_table->fillerRow() || !strip)
        return;
    const QList<int> mediaIds = strip->mediaIds();
    if (!mediaIds.isEmpty() && ask &&
        prompt::question(this, QStringLiteral("删除确认"),
                         QStringLiteral("当前图层有%1个媒体，是否确认全部删除？").arg(mediaIds.size()),
                         QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    QList<int> ioIds;
    for (const LayerIO* block : strip->layerIOItems())
        ioIds << block->id();
    QList<int> playIds;
    for (const LayerPlayControl* block : strip->playControlItems())
        playIds << block->controlId();
    GConfig& config = GConfig::instance();
    for (int id : mediaIds)
        config.removeMedia(id);
    for (int id : ioIds)
        config.removeLayerIO(id, true);
    for (int id : playIds)
        config.removePlayControl(id, true);
    const QList<int> effects = m_table->effectRows(row);
    for (auto it = effects.crbegin(); it != effects.crend(); ++it)
        m_table->removeRow(*it);
    m_table->removeRow(row);
    // The headers below keep their row indices right for whatever comes next.
    renumberRows(row);
}

void TimeAxisWidget::scrollToRow(int row) {
    if (row >= 0 && row < m_table->rowCount())
        m_table->scrollToItem(m_table->item(row, 0));
}

void TimeAxisWidget::lockLayer(bool checked) {
    for (int row = 0; row < m_table->fillerRow(); ++row)
        if (SpecialEffectInfoPanel* e = m_table->effectHeader(row); e && e->isSelected()) {
            e->setLocked(checked);
            return;
        }
    for (int row : checkedLayers()) {
        if (LayerInfoPanel* h = m_table->header(row))
            h->setLocked(checked);
        for (int child : m_table->childRows(row))
            if (LayerInfoPanel* h = m_table->header(child))
                h->setLocked(checked);
    }
    GConfig::instance().clearStageSelection();
}

void TimeAxisWidget::setLockChecked(bool checked) {
    if (m_lockButton->isChecked() != checked)
        m_lockButton->setChecked(checked);
}

bool TimeAxisWidget::isLockChecked() const { return m_lockButton->isChecked(); }

void TimeAxisWidget::eyeChanged(int row, bool hide) {
    // Only a layer's strip holds media; a group's placeholder stands for none.
    if (!m_table->isLayerRow(row))
        return;
    if (LayerPanel* strip = m_table->strip(row))
        strip->setMediaHidden(hide);
}

void TimeAxisWidget::allEyesChanged(int exclude) {
    QList<int> others = m_table->layerRows();
    others.removeAll(exclude);
    bool anyOpen = false;
    for (int row : others)
        anyOpen = anyOpen || !isLayerEyeHidden(row);
    for (int row : others) {
        if (LayerInfoPanel* h = m_table->header(row))
            h->setEyeHidden(anyOpen);
        eyeChanged(row, anyOpen);
    }
}

void TimeAxisWidget::currentLayerChanged() {
    const int row = rowOfLayerPanel(qobject_cast<LayerPanel*>(sender()));
    if (row < 0)
        return;
    m_table->setCurrentCell(row, 0);
    markCurrentLayer(row);
}

// ---------------------------------------------------------------- blocks

void TimeAxisWidget::addItemToLayer(int id, int rowIndex, int layerIndex) {
    if (rowIndex == -1)
        rowIndex = layerRowNear(currentLayer());
    if (rowIndex < 0 || !m_table->isLayerRow(rowIndex)) {
        GConfig::instance().showWaiting(false);
        return;
    }
    m_table->strip(rowIndex)->appendMedia(id, layerIndex);
    GConfig::instance().requestRealtimeUpdate(true);
    m_table->setCurrentCell(rowIndex, 0);
    markCurrentLayer(rowIndex);
    QTimer::singleShot(0, this, [this] {
        updateLayerItems();
        GConfig::instance().fitTimelineLength(1);
        QTimer::singleShot(200, this, [] { GConfig::instance().showWaiting(false); });
    });
}

void TimeAxisWidget::removeMediaFromLayers(int mediaId) {
    for (int row : m_table->headerRows())
        if (LayerPanel* strip = m_table->strip(row))
            strip->removeMedia(mediaId);
    // Its key frames go with it.
    for (int row = 0; row < m_table->fillerRow(); ++row)
        if (EffectLayerPanel* strip = m_table->effectStrip(row))
            for (LayerSpecialEffect* bar : strip->effects())
                if (bar->mediaId() == mediaId)
                    strip->removeEffect(bar);
}

void TimeAxisWidget::removeMediaFromLayer(int mediaId, int row) {
    hideLayerDropMarks();
    if (row >= 0 && row < m_table->fillerRow())
        if (LayerPanel* strip = m_table->strip(row))
            strip->removeMedia(mediaId);
}

void TimeAxisWidget::removeLayerIOBlock(int id) {
    for (int row : m_table->layerRows())
        if (LayerPanel* strip = m_table->strip(row))
            strip->removeLayerIO(id);
}

void TimeAxisWidget::removePlayControlBlock(int id) {
    for (int row : m_table->layerRows())
        if (LayerPanel* strip = m_table->strip(row))
            strip->removePlayControl(id);
}

void TimeAxisWidget::hideLayerDropMarks() {
    for (int row : m_table->headerRows())
        if (LayerPanel* strip = m_table->strip(row))
            strip->hideDropMark();
}

void TimeAxisWidget::updateLayerItems() {
    for (int row : m_table->headerRows())
        if (LayerPanel* strip = m_table->strip(row))
            strip->updateItems();
}

void TimeAxisWidget::refreshRows(bool moveHandles) {
    m_ruler->update();
    if (m_timeSlider)
        m_timeSlider->track()->refresh(moveHandles);
    for (int row = 0; row < m_table->fillerRow(); ++row)
        if (QWidget* cell = m_table->cellWidget(row, 1))
            if (auto* c = qobject_cast<StripContainer*>(cell); c && c->strip())
                c->strip()->update();
}

void TimeAxisWidget::selectMediaLater(int mediaId) {
    QTimer::singleShot(0, this, [this, mediaId] {
        if (mediaId > 0) {
            const int row = GConfig::instance().mediaRecord(mediaId).layer;
            if (row < 0 || row >= m_table->fillerRow())
                return;
            m_table->setCurrentCell(row, 0);
        }
        syncTimelineSelection();
        GConfig::instance().syncStageSelection();
    });
}

void TimeAxisWidget::syncTimelineSelection() {
    GConfig& config = GConfig::instance();
    for (int row : m_table->layerRows()) {
        LayerPanel* strip = m_table->strip(row);
        if (!strip)
            continue;
        const bool locked = isLayerLocked(row);
        for (LayerMedia* bar : strip->mediaItems()) {
            MediaSource* rec = bar->mediaId() > 0 ? config.mediaSource(bar->mediaId()) : nullptr;
            if (!rec)
                continue;
            if (locked)
                rec->selected = false;
            bar->setSelected(rec->selected);
        }
    }
}

void TimeAxisWidget::selectEffectRow(int row) {
    SpecialEffectInfoPanel* effect = m_table->effectHeader(row);
    if (!effect)
        return;
    for (int r = 0; r < m_table->fillerRow(); ++r)
        if (SpecialEffectInfoPanel* e = m_table->effectHeader(r); e && e != effect && e->isSelected())
            e->setSelected(false);
    effect->setSelected(true);
    const int owner = m_table->ownerRow(row);
    if (owner >= 0)
        markCurrentLayer(owner, false);
}

// ---------------------------------------------------------------- zoom and scrolling

int TimeAxisWidget::scrollOffset() const { return m_ruler->offset(); }

int TimeAxisWidget::visibleWidth() const {
    const QScrollBar* bar = m_table->verticalScrollBar();
    const int barWidth = bar->isVisible() ? bar->width() : bar->sizeHint().width();
    return m_ruler->width() - barWidth;
}

int TimeAxisWidget::scrollValueToOffset(int value) const {
    return axis::scrollValueToOffset(value, m_axisWidth - visibleWidth());
}

int TimeAxisWidget::offsetToScrollValue(int offset) const {
    return axis::offsetToScrollValue(offset, m_axisWidth - visibleWidth());
}

void TimeAxisWidget::applyOffset(int offset) {
    for (int row = 0; row < m_table->fillerRow(); ++row)
        if (auto* c = qobject_cast<StripContainer*>(m_table->cellWidget(row, 1)))
            c->setScroll(offset);
    m_ruler->moveRuler(offset);
    if (m_timeSlider)
        m_timeSlider->setScroll(offset);
    if (m_timeLine)
        m_timeLine->setScroll(offset);
}

void TimeAxisWidget::setScale(int level) { m_zoomSlider->setValue(level); }
int TimeAxisWidget::scale() const { return m_ruler->scale(); }

void TimeAxisWidget::addScale() { m_zoomSlider->setValue(std::min(m_zoomSlider->value() + 1, axis::kLevelCount - 1)); }
void TimeAxisWidget::reduceScale() { m_zoomSlider->setValue(std::max(m_zoomSlider->value() - 1, 0)); }

void TimeAxisWidget::scaleChanged2(int x) { m_zoomSlider->setValue(axis::zoomLevelFromX(x, m_zoomSlider->width())); }

void TimeAxisWidget::scaleChanged(int level) {
    if (level < 0 || level >= axis::kLevelCount)
        return;
    const int leftTime = m_ruler->pixelToMs(m_ruler->offset());
    m_ruler->setScale(level);
    const int offset = m_ruler->msToPixel(leftTime);
    m_axisWidth = m_ruler->msToPixel(GConfig::instance().timeAxisLength());
    for (int row = 0; row < m_table->fillerRow(); ++row)
        if (auto* c = qobject_cast<StripContainer*>(m_table->cellWidget(row, 1)))
            c->setLength(m_axisWidth, offset);
    m_ruler->moveRuler(offset);
    m_timeSlider->setLength(m_axisWidth, offset);
    m_timeLine->setScrollAndZoom(offset);
    const int value = offsetToScrollValue(offset);
    updateScroll(value);
    if (value == 0 && m_scrollBar->maximum() > 0)
        m_scrollBar->setValue(0);
    QTimer::singleShot(0, this, [this] {
        if (GConfig::instance().previewPlaying())
            GConfig::instance().timeLineX();
        updateLayerItems();
    });
}

void TimeAxisWidget::setAxisLength(int ms, bool extend) {
    GConfig& config = GConfig::instance();
    const int visibleMs = m_ruler->pixelToMs(m_table->columnWidth(1));
    const int length = axis::axisLengthFor(config.timeAxisLength(), ms, visibleMs, extend);
    config.setTimeAxisLengthValue(length);
    m_axisWidth = m_ruler->msToPixel(length);
    const int offset = m_ruler->offset();
    for (int row = 0; row < m_table->fillerRow(); ++row)
        if (auto* c = qobject_cast<StripContainer*>(m_table->cellWidget(row, 1)))
            c->setLength(m_axisWidth, offset);
    m_timeSlider->setLength(m_axisWidth, offset);
    m_timeLine->setScrollAndZoom(offset);
    updateScroll(offsetToScrollValue(offset));
}

void TimeAxisWidget::updateScroll(int startValue) {
    if (m_table->rowCount() < 2) {
        m_scrollBar->setRange(0, 0);
        return;
    }
    m_scrollBar->setRange(0, axis::kScrollRange);
    const int extent = m_axisWidth - (m_ruler->width() - 16);
    if (extent <= 0) {
        m_scrollBar->setRange(0, 0);
        m_scrollBar->setPageStep(axis::kScrollRange);
        m_scrollBar->setValue(0);
        applyOffset(0);
        return;
    }
    m_scrollBar->setPageStep(std::max(1, 4000000 / extent));
    if (startValue >= 1)
        m_scrollBar->setValue(startValue);
}

void TimeAxisWidget::slotMoveHorizonalScrollBar(int value) { applyOffset(scrollValueToOffset(value)); }
void TimeAxisWidget::setLayerHorizenPos(int value) { applyOffset(scrollValueToOffset(value)); }

bool TimeAxisWidget::scrollMove(int x, bool force) {
    if (!force && m_scrollBar->isHeldOff())
        return false;
    const int extent = std::max(0, m_axisWidth - visibleWidth());
    x = std::clamp(x, 0, extent);
    applyOffset(x);
    const int value = offsetToScrollValue(x);
    if (m_scrollBar->value() != value)
        m_scrollBar->setValue(value);
    return true;
}

void TimeAxisWidget::followPlayHead(int ms) {
    const int p = m_ruler->msToPixel(ms) + axis::kLeftMargin;
    if (const std::optional<int> target = axis::followTarget(p, m_ruler->offset(), visibleWidth()))
        scrollMove(*target, false);
}

void TimeAxisWidget::wheelScroll(int delta) {
    const int step = m_scrollBar->singleStep() * (delta > 0 ? -1 : 1) * axis::wheelMultiplier(scale());
    m_scrollBar->setValue(m_scrollBar->value() + step);
    slotMoveHorizonalScrollBar(m_scrollBar->value());
}

void TimeAxisWidget::syncHorizontalScrollBar(int value) {
    if (m_table->rowCount() > 1) {
        if (m_scrollBar->value() != value)
            m_scrollBar->setValue(value);
    } else {
        m_scrollBar->setRange(0, 0);
    }
}

bool TimeAxisWidget::autoScrollTo(int x) {
    const std::optional<axis::AutoScroll> step = axis::autoScrollStep(x, m_ruler->offset(), visibleWidth());
    if (!step)
        return false;
    scrollMove(step->target, step->forced);
    return true;
}

// ---------------------------------------------------------------- position and transport

void TimeAxisWidget::applyPosition(int ms) {
    m_position = ms;
    GConfig::instance().refreshStage();
    m_timeLabel->setText(msToTimeText(ms));
}


void TimeAxisWidget::moveToTime(int ms) {
    setCurrentTime(ms);
    GConfig::instance().timeLineX();
}

void TimeAxisWidget::setSpeedIndex(int index) {
    if (index >= 0 && index < m_speedBox->count())
        m_speedBox->setCurrentIndex(index);
}

int TimeAxisWidget::speedIndex() const { return m_speedBox->currentIndex(); }

int TimeAxisWidget::findPlayControlByName(const QString& name, int excludeId, int* time) const {
    for (const PlayControlRecord* rec : GConfig::instance().playControls())
        if (rec->name == name && rec->id != excludeId) {
            if (time)
                *time = rec->time;
            return rec->id;
        }
    return -1;
}

void TimeAxisWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_timeLine)
        m_timeLine->setLineHeight(height() - TimeLine::kTop - 17);
}
