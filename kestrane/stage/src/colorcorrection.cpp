#include "kestrane/colorcorrection.h"

#include <QFont>
#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QDoubleValidator>
#include <QFrame>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "kestrane/clicklabel.h"
#include "kestrane/curvewidget.h"
#include "kestrane/delegates.h"
#include "kestrane/deviceitemforcorrection.h"
#include "kestrane/gconfig.h"
#include "kestrane/radiusbackgroundwidget.h"
#include "titlestrip.h"
#include "kestrane/wheellineedit.h"

namespace {

const char* const kRamps[4] = {"white", "red", "green", "blue"};
const char* const kRampPictures[4] = {":/images/bai.png", ":/images/hong.png", ":/images/lv.png", ":/images/lan.png"};
const uint32_t kTestColors[4] = {0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000};

QString pageButtonStyle() {
    return QStringLiteral("QPushButton{background:black;color:#f2f2f2;border:1px solid #666666;}"
                          "QPushButton:checked{border:2px solid #0099ff;}");
}

}  // namespace

ColorCorrection::ColorCorrection(int deviceId, QWidget* parent) : QDialog(parent), m_deviceId(deviceId) {
    m_zoomList = {{0.0625, QStringLiteral("6.25%")},
                  {0.125, QStringLiteral("12.5%")},
                  {0.25, QStringLiteral("25%")},
                  {0.5, QStringLiteral("50%")}};
    m_scene = new QGraphicsScene(this);
    setupUi();
    m_form.outputColor->setCheckable(true);
    m_form.edgeEliminate->setCheckable(true);
    m_form.outputColor->setChecked(true);
    buildOutputColorPage();
    buildBlendColorPage();
    for (int i = 0; i < 4; ++i) {
        connect(m_form.outputTest[i], &QPushButton::clicked, this, [this, i] { chooseOutputTestColor(i); });
        connect(m_form.blendTest[i], &QPushButton::clicked, this, [this, i] { chooseBlendTestColor(i); });
    }
    initValues();
    connect(m_form.ratioLink, &QCheckBox::clicked, this, &ColorCorrection::linkRatios);
    connect(m_form.levelLink, &QCheckBox::clicked, this, &ColorCorrection::linkLevels);
    connect(m_form.edgeLink, &QCheckBox::clicked, this, &ColorCorrection::linkEdges);
    m_form.blendPage->hide();
    connect(m_form.outputColor, &QPushButton::clicked, this, &ColorCorrection::showColorPage);
    connect(m_form.edgeEliminate, &QPushButton::clicked, this, &ColorCorrection::showBlendColorPage);
    connect(m_form.close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_form.cancel, &QPushButton::clicked, this, &ColorCorrection::reject);
    initView();
    initScrollPanel();
    QTimer::singleShot(0, this, [this] { populateDevices(); });
    notifyColorPage(true);
    GConfig::instance().sendCommonDataToAll(5, 0xFFFFFF);
    m_outputTestColor = 0xFFFFFF;
    m_blendTestColor = 0xFFFFFF;
}

ColorCorrection::~ColorCorrection() {
    notifyColorPage(false);
    notifyBlendColorPage(false);
    // The tiles point at this dialog: they go first.
    m_scene->clear();
}

// ---------------------------------------------------------------------------
// Pure helpers

QString ColorCorrection::formatPercent(double x) {
    QString text = QString::number(x, 'g', 6);
    if (!text.contains(QLatin1Char('.'))) text += QStringLiteral(".0");
    return text;
}

int ColorCorrection::levelIndexAt(int x) { return std::clamp((x - 8) / 14, 0, 16); }

int ColorCorrection::nominalLevel(int k) {
    k = std::clamp(k, 0, 16);
    return k == 0 ? 0 : 16 * k - 1;
}

uint32_t ColorCorrection::stepColor(const QString& ramp, int k) {
    const uint32_t level = static_cast<uint32_t>(nominalLevel(k));
    if (ramp == QLatin1String("white")) return level * 0x010101u;
    if (ramp == QLatin1String("red")) return level;
    if (ramp == QLatin1String("green")) return level * 0x100u;
    return level * 0x10000u;
}

int ColorCorrection::median(int a, int b, int c) { return std::max(std::min(a, b), std::min(std::max(a, b), c)); }

