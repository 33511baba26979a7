#include "kestrane/specialeffectinfopanel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMutexLocker>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>
#include <QTimer>

#include <cmath>
#include <cstdlib>

#include "kestrane/clicklabel.h"
#include "kestrane/colorwidget.h"
#include "kestrane/effectcontainer.h"
#include "kestrane/gconfig.h"
#include "kestrane/layerspecialeffect.h"
#include "kestrane/layertable.h"
#include "kestrane/timeaxiswidget.h"

namespace {
const char* const kHeaderStyle =
    "ClickLabel{border-top:1px solid #454545;border-bottom:1px solid #141414;background-color:#343434;}";
const char* const kSelectedStyle =
    "ClickLabel{border-top:1px solid #454545;border-bottom:1px solid #141414;background-color:#4b5367;}";

struct FieldSpec {
    int width;
    int minimum;
    int maximum;
};

// The first and second field of each kind; width 0: no such field.
FieldSpec fieldOf(int kind, bool first) {
    switch (kind) {
    case kestrane::EffectPosition: return {35, -9999, 9999};
    case kestrane::EffectRotation: return first ? FieldSpec{30, 0, 360} : FieldSpec{30, 0, 9999};
    case kestrane::EffectScale: return {35, 0, 500};
    case kestrane::EffectOpacity: return first ? FieldSpec{30, 0, 100} : FieldSpec{0, 0, 0};
    default: return {0, 0, 0};
    }
}

int roundToInt(double v) { return int(std::lround(v)); }

}  // namespace

SpecialEffectInfoPanel::SpecialEffectInfoPanel(int row, int kind, QWidget* parent)
    : QWidget(parent), m_row(row), m_kind(kind) {
    buildUi();
    m_timer = new QTimer(this);
    m_timer->setInterval(200);
    connect(m_timer, &QTimer::timeout, this, &SpecialEffectInfoPanel::monitorAnchors);
    m_timer->start();
}

