#include "kestrane/geometrycorrection.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDoubleValidator>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

#include "kestrane/gconfig.h"
#include "kestrane/nativewidget.h"
#include "kestrane/pictureprobe.h"
#include "kestrane/prompt.h"
#include "kestrane/radiusbackgroundwidget.h"
#include "kestrane/utils.h"
#include "kestrane/wheellineedit.h"

namespace {

const char* const kSheet =
    "QWidget#widget_2 { border-left:1px solid #c8c8c8;border-right:1px solid #c8c8c8;"
    "border-bottom:1px solid #c8c8c8;background-color:#343434;}"
    "QWidget#rightWidget { border-left:1px solid #c9c9c9; }"
    "QLabel { color:#e4e4e4; }"
    "QLabel#label_2 { color:#000000; font-weight:bold; }"
    "QListWidget, QLineEdit, QSpinBox { background-color:#191919; color:#e4e4e4; border:1px solid #666666; }"
    "QGroupBox { border:1px solid #666666; margin-top:8px; color:#e4e4e4; }"
    "QGroupBox::title { subcontrol-origin:margin; left:8px; color:#e4e4e4; }"
    "QPushButton { background-color:#666666; color:#e4e4e4; border:none; }"
    "QPushButton:hover { background-color:#888888; }"
    "QRadioButton, QCheckBox { color:#e4e4e4; }"
    "QSpinBox::up-button { image:url(:/images/arrow_up.png); }"
    "QSpinBox::up-button:hover { image:url(:/images/arrow_up_hover.png); }"
    "QSpinBox::down-button { image:url(:/images/arrow_down.png); }"
    "QSpinBox::down-button:hover { image:url(:/images/arrow_down_hover.png); }"
    "QPushButton#close { background:transparent; border-image:url(:/images/close2.png); }"
    "QPushButton#close:hover { border-image:url(:/images/close2_hover.png); }"
    "QPushButton#enableBackgroundImage { background:transparent; border-image:url(:/images/enable.png); }"
    "QPushButton#enableBackgroundImage:checked { border-image:url(:/images/disable.png); }";

const char* const kBodyNormal =
    "QWidget#widget_2 { border-left:1px solid #c8c8c8;border-right:1px solid #c8c8c8;"
    "border-bottom:1px solid #c8c8c8;background-color:#343434;}";
const char* const kBodyFullScreen =
    "QWidget#widget_2 { border-left:1px solid #191919;border-right:1px solid #191919;"
    "border-bottom:1px solid #343434;background-color:#343434;}";

QString presetSheet(char letter) {
    return QStringLiteral("QPushButton { background:transparent; border-image:url(:/images/angle_%1_01.png); }"
                          "QPushButton:hover { border-image:url(:/images/angle_%1_02.png); }")
        .arg(QLatin1Char(letter));
}

QString angleText(double value) { return QString::number(value, 'g', 6); }

}  // namespace