int ColorCorrection::centerOffset(double pos, int size, double zoom, int viewSize, double stageSize) {
    const int s = static_cast<int>(std::trunc(pos * zoom)) - (viewSize - static_cast<int>(std::trunc(size * zoom))) / 2;
    const int hi = static_cast<int>(std::trunc(stageSize * zoom)) - viewSize;
    // A view wider than the stage has nothing to scroll.
    return std::max(0, std::min(s, hi));
}

// ---------------------------------------------------------------------------
// Form

void ColorCorrection::setupUi() {
    setObjectName(QStringLiteral("ColorCorrection"));
    resize(990, 690);
    setMaximumSize(10000, 6900);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("Dialog"));
    setStyleSheet(QStringLiteral(
        "QDialog{background:#2b2b2b;} QLabel{color:#aeaeae;} QGroupBox{color:#aeaeae;} QCheckBox{color:#aeaeae;}"
        "QPushButton{background:#666666;color:#f2f2f2;border:0px;} QPushButton:hover{background:#888888;}"
        "QLineEdit{background:#191919;color:#f2f2f2;border:1px solid #141414;}"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    const calibration::TitleStrip strip = calibration::addTitleStrip(this, outer, QStringLiteral("色彩校正"));
    m_form.topPanel = strip.panel;
    m_form.label_2 = strip.title;
    m_form.close = strip.close;

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    auto* widget3 = new QWidget(this);
    widget3->setObjectName(QStringLiteral("widget_3"));
    auto* left = new QVBoxLayout(widget3);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    m_form.graphicsView = new QGraphicsView(widget3);
    m_form.graphicsView->setObjectName(QStringLiteral("graphicsView"));
    m_form.horizontalScrollPanel = new QWidget(widget3);
    m_form.horizontalScrollPanel->setObjectName(QStringLiteral("horizontalScrollPanel"));
    m_form.horizontalScrollPanel->setFixedHeight(16);
    left->addWidget(m_form.graphicsView, 1);
    left->addWidget(m_form.horizontalScrollPanel);
    body->addWidget(widget3, 1);

    auto* widget4 = new QWidget(this);
    widget4->setObjectName(QStringLiteral("widget_4"));
    widget4->setFixedWidth(284);
    auto* right = new QVBoxLayout(widget4);
    right->setContentsMargins(12, 8, 12, 8);
    auto line = [&](const char* name) {
        auto* l = new QFrame(widget4);
        l->setObjectName(QString::fromLatin1(name));
        l->setFrameShape(QFrame::HLine);
        l->setFixedHeight(1);
        l->setStyleSheet(QStringLiteral("background:#141414;"));
        right->addWidget(l);
    };
    line("line_4");
    auto* pages = new QHBoxLayout;
    auto pageButton = [&](const QString& text, const char* name) {
        auto* b = new QPushButton(text, widget4);
        b->setObjectName(QString::fromLatin1(name));
        b->setFixedSize(60, 25);
        pages->addWidget(b);
        return b;
    };
    m_form.outputColor = pageButton(QStringLiteral("输出色彩"), "outputColor");
    m_form.edgeEliminate = pageButton(QStringLiteral("边缘消隐"), "edgeEliminate");
    m_form.pushButton_3 = pageButton(QStringLiteral("曝光补偿"), "pushButton_3");
    m_form.outputColor->setStyleSheet(pageButtonStyle());
    m_form.edgeEliminate->setStyleSheet(pageButtonStyle());
    m_form.pushButton_3->setStyleSheet(QStringLiteral("QPushButton{background:black;color:#333;border:1px solid #333;}"));
    pages->addStretch();
    right->addLayout(pages);
    line("line_5");
    m_form.contentGroup = new QGroupBox(QStringLiteral("设置输出色彩"), widget4);
    m_form.contentGroup->setObjectName(QStringLiteral("contentGroup"));
    m_form.contentGroup->setFixedHeight(385);
    new QVBoxLayout(m_form.contentGroup);
    right->addWidget(m_form.contentGroup);
    right->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    m_form.cancel = new QPushButton(QStringLiteral("关闭"), widget4);
    m_form.cancel->setObjectName(QStringLiteral("cancel"));
    m_form.cancel->setFixedSize(60, 25);
    bottom->addWidget(m_form.cancel);
    right->addLayout(bottom);
    body->addWidget(widget4);
    outer->addLayout(body, 1);
}

namespace {

// A 43 x 25 edit, with "%" inside its right edge when asked.
WheelLineEdit* makeEdit(QWidget* parent, bool percent) {
    auto* e = new WheelLineEdit(parent);
    e->setFixedSize(43, 25);
    e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // "100.0" and its "%" must fit the 43 pixels whatever the desktop font.
    QFont small = e->font();
    small.setPixelSize(10);
    e->setFont(small);
    // The size goes into the style sheet too: the console's sheet sets a
    // font size for every widget, which outranks setFont.
    e->setStyleSheet(QStringLiteral("padding:0px;font-size:10px;"));
    if (percent) {
        e->setTextMargins(0, 0, 9, 0);
        auto* unit = new QLabel(QStringLiteral("%"), e);
        unit->setFont(small);
        unit->setStyleSheet(QStringLiteral("font-size:10px;"));
        unit->setGeometry(34, 0, 8, 25);
    }
    return e;
}

QPushButton* makeReset(QWidget* parent) {
    auto* b = new QPushButton(QStringLiteral("重置"), parent);
    b->setFixedSize(38, 25);
    return b;
}

QSlider* makeSlider(QWidget* parent) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setFixedWidth(120);
    s->setPageStep(1);
    return s;
}

QHBoxLayout* testButtonRow(QWidget* page, QPushButton* buttons[4]) {
    const char* colours[4] = {"#fff", "#ff0000", "#008000", "#00f"};
    auto* row = new QHBoxLayout;
    for (int i = 0; i < 4; ++i) {
        buttons[i] = new QPushButton(page);
        buttons[i]->setCheckable(true);
        buttons[i]->setFixedSize(15, 15);
        buttons[i]->setStyleSheet(QStringLiteral("QPushButton{background:%1;border:0px;}"
                                                 "QPushButton:checked{border:2px solid #ccc;}")
                                      .arg(QLatin1String(colours[i])));
        row->addWidget(buttons[i]);
    }
    buttons[0]->setChecked(true);
    row->addWidget(new QLabel(QStringLiteral("RGB"), page));
    row->addStretch();
    return row;
}

// Three channel rows (swatch, slider, edit, reset) and the reference-white row.
void channelRows(QWidget* page, QVBoxLayout* box, QSlider* sliders[3], WheelLineEdit* edits[4], QPushButton* resets[4],
                 bool percent, bool levels) {
    const char* swatches[3] = {"#ff0000", "#008000", "#0000ff"};
    for (int c = 0; c < 4; ++c) {
        auto* row = new QHBoxLayout;
        if (c < 3) {
            auto* swatch = new QLabel(page);
            swatch->setFixedSize(15, 15);
            swatch->setStyleSheet(QStringLiteral("background:%1;").arg(QLatin1String(swatches[c])));
            sliders[c] = makeSlider(page);
            row->addWidget(swatch);
            row->addWidget(sliders[c]);
            edits[c] = makeEdit(page, percent);
            if (levels) edits[c]->setObjectName(QStringLiteral("gradual"));
        } else {
            row->addWidget(new QLabel(QStringLiteral("基准白差值："), page));
            row->addStretch();
            edits[c] = makeEdit(page, true);
        }
        resets[c] = makeReset(page);
        row->addWidget(edits[c]);
        row->addWidget(resets[c]);
        box->addLayout(row);
    }
}

}  // namespace