void SpecialEffectInfoPanel::buildUi() {
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
    layout->addSpacing(11);
    m_keyButton = new QPushButton(m_header);
    m_keyButton->setObjectName(QStringLiteral("effectKey"));
    m_keyButton->setCheckable(true);
    m_keyButton->setFixedSize(11, 11);
    m_keyButton->setCursor(Qt::PointingHandCursor);
    m_keyButton->setStyleSheet(QStringLiteral(
        "QPushButton {background:url(:/images/special_effect.png); border:0px;} "
        "QPushButton:checked {background:url(:/images/special_effect2.png); border:0px;}"));
    connect(m_keyButton, &QPushButton::clicked, this, &SpecialEffectInfoPanel::keyClicked);
    layout->addWidget(m_keyButton);
    m_kindLabel = new QLabel(kindText(m_kind), m_header);
    m_kindLabel->setFixedWidth(48);
    m_kindLabel->setStyleSheet(QStringLiteral("color:#aeaeae;padding-left:8px;"));
    layout->addWidget(m_kindLabel);

    for (bool first : {true, false}) {
        const FieldSpec f = fieldOf(m_kind, first);
        if (f.width == 0)
            continue;
        auto* label = new ClickLabel(m_header);
        label->setStyleSheet(QStringLiteral(".ClickLabel {border:0px;color:#aeaeae;}"));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setFocusPolicy(Qt::ClickFocus);
        label->setFixedWidth(f.width);
        label->hide();
        auto* editor = new QLineEdit(m_header);
        editor->setStyleSheet(QStringLiteral(".QLineEdit {border:0px;}"));
        editor->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        editor->setValidator(new QIntValidator(f.minimum, f.maximum, editor));
        editor->setFixedWidth(f.width);
        editor->hide();
        layout->addWidget(label);
        layout->addWidget(editor);
        connect(label, &ClickLabel::doubleClicked, this, [this, label, editor] { openEditor(label, editor); });
        connect(editor, &QLineEdit::editingFinished, this, [this, first] { commit(first); });
        (first ? m_firstLabel : m_secondLabel) = label;
        (first ? m_firstEditor : m_secondEditor) = editor;
    }
    if (m_kind == kestrane::EffectRotation) {
        layout->addSpacing(12);
        m_ccwBox = new QCheckBox(QStringLiteral("逆时针"), m_header);
        m_ccwBox->setStyleSheet(QStringLiteral(
            "QCheckBox {color:#aeaeae;} QCheckBox::indicator {width:14px;height:14px;} "
            "QCheckBox::indicator:checked {background:url(:/images/checked.png);} "
            "QCheckBox::indicator:unchecked {background:url(:/images/unchecked.png);}"));
        m_ccwBox->hide();
        connect(m_ccwBox, &QCheckBox::clicked, this, &SpecialEffectInfoPanel::counterClockwiseClicked);
        layout->addWidget(m_ccwBox);
    }
    if (m_kind == kestrane::EffectScale) {
        layout->addSpacing(20);
        m_interlock = new QPushButton(m_header);
        m_interlock->setCheckable(true);
        m_interlock->setChecked(true);
        m_interlock->setFixedSize(12, 7);
        m_interlock->setCursor(Qt::PointingHandCursor);
        m_interlock->setStyleSheet(QStringLiteral(
            "QPushButton {border:0px;background:url(:/images/resize_interlock2.png);} "
            "QPushButton:checked {background:url(:/images/resize_interlock.png); border:0px;}"));
        m_interlock->hide();
        layout->addWidget(m_interlock);
    }
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

QString SpecialEffectInfoPanel::unitOf(bool first) const {
    switch (m_kind) {
    case kestrane::EffectRotation: return first ? QStringLiteral("°") : QStringLiteral("×");
    case kestrane::EffectScale:
    case kestrane::EffectOpacity: return QStringLiteral("%");
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
    m_keyButton->setEnabled(!locked);
    for (ClickLabel* label : {m_firstLabel, m_secondLabel})
        if (label)
            label->setEnabled(!locked);
}

bool SpecialEffectInfoPanel::eyeIsHidden() const { return m_eye->eyeHidden() != 0; }

void SpecialEffectInfoPanel::setEyeHidden(bool hidden) {
    if (EffectLayerPanel* s = strip())
        for (LayerSpecialEffect* bar : s->effects())
            for (EffectAnchor* a : bar->anchors())
                a->setKeyDisabled(hidden);
    GConfig& config = GConfig::instance();
    config.refreshStage();
    config.requestRealtimeUpdate(false);
    m_eye->setEyeHidden(hidden);
}

void SpecialEffectInfoPanel::eyeClicked() {
    GConfig::instance().pausePlayback();
    setEyeHidden(!eyeIsHidden());
}

EffectLayerPanel* SpecialEffectInfoPanel::strip() const {
    const LayerTable* table = GConfig::instance().layerTable;
    return table ? table->effectStrip(m_row) : nullptr;
}

void SpecialEffectInfoPanel::setMonitoring(bool on) {
    QMutexLocker lock(&m_mutex);
    m_monitoring = on;
}

bool SpecialEffectInfoPanel::isMonitoring() {
    QMutexLocker lock(&m_mutex);
    return m_monitoring;
}

void SpecialEffectInfoPanel::keyClicked(bool checked) {
    GConfig& config = GConfig::instance();
    config.pausePlayback();
    setMonitoring(false);
    QTimer::singleShot(0, this, [this] { setMonitoring(true); });
    config.selectEffectRow(m_row);
    EffectLayerPanel* s = strip();
    const int now = config.currentTime();
    if (checked) {
        bool taken = false;
        if (s)
            for (const LayerSpecialEffect* bar : s->effects())
                for (const EffectAnchor* a : bar->anchors())
                    taken = taken || config.mediaRecord(bar->mediaId()).start + a->time() == now;
        if (!taken && s)
            s->addAnchorAtCurrentTime(m_kind, m_row, nullptr);
        m_keyButton->setChecked(false);
        config.refreshStage();
        return;
    }
    if (!s)
        return;
    for (LayerSpecialEffect* bar : s->effects())
        for (const EffectAnchor* a : bar->anchors())
            if (a->isSelected() && config.mediaRecord(bar->mediaId()).start + a->time() == now) {
                bar->removeSelectedAnchors();
                showKey(false);
                QTimer::singleShot(50, this, [] { GConfig::instance().refreshStage(); });
                return;
            }
}

void SpecialEffectInfoPanel::monitorAnchors() {
    if (!isMonitoring())
        return;
    if (!m_selected) {
        if (m_keyButton->isChecked()) {
            m_keyButton->setChecked(false);
            showKey(false);
        }
        return;
    }
    const GConfig& config = GConfig::instance();
    const int now = config.currentTime();
    int mediaId = 0;
    int keyId = 0;
    if (const EffectLayerPanel* s = strip()) {
        // A bar holding selected anchors ends the walk, with or without a key.
        for (const LayerSpecialEffect* bar : s->effects()) {
            bool anySelected = false;
            for (const EffectAnchor* a : bar->anchors()) {
                if (!a->isSelected())
                    continue;
                anySelected = true;
                if (config.mediaRecord(bar->mediaId()).start + a->time() == now) {
                    mediaId = bar->mediaId();
                    keyId = a->keyId();
                    break;
                }
            }
            if (anySelected)
                break;
        }
    }
    if (keyId == 0) {
        if (m_keyButton->isChecked()) {
            m_keyButton->setChecked(false);
            showKey(false);
        }
        return;
    }
    if (!m_keyButton->isChecked()) {
        m_keyButton->setChecked(true);
        showKey(true, mediaId, keyId, false);
        return;
    }
    if (m_firstLabel->property("mediaId").toInt() != mediaId || m_firstLabel->property("seId").toInt() != keyId)
        showKey(true, mediaId, keyId, false);
    else if (m_kind == kestrane::EffectPosition)
        showKey(true, mediaId, keyId, true);
}

void SpecialEffectInfoPanel::showKey(bool show, int mediaId, int keyId, bool refreshOnly) {
    QList<ClickLabel*> labels{m_firstLabel};
    if (m_secondLabel)
        labels << m_secondLabel;
    if (!show) {
        for (ClickLabel* l : labels)
            l->hide();
        m_firstEditor->hide();
        if (m_secondEditor)
            m_secondEditor->hide();
        if (m_ccwBox)
            m_ccwBox->hide();
        if (m_interlock)
            m_interlock->hide();
        return;
    }
    const EffectKey key = GConfig::instance().mediaRecord(mediaId).effects.value(keyId);
    QString first;
    QString second;
    switch (m_kind) {
    case kestrane::EffectOpacity: first = QString::number(roundToInt(key.value1 * 100)) + QStringLiteral("%"); break;
    case kestrane::EffectPosition:
        first = QString::number(roundToInt(key.value1));
        second = QString::number(roundToInt(key.value2));
        if (refreshOnly) {
            // An open editor stays open; only changed numbers are written.
            if (m_firstLabel->text() != first)
                m_firstLabel->setText(first);
            if (m_secondLabel->text() != second)
                m_secondLabel->setText(second);
            return;
        }
        break;
    case kestrane::EffectRotation: {
        int a = roundToInt(key.value1);
        if (a < 0)
            a += 360;
        first = QString::number(a) + QStringLiteral("°");
        second = QString::number(std::abs(roundToInt(key.value2))) + QStringLiteral("×");
        m_ccwBox->setChecked(key.value1 < 0 || key.value2 < 0);
        m_ccwBox->show();
        break;
    }
    case kestrane::EffectScale:
        first = QString::number(roundToInt((key.value1 + 1) * 100)) + QStringLiteral("%");
        second = QString::number(roundToInt((key.value2 + 1) * 100)) + QStringLiteral("%");
        m_interlock->setChecked(key.value1 == key.value2);
        m_interlock->show();
        break;
    default: break;
    }
    m_firstLabel->setText(first);
    if (m_secondLabel)
        m_secondLabel->setText(second);
    for (ClickLabel* l : labels) {
        l->setProperty("mediaId", mediaId);
        l->setProperty("seId", keyId);
        l->show();
    }
    m_firstEditor->hide();
    if (m_secondEditor)
        m_secondEditor->hide();
}

void SpecialEffectInfoPanel::openEditor(ClickLabel* label, QLineEdit* editor) {
    QString text = label->text();
    if (m_kind != kestrane::EffectPosition)
        text.chop(1);
    label->hide();
    editor->setText(text);
    editor->show();
    editor->setFocus();
    editor->selectAll();
}

void SpecialEffectInfoPanel::commit(bool first) {
    ClickLabel* label = first ? m_firstLabel : m_secondLabel;
    QLineEdit* editor = first ? m_firstEditor : m_secondEditor;
    // Hiding the editor takes its focus, which finishes the edit once more.
    if (editor->isHidden())
        return;
    const QString text = editor->text().trimmed();
    const int value = text.toInt();
    label->setText(text + unitOf(first));
    editor->hide();
    label->show();

    GConfig& config = GConfig::instance();
    const int mediaId = label->property("mediaId").toInt();
    const int keyId = label->property("seId").toInt();
    MediaSource* rec = config.mediaSource(mediaId);
    // A key deleted while its editor was open stays deleted.
    auto key = rec ? rec->effects.find(keyId) : QMap<int, EffectKey>::iterator();
    if (!rec || key == rec->effects.end())
        return;
    const bool ccw = m_ccwBox && m_ccwBox->isChecked();
    switch (m_kind) {
    case kestrane::EffectPosition: (first ? key->value1 : key->value2) = value; break;
    case kestrane::EffectRotation:
        if (first) {
            key->value1 = ccw ? value - 360 : value;
            key->value2 = (ccw ? -1 : 1) * std::abs(key->value2);
        } else {
            key->value2 = ccw ? -value : value;
            if (ccw && key->value1 > 0)
                key->value1 -= 360;
            else if (!ccw && key->value1 < 0)
                key->value1 += 360;
        }
        break;
    case kestrane::EffectScale: {
        const double factor = value / 100.0 - 1.0;
        (first ? key->value1 : key->value2) = factor;
        if (m_interlock->isChecked()) {
            (first ? key->value2 : key->value1) = factor;
            (first ? m_secondLabel : m_firstLabel)->setText(label->text());
        }
        break;
    }
    case kestrane::EffectOpacity: key->value1 = value / 100.0; break;
    default: break;
    }
    rec->rebuildEffectIndex(m_kind);
    if (m_kind == kestrane::EffectScale)
        keepScaledMediaOnStage(mediaId);
    config.refreshStage();
}

void SpecialEffectInfoPanel::counterClockwiseClicked(bool checked) {
    GConfig& config = GConfig::instance();
    MediaSource* rec = config.mediaSource(m_secondLabel->property("mediaId").toInt());
    auto key = rec ? rec->effects.find(m_secondLabel->property("seId").toInt()) : QMap<int, EffectKey>::iterator();
    if (!rec || key == rec->effects.end())
        return;
    if (checked && key->value1 > 0)
        key->value1 -= 360;
    else if (!checked && key->value1 < 0)
        key->value1 += 360;
    key->value2 = (checked ? -1 : 1) * std::abs(key->value2);
    rec->rebuildEffectIndex(m_kind);
    config.refreshStage();
}

void SpecialEffectInfoPanel::keepScaledMediaOnStage(int mediaId) {
    GConfig& config = GConfig::instance();
    config.showStageInfo(mediaId, false);
    auto [x, y] = config.mediaStagePos(mediaId);
    config.showMediaLater(mediaId, false);
    if (x >= 0 && y >= 0)
        return;
    x = x > 0 ? x : 0;
    y = y > 0 ? y : 0;
    if (MediaSource* rec = config.mediaSource(mediaId)) {
        const auto [sx, sy] = config.effectAdjustedPos(mediaId, x, y);
        rec->x = sx;
        rec->y = sy;
    }
}

void SpecialEffectInfoPanel::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
