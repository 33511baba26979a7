#include "kestrane/stagewidget.h"

#include <QCursor>
#include <QDebug>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>

#include "kestrane/clicklabel.h"
#include "kestrane/delegates.h"
#include "kestrane/gconfig.h"
#include "kestrane/scene.h"
#include "kestrane/stageitems.h"

#include "kestrane/logging.h"
#define KLOG KESTRANE_DEBUG_HERE

// ---------------------------------------------------------------------------
// MComboBox

MComboBox::MComboBox(QWidget* parent) : QComboBox(parent) {}

void MComboBox::mousePressEvent(QMouseEvent* event) {
    QComboBox::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) emit clicked();
}

// ---------------------------------------------------------------------------
// StageView

StageView::StageView(QWidget* parent) : QGraphicsView(parent) {
    m_scene = new Scene(this);
    setAcceptDrops(true);
    setScene(m_scene);
    const double z = GConfig::instance().stageZoom();
    setSceneRect(0, 0, m_stageWidth * z, m_stageHeight * z);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    GConfig::instance().scene = m_scene;
    GConfig::instance().stageView = this;
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
}

StageView::~StageView() {
    if (GConfig::instance().stageView == this) GConfig::instance().stageView = nullptr;
}

void StageView::updateSceneRect() {
    const double z = GConfig::instance().stageZoom();
    setSceneRect(0, 0, m_stageWidth * z, m_stageHeight * z);
    m_scene->advance();
}

void StageView::mousePressEvent(QMouseEvent* event) {
    if (GConfig::instance().handTool() && event->button() == Qt::LeftButton) {
        m_pressX = event->pos().x();
        m_pressY = event->pos().y();
        m_panning = true;
        auto* stage = qobject_cast<StageWidget*>(parentWidget() ? parentWidget()->parentWidget() : nullptr);
        m_pressH = stage ? stage->horizontalBar()->value() : horizontalScrollBar()->value();
        m_pressV = verticalScrollBar()->value();
        return;
    }
    m_panning = false;
    QGraphicsView::mousePressEvent(event);
}

void StageView::mouseMoveEvent(QMouseEvent* event) {
    if (!m_panning) {
        QGraphicsView::mouseMoveEvent(event);
        return;
    }
    auto* stage = qobject_cast<StageWidget*>(parentWidget() ? parentWidget()->parentWidget() : nullptr);
    QScrollBar* h = stage ? stage->horizontalBar() : horizontalScrollBar();
    h->setValue(m_pressH - (event->pos().x() - m_pressX));
    verticalScrollBar()->setValue(m_pressV - (event->pos().y() - m_pressY));
}

void StageView::mouseReleaseEvent(QMouseEvent* event) {
    m_panning = false;
    QGraphicsView::mouseReleaseEvent(event);
}

void StageView::wheelEvent(QWheelEvent* event) {
    const bool vertical = event->angleDelta().y() != 0 && event->angleDelta().x() == 0;
    if (vertical && event->modifiers() == Qt::ControlModifier) {
        GConfig& g = GConfig::instance();
        const double z = g.stageZoom();
        double next;
        if (event->angleDelta().y() > 0) {
            next = z + 0.05 * z;
            if (next > 1.0) next = 1.0;
        } else {
            next = z - 0.05 * z;
            if (next < 0.125) next = 0.125;
        }
        const QPoint at = event->position().toPoint();
        g.setStageZoom(next, at.x(), at.y());
        event->accept();
        return;
    }
    if (event->modifiers() == Qt::AltModifier) {
        // Qt turns an Alt wheel into a horizontal one; either axis counts.
        const QPoint d = event->angleDelta();
        emit horizontalWheelChanged(d.y() != 0 ? d.y() : d.x());
    }
    QGraphicsView::wheelEvent(event);
}

// ---------------------------------------------------------------------------
// StageWidget

namespace {
const char* kPopupStyle =
    "QListView {background:#313131;color:#aeaeae;border:0px;padding:2px;}"
    "QListView::item {background:#313131;border:0px;outline:0px;padding-top:1px;padding-bottom:1px;}"
    "QListView::item:selected {background:#141414;border:0px;outline:0px;color:#aeaeae;}";
}  // namespace