void ColorCorrection::buildOutputColorPage() {
    auto* page = new QWidget(m_form.contentGroup);
    page->setObjectName(QStringLiteral("outputColorPage"));
    m_form.outputPage = page;
    m_form.contentGroup->layout()->addWidget(page);
    auto* box = new QVBoxLayout(page);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(3);
    box->addLayout(testButtonRow(page, m_form.outputTest));
    channelRows(page, box, m_form.ratioSlider, m_form.ratioEdit, m_form.ratioReset, true, false);
    m_form.ratioLink = new QCheckBox(QStringLiteral("RGB同步调整"), page);
    m_form.ratioLink->setObjectName(QStringLiteral("colorCorrection"));
    box->addWidget(m_form.ratioLink);
    auto* separator = new QFrame(page);
    separator->setFrameShape(QFrame::HLine);
    box->addWidget(separator);
    auto* stepRow = new QHBoxLayout;
    stepRow->addWidget(new QLabel(QStringLiteral("逐级校正："), page));
    m_form.stepSwitch = new QPushButton(page);
    m_form.stepSwitch->setCheckable(true);
    m_form.stepSwitch->setFixedSize(44, 16);
    m_form.stepSwitch->setStyleSheet(
        QStringLiteral("QPushButton{border-image:url(:/images/enable.png);}"
                       "QPushButton:checked,QPushButton:disabled{border-image:url(:/images/disable.png);}"));
    stepRow->addWidget(m_form.stepSwitch);
    stepRow->addStretch();
    box->addLayout(stepRow);
    connect(m_form.stepSwitch, &QPushButton::clicked, this, &ColorCorrection::setStepCorrection);
    m_form.stepBar = new ClickLabel(page);
    m_form.stepBar->setFixedSize(246, 14);
    m_form.stepBar->setProperty("color", QStringLiteral("white"));
    m_form.stepBar->setStyleSheet(QStringLiteral("QLabel{border-image:url(:/images/bai.png);}"));
    box->addWidget(m_form.stepBar);
    connect(m_form.stepBar, &ClickLabel::posClicked, this, &ColorCorrection::slotGradualBtClicked);
    channelRows(page, box, m_form.levelSlider, m_form.levelEdit, m_form.levelReset, false, true);
    m_form.levelLink = new QCheckBox(QStringLiteral("RGB同步调整"), page);
    m_form.levelLink->setObjectName(QStringLiteral("colorCorrection"));
    box->addWidget(m_form.levelLink);
    box->addStretch();
    selectLevel(0);
    // The level editors work before the step switch is turned on.
    QTimer::singleShot(0, this, [this] {
        for (int c = 0; c < 4; ++c) {
            if (c < 3) m_form.levelSlider[c]->setEnabled(true);
            m_form.levelEdit[c]->setEnabled(true);
            m_form.levelReset[c]->setEnabled(true);
        }
    });
}

