#include "kestrane/layerinfopanel.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>

#include <algorithm>

#include "kestrane/axismath.h"
#include "kestrane/clicklabel.h"
#include "kestrane/colorwidget.h"
#include "kestrane/gconfig.h"
#include "kestrane/layertable.h"
#include "kestrane/rowmodel.h"
#include "kestrane/specialeffectinfopanel.h"
#include "kestrane/timeaxiswidget.h"
#include "kestrane/utils.h"

using namespace kestrane;

namespace {

const char* const kFrameStyle =
    "ClickLabel{border-top:1px solid #454545;border-bottom:1px solid #141414;background-color:#343434;}";
const char* const kCheckedFrameStyle =
    "ClickLabel{border-top:1px solid #454545;border-bottom:1px solid #141414;background-color:#4b5367;}";

LayerTable* table() { return GConfig::instance().layerTable; }

}  // namespace

LayerInfoPanel::LayerInfoPanel(int rowIndex, int kind, QWidget* parent)
    : QWidget(parent), m_rowIndex(rowIndex), m_kind(kind) {
    setObjectName(QStringLiteral("layerWidget"));
    setAcceptDrops(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 1, 0);
    layout->setSpacing(0);

    m_eye = new ColorWidget(this);
    m_eye->setFixedSize(41, 42);
    m_eye->setEyeHidden(false);
    connect(m_eye, &ColorWidget::rightClicked, this, &LayerInfoPanel::eyeMenuClicked);
    connect(m_eye, &ColorWidget::clicked, this, &LayerInfoPanel::eyeClicked);
    layout->addWidget(m_eye);

    m_titleFrame = new ClickLabel(this);
    m_titleFrame->setStyleSheet(QString::fromLatin1(kFrameStyle));
    connect(m_titleFrame, &ClickLabel::doubleClickedForPos, this, &LayerInfoPanel::reNameTitle);
    layout->addWidget(m_titleFrame, 1);

    if (kind != Folder) {
        m_effectButton = new QPushButton(this);
        m_effectButton->setObjectName(QStringLiteral("effectExtendBt"));
        m_effectButton->setCheckable(true);
        m_effectButton->setFixedSize(16, 42);
        m_effectButton->setCursor(Qt::PointingHandCursor);
        connect(m_effectButton, &QPushButton::clicked, this, &LayerInfoPanel::toggleEffectRows);
        layout->addWidget(m_effectButton);
    }

    auto* inner = new QHBoxLayout(m_titleFrame);
    inner->setContentsMargins(0, 0, 0, 0);
    inner->setSpacing(0);
    m_indent = new QWidget(m_titleFrame);
    inner->addWidget(m_indent);
    if (kind == Folder) {
        m_expandArrow = new QPushButton(m_titleFrame);
        m_expandArrow->setObjectName(QStringLiteral("mediaTableArrow"));
        m_expandArrow->setCheckable(true);
        m_expandArrow->setFixedSize(8, 8);
        connect(m_expandArrow, &QPushButton::clicked, this,
                [this](bool checked) { updateChildRows(m_rowIndex, checked); });
        inner->addWidget(m_expandArrow);
        inner->addSpacing(5);
        auto* icon = new QPushButton(m_titleFrame);
        icon->setObjectName(QStringLiteral("mediaTableIcon"));
        icon->setFixedSize(11, 11);
        icon->setAttribute(Qt::WA_TransparentForMouseEvents);
        inner->addWidget(icon);
        inner->addSpacing(5);
    }
    m_title = new QLabel(m_titleFrame);
    m_title->setStyleSheet(QStringLiteral("QLabel {color:#aeaeae;}"));
    m_title->setAttribute(Qt::WA_TransparentForMouseEvents);
    inner->addWidget(m_title);
    m_titleEditor = new QLineEdit(m_titleFrame);
    m_titleEditor->setFixedSize(90, 16);
    m_titleEditor->setFocusPolicy(Qt::ClickFocus);
    m_titleEditor->setStyleSheet(QStringLiteral(".QlineEdit {border:1px solid #c8c8c8;}"));
    m_titleEditor->hide();
    connect(m_titleEditor, &QLineEdit::editingFinished, this, &LayerInfoPanel::finishRename);
    inner->addWidget(m_titleEditor);
    inner->addStretch(1);
    m_lockMark = new QPushButton(m_titleFrame);
    m_lockMark->setObjectName(QStringLiteral("layerinfopanel_lock"));
    m_lockMark->setFixedSize(17, 16);
    m_lockMark->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_lockMark->hide();
    inner->addWidget(m_lockMark);

    m_dropLine = new QWidget(this);
    m_dropLine->setStyleSheet(QStringLiteral("border:1px solid #787878;"));
    m_dropLine->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_dropLine->hide();

    updateIndent();
    if (kind == Folder) {
        const TimeAxisWidget* axis = GConfig::instance().timeAxis;
        setTitle(axis ? axis->nextFolderName() : axis::nextFolderName({}));
    } else {
        setTitle(newLayerTitle());
    }
}