GeometryCorrection::GeometryCorrection(int deviceId, QWidget* parent) : QDialog(parent) {
    // Named before any native window exists: the console's key filter knows
    // the dialog's window by the name Qt derives from this one.
    setObjectName(QStringLiteral("GeometryCorrection"));
    ui = new Ui;
    m_deviceId = deviceId;
    m_deviceIdRole = Qt::UserRole + 1;
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setupUi();

    ui->topPanel->brush = QBrush(QColor(QStringLiteral("#c9c9c9")));
    ui->topPanel->radius = 0;
    ui->topPanel->topLeftRound = ui->topPanel->topRightRound = false;
    ui->topPanel->bottomLeftRound = ui->topPanel->bottomRightRound = false;
    ui->topPanel->dragWindow = this;
    ui->topPanel->dragOffsetX = 0;
    ui->topPanel->dragOffsetY = 0;
    connect(ui->topPanel, &RadiusBackgroundWidget::doubleCliked, this, [this] {
        if (isMaximized()) showNormal();
        else showMaximized();
    });

    ui->enableBackgroundImage->setCheckable(true);
    ui->enableBackgroundImage->setChecked(false);
    ui->enableBackgroundImage->setCursor(Qt::PointingHandCursor);
    ui->enableBackgroundImage->setFocusPolicy(Qt::NoFocus);
    connect(ui->enableBackgroundImage, &QPushButton::clicked, ui->addImage, &QWidget::setEnabled);
    ui->addImage->setFocusPolicy(Qt::NoFocus);
    ui->picPath->setFocusPolicy(Qt::NoFocus);
    ui->picPath->setReadOnly(true);
    ui->close->setFocusPolicy(Qt::NoFocus);

    const QString defaultPicture = kestrane::dataFilePath(QStringLiteral("defaultpic.jpg"));
    ui->nativeWidget->setPicturePath(defaultPicture);
    ui->nativeWidget->setDeviceId(m_deviceId);
    ui->nativeWidget->setFocusPolicy(Qt::NoFocus);
    ui->picPath->setText(defaultPicture);
    ui->picPath->setToolTip(defaultPicture);

    ui->angle->setAlignment(Qt::AlignCenter);
    ui->angle->setFocusPolicy(Qt::ClickFocus);
    if (const DeviceRecord* d = GConfig::instance().device(m_deviceId)) ui->angle->setText(angleText(d->angle));
    ui->angle->setValidator(new QDoubleValidator(-360, 360, 2, ui->angle));
    connect(ui->angle, &QLineEdit::textChanged, this, &GeometryCorrection::angleChanged);
    const std::pair<QPushButton*, const char*> presets[] = {
        {ui->angleA, "0"}, {ui->angleB, "90"}, {ui->angleC, "180"}, {ui->angleD, "270"}};
    for (const auto& [button, text] : presets) {
        const QString value = QString::fromLatin1(text);
        connect(button, &QPushButton::clicked, this, [this, value] { ui->angle->setText(value); });
    }
    connect(ui->angle, &WheelLineEdit::wheelRolled, this, &GeometryCorrection::angleWheelRolled);
    for (QRadioButton* r : {ui->fourPoint, ui->ninePoint, ui->randomPoint, ui->wholePoint})
        connect(r, &QRadioButton::clicked, this, &GeometryCorrection::changeRadioPoint);
    for (QCheckBox* c : {ui->leftRightImage, ui->upDownImage})
        connect(c, &QCheckBox::clicked, this, &GeometryCorrection::changeCheckBoxPoint);
    connect(ui->reset, &QPushButton::clicked, this, &GeometryCorrection::resetCorrection);

    m_defaultPicture = defaultPicture;

    ui->addImage->setEnabled(false);
    ui->leftRightImage->setFocusPolicy(Qt::NoFocus);
    ui->upDownImage->setFocusPolicy(Qt::NoFocus);
    connect(ui->close, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->addImage, &QPushButton::clicked, this, &GeometryCorrection::addImage);
    connect(ui->cancel, &QPushButton::clicked, this, &QDialog::reject);

    fillDeviceList();
    GConfig::instance().geometryDialog = this;
    loadDeviceControls();

    connect(ui->nativeWidget, &NativeWidget::changeAngleValue, this,
            [this](double value) { ui->angle->setText(angleText(value)); });
    connect(ui->setFullscreen, &QPushButton::clicked, this, &GeometryCorrection::slotFullscreen);
    connect(ui->nativeWidget, &NativeWidget::quitFullScreen, this, &GeometryCorrection::slotFullscreen);
}

void GeometryCorrection::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_serversNotified)
        QTimer::singleShot(0, this, [this] { notifyServersWhenDrawn(50); });
}

void GeometryCorrection::notifyServersWhenDrawn(int triesLeft) {
    if (m_serversNotified) return;
    const QWindow* window = windowHandle();
    if (triesLeft > 0 && (!window || !window->isExposed())) {
        QTimer::singleShot(10, this, [this, triesLeft] { notifyServersWhenDrawn(triesLeft - 1); });
        return;
    }
    // Drawn before the wait, so the operator sees the dialog at once.
    repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    notifyServersOfOpening();
    QApplication::restoreOverrideCursor();
}

void GeometryCorrection::notifyServersOfOpening() {
    if (m_serversNotified) return;
    m_serversNotified = true;
    GConfig& config = GConfig::instance();
    config.setBackgroundImage(m_deviceId, m_defaultPicture);
    config.sendCommonData(m_deviceId, 1);
    notifyAllDevices(true);
}

GeometryCorrection::~GeometryCorrection() {
    notifyAllDevices(false);
    GConfig& config = GConfig::instance();
    if (config.geometryDialog == this) config.geometryDialog = nullptr;
    config.sendCommonData(m_deviceId, 2);
    delete ui;
    ui = nullptr;
}