void ColorCorrection::buildBlendColorPage() {
    auto* page = new QWidget(m_form.contentGroup);
    page->setObjectName(QStringLiteral("blendColorPage"));
    m_form.blendPage = page;
    m_form.contentGroup->layout()->addWidget(page);
    auto* box = new QVBoxLayout(page);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(3);
    m_form.curve = new CurveWidget(page);
    m_form.curve->setFixedSize(248, 205);
    m_form.curve->setStyleSheet(QStringLiteral("CurveWidget{border-image:url(:/images/chat.png);}"));
    box->addWidget(m_form.curve);
    box->addLayout(testButtonRow(page, m_form.blendTest));
    channelRows(page, box, m_form.edgeSlider, m_form.edgeEdit, m_form.edgeReset, true, false);
    m_form.edgeLink = new QCheckBox(QStringLiteral("RGB同步调整"), page);
    m_form.edgeLink->setObjectName(QStringLiteral("colorCorrection"));
    box->addWidget(m_form.edgeLink);
    box->addStretch();
}

void ColorCorrection::deferText(WheelLineEdit* edit, const QString& text) {
    QTimer::singleShot(0, edit, [edit, text] { edit->setText(text); });
}

void ColorCorrection::initValues() {
    for (QCheckBox* link : {m_form.ratioLink, m_form.levelLink, m_form.edgeLink}) link->setChecked(false);
    auto* percent = new QDoubleValidator(0.0, 100.0, 1, this);
    percent->setNotation(QDoubleValidator::StandardNotation);
    auto* level = new QIntValidator(0, 255, this);
    for (int c = 0; c < 4; ++c) {
        m_form.ratioEdit[c]->setValidator(percent);
        m_form.edgeEdit[c]->setValidator(percent);
        m_form.levelEdit[c]->setValidator(level);
        connect(m_form.ratioEdit[c], &QLineEdit::textChanged, this, [this, c](const QString& t) { setRatio(c, t); });
        connect(m_form.levelEdit[c], &QLineEdit::textChanged, this,
                [this, c](const QString& t) { setCurveLevel(c, t); });
        connect(m_form.edgeEdit[c], &QLineEdit::textChanged, this,
                [this, c](const QString& t) { setEdgeEliminate(c, t); });
        for (WheelLineEdit* e : {m_form.ratioEdit[c], m_form.levelEdit[c], m_form.edgeEdit[c]})
            connect(e, &WheelLineEdit::wheelRolled, this, &ColorCorrection::editWheelRolled);
        connect(m_form.ratioReset[c], &QPushButton::clicked, this,
                [this, c] { m_form.ratioEdit[c]->setText(QStringLiteral("100.0")); });
        connect(m_form.edgeReset[c], &QPushButton::clicked, this,
                [this, c] { m_form.edgeEdit[c]->setText(QStringLiteral("100.0")); });
        connect(m_form.levelReset[c], &QPushButton::clicked, this,
                [this, c] { m_form.levelEdit[c]->setText(QString::number(nominalLevel(markedStep()))); });
    }
    for (int c = 0; c < 3; ++c) {
        QTimer::singleShot(0, this, [this, c] {
            m_form.ratioSlider[c]->setRange(0, 1000);
            m_form.ratioSlider[c]->setValue(1000);
            m_form.levelSlider[c]->setRange(0, 255);
            m_form.levelSlider[c]->setValue(255);
            m_form.edgeSlider[c]->setRange(0, 1000);
            m_form.edgeSlider[c]->setValue(1000);
            connect(m_form.ratioSlider[c], &QSlider::valueChanged, this, [this, c](int v) { ratioSliderMoved(c, v); });
            connect(m_form.levelSlider[c], &QSlider::valueChanged, this, [this, c](int v) { levelSliderMoved(c, v); });
            connect(m_form.edgeSlider[c], &QSlider::valueChanged, this, [this, c](int v) { edgeSliderMoved(c, v); });
        });
    }
    fillRows(98.0);
}