void LayerInfoPanel::setKind(int kind) {
    m_kind = kind;
    updateIndent();
}

void LayerInfoPanel::updateIndent() { m_indent->setFixedWidth(m_kind == ChildLayer ? 37 : 8); }

QString LayerInfoPanel::title() const { return m_title->text(); }
void LayerInfoPanel::setTitle(const QString& title) { m_title->setText(title); }

void LayerInfoPanel::setSelected(bool selected) {
    m_checked = selected;
    m_titleFrame->setStyleSheet(QString::fromLatin1(selected ? kCheckedFrameStyle : kFrameStyle));
    if (selected)
        if (TimeAxisWidget* axis = GConfig::instance().timeAxis)
            axis->setLockChecked(m_locked);
}

void LayerInfoPanel::setLocked(bool locked) {
    m_locked = locked;
    m_lockMark->setVisible(locked);
    // The effect rows go with their layer both ways: a layer unlocked with
    // its keys still locked could not be edited at all.
    if (LayerTable* t = table())
        for (int row : t->effectRows(m_rowIndex))
            if (SpecialEffectInfoPanel* e = t->effectHeader(row))
                e->setLocked(locked);
}

bool LayerInfoPanel::eyeIsHidden() const { return m_eye->eyeHidden() != 0; }

void LayerInfoPanel::setEyeHidden(bool hidden) {
    if (LayerTable* t = table(); t && m_kind != Folder)
        for (int row : t->effectRows(m_rowIndex))
            if (SpecialEffectInfoPanel* e = t->effectHeader(row))
                e->setEyeHidden(hidden);
    m_eye->setEyeHidden(hidden);
}

QString LayerInfoPanel::color() const { return m_eye->colorName(); }
void LayerInfoPanel::setColor(const QString& name) { m_eye->setColorName(name); }

bool LayerInfoPanel::isExpanded() const { return m_expandArrow && m_expandArrow->isChecked(); }
void LayerInfoPanel::setExpanded(bool checked) {
    if (m_expandArrow)
        m_expandArrow->setChecked(checked);
}

void LayerInfoPanel::updateChildRows(int folderRow, bool hide) {
    LayerTable* t = table();
    if (!t)
        return;
    for (int row = folderRow + 1; row < t->fillerRow(); ++row) {
        if (t->isEffectRow(row)) {
            if (hide)
                t->setRowHidden(row, true);
            continue;
        }
        LayerInfoPanel* h = t->header(row);
        if (!h)
            break;
        if (h->m_effectButton)
            h->m_effectButton->setChecked(false);
        if (h->kind() != ChildLayer)
            break;
        t->setRowHidden(row, hide);
    }
}

void LayerInfoPanel::toggleEffectRows(bool checked) {
    if (LayerTable* t = table())
        for (int row : t->effectRows(m_rowIndex))
            t->setRowHidden(row, !checked);
}

QString LayerInfoPanel::uniqueTitle(const QString& text, int skipRow) {
    const LayerTable* t = table();
    return axis::uniqueTitle(text, t ? t->allTitles(skipRow) : QStringList());
}

QString LayerInfoPanel::newLayerTitle() {
    const LayerTable* t = table();
    return axis::newLayerTitle(t ? t->titles(false) : QStringList());
}

