#include "kestrane/matrixlayout.h"

#include <QDateTime>
#include <QDebug>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "kestrane/gconfig.h"
#include "kestrane/matrixdeviceitem.h"
#include "kestrane/matrixlistwidget.h"
#include "kestrane/radiusbackgroundwidget.h"
#include "titlestrip.h"
#include "lintra/KestraneStageServer.h"

#include "kestrane/logging.h"
#define MLOG KESTRANE_DEBUG_HERE

MatrixLayout::MatrixLayout(const QList<int>& deviceIds, QWidget* parent) : QDialog(parent), m_ids(deviceIds) {
    setupUi();
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    connect(m_form.close, &QPushButton::clicked, this, &MatrixLayout::reject);
    connect(m_form.cancel, &QPushButton::clicked, this, &MatrixLayout::reject);
    connect(m_form.OK, &QPushButton::clicked, this, &MatrixLayout::accept);

    GConfig& g = GConfig::instance();
    bool restore = false;
    const DeviceRecord* first = m_ids.isEmpty() ? nullptr : g.device(m_ids.first());
    if (first) {
        m_stamp = first->groupStamp;
        if (m_stamp > 0 && first->matrixCell != -1 && first->matrixRows() > 0 && first->matrixColumns() > 0) {
            m_rows = std::min(first->matrixRows(), 50);
            m_columns = std::min(first->matrixColumns(), 50);
            restore = true;
        }
    }

    m_scene = new QGraphicsScene(this);
    m_form.graphicsView->setScene(m_scene);
    m_form.graphicsView->setStyleSheet(QStringLiteral(".QGraphicsView {border:0px;background:#191919;}"));
    m_form.graphicsView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_form.graphicsView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    // Every cell takes the first device's resolution; a device without one
    // still gets cells of a usable size.
    m_outputWidth = first && first->width > 0 ? first->width : 1920;
    m_outputHeight = first && first->height > 0 ? first->height : 1080;
    m_cellWidth = m_outputWidth / 40.0;
    m_cellHeight = m_outputHeight / 40.0;

    for (int id : m_ids) {
        const DeviceRecord* r = g.device(id);
        m_lastApplied.insert(id, r ? MatrixBlend{r->blendTop, r->blendLeft, r->blendRight, r->blendBottom}
                                   : MatrixBlend{});
    }
    for (int id : m_ids) {
        const DeviceRecord* r = g.device(id);
        auto* item = new QListWidgetItem(r ? r->name : QString());
        item->setData(kDeviceIdRole, id);
        m_form.listWidget->addItem(item);
    }

    // After exec() has shown the dialog, so that the view has its final size.
    QTimer::singleShot(0, this, [this, restore] {
        rebuildGrid();
        if (m_stamp > 0 && restore) restorePlacement();
    });

    m_form.demoPic->setPixmap(QPixmap(QStringLiteral(":/images/matrixlayoutbg.png")));
    m_form.rowNum->setRange(1, 50);
    m_form.colNum->setRange(1, 50);
    m_form.rowNum->setValue(m_rows);
    m_form.colNum->setValue(m_columns);
    for (QSlider* s : {m_form.hSlider, m_form.vSlider}) s->setRange(0, 40);
    for (QLineEdit* e : {m_form.hNum, m_form.vNum}) {
        e->setText(QStringLiteral("0"));
        e->setValidator(new QIntValidator(0, 40, e));
        e->setAlignment(Qt::AlignCenter);
    }
    connect(m_form.rowNum, qOverload<int>(&QSpinBox::valueChanged), this, &MatrixLayout::rowNumChanged);
    connect(m_form.colNum, qOverload<int>(&QSpinBox::valueChanged), this, &MatrixLayout::colNumChanged);
    connect(m_form.hNum, &QLineEdit::textChanged, this, &MatrixLayout::hDorodeNumChanged);
    connect(m_form.vNum, &QLineEdit::textChanged, this, &MatrixLayout::vDorodeNumChanged);
    connect(m_form.hSlider, &QSlider::valueChanged, this, [this](int v) { m_form.hNum->setText(QString::number(v)); });
    connect(m_form.vSlider, &QSlider::valueChanged, this, [this](int v) { m_form.vNum->setText(QString::number(v)); });
    m_form.group->hide();
}