void ColorCorrection::fillRows(double white) {
    const DeviceRecord* r = GConfig::instance().device(m_deviceId);
    const int k = markedStep();
    QStringList ratio, level, edge;
    for (int c = 0; c < 3; ++c) {
        ratio << formatPercent(r ? r->colorRatio[c] * 100.0 : 100.0);
        level << QString::number(r ? r->colorCurve[c][k] : nominalLevel(k));
        edge << formatPercent(r ? r->edgeParam[c][2] * 100.0 : 100.0);
    }
    ratio << formatPercent(white);
    level << QString::number(100.0);
    edge << formatPercent(100.0);
    for (int c = 0; c < 4; ++c) {
        QTimer::singleShot(0, this, [this, c, ratio, level, edge] {
            m_form.ratioEdit[c]->setText(ratio[c]);
            m_form.edgeEdit[c]->setText(edge[c]);
            m_form.levelEdit[c]->setText(level[c]);
        });
    }
}

void ColorCorrection::loadDevice() {
    for (QCheckBox* link : {m_form.ratioLink, m_form.levelLink, m_form.edgeLink}) link->setChecked(false);
    fillRows(100.0);
}

// ---------------------------------------------------------------------------
// Edits and sliders

void ColorCorrection::setRatio(int channel, const QString& text) {
    const double x = text.toDouble();
    if (x > 100) {
        deferText(m_form.ratioEdit[channel], QStringLiteral("100.0"));
        return;
    }
    if (text.trimmed().isEmpty() || x < 0) {
        deferText(m_form.ratioEdit[channel], QStringLiteral("0"));
        return;
    }
    if (channel == 3) return;
    GConfig& g = GConfig::instance();
    DeviceRecord* r = g.device(m_deviceId);
    if (!r) return;
    r->colorRatio[channel] = static_cast<float>(x / 100.0);
    g.sendColorCorrection(m_deviceId, 1);
    if (m_form.ratioLink->isChecked())
        for (int c = 0; c < 3; ++c)
            if (c != channel && m_form.ratioEdit[c]->text() != text) m_form.ratioEdit[c]->setText(text);
    m_form.ratioSlider[channel]->setValue(static_cast<int>(std::trunc(x * 10 + 0.5)));
    g.setSaved(false);
}

void ColorCorrection::setEdgeEliminate(int channel, const QString& text) {
    const double x = text.toDouble();
    if (x > 100) {
        deferText(m_form.edgeEdit[channel], QStringLiteral("100"));
        return;
    }
    if (text.trimmed().isEmpty() || x < 0) {
        deferText(m_form.edgeEdit[channel], QStringLiteral("0"));
        return;
    }
    if (channel == 3) return;
    GConfig& g = GConfig::instance();
    DeviceRecord* r = g.device(m_deviceId);
    if (!r) return;
    r->edgeParam[channel][2] = static_cast<float>(x / 100.0);
    g.sendColorCorrection(m_deviceId, 2);
    g.setSaved(false);
    if (m_form.edgeLink->isChecked())
        for (int c = 0; c < 3; ++c)
            if (c != channel && m_form.edgeEdit[c]->text() != text) m_form.edgeEdit[c]->setText(text);
    m_form.edgeSlider[channel]->setValue(static_cast<int>(std::trunc(x * 10 + 0.5)));
    m_form.curve->setValues({r->edgeParam[0][2], r->edgeParam[1][2], r->edgeParam[2][2]});
}