void GeometryCorrection::setupUi() {
    resize(990, 690);
    setMinimumSize(0, 0);
    setMaximumSize(10000, 6900);
    setStyleSheet(QString::fromLatin1(kSheet));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    ui->topPanel = new RadiusBackgroundWidget(this);
    ui->topPanel->setObjectName(QStringLiteral("topPanel"));
    ui->topPanel->setFixedHeight(28);
    auto* top = new QHBoxLayout(ui->topPanel);
    top->setContentsMargins(10, 0, 0, 0);
    top->setSpacing(0);
    ui->label_2 = new QLabel(ui->topPanel);
    ui->label_2->setObjectName(QStringLiteral("label_2"));
    top->addWidget(ui->label_2);
    top->addStretch(1);
    ui->close = new QPushButton(ui->topPanel);
    ui->close->setObjectName(QStringLiteral("close"));
    ui->close->setFixedSize(28, 28);
    top->addWidget(ui->close);
    outer->addWidget(ui->topPanel);

    ui->widget_2 = new QWidget(this);
    ui->widget_2->setObjectName(QStringLiteral("widget_2"));
    ui->widget_2->setAttribute(Qt::WA_StyledBackground, true);
    auto* body = new QHBoxLayout(ui->widget_2);
    body->setContentsMargins(1, 0, 1, 1);
    body->setSpacing(0);
    outer->addWidget(ui->widget_2, 1);

    auto* viewColumn = new QVBoxLayout;
    viewColumn->setContentsMargins(0, 0, 0, 0);
    viewColumn->setSpacing(0);
    ui->nativeWidget = new NativeWidget(ui->widget_2);
    ui->nativeWidget->setObjectName(QStringLiteral("nativeWidget"));
    viewColumn->addWidget(ui->nativeWidget, 1);
    ui->widget_5 = new QWidget(ui->widget_2);
    ui->widget_5->setObjectName(QStringLiteral("widget_5"));
    ui->widget_5->setFixedHeight(32);
    auto* bar = new QHBoxLayout(ui->widget_5);
    bar->setContentsMargins(0, 0, 10, 0);
    bar->addStretch(1);
    ui->setFullscreen = new QPushButton(ui->widget_5);
    ui->setFullscreen->setObjectName(QStringLiteral("setFullscreen"));
    ui->setFullscreen->setFixedSize(60, 25);
    bar->addWidget(ui->setFullscreen);
    viewColumn->addWidget(ui->widget_5);
    body->addLayout(viewColumn, 1);

    ui->rightWidget = new QWidget(ui->widget_2);
    ui->rightWidget->setObjectName(QStringLiteral("rightWidget"));
    ui->rightWidget->setAttribute(Qt::WA_StyledBackground, true);
    ui->rightWidget->setFixedWidth(284);
    auto* right = new QVBoxLayout(ui->rightWidget);
    right->setContentsMargins(12, 10, 12, 10);
    right->setSpacing(8);
    body->addWidget(ui->rightWidget);

    ui->label_3 = new QLabel(ui->rightWidget);
    ui->label_3->setObjectName(QStringLiteral("label_3"));
    right->addWidget(ui->label_3);
    ui->listWidget = new QListWidget(ui->rightWidget);
    ui->listWidget->setObjectName(QStringLiteral("listWidget"));
    ui->listWidget->setFixedHeight(102);
    right->addWidget(ui->listWidget);

    ui->groupBox = new QGroupBox(ui->rightWidget);
    ui->groupBox->setObjectName(QStringLiteral("groupBox"));
    ui->groupBox->setFixedHeight(88);
    auto* picture = new QGridLayout(ui->groupBox);
    ui->label = new QLabel(ui->groupBox);
    ui->label->setObjectName(QStringLiteral("label"));
    picture->addWidget(ui->label, 0, 0);
    ui->enableBackgroundImage = new QPushButton(ui->groupBox);
    ui->enableBackgroundImage->setObjectName(QStringLiteral("enableBackgroundImage"));
    ui->enableBackgroundImage->setFixedSize(44, 16);
    picture->addWidget(ui->enableBackgroundImage, 0, 1, Qt::AlignLeft);
    ui->picPath = new QLineEdit(ui->groupBox);
    ui->picPath->setObjectName(QStringLiteral("picPath"));
    ui->picPath->setFixedHeight(25);
    picture->addWidget(ui->picPath, 1, 0, 1, 2);
    ui->addImage = new QPushButton(ui->groupBox);
    ui->addImage->setObjectName(QStringLiteral("addImage"));
    ui->addImage->setFixedSize(45, 25);
    picture->addWidget(ui->addImage, 1, 2);
    right->addWidget(ui->groupBox);

    ui->groupBox_2 = new QGroupBox(ui->rightWidget);
    ui->groupBox_2->setObjectName(QStringLiteral("groupBox_2"));
    ui->groupBox_2->setFixedHeight(130);
    auto* modes = new QGridLayout(ui->groupBox_2);
    auto radio = [&](QRadioButton*& r, const char* name, int row, int column) {
        r = new QRadioButton(ui->groupBox_2);
        r->setObjectName(QString::fromLatin1(name));
        r->setFocusPolicy(Qt::NoFocus);
        modes->addWidget(r, row, column);
    };
    radio(ui->fourPoint, "fourPoint", 0, 0);
    radio(ui->ninePoint, "ninePoint", 0, 1);
    radio(ui->randomPoint, "randomPoint", 1, 0);
    radio(ui->wholePoint, "wholePoint", 1, 1);
    ui->line = new QFrame(ui->groupBox_2);
    ui->line->setObjectName(QStringLiteral("line"));
    ui->line->setFrameShape(QFrame::HLine);
    ui->line->setFixedHeight(1);
    modes->addWidget(ui->line, 2, 0, 1, 2);
    ui->leftRightImage = new QCheckBox(ui->groupBox_2);
    ui->leftRightImage->setObjectName(QStringLiteral("leftRightImage"));
    modes->addWidget(ui->leftRightImage, 3, 0);
    ui->upDownImage = new QCheckBox(ui->groupBox_2);
    ui->upDownImage->setObjectName(QStringLiteral("upDownImage"));
    modes->addWidget(ui->upDownImage, 3, 1);
    right->addWidget(ui->groupBox_2);

    ui->groupBox_3 = new QGroupBox(ui->rightWidget);
    ui->groupBox_3->setObjectName(QStringLiteral("groupBox_3"));
    ui->groupBox_3->setFixedHeight(60);
    auto* density = new QHBoxLayout(ui->groupBox_3);
    auto spin = [&](QLabel*& label, const char* labelName, QSpinBox*& box, const char* boxName) {
        label = new QLabel(ui->groupBox_3);
        label->setObjectName(QString::fromLatin1(labelName));
        density->addWidget(label);
        box = new QSpinBox(ui->groupBox_3);
        box->setObjectName(QString::fromLatin1(boxName));
        box->setReadOnly(true);
        box->setMaximumWidth(78);
        box->setValue(40);
        box->setFocusPolicy(Qt::NoFocus);
        density->addWidget(box);
    };
    spin(ui->label_4, "label_4", ui->colNum, "colNum");
    spin(ui->label_5, "label_5", ui->colNum_2, "colNum_2");
    right->addWidget(ui->groupBox_3);

    ui->groupBox_4 = new QGroupBox(ui->rightWidget);
    ui->groupBox_4->setObjectName(QStringLiteral("groupBox_4"));
    ui->groupBox_4->setFixedHeight(60);
    auto* rotation = new QHBoxLayout(ui->groupBox_4);
    ui->label_6 = new QLabel(ui->groupBox_4);
    ui->label_6->setObjectName(QStringLiteral("label_6"));
    rotation->addWidget(ui->label_6);
    ui->angle = new WheelLineEdit(ui->groupBox_4);
    ui->angle->setObjectName(QStringLiteral("angle"));
    ui->angle->setFixedSize(28, 25);
    rotation->addWidget(ui->angle);
    auto preset = [&](QPushButton*& b, const char* name, char letter) {
        b = new QPushButton(ui->groupBox_4);
        b->setObjectName(QString::fromLatin1(name));
        b->setFixedSize(25, 25);
        b->setFocusPolicy(Qt::NoFocus);
        b->setStyleSheet(presetSheet(letter));
        rotation->addWidget(b);
    };
    preset(ui->angleA, "angleA", 'a');
    preset(ui->angleB, "angleB", 'b');
    preset(ui->angleC, "angleC", 'c');
    preset(ui->angleD, "angleD", 'd');
    right->addWidget(ui->groupBox_4);

    right->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    ui->reset = new QPushButton(ui->rightWidget);
    ui->reset->setObjectName(QStringLiteral("reset"));
    ui->reset->setFixedSize(60, 25);
    buttons->addWidget(ui->reset);
    ui->cancel = new QPushButton(ui->rightWidget);
    ui->cancel->setObjectName(QStringLiteral("cancel"));
    ui->cancel->setFixedSize(60, 25);
    buttons->addWidget(ui->cancel);
    right->addLayout(buttons);

    for (QPushButton* b : {ui->close, ui->setFullscreen, ui->enableBackgroundImage, ui->addImage, ui->reset,
                           ui->cancel})
        b->setFocusPolicy(Qt::NoFocus);
    retranslateUi();
}