MatrixLayout::~MatrixLayout() {
    // The cells point into this dialog: they go before its members do.
    if (m_scene) m_scene->clear();
}

void MatrixLayout::setupUi() {
    setObjectName(QStringLiteral("MatrixLayout"));
    resize(990, 690);
    setWindowTitle(QStringLiteral("Dialog"));
    setStyleSheet(QStringLiteral(
        "QDialog{background:#2b2b2b;} QLabel{color:#aeaeae;} QGroupBox{color:#aeaeae;}"
        "QPushButton{background:#666666;color:#f2f2f2;border:0px;} QPushButton:hover{background:#888888;}"
        "QLineEdit,QSpinBox{background:#191919;color:#f2f2f2;border:1px solid #141414;}"
        "QListWidget{background:#191919;color:#f2f2f2;border:0px;}"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    const calibration::TitleStrip strip = calibration::addTitleStrip(this, outer, QStringLiteral("矩阵布局"));
    m_form.topPanel = strip.panel;
    m_form.label_2 = strip.title;
    m_form.close = strip.close;

    auto* body = new QHBoxLayout;
    body->setContentsMargins(10, 10, 10, 10);
    auto* left = new QVBoxLayout;
    m_form.label_11 = new QLabel(QStringLiteral("将设备列表中的设备拖动到对应的位置："), this);
    m_form.label_11->setObjectName(QStringLiteral("label_11"));
    m_form.graphicsView = new QGraphicsView(this);
    m_form.graphicsView->setObjectName(QStringLiteral("graphicsView"));
    left->addWidget(m_form.label_11);
    left->addWidget(m_form.graphicsView, 1);
    body->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    m_form.label = new QLabel(QStringLiteral("设备列表："), this);
    m_form.label->setObjectName(QStringLiteral("label"));
    m_form.listWidget = new MatrixListWidget(this);
    m_form.listWidget->setObjectName(QStringLiteral("listWidget"));
    m_form.listWidget->setFocusPolicy(Qt::NoFocus);
    m_form.listWidget->setDialog(this);
    m_form.listWidget->setFixedWidth(240);
    right->addWidget(m_form.label);
    right->addWidget(m_form.listWidget, 1);

    m_form.contentGroup = new QGroupBox(QStringLiteral("排列方向"), this);
    m_form.contentGroup->setObjectName(QStringLiteral("contentGroup"));
    auto* order = new QVBoxLayout(m_form.contentGroup);
    m_form.demoPic = new QLabel(m_form.contentGroup);
    m_form.demoPic->setObjectName(QStringLiteral("demoPic"));
    order->addWidget(m_form.demoPic);
    auto spinRow = [&](const QString& before, QSpinBox*& box, const char* name) {
        auto* row = new QHBoxLayout;
        box = new QSpinBox(m_form.contentGroup);
        box->setObjectName(QString::fromLatin1(name));
        row->addWidget(new QLabel(before, m_form.contentGroup));
        row->addWidget(box);
        row->addWidget(new QLabel(QStringLiteral("个"), m_form.contentGroup));
        order->addLayout(row);
    };
    spinRow(QStringLiteral("横向每行："), m_form.colNum, "colNum");
    spinRow(QStringLiteral("纵向每列："), m_form.rowNum, "rowNum");
    right->addWidget(m_form.contentGroup);

    m_form.contentGroup_2 = new QGroupBox(QStringLiteral("重叠宽度（格）"), this);
    m_form.contentGroup_2->setObjectName(QStringLiteral("contentGroup_2"));
    auto* overlap = new QVBoxLayout(m_form.contentGroup_2);
    auto overlapRow = [&](const QString& before, QSlider*& slider, QLineEdit*& edit, const char* sName,
                          const char* eName) {
        auto* row = new QHBoxLayout;
        slider = new QSlider(Qt::Horizontal, m_form.contentGroup_2);
        slider->setObjectName(QString::fromLatin1(sName));
        edit = new QLineEdit(m_form.contentGroup_2);
        edit->setObjectName(QString::fromLatin1(eName));
        edit->setFixedSize(28, 25);
        row->addWidget(new QLabel(before, m_form.contentGroup_2));
        row->addWidget(slider, 1);
        row->addWidget(edit);
        row->addWidget(new QLabel(QStringLiteral("格"), m_form.contentGroup_2));
        overlap->addLayout(row);
    };
    overlapRow(QStringLiteral("横向："), m_form.hSlider, m_form.hNum, "hSlider", "hNum");
    overlapRow(QStringLiteral("纵向："), m_form.vSlider, m_form.vNum, "vSlider", "vNum");
    right->addWidget(m_form.contentGroup_2);

    auto* buttons = new QHBoxLayout;
    auto button = [&](const QString& text, const char* name) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setFixedSize(60, 25);
        buttons->addWidget(b);
        return b;
    };
    buttons->addStretch();
    m_form.group = button(QStringLiteral("组合"), "group");
    m_form.OK = button(QStringLiteral("确定"), "OK");
    m_form.cancel = button(QStringLiteral("取消"), "cancel");
    right->addLayout(buttons);
    body->addLayout(right);
    outer->addLayout(body, 1);
}

bool MatrixLayout::isCell(const void* item) const {
    for (const MatrixDeviceItem* c : m_cells)
        if (static_cast<const void*>(c) == item) return true;
    return false;
}

QList<MatrixBlend> MatrixLayout::computeBlend(int rows, int columns, int h, int v, const QList<bool>& occupied) {
    QList<MatrixBlend> out;
    auto filled = [&](int index) { return index >= 0 && index < occupied.size() && occupied[index]; };
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            MatrixBlend b;
            if (rows > 1) {
                b.top = r == 0 ? 0 : v;
                b.bottom = r == rows - 1 ? 0 : v;
                if (r > 0 && !filled((r - 1) * columns + c)) b.top = 0;
                if (r < rows - 1 && !filled((r + 1) * columns + c)) b.bottom = 0;
            }
            if (columns > 1) {
                b.left = c == 0 ? 0 : h;
                b.right = c == columns - 1 ? 0 : h;
                if (c > 0 && !filled(r * columns + c - 1)) b.left = 0;
                if (c < columns - 1 && !filled(r * columns + c + 1)) b.right = 0;
            }
            out.append(b);
        }
    }
    return out;
}