void ColorCorrection::setCurveLevel(int channel, const QString& text) {
    const int n = text.toInt();
    if (n >= 256) {
        deferText(m_form.levelEdit[channel], QStringLiteral("255"));
        return;
    }
    if (text.trimmed().isEmpty() || n < 0) {
        deferText(m_form.levelEdit[channel], QStringLiteral("0"));
        return;
    }
    if (channel == 3) return;
    GConfig& g = GConfig::instance();
    DeviceRecord* r = g.device(m_deviceId);
    if (!r) return;
    const int k = markedStep();
    if (r->colorCurve[channel][k] != n) {
        r->colorCurve[channel][k] = static_cast<quint8>(n);
        g.sendColorCorrection(m_deviceId, 3);
        // A curve is part of the project like every other edit.
        g.setSaved(false);
    }
    if (m_form.levelLink->isChecked())
        for (int c = 0; c < 3; ++c)
            if (c != channel && m_form.levelEdit[c]->text() != text) m_form.levelEdit[c]->setText(text);
    m_form.levelSlider[channel]->setValue(n);
}

void ColorCorrection::ratioSliderMoved(int channel, int v) {
    m_form.ratioEdit[channel]->setText(formatPercent(v / 10.0));
    if (m_form.ratioLink->isChecked())
        for (int c = 0; c < 3; ++c)
            if (c != channel && m_form.ratioSlider[c]->value() != v) m_form.ratioSlider[c]->setValue(v);
}

void ColorCorrection::edgeSliderMoved(int channel, int v) {
    m_form.edgeEdit[channel]->setText(formatPercent(v / 10.0));
    if (m_form.edgeLink->isChecked())
        for (int c = 0; c < 3; ++c)
            if (c != channel && m_form.edgeSlider[c]->value() != v) m_form.edgeSlider[c]->setValue(v);
}

void ColorCorrection::levelSliderMoved(int channel, int v) {
    m_form.levelEdit[channel]->setText(QString::number(v));
    if (m_form.levelLink->isChecked())
        for (int c = 0; c < 3; ++c)
            if (c != channel && m_form.levelSlider[c]->value() != v) m_form.levelSlider[c]->setValue(v);
}

void ColorCorrection::editWheelRolled(bool down) {
    auto* edit = qobject_cast<WheelLineEdit*>(sender());
    if (!edit) return;
    const double v = edit->text().trimmed().toDouble();
    if (edit->objectName() == QLatin1String("gradual"))
        edit->setText(QString::number(std::clamp(v + (down ? 1.0 : -1.0), 0.0, 255.0), 'g', 6));
    else
        edit->setText(QString::number(std::clamp(v + (down ? 0.1 : -0.1), 0.0, 100.0), 'f', 1));
}

// ---------------------------------------------------------------------------
// Links, test colours, steps, pages

void ColorCorrection::setRowEnabled(QSlider* const sliders[3], WheelLineEdit* const edits[4], int only) {
    for (int c = 0; c < 3; ++c) {
        const bool on = only < 0 || c == only;
        sliders[c]->setEnabled(on);
        edits[c]->setEnabled(on);
    }
}

void ColorCorrection::linkRatios(bool checked) {
    if (!checked) return;
    for (int i = 0; i < 4; ++i) m_form.outputTest[i]->setChecked(i == 0);
    setRowEnabled(m_form.ratioSlider, m_form.ratioEdit, -1);
    const int m = median(m_form.ratioSlider[0]->value(), m_form.ratioSlider[1]->value(), m_form.ratioSlider[2]->value());
    for (QSlider* s : m_form.ratioSlider) s->setValue(m);
}

void ColorCorrection::linkEdges(bool checked) {
    if (!checked) return;
    for (int i = 0; i < 4; ++i) m_form.blendTest[i]->setChecked(i == 0);
    setRowEnabled(m_form.edgeSlider, m_form.edgeEdit, -1);
    const int m = median(m_form.edgeSlider[0]->value(), m_form.edgeSlider[1]->value(), m_form.edgeSlider[2]->value());
    for (QSlider* s : m_form.edgeSlider) s->setValue(m);
}

void ColorCorrection::linkLevels(bool checked) {
    if (!checked) return;
    setRowEnabled(m_form.levelSlider, m_form.levelEdit, -1);
    const int green = m_form.levelSlider[1]->value();
    for (QSlider* s : m_form.levelSlider) s->setValue(green);
}