bool LayerInfoPanel::isFolderChecked() {
    const LayerTable* t = table();
    if (!t)
        return false;
    for (int row : t->groupRows())
        if (const LayerInfoPanel* h = t->header(row); h && h->isSelected())
            return true;
    return false;
}

void LayerInfoPanel::applyEye(bool hide) {
    if (m_kind != Folder) {
        setEyeHidden(hide);
        emit eyeChanged(m_rowIndex, hide);
        return;
    }
    m_eye->setEyeHidden(hide);
    if (LayerTable* t = table())
        for (int row : t->childRows(m_rowIndex))
            if (LayerInfoPanel* h = t->header(row)) {
                h->setEyeHidden(hide);
                emit h->eyeChanged(row, hide);
            }
}

void LayerInfoPanel::eyeClicked() {
    GConfig::instance().pausePlayback();
    applyEye(!eyeIsHidden());
}

void LayerInfoPanel::eyeMenuClicked() {
    QMenu menu;
    auto add = [&menu](const QString& text, const QString& id) {
        QAction* a = menu.addAction(text);
        a->setProperty("id", id);
        return a;
    };
    add(QStringLiteral("显示本图层"), QStringLiteral("showLayer"));
    add(QStringLiteral("隐藏本图层"), QStringLiteral("hideLayer"));
    add(QStringLiteral("显示/隐藏所有其它图层"), QStringLiteral("show_hide_all_layer"));
    menu.addSeparator();
    for (const QString& name : ColorWidget::colorTable().keys()) {
        QAction* a = add(name, name);
        a->setCheckable(true);
        a->setChecked(name == m_eye->colorName());
    }
    QAction* chosen = menu.exec(QCursor::pos());
    if (!chosen)
        return;
    GConfig::instance().pausePlayback();
    const QString id = chosen->property("id").toString();
    if (id == QLatin1String("showLayer") || id == QLatin1String("hideLayer")) {
        applyEye(id == QLatin1String("hideLayer"));
    } else if (id == QLatin1String("show_hide_all_layer")) {
        emit allEyesChanged(m_rowIndex);
    } else {
        m_eye->setColorName(id);
        GConfig::instance().setSaved(false);
    }
}

void LayerInfoPanel::reNameTitle(QPoint pos) {
    const int textWidth = m_title->fontMetrics().horizontalAdvance(m_title->text());
    if (m_title->isVisible() && pos.x() >= m_title->x() && pos.x() <= m_title->x() + textWidth) {
        m_title->hide();
        m_titleEditor->setText(m_title->text().trimmed());
        m_titleEditor->show();
        m_titleEditor->setFocus(Qt::OtherFocusReason);
        m_titleEditor->selectAll();
    }
    GConfig::instance().setSaved(false);
}

void LayerInfoPanel::finishRename() {
    if (m_titleEditor->isHidden())
        return;
    const QString text = m_titleEditor->text().trimmed();
    if (!text.isEmpty())
        setTitle(uniqueTitle(text, m_rowIndex));
    m_titleEditor->hide();
    m_title->show();
}

void LayerInfoPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_pressPos = event->pos();
    QWidget::mousePressEvent(event);
}