void MatrixLayout::computeBlend() {
    QList<bool> occupied;
    for (int i = 0; i < m_rows * m_columns; ++i) occupied.append(i < m_cells.size() && m_cells[i]->deviceId() > 0);
    m_blend = computeBlend(m_rows, m_columns, m_form.hNum->text().toInt(), m_form.vNum->text().toInt(), occupied);
}

void MatrixLayout::applyBlend() {
    computeBlend();
    QMap<int, MatrixBlend> next;
    for (int id : m_ids) next.insert(id, MatrixBlend{});
    for (const MatrixDeviceItem* cell : m_cells)
        if (cell->deviceId() > 0 && next.contains(cell->deviceId()) && cell->cellIndex() < m_blend.size())
            next[cell->deviceId()] = m_blend[cell->cellIndex()];
    GConfig& g = GConfig::instance();
    for (int id : m_ids) {
        const MatrixBlend& b = next[id];
        if (b == m_lastApplied.value(id)) continue;
        if (!g.isConnected()) continue;
        const DeviceRecord* r = g.device(id);
        if (!r) continue;
        CKestraneStageServer* s = g.clientSession(r->serverIp, 0);
        if (!s) continue;
        MLOG << "SetBlendData" << id << s->SetBlendData(r->outputIndex, b.left, b.top, b.right, b.bottom);
    }
    m_lastApplied = next;
}