void ColorCorrection::chooseOutputTestColor(int i) {
    if (i < 0 || i > 3) return;
    for (int b = 0; b < 4; ++b) m_form.outputTest[b]->setChecked(b == i);
    m_outputTestColor = kTestColors[i];
    GConfig::instance().sendCommonDataToAll(5, static_cast<int>(m_outputTestColor));
    m_form.stepBar->setStyleSheet(QStringLiteral("QLabel{border-image:url(%1);}").arg(QLatin1String(kRampPictures[i])));
    m_form.stepBar->setProperty("color", QLatin1String(kRamps[i]));
    setRowEnabled(m_form.ratioSlider, m_form.ratioEdit, i == 0 ? -1 : i - 1);
}

void ColorCorrection::chooseBlendTestColor(int i) {
    if (i < 0 || i > 3) return;
    for (int b = 0; b < 4; ++b) m_form.blendTest[b]->setChecked(b == i);
    m_blendTestColor = kTestColors[i];
    GConfig::instance().sendCommonDataToAll(5, static_cast<int>(m_blendTestColor));
    setRowEnabled(m_form.edgeSlider, m_form.edgeEdit, i == 0 ? -1 : i - 1);
}

void ColorCorrection::selectLevel(int k) {
    k = std::clamp(k, 0, 16);
    m_form.stepBar->setMarkRect(QRect(QPoint(8 + 14 * k, 0), QPoint(20 + 14 * k, 12)));
}

int ColorCorrection::markedStep() const { return std::clamp((m_form.stepBar->markRect().left() - 6) / 14, 0, 16); }

void ColorCorrection::showLevelValues(int k) {
    const DeviceRecord* r = GConfig::instance().device(m_deviceId);
    if (!r) return;
    for (int c = 0; c < 3; ++c) m_form.levelEdit[c]->setText(QString::number(r->colorCurve[c][k]));
}

void ColorCorrection::slotGradualBtClicked(QPoint p) {
    {
        const QSignalBlocker block(m_form.levelLink);
        m_form.levelLink->setChecked(false);
    }
    const int k = levelIndexAt(p.x());
    selectLevel(k);
    showLevelValues(k);
    const uint32_t colour = stepColor(m_form.stepBar->property("color").toString(), k);
    GConfig::instance().sendCommonDataToAll(5, static_cast<int>(colour));
}

void ColorCorrection::setStepCorrection(bool checked) {
    GConfig::instance().sendCommonData(m_deviceId, checked ? 9 : 10);
    for (int c = 0; c < 4; ++c) {
        if (c < 3) m_form.levelSlider[c]->setEnabled(checked);
        m_form.levelEdit[c]->setEnabled(checked);
        m_form.levelReset[c]->setEnabled(checked);
    }
    m_form.stepBar->setEnabled(checked);
    m_form.levelLink->setEnabled(checked);
}

void ColorCorrection::notifyColorPage(bool on) {
    GConfig& g = GConfig::instance();
    for (int id : g.deviceIds()) g.sendCommonData(id, on ? 3 : 4);
}

void ColorCorrection::notifyBlendColorPage(bool on) {
    GConfig& g = GConfig::instance();
    for (int id : g.deviceIds()) g.sendCommonData(id, on ? 7 : 8);
}

void ColorCorrection::showColorPage() {
    if (!m_form.outputPage->isHidden()) return;
    m_form.blendPage->hide();
    m_form.outputPage->show();
    m_form.contentGroup->setTitle(QStringLiteral("设置输出色彩"));
    m_form.outputColor->setChecked(true);
    m_form.edgeEliminate->setChecked(false);
    m_form.contentGroup->setFixedHeight(410);
    notifyColorPage(true);
    GConfig::instance().sendCommonDataToAll(5, static_cast<int>(m_outputTestColor));
}

void ColorCorrection::showBlendColorPage() {
    if (!m_form.blendPage->isHidden()) return;
    m_form.outputPage->hide();
    m_form.blendPage->show();
    m_form.contentGroup->setTitle(QStringLiteral("融合带色彩"));
    m_form.edgeEliminate->setChecked(true);
    m_form.outputColor->setChecked(false);
    m_form.contentGroup->setFixedHeight(410);
    notifyBlendColorPage(true);
    GConfig::instance().sendCommonDataToAll(5, static_cast<int>(m_blendTestColor));
}

// ---------------------------------------------------------------------------
// Device view