void GeometryCorrection::retranslateUi() {
    setWindowTitle(QStringLiteral("Dialog"));
    ui->label_2->setText(QStringLiteral("几何校正"));
    ui->setFullscreen->setText(QStringLiteral("全屏"));
    ui->label_3->setText(QStringLiteral("设备列表："));
    ui->groupBox->setTitle(QStringLiteral("背景图设备"));
    ui->label->setText(QStringLiteral("启用/禁用："));
    ui->addImage->setText(QStringLiteral("添加"));
    ui->groupBox_2->setTitle(QStringLiteral("校正点模式"));
    ui->fourPoint->setText(QStringLiteral("4点调整"));
    ui->ninePoint->setText(QStringLiteral("9点调整"));
    ui->randomPoint->setText(QStringLiteral("任意点"));
    ui->wholePoint->setText(QStringLiteral("整体"));
    ui->leftRightImage->setText(QStringLiteral("左右镜像"));
    ui->upDownImage->setText(QStringLiteral("上下镜像"));
    ui->groupBox_3->setTitle(QStringLiteral("几何密度"));
    ui->label_4->setText(QStringLiteral("横向："));
    ui->label_5->setText(QStringLiteral("纵向："));
    ui->groupBox_4->setTitle(QStringLiteral("旋转"));
    ui->label_6->setText(QStringLiteral("角度："));
    ui->reset->setText(QStringLiteral("重置"));
    ui->cancel->setText(QStringLiteral("关闭"));
}

