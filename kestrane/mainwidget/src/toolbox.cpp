// The tool box under the menu bar and what its controls do.
#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>

#include "kestrane/daddmedia.h"
#include "kestrane/gconfig.h"
#include "kestrane/mainwidget.h"
#include "kestrane/playcontroldialogs.h"
#include "kestrane/sidepanelhooks.h"

namespace {

// Normal, hover, pressed, checked and disabled pictures numbered 01..04.
QString numberedStyle(const QString& base) {
    return QStringLiteral(
               "QPushButton {background:url(:/images/%1_01.png);border:0px;} QPushButton:hover "
               "{background:url(:/images/%1_02.png)} QPushButton:pressed {background:url(:/images/%1_03.png)} "
               "QPushButton:checked {background:url(:/images/%1_03.png)} QPushButton:disabled "
               "{background:url(:/images/%1_04.png)}")
        .arg(base);
}

// The plain picture, then _2 hover, _3 pressed and checked, _4 disabled.
QString suffixedStyle(const QString& base) {
    return QStringLiteral(
               "QPushButton {background:url(:/images/%1.png);border:0px;} QPushButton:hover "
               "{background:url(:/images/%1_2.png)} QPushButton:pressed {background:url(:/images/%1_3.png)} "
               "QPushButton:checked {background:url(:/images/%1_3.png)} QPushButton:disabled "
               "{background:url(:/images/%1_4.png)}")
        .arg(base);
}

QString addStyle(const QString& base) {
    return QStringLiteral(
               "QPushButton {background:url(:/images/%1_01.png);border:0px;} QPushButton:hover "
               "{background:url(:/images/%1_02.png)} QPushButton:pressed {background:url(:/images/%1_03.png)} ")
        .arg(base);
}

const char kUpdateDisabledStyle[] = "QPushButton {background:url(:/images/update_disable.png);border:0px;}";
const char kUpdateEnabledStyle[] =
    "QPushButton {background:url(:/images/update.png);border:0px;} QPushButton:hover "
    "{background:url(:/images/update_hover.png)} QPushButton:pressed {background:url(:/images/update_click.png)} "
    "QPushButton:disabled {background:url(:/images/update_click.png)}";

}  // namespace

void MainWidget::initToolBox() {
    m_toolBox->setCursor(Qt::ArrowCursor);
    auto* row = new QHBoxLayout(m_toolBox);
    row->setContentsMargins(8, 0, 0, 0);
    row->setSpacing(5);

    auto button = [&](const QString& tip, const QString& style, bool checkable, bool focus = true) {
        auto* b = new QPushButton(m_toolBox);
        b->setFixedSize(21, 21);
        b->setToolTip(tip);
        b->setStyleSheet(style);
        b->setCheckable(checkable);
        if (!focus)
            b->setFocusPolicy(Qt::NoFocus);
        row->addWidget(b);
        return b;
    };

    m_notConnectedStyle = QStringLiteral(
        "QPushButton {background:url(:/images/disconnect.png);border:0px;padding-right:3px;} QPushButton:hover "
        "{background:url(:/images/disconnect_hover.png);} QPushButton:pressed "
        "{background:url(:/images/disconnect_pressed.png);} QPushButton:disabled "
        "{background:url(:/images/disconnect_pressed.png);}");
    m_connectedStyle = QString(m_notConnectedStyle).replace(QStringLiteral("disconnect"), QStringLiteral("connect"));
    m_connectButton = button(QStringLiteral("连接设备"), m_notConnectedStyle, true);
    connect(m_connectButton, &QPushButton::clicked, this, [this](bool checked) {
        if (checked)
            connectDevices();
        else
            disconnectDevices();
    });
    connect(m_connectButton, &QPushButton::toggled, this, &MainWidget::onConnectToggled);

    m_updateButton = new QPushButton(m_toolBox);
    m_updateButton->setFixedSize(41, 20);
    m_updateButton->setStyleSheet(QString::fromLatin1(kUpdateDisabledStyle));
    m_updateButton->setEnabled(false);
    row->addWidget(m_updateButton);
    connect(m_updateButton, &QPushButton::clicked, this, [this] { mediaUpdateRequest(2, 1); });

    m_realTime = new QCheckBox(QStringLiteral("实时更新"), m_toolBox);
    m_realTime->setObjectName(QStringLiteral("realTimeCheckBox"));
    m_realTime->setEnabled(false);
    row->addWidget(m_realTime);
    connect(m_realTime, &QCheckBox::clicked, this, &MainWidget::onRealTimeClicked);

    m_selectMedia = button(QStringLiteral("选中媒体"), numberedStyle(QStringLiteral("select_media")), true);
    m_selectMedia->setChecked(true);
    connect(m_selectMedia, &QPushButton::clicked, this, [this] { onSelectClicked(true); });
    m_selectDevice = button(QStringLiteral("选中设备"), numberedStyle(QStringLiteral("select_device")), true);
    connect(m_selectDevice, &QPushButton::clicked, this, [this] { onSelectClicked(false); });

    m_leftRight = button(QStringLiteral("左右移动"), suffixedStyle(QStringLiteral("toolbox_left_right_move")), true);
    m_upDown = button(QStringLiteral("上下移动"), suffixedStyle(QStringLiteral("toolbox_top_bottom_move")), true);
    connect(m_leftRight, &QPushButton::clicked, this, [this](bool on) {
        GConfig::instance().setMoveConstraint(on ? 1 : 0);
        if (on)
            m_upDown->setChecked(false);
    });
    connect(m_upDown, &QPushButton::clicked, this, [this](bool on) {
        GConfig::instance().setMoveConstraint(on ? 2 : 0);
        if (on)
            m_leftRight->setChecked(false);
    });

    const struct {
        const char* tip;
        const char* base;
        int mode;
    } aligns[] = {{"左对齐", "toolbox_left_align", 1},       {"左右居中对齐", "toolbox_vcenter_align", 3},
                  {"右对齐", "toolbox_right_align", 2},      {"上对齐", "toolbox_top_align", 4},
                  {"上下居中对齐", "toolbox_hcenter_align", 6}, {"下对齐", "toolbox_bottom_align", 5}};
    for (const auto& a : aligns) {
        QPushButton* b =
            button(QString::fromUtf8(a.tip), suffixedStyle(QString::fromLatin1(a.base)), false, false);
        const int mode = a.mode;
        connect(b, &QPushButton::clicked, this, [mode] { GConfig::instance().alignStageItems(mode); });
        m_alignButtons.append(b);
    }

    m_snap = button(QStringLiteral("自动吸附"), suffixedStyle(QStringLiteral("toolbox_snap")), true);
    connect(m_snap, &QPushButton::clicked, this, [](bool on) { GConfig::instance().setMagnet(on); });
    m_hand = button(QStringLiteral("平移"), suffixedStyle(QStringLiteral("hand_move")), true);
    connect(m_hand, &QPushButton::clicked, this, &MainWidget::onHandClicked);

    m_addMediaButton = button(QStringLiteral("添加媒体"), addStyle(QStringLiteral("添加媒体")), false);
    connect(m_addMediaButton, &QPushButton::clicked, this, &MainWidget::runAddMedia);
    m_addDeviceButton = button(QStringLiteral("添加设备"), addStyle(QStringLiteral("添加设备")), false);
    connect(m_addDeviceButton, &QPushButton::clicked, this, qOverload<>(&MainWidget::addDevice));
    m_addCommandButton = button(QStringLiteral("添加命令"), addStyle(QStringLiteral("添加命令")), false);
    connect(m_addCommandButton, &QPushButton::clicked, this, &MainWidget::runAddCommand);

    row->addStretch();
}