StageWidget::StageWidget(QWidget* parent) : QWidget(parent) {
    m_scales = {{0.125, QStringLiteral("12.5%")}, {0.25, QStringLiteral("25%")}, {0.5, QStringLiteral("50%")},
                {0.75, QStringLiteral("75%")},   {1.0, QStringLiteral("100%")},  {0.99, QStringLiteral("99%")}};
    setObjectName(QStringLiteral("StageWidget"));
    setStyleSheet(QStringLiteral("StageWidget {border-bottom:1px solid #141414;}"));
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::ClickFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 5, 0, 0);

    auto* titleRow = new QWidget(this);
    titleRow->setFixedHeight(25);
    auto* titleLayout = new QHBoxLayout(titleRow);
    titleLayout->setSpacing(0);
    titleLayout->setContentsMargins(4, 0, 0, 0);
    // The project's file name, marked as not yet saved.
    QString title = GConfig::instance().titleText();
    if (!title.endsWith(QLatin1Char('*'))) title += QLatin1Char('*');
    m_title = new QLabel(title, titleRow);
    m_title->setStyleSheet(QStringLiteral("QLabel {color:#aeaeae;}"));
    auto* spacer = new QWidget(titleRow);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    titleLayout->addWidget(m_title);
    titleLayout->addWidget(spacer);
    layout->addWidget(titleRow);

    auto* stage = new QWidget(this);
    stage->setObjectName(QStringLiteral("stage"));
    stage->setStyleSheet(QStringLiteral(
        "QWidget#stage {background:#191919;border-top:1px solid #141414;border-right:1px solid #141414;"
        "border-left:1px solid #141414;}"));
    auto* stageLayout = new QVBoxLayout(stage);
    stageLayout->setSpacing(0);
    stageLayout->setContentsMargins(0, 0, 0, 0);
    m_view = new StageView(stage);
    m_view->setStyleSheet(QStringLiteral(
        "StageView {background:#191919;border:0px;border-right:1px solid #141414;border-top:1px solid #141414;"
        "border-left:1px solid #141414;}"));
    m_view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    stageLayout->addWidget(m_view);
    layout->addWidget(stage);

    auto* toolbar = new QWidget(this);
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setStyleSheet(QStringLiteral("QWidget#toolbar {background:#343434;border-bottom:1px solid #141414;}"));
    toolbar->setFixedHeight(17);
    auto* barLayout = new QHBoxLayout(toolbar);
    barLayout->setSpacing(0);
    barLayout->setContentsMargins(0, 0, 0, 0);
    m_combo = new MComboBox(toolbar);
    m_combo->setObjectName(QStringLiteral("stageComboBox"));
    m_combo->setFixedWidth(56);
    for (const auto& s : m_scales) m_combo->addItem(s.second);
    m_combo->view()->setItemDelegate(new DelegateForMediaListComBox(m_combo));
    m_combo->view()->setStyleSheet(QString::fromLatin1(kPopupStyle));
    hideLastPopupRow();
    m_hbar = new QScrollBar(Qt::Horizontal, toolbar);
    m_hbar->setObjectName(QStringLiteral("stageHorizontalScrollbar"));
    auto* info = new QWidget(toolbar);
    info->setFixedWidth(149);
    auto* infoLayout = new QHBoxLayout(info);
    infoLayout->setSpacing(0);
    infoLayout->setContentsMargins(0, 0, 0, 1);
    const char* names[3] = {"X:", "Y:", "Z:"};
    for (int axis = 0; axis < 3; ++axis) {
        auto* name = new QLabel(QString::fromLatin1(names[axis]), info);
        name->setFixedWidth(16);
        name->setAlignment(Qt::AlignCenter);
        name->setStyleSheet(axis == 0 ? QStringLiteral("color:#aeaeae;border-left:1px solid #141414;")
                                      : QStringLiteral("color:#aeaeae;background:#343434;padding-left:1px;"));
        m_values[axis] = new ClickLabel(info);
        m_values[axis]->setFixedWidth(33);
        m_values[axis]->setStyleSheet(QStringLiteral("color:#aeaeae;border:0px;padding:0px;margin:0px;"));
        m_edits[axis] = new QLineEdit(info);
        m_edits[axis]->setFixedWidth(33);
        m_edits[axis]->setStyleSheet(
            QStringLiteral(".QLineEdit {color:#aeaeae;border:0px;padding:0px;margin:0px;background:#343434;}"));
        m_edits[axis]->hide();
        infoLayout->addWidget(name);
        infoLayout->addWidget(m_values[axis]);
        infoLayout->addWidget(m_edits[axis]);
        connect(m_values[axis], &ClickLabel::clicked, this, [this, axis] { beginValueEdit(axis); });
        connect(m_edits[axis], &QLineEdit::editingFinished, this, [this, axis] { commitValueEdit(axis); });
    }
    m_edits[0]->setValidator(new QIntValidator(-9999, int(stage::kStageExtent), m_edits[0]));
    m_edits[1]->setValidator(new QIntValidator(-9999, int(stage::kStageExtent), m_edits[1]));
    m_values[0]->setProperty("id", 0);
    m_values[0]->setProperty("type", false);
    auto* corner = new QWidget(toolbar);
    corner->setFixedWidth(17);
    corner->setStyleSheet(
        QStringLiteral("QWidget {background:#434343;border-right:1px solid #141414;border-bottom:1px solid #141414;}"));
    barLayout->addWidget(m_combo);
    barLayout->addWidget(m_hbar);
    barLayout->addWidget(info);
    barLayout->addWidget(corner);
    layout->addWidget(toolbar);

    connectCombo();
    connect(m_hbar, &QScrollBar::valueChanged, m_view->horizontalScrollBar(), &QScrollBar::setValue);
    connect(m_view->horizontalScrollBar(), &QScrollBar::valueChanged, m_hbar, &QScrollBar::setValue);
    connect(m_view, &StageView::horizontalWheelChanged, this, &StageWidget::changeHorizontalScroll);
}