void GeometryCorrection::fillDeviceList() {
    ui->listWidget->setFocusPolicy(Qt::NoFocus);
    GConfig& config = GConfig::instance();
    for (int id : config.deviceIds()) {
        const DeviceRecord* d = config.device(id);
        auto* item = new QListWidgetItem(d ? d->name : QString(), ui->listWidget);
        item->setData(m_deviceIdRole, id);
        if (id == m_deviceId) ui->listWidget->setCurrentItem(item);
    }
    connect(ui->listWidget, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* current) {
        if (!current) return;
        const int id = current->data(m_deviceIdRole).toInt();
        if (id == 0) return;
        m_deviceId = id;
        ui->nativeWidget->setDevice(id);
        loadDeviceControls();
    });
}

void GeometryCorrection::loadDeviceControls() {
    const DeviceRecord* d = GConfig::instance().device(m_deviceId);
    if (!d) return;
    switch (d->adjustMode) {
        case 1: ui->fourPoint->setChecked(true); break;
        case 2: ui->ninePoint->setChecked(true); break;
        case 0: ui->randomPoint->setChecked(true); break;
        case 3: ui->wholePoint->setChecked(true); break;
        default: break;
    }
    ui->leftRightImage->setChecked((d->adjustValue & 0x100) != 0);
    ui->upDownImage->setChecked((d->adjustValue & 0x200) != 0);
    // Without the text-change handler: passing the shown text back through
    // rotate would turn the grid by the text's rounding of the stored angle.
    const QSignalBlocker block(ui->angle);
    ui->angle->setText(angleText(d->angle));
}

void GeometryCorrection::notifyAllDevices(bool open) {
    GConfig& config = GConfig::instance();
    for (int id : config.deviceIds()) config.sendCommonData(id, open ? 1 : 2);
}

int GeometryCorrection::checkedMode() const {
    if (ui->fourPoint->isChecked()) return 1;
    if (ui->ninePoint->isChecked()) return 2;
    if (ui->randomPoint->isChecked()) return 0;
    if (ui->wholePoint->isChecked()) return 3;
    return -1;
}

int GeometryCorrection::mirrorFlagsFromBoxes() const {
    return (ui->leftRightImage->isChecked() ? 0x100 : 0) | (ui->upDownImage->isChecked() ? 0x200 : 0);
}