void MainWidget::onConnectToggled(bool on) {
    GConfig& config = GConfig::instance();
    QAction* realtime = m_actions.value(QStringLiteral("realtime_update"));
    if (!on) {
        m_updateButton->setChecked(false);
        m_updateButton->setEnabled(false);
        m_updateButton->setStyleSheet(QString::fromLatin1(kUpdateDisabledStyle));
        m_realTime->setChecked(false);
        m_realTime->setEnabled(false);
        return;
    }
    m_updateButton->setEnabled(true);
    m_realTime->setEnabled(true);
    m_updateButton->setStyleSheet(QString::fromLatin1(kUpdateEnabledStyle));
    const bool live = m_realTime->isChecked();
    m_updateButton->setEnabled(!live);
    if (realtime)
        realtime->setChecked(live);
    config.setRealtimeUpdate(live);
}

void MainWidget::onRealTimeClicked(bool on) {
    GConfig::instance().setRealtimeUpdate(on);
    m_updateButton->setEnabled(!on);
    if (QAction* realtime = m_actions.value(QStringLiteral("realtime_update")))
        realtime->setChecked(on);
}

void MainWidget::onSelectClicked(bool media) {
    QPushButton* clicked = media ? m_selectMedia : m_selectDevice;
    QPushButton* other = media ? m_selectDevice : m_selectMedia;
    // The clicked mode stays chosen; a second click does not leave it.
    if (!clicked->isChecked())
        clicked->setChecked(true);
    else
        other->setChecked(false);
    GConfig::instance().setMediaEditMode(media ? 1 : 0, false);
}

void MainWidget::onHandClicked(bool on) {
    GConfig& config = GConfig::instance();
    config.setHandTool(on);
    for (QPushButton* b : m_alignButtons)
        b->setEnabled(!on);
    if (on) {
        config.setMoveConstraint(0);
        m_leftRight->setChecked(false);
        m_upDown->setChecked(false);
        config.setMagnet(false);
        m_snap->setChecked(false);
    }
    m_leftRight->setEnabled(!on);
    m_upDown->setEnabled(!on);
    m_snap->setEnabled(!on);
    m_selectMedia->setEnabled(!on);
    m_selectDevice->setEnabled(!on);
}

void MainWidget::setSelectMode(bool mediaMode, bool lockOther) {
    QPushButton* current = mediaMode ? m_selectMedia : m_selectDevice;
    QPushButton* other = mediaMode ? m_selectDevice : m_selectMedia;
    current->setChecked(true);
    other->setChecked(false);
    current->setEnabled(true);
    other->setEnabled(!lockOther);
}

void MainWidget::resetToolBox() {
    m_updateButton->setEnabled(true);
    m_selectMedia->setChecked(true);
    m_selectDevice->setChecked(false);
    m_realTime->setChecked(false);
    GConfig::instance().setMediaEditMode(1, false);
}

void MainWidget::runAddMedia() {
    int kind = 0;
    DAddMedia dialog(&kind, this);
    GConfig& config = GConfig::instance();
    if (dialog.exec() == QDialog::Accepted && kind == 1)
        config.sidePanelHooks().addSource(1);
    config.sidePanelHooks().showMediaTab();
}

void MainWidget::runAddCommand() {
    int type = -1;
    DAddCommand dialog(&type, this);
    if (dialog.exec() == QDialog::Accepted && type >= 0 && type <= 2)
        addPlayControl(type);
}