void LayerInfoPanel::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) &&
        (event->pos() - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        startDrag();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

QMimeData* LayerInfoPanel::dragData(QList<int>* rows) {
    QList<int> dragged = GConfig::instance().timeAxis ? GConfig::instance().timeAxis->checkedLayers() : QList<int>();
    if (!dragged.contains(m_rowIndex)) {
        dragged = {m_rowIndex};
        if (TimeAxisWidget* axis = GConfig::instance().timeAxis)
            axis->markCurrentLayer(m_rowIndex, false);
    }
    std::sort(dragged.begin(), dragged.end());
    if (rows)
        *rows = dragged;
    auto* data = new QMimeData;
    data->setProperty("type", QStringLiteral("layerPanel"));
    data->setProperty("dropRow", m_rowIndex);
    return data;
}

QPixmap LayerInfoPanel::dragPicture(const QList<int>& rows) const {
    const LayerTable* t = table();
    if (!t || rows.isEmpty())
        return QPixmap();
    int height = 0;
    int width = 0;
    for (int row = rows.first(); row <= rows.last(); ++row) {
        if (t->isRowHidden(row))
            continue;
        height += t->rowHeight(row);
        if (const QWidget* c = t->cellWidget(row, 1))
            width = std::max(width, t->columnWidth(0) + c->width());
    }
    QPixmap picture(std::max(width, 1), std::max(height, 1));
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    int y = 0;
    for (int row = rows.first(); row <= rows.last(); ++row) {
        if (t->isRowHidden(row))
            continue;
        if (rows.contains(row)) {
            if (QWidget* h = t->cellWidget(row, 0))
                painter.drawPixmap(0, y, h->grab());
            if (QWidget* c = t->cellWidget(row, 1))
                painter.drawPixmap(t->columnWidth(0), y, c->grab());
        }
        y += t->rowHeight(row);
    }
    painter.end();
    setPixmapOpacity(picture, 90);
    return picture;
}

void LayerInfoPanel::startDrag() {
    QList<int> rows;
    QMimeData* data = dragData(&rows);
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const QPixmap picture = dragPicture(rows);
    if (!picture.isNull()) {
        drag->setPixmap(picture);
        int above = 0;
        if (const LayerTable* t = table())
            for (int row = rows.first(); row < m_rowIndex; ++row)
                if (!t->isRowHidden(row))
                    above += t->rowHeight(row);
        drag->setHotSpot(QPoint(m_pressPos.x(), above + m_pressPos.y()));
    }
    drag->exec(Qt::MoveAction);
}

int LayerInfoPanel::dropPlaceAt(const QPoint& pos) const {
    if (m_kind == Folder)
        return pos.y() < height() / 3 ? axis::DropAbove : axis::DropInto;
    return pos.y() > height() / 2 ? axis::DropBelow : axis::DropAbove;
}

void LayerInfoPanel::showDropLine(int place) {
    m_dropLine->hide();
    const bool folderDragged = isFolderChecked();
    if (m_kind == Folder) {
        if (place == axis::DropAbove)
            m_dropLine->setGeometry(0, 0, width(), 1);
        else if (!folderDragged)
            m_dropLine->setGeometry(0, 0, width(), height() - 1);
        else
            return;
    } else {
        if (folderDragged && m_kind == ChildLayer)
            return;
        m_dropLine->setGeometry(0, place == axis::DropBelow ? height() - 2 : 0, width(), 1);
    }
    m_dropLine->raise();
    m_dropLine->show();
}

void LayerInfoPanel::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->property("type").toString() == QLatin1String("layerPanel"))
        event->acceptProposedAction();
    else
        event->ignore();
}

void LayerInfoPanel::dragMoveEvent(QDragMoveEvent* event) {
    const QPoint pos = event->pos();
    if (m_kind != Folder && pos.y() * 2 == height())
        m_dropLine->hide();
    else
        showDropLine(dropPlaceAt(pos));
    event->acceptProposedAction();
}

void LayerInfoPanel::dragLeaveEvent(QDragLeaveEvent*) { m_dropLine->hide(); }

void LayerInfoPanel::dropEvent(QDropEvent* event) {
    m_dropLine->hide();
    TimeAxisWidget* axis = GConfig::instance().timeAxis;
    LayerTable* t = table();
    if (!axis || !t || event->mimeData()->property("type").toString() != QLatin1String("layerPanel"))
        return;
    const int place = dropPlaceAt(event->pos());
    const std::optional<axis::RowPlan> plan = axis::dropRows(t->rowKinds(), axis->checkedLayers(), m_rowIndex, place);
    if (!plan)
        return;
    event->acceptProposedAction();
    axis->applyRowPlan(*plan);
    GConfig::instance().refreshStage();
    GConfig::instance().requestRealtimeUpdate(false);
    if (place == axis::DropInto) {
        updateChildRows(m_rowIndex, false);
        setExpanded(false);
    }
    axis->updateLayerItems();
    GConfig::instance().setSaved(false);
}

void LayerInfoPanel::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