void GeometryCorrection::handleKey(int key) { ui->nativeWidget->handleKey(key); }

void GeometryCorrection::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        slotFullscreen();
        return;
    }
    QDialog::keyPressEvent(event);
}

// ---------------------------------------------------------------------------
// Slots

void GeometryCorrection::addImage() {
    const QString path = kestrane::prompt::openFileName(this, QStringLiteral("添加图片"), QString(),
                                                        QStringLiteral("image(*.png *.jpg *.jpeg *.gif)"));
    if (path.isEmpty()) return;
    // The header's size is checked before the picture is decoded.
    if (kestrane::readPicture(path).isNull()) {
        kestrane::prompt::warning(this, QStringLiteral("媒体错误"), QStringLiteral("您选择的图片无法解析"),
                                  QMessageBox::Ok);
        return;
    }
    // The default picture must not arrive after the chosen one.
    notifyServersOfOpening();
    ui->picPath->setText(path);
    ui->picPath->setToolTip(path);
    ui->nativeWidget->loadImage(path);
    GConfig::instance().setBackgroundImage(m_deviceId, path);
}

void GeometryCorrection::angleChanged() {
    const QString text = ui->angle->text();
    ui->nativeWidget->rotate(text.toDouble());
    if (text.trimmed().isEmpty()) {
        ui->angle->setText(QStringLiteral("0"));
        return;
    }
    static const QRegularExpression leadingZero(QStringLiteral("^0[0-9]+"));
    if (text.length() > 1 && leadingZero.match(text).hasMatch()) ui->angle->setText(text.mid(1));
}

void GeometryCorrection::changeRadioPoint() {
    if (!ui->wholePoint->isChecked() && !ui->leftRightImage->isEnabled()) {
        // Leaving whole-grid mode: the mirror boxes come back as they were.
        for (QCheckBox* box : {ui->leftRightImage, ui->upDownImage}) {
            box->setEnabled(true);
            box->setChecked(box->property("isChecked").toBool());
        }
    }
    const int flags = ui->wholePoint->isChecked() ? 0 : mirrorFlagsFromBoxes();
    const int mode = checkedMode();
    if (mode < 0) return;
    ui->nativeWidget->setAdjustMode(mode, flags, false);
    // Only on entering whole-grid mode are the boxes' states put aside: a
    // second click on the radio must not overwrite them with the cleared ones.
    if (ui->wholePoint->isChecked() && ui->leftRightImage->isEnabled()) {
        for (QCheckBox* box : {ui->leftRightImage, ui->upDownImage}) {
            box->setProperty("isChecked", box->isChecked());
            box->setChecked(false);
            box->setEnabled(false);
        }
    }
}

void GeometryCorrection::changeCheckBoxPoint() {
    const int mode = checkedMode();
    if (mode < 0) return;
    ui->nativeWidget->setAdjustMode(mode, mirrorFlagsFromBoxes(), true);
}

void GeometryCorrection::resetCorrection() {
    GConfig& config = GConfig::instance();
    if (DeviceRecord* d = config.device(m_deviceId)) {
        d->resetGrid();
        d->angle = 0.0;
    }
    ui->nativeWidget->setDevice(m_deviceId);
    config.sendVertexData(m_deviceId);
    config.setSaved(false);
    ui->angle->setText(QStringLiteral("0"));
}

void GeometryCorrection::angleWheelRolled(bool down) {
    double value = ui->angle->text().trimmed().toDouble();
    value += down ? 0.1 : -0.1;
    value = std::clamp(value, -360.0, 360.0);
    ui->angle->setText(angleText(value));
}

void GeometryCorrection::slotFullscreen() {
    if (!ui->topPanel->isHidden()) {
        ui->rightWidget->hide();
        ui->topPanel->hide();
        ui->widget_2->setStyleSheet(QString::fromLatin1(kBodyFullScreen));
        showFullScreen();
        ui->nativeWidget->updateViewRectLater();
        ui->setFullscreen->setText(QStringLiteral("恢复"));
    } else {
        ui->widget_2->setStyleSheet(QString::fromLatin1(kBodyNormal));
        ui->topPanel->show();
        ui->rightWidget->show();
        ui->setFullscreen->setText(QStringLiteral("全屏"));
        ui->nativeWidget->updateViewRectLater();
        showNormal();
    }
}