void ColorCorrection::initView() {
    m_form.graphicsView->setScene(m_scene);
    m_form.graphicsView->setStyleSheet(QStringLiteral(".QGraphicsView {border:0px;background:#191919;}"));
    m_form.graphicsView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scene->setSceneRect(0, 0, m_stageWidth * m_zoom, m_stageHeight * m_zoom);
}

void ColorCorrection::initScrollPanel() {
    auto* row = new QHBoxLayout(m_form.horizontalScrollPanel);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    m_form.stageComboBox = new QComboBox(m_form.horizontalScrollPanel);
    m_form.stageComboBox->setObjectName(QStringLiteral("stageComboBox"));
    m_form.stageComboBox->setFixedWidth(53);
    for (const auto& entry : m_zoomList) m_form.stageComboBox->addItem(entry.second);
    m_form.stageComboBox->setItemDelegate(new DelegateForMediaListComBox(m_form.stageComboBox));
    m_form.stageComboBox->view()->setStyleSheet(QStringLiteral(
        "QListView {background:#313131;color:#aeaeae;border:0px;padding:2px;}QListView::item "
        "{background:#313131;border:0px;outline:0px;padding-top:1px;padding-bottom:1px;}QListView::item:selected "
        "{background:#141414;border:0px;outline:0px;color:#aeaeae;}"));
    m_form.stageComboBox->setCurrentIndex(1);
    connect(m_form.stageComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &ColorCorrection::changeStageScale);
    m_form.stageHorizontalScrollbar = new QScrollBar(Qt::Horizontal, m_form.horizontalScrollPanel);
    m_form.stageHorizontalScrollbar->setObjectName(QStringLiteral("stageHorizontalScrollbar"));
    connect(m_form.stageHorizontalScrollbar, &QScrollBar::valueChanged, m_form.graphicsView->horizontalScrollBar(),
            &QScrollBar::setValue);
    auto* corner = new QWidget(m_form.horizontalScrollPanel);
    corner->setFixedWidth(16);
    corner->setStyleSheet(QStringLiteral(
        "QWidget {background:#434343;border-right:1px solid #141414;border-bottom:1px solid #141414;}"));
    row->addWidget(m_form.stageComboBox);
    row->addWidget(m_form.stageHorizontalScrollbar, 1);
    row->addWidget(corner);
    QTimer::singleShot(0, this, [this] { updateScrollRange(); });
}

void ColorCorrection::updateScrollRange() {
    const int vw = m_form.graphicsView->width();
    const int hi = static_cast<int>(std::trunc(m_scene->sceneRect().width() - vw));
    m_form.stageHorizontalScrollbar->setRange(0, std::max(0, hi));
    m_form.stageHorizontalScrollbar->setPageStep(vw);
}

void ColorCorrection::populateDevices() {
    GConfig& g = GConfig::instance();
    for (int id : g.deviceIds()) {
        auto* tile = new DeviceItemForCorrection(id, this);
        m_scene->addItem(tile);
        if (id == m_deviceId) tile->setCurrent(true);
        tile->show();
    }
    centerOnDevice(m_deviceId);
}

void ColorCorrection::changeStageScale(int index) {
    if (index < 0 || index >= m_zoomList.size()) return;
    m_zoom = m_zoomList[index].first;
    m_scene->setSceneRect(0, 0, m_stageWidth * m_zoom, m_stageHeight * m_zoom);
    updateScrollRange();
    m_scene->advance();
    QTimer::singleShot(0, this, [this] { centerOnDevice(m_deviceId); });
}

void ColorCorrection::centerOnDevice(int deviceId) {
    const DeviceRecord* r = GConfig::instance().device(deviceId);
    if (!r) return;
    const int sx = centerOffset(r->stageX, r->width, m_zoom, m_form.graphicsView->width(), m_stageWidth);
    const int sy = centerOffset(r->stageY, r->height, m_zoom, m_form.graphicsView->height(), m_stageHeight);
    m_form.graphicsView->verticalScrollBar()->setValue(sy);
    m_form.stageHorizontalScrollbar->setValue(sx);
}

void ColorCorrection::selectDevice(DeviceItemForCorrection* tile) {
    for (QGraphicsItem* item : m_scene->items()) {
        auto* other = dynamic_cast<DeviceItemForCorrection*>(item);
        if (other && other != tile && other->isCurrent()) other->setCurrent(false);
    }
    m_deviceId = tile->deviceId();
    loadDevice();
}