void MatrixLayout::setListItemHidden(int deviceId, bool hidden) {
    for (int i = 0; i < m_form.listWidget->count(); ++i) {
        QListWidgetItem* item = m_form.listWidget->item(i);
        if (item->data(kDeviceIdRole).toInt() == deviceId) item->setHidden(hidden);
    }
}

void MatrixLayout::rebuildGrid() {
    m_scene->clear();
    m_cells.clear();
    m_rects.clear();
    m_sceneWidth = m_columns * m_outputWidth * 1.125;
    m_sceneHeight = m_rows * m_outputHeight * 1.125;
    MLOG << "scene" << m_sceneWidth << m_sceneHeight;
    // In double: a matrix larger than the view would scale to 0 in whole numbers.
    const QSize view = m_form.graphicsView->size();
    if (m_sceneWidth > 0 && m_sceneHeight > 0 && view.width() > 0 && view.height() > 0)
        m_scale = 0.9 * std::min(view.width() / m_sceneWidth, view.height() / m_sceneHeight);
    m_form.graphicsView->setSceneRect(0, 0, m_sceneWidth * m_scale, m_sceneHeight * m_scale);
    m_marginX = m_columns * m_outputWidth * 0.0625;
    m_marginY = m_rows * m_outputHeight * 0.0625;
    for (int r = 0; r < m_rows; ++r) {
        for (int c = 0; c < m_columns; ++c) {
            m_rects.append(QRectF(c * m_outputWidth + m_marginX, r * m_outputHeight + m_marginY, m_outputWidth,
                                  m_outputHeight));
            auto* cell = new MatrixDeviceItem(r * m_columns + c, &m_rects, m_scale, this);
            m_cells.append(cell);
            m_scene->addItem(cell);
        }
    }
    m_baseRects = m_rects;
    for (int i = 0; i < m_form.listWidget->count(); ++i) m_form.listWidget->item(i)->setHidden(false);
    applyBlend();
}

void MatrixLayout::rowNumChanged(int v) {
    m_rows = v;
    regrid();
}

void MatrixLayout::colNumChanged(int v) {
    m_columns = v;
    regrid();
}

void MatrixLayout::regrid() {
    rebuildGrid();
    // A new grid starts without overlaps.
    QTimer::singleShot(0, this, [this] {
        m_form.hNum->setText(QStringLiteral("0"));
        m_form.vNum->setText(QStringLiteral("0"));
    });
}

void MatrixLayout::hDorodeNumChanged(QString str) {
    const int n = str.toInt();
    m_form.hSlider->setValue(n);
    for (int i = 0; i < m_rects.size() && i < m_baseRects.size(); ++i) {
        const int c = i % m_columns;
        m_rects[i].moveLeft(m_baseRects[i].x() - c * n * m_cellWidth);
        m_rects[i].setWidth(m_baseRects[i].width());
    }
    m_scene->advance();
    applyBlend();
}

void MatrixLayout::vDorodeNumChanged(QString str) {
    const int n = str.toInt();
    m_form.vSlider->setValue(n);
    for (int i = 0; i < m_rects.size() && i < m_baseRects.size(); ++i) {
        const int r = i / m_columns;
        m_rects[i].moveTop(m_baseRects[i].y() - r * n * m_cellHeight);
        m_rects[i].setHeight(m_baseRects[i].height());
    }
    m_scene->advance();
    applyBlend();
}

void MatrixLayout::restorePlacement() {
    GConfig& g = GConfig::instance();
    QMap<int, int> byCell;
    bool first = true;
    for (int id : m_ids) {
        const DeviceRecord* r = g.device(id);
        if (!r) continue;
        if (first) {
            m_form.hNum->setText(QString::number(r->matrixHOverlap()));
            m_form.vNum->setText(QString::number(r->matrixVOverlap()));
            first = false;
        }
        byCell.insert(r->matrixCell, id);
    }
    for (MatrixDeviceItem* cell : m_cells)
        if (byCell.contains(cell->cellIndex())) cell->setDevice(byCell.value(cell->cellIndex()));
    for (int i = 0; i < m_form.listWidget->count(); ++i) m_form.listWidget->item(i)->setHidden(true);
}