StageWidget::~StageWidget() {
    // An edit that loses the focus while the panel goes would finish its
    // edit on a half-destroyed panel.
    for (QLineEdit* edit : m_edits) edit->disconnect(this);
}

Scene* StageWidget::scene() const { return m_view->stageScene(); }

void StageWidget::connectCombo() {
    connect(m_combo, SIGNAL(currentIndexChanged(int)), this, SLOT(changeStageScale(int)), Qt::UniqueConnection);
}

void StageWidget::hideLastPopupRow() {
    if (auto* list = qobject_cast<QListView*>(m_combo->view())) list->setRowHidden(m_combo->count() - 1, true);
}

void StageWidget::changeStageScale(int index) {
    if (index < 0 || index >= m_scales.size()) return;
    GConfig::instance().setStageZoomValue(m_scales[index].first);
    m_view->updateSceneRect();
    updateScrollRange();
    m_hbar->setValue(0);
    m_view->verticalScrollBar()->setValue(0);
}

void StageWidget::changeHorizontalScroll(int delta) {
    m_hbar->setValue(m_hbar->value() + (delta < 0 ? -m_hbar->singleStep() : m_hbar->singleStep()));
}

void StageWidget::setStageScale(double zoom) {
    GConfig::instance().setStageZoomValue(zoom);
    m_view->updateSceneRect();
    updateScrollRange();
    m_hbar->setValue(0);
    m_view->verticalScrollBar()->setValue(0);
    // A loaded zoom shows in the combo's custom entry.
    showCustomScale(zoom);
}

void StageWidget::updateScrollRange() {
    const int viewWidth = m_view->width();
    m_hbar->setRange(0, std::max(0, int(m_view->sceneRect().width() - viewWidth)));
    m_hbar->setPageStep(viewWidth);
}

void StageWidget::setHorizontalScrollValue(int value) { m_hbar->setValue(value); }
void StageWidget::setScaleIndex(int index) { m_combo->setCurrentIndex(index); }
void StageWidget::resetScaleCombo() { m_combo->setCurrentIndex(0); }

void StageWidget::showCustomScale(double zoom) {
    const QString text = QString::number(zoom * 100, 'g', 3) + QLatin1Char('%');
    m_scales.last() = {zoom, text};
    // The rebuilt entries must not zoom: the connection is cut and made
    // again once these index changes are through.
    disconnect(m_combo, SIGNAL(currentIndexChanged(int)), this, SLOT(changeStageScale(int)));
    m_combo->clear();
    for (const auto& s : m_scales) m_combo->addItem(s.second);
    m_combo->setCurrentText(text);
    hideLastPopupRow();
    QTimer::singleShot(0, this, [this] { connectCombo(); });
}

void StageWidget::setItemInfo(int id, bool isDevice, double x, double y, double z) {
    auto text = [](double v) { return v < 0 ? QString() : QString::number(qint64(std::round(v))); };
    m_values[0]->setText(text(x));
    m_values[1]->setText(text(y));
    m_values[2]->setText(text(z));
    m_values[0]->setProperty("id", id);
    m_values[0]->setProperty("type", isDevice);
}

void StageWidget::clearItemInfo() {
    for (int axis = 0; axis < 3; ++axis) {
        m_values[axis]->setText(QString());
        m_edits[axis]->hide();
        m_values[axis]->show();
    }
    m_values[0]->setProperty("id", 0);
}

void StageWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateScrollRange();
}

void StageWidget::beginValueEdit(int axis) {
    if (m_values[axis]->text().isEmpty()) return;
    m_values[axis]->hide();
    m_edits[axis]->setText(m_values[axis]->text());
    m_edits[axis]->setFocus(Qt::OtherFocusReason);
    m_edits[axis]->selectAll();
    m_edits[axis]->show();
}

void StageWidget::commitValueEdit(int axis) {
    // A hidden edit losing focus finishes again; only a shown one commits.
    if (m_edits[axis]->isHidden()) return;
    m_values[axis]->setText(m_edits[axis]->text());
    m_edits[axis]->hide();
    m_values[axis]->show();
    if (axis == 2) return;
    GConfig& g = GConfig::instance();
    const int id = m_values[0]->property("id").toInt();
    if (id <= 0) return;
    const double value = m_edits[axis]->text().toDouble();
    if (m_values[0]->property("type").toBool()) {
        const DeviceRecord* d = g.device(id);
        if (!d) return;
        g.moveDevice(id, axis == 0 ? value : d->stageX, axis == 1 ? value : d->stageY);
    } else {
        MediaSource* m = g.mediaSource(id);
        if (!m) return;
        const auto [x, y] = g.effectAdjustedPos(id, axis == 0 ? value : 0, axis == 1 ? value : 0);
        if (axis == 0)
            m->x = x;
        else
            m->y = y;
    }
    KLOG << "typed position" << id << axis << value;
    g.refreshStage();
    g.setSaved(false);
    if (m_values[0]->property("type").toBool())
        g.showDeviceLater(id, false);
    else
        g.showMediaLater(id, false);
}