QStringList MatrixLayout::serverIpsOfDevices() const {
    GConfig& g = GConfig::instance();
    QStringList ips;
    for (int id : m_ids)
        if (const DeviceRecord* r = g.device(id); r && !ips.contains(r->serverIp, Qt::CaseSensitive))
            ips.append(r->serverIp);
    return ips;
}

void MatrixLayout::resetServers(const QStringList& ips) {
    GConfig& g = GConfig::instance();
    for (const QString& ip : ips) {
        // The stored world may predate later grid and colour edits: sending it
        // would take them back off the wall.
        g.worlds().erase(ip);
        for (int id : g.deviceIds())
            if (g.device(id)->serverIp == ip) g.updateWorldConfigs(id);
        if (!g.isConnected()) continue;
        CKestraneStageServer* s = g.clientSession(ip, 0);
        const auto it = g.worlds().find(ip);
        if (!s || it == g.worlds().end() || !it->second) continue;
        MLOG << "ResetWorldConfig" << ip << s->ResetWorldConfig(*it->second);
        g.resendCurvesAndEdges(ip);
    }
}

void MatrixLayout::accept() {
    GConfig& g = GConfig::instance();
    // The placed device nearest the stage origin (first met wins a tie) anchors the matrix.
    bool found = false;
    double best = 0.0;
    for (QGraphicsItem* item : m_scene->items()) {
        if (!isCell(item)) continue;
        const auto* cell = static_cast<MatrixDeviceItem*>(item);
        const DeviceRecord* r = cell->deviceId() > 0 ? g.device(cell->deviceId()) : nullptr;
        if (!r) continue;
        const double length = std::abs(r->stageX) + std::abs(r->stageY);
        if (!found || length < best) {
            found = true;
            best = length;
            m_originX = r->stageX;
            m_originY = r->stageY;
        }
    }
    computeBlend();
    const qint64 stamp = m_stamp != 0 ? m_stamp : QDateTime::currentMSecsSinceEpoch();
    const int h = m_form.hNum->text().toInt();
    const int v = m_form.vNum->text().toInt();
    QList<int> placed;
    for (const MatrixDeviceItem* cell : m_cells) {
        DeviceRecord* r = cell->deviceId() > 0 ? g.device(cell->deviceId()) : nullptr;
        if (!r) continue;
        const MatrixBlend& b = m_blend.value(cell->cellIndex());
        r->blendLeft = b.left;
        r->blendTop = b.top;
        r->blendRight = b.right;
        r->blendBottom = b.bottom;
        const QRectF rect = m_rects.value(cell->cellIndex());
        r->stageX = m_originX + (rect.x() - m_marginX);
        r->stageY = m_originY + (rect.y() - m_marginY);
        r->groupStamp = stamp;
        r->setMatrix(m_rows, m_columns, h, v);
        r->matrixCell = cell->cellIndex();
        g.updateWorldConfigs(cell->deviceId());
        placed.append(cell->deviceId());
        MLOG << "placed" << cell->deviceId();
    }
    // One device makes no matrix.
    if (placed.size() == 1) placed.clear();
    for (int id : m_ids) {
        if (placed.contains(id)) continue;
        DeviceRecord* r = g.device(id);
        if (!r) continue;
        r->groupStamp = 0;
        r->setMatrix(0, 0, 0, 0);
        r->matrixCell = -1;
        g.updateWorldConfigs(id);
    }
    resetServers(serverIpsOfDevices());
    g.refreshStage();
    g.setSaved(false);
    QDialog::accept();
}

void MatrixLayout::reject() {
    // The records are unchanged: the servers take back every blend sent live.
    resetServers(serverIpsOfDevices());
    QDialog::reject();
}
