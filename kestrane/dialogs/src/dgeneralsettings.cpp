#include "kestrane/dgeneralsettings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

#include "kestrane/adddevicedialog.h"
#include "kestrane/gconfig.h"
#include "kestrane/intvalidatorfix.h"
#include "kestrane/prompt.h"
#include "kestrane/settings.h"

namespace {

const char* const kPageButtonStyle =
    "QPushButton{border:2px solid #b7b7b7;background:#e1e1e1;color:#333;}"
    "QPushButton:checked{border:2px solid #0078d7;background:#e1e1e1;color:#333;}";

// Folders are kept with "/" and a trailing "/".
QString folderText(QString path) {
    path = QDir::fromNativeSeparators(path);
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    return path;
}

}  // namespace

DGeneralSettings::DGeneralSettings(QWidget* parent) : QDialog(parent) {
    setupUi();
    initControls();
    loadSettings();
    connect(findChild<QPushButton*>(QStringLiteral("cancel")), &QPushButton::clicked, this, &QDialog::reject);
    connect(findChild<QPushButton*>(QStringLiteral("ok")), &QPushButton::clicked, this, &DGeneralSettings::accept);
    connect(findChild<QPushButton*>(QStringLiteral("apply")), &QPushButton::clicked, this, &DGeneralSettings::apply);
    setFixedSize(482, 445);
}

DGeneralSettings::~DGeneralSettings() = default;

QLineEdit* DGeneralSettings::edit(const char* name) const { return findChild<QLineEdit*>(QLatin1String(name)); }
QCheckBox* DGeneralSettings::box(const char* name) const { return findChild<QCheckBox*>(QLatin1String(name)); }

// ---------------------------------------------------------------------------
// The form

void DGeneralSettings::setupUi() {
    if (objectName().isEmpty()) setObjectName(QStringLiteral("DGeneralSettings"));
    resize(482, 445);
    setMinimumSize(482, 445);
    setMaximumSize(494, 445);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto hline = [](QWidget* parent) {
        auto* f = new QFrame(parent);
        f->setFrameShape(QFrame::HLine);
        f->setFrameShadow(QFrame::Sunken);
        f->setFixedHeight(1);
        f->setStyleSheet(QStringLiteral("border:0px;\nbackground:#000;"));
        return f;
    };
    auto* top = new QWidget(this);
    top->setFixedHeight(45);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(0);
    topLayout->addWidget(hline(top));
    const char* pageNames[] = {"generalBt", "saveBt", "controlBt", "soundBt"};
    for (const char* name : pageNames) {
        auto* b = new QPushButton(top);
        b->setObjectName(QLatin1String(name));
        b->setFixedSize(60, 25);
        b->setStyleSheet(QLatin1String(kPageButtonStyle));
        topLayout->addWidget(b);
    }
    topLayout->addWidget(hline(top));
    outer->addWidget(top);

    m_stack = new QStackedWidget(this);
    m_stack->setObjectName(QStringLiteral("stackedWidget"));
    outer->addWidget(m_stack);
    QWidget* pages[4];
    for (int i = 0; i < 4; ++i) {
        pages[i] = new QWidget;
        pages[i]->setObjectName(QStringLiteral("page%1").arg(i + 1));
        m_stack->addWidget(pages[i]);
    }

    auto label = [](QWidget* parent, const QString& text) {
        auto* l = new QLabel(text, parent);
        return l;
    };
    auto lineEdit = [](QWidget* parent, const char* name, bool number) {
        auto* e = new QLineEdit(parent);
        if (name) e->setObjectName(QLatin1String(name));
        if (number)
            e->setFixedSize(35, 26);
        else
            e->setFixedHeight(26);
        return e;
    };
    auto checkBox = [](QWidget* parent, const char* name, const QString& text) {
        auto* c = new QCheckBox(text, parent);
        if (name) c->setObjectName(QLatin1String(name));
        return c;
    };

    // Page 1: the general settings.
    {
        QWidget* p = pages[0];
        auto* grid = new QGridLayout(p);
        grid->setContentsMargins(44, 15, 76, 0);
        auto rowLabel = [&](int row, const QString& text, bool enabled = true) {
            QLabel* l = label(p, text);
            l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            l->setEnabled(enabled);
            grid->addWidget(l, row, 0);
            return l;
        };
        auto rowBox = [&](int row) {
            auto* h = new QHBoxLayout;
            grid->addLayout(h, row, 1);
            return h;
        };
        rowLabel(0, QStringLiteral("显示电脑集群："));
        grid->addWidget(lineEdit(p, "showCluster", false), 0, 1);
        rowLabel(1, QStringLiteral("显示电脑IP前缀："));
        QHBoxLayout* ip = rowBox(1);
        const char* ipNames[] = {"defaultIpA", "defaultIpB", "defaultIpC"};
        for (int i = 0; i < 3; ++i) {
            QLineEdit* e = lineEdit(p, ipNames[i], true);
            e->setAlignment(Qt::AlignCenter);
            ip->addWidget(e);
            if (i < 2) ip->addWidget(label(p, QStringLiteral(".")));
        }
        ip->addStretch();
        rowLabel(2, QStringLiteral("显示刷新率："));
        QHBoxLayout* rates = rowBox(2);
        auto* r60 = new QRadioButton(p);
        r60->setObjectName(QStringLiteral("refreshRate60"));
        auto* r75 = new QRadioButton(p);
        r75->setObjectName(QStringLiteral("refreshRate75"));
        rates->addWidget(r60);
        rates->addWidget(r75);
        rates->addStretch();
        rowLabel(3, QString());
        QHBoxLayout* custom = rowBox(3);
        auto* rc = new QRadioButton(p);
        rc->setObjectName(QStringLiteral("customRadioButton"));
        custom->addWidget(rc);
        custom->addWidget(lineEdit(p, "refreshRateCustom", true));
        custom->addWidget(label(p, QStringLiteral("帧/秒")));
        custom->addStretch();
        rowLabel(4, QStringLiteral("预备进入率："), false);
        QHBoxLayout* ready = rowBox(4);
        auto deadNumber = [&] {
            QLineEdit* e = lineEdit(p, nullptr, true);
            e->setEnabled(false);
            ready->addWidget(e);
        };
        auto deadLabel = [&](const QString& t) {
            QLabel* l = label(p, t);
            l->setEnabled(false);
            ready->addWidget(l);
        };
        deadNumber();
        deadLabel(QStringLiteral("秒"));
        deadLabel(QStringLiteral("  预备离开率："));
        deadNumber();
        deadLabel(QStringLiteral("秒"));
        ready->addStretch();
        rowLabel(5, QStringLiteral("默认图像显示时长："));
        QHBoxLayout* durations = rowBox(5);
        QLineEdit* pic = lineEdit(p, "defaultPicDuration", true);
        pic->setAlignment(Qt::AlignCenter);
        durations->addWidget(pic);
        durations->addWidget(label(p, QStringLiteral("秒")));
        durations->addWidget(label(p, QStringLiteral("    默认音量：")));
        QLineEdit* volume = lineEdit(p, "defaultSoundVolume", true);
        volume->setAlignment(Qt::AlignCenter);
        durations->addWidget(volume);
        durations->addWidget(label(p, QStringLiteral("%")));
        durations->addStretch();
        rowLabel(6, QStringLiteral("默认时间轴可播放长度："));
        QHBoxLayout* play = rowBox(6);
        QLineEdit* playEdit = lineEdit(p, "defaultPlayDuration", true);
        playEdit->setAlignment(Qt::AlignCenter);
        play->addWidget(playEdit);
        play->addWidget(label(p, QStringLiteral("分钟")));
        play->addStretch();
        QLabel* anchor = rowLabel(7, QStringLiteral("新加入媒体锚点位置："), false);
        anchor->setStyleSheet(QStringLiteral("margin-top:5px;"));
        anchor->setAlignment(Qt::AlignRight | Qt::AlignTop);
        auto* anchors = new QWidget(p);
        anchors->setFixedHeight(78);
        auto* anchorGrid = new QGridLayout(anchors);
        const char* names[3][3] = {{"左上", "上中", "右上"}, {"左中", "中心", "右中"}, {"左下", "下中", "右下"}};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                auto* b = new QRadioButton(QString::fromUtf8(names[r][c]), anchors);
                b->setFixedHeight(26);
                b->setEnabled(false);
                b->setChecked(r == 1 && c == 1);
                anchorGrid->addWidget(b, r, c);
            }
        grid->addWidget(anchors, 7, 1);
    }

    // Page 2: saving and start-up.
    {
        QWidget* p = pages[1];
        auto* v = new QVBoxLayout(p);
        v->setContentsMargins(30, v->contentsMargins().top(), 36, v->contentsMargins().bottom());
        auto* r1 = new QHBoxLayout;
        QLabel* l1 = label(p, QStringLiteral("    自动保存工程文件目录："));
        l1->setFixedHeight(35);
        r1->addWidget(l1);
        r1->addWidget(lineEdit(p, "savePathTxt", false));
        auto* browse = new QPushButton(p);
        browse->setObjectName(QStringLiteral("savePathBt"));
        r1->addWidget(browse);
        v->addLayout(r1);
        auto* r2 = new QHBoxLayout;
        QLabel* l2 = label(p, QStringLiteral("自动保存工程文件时间间隔："));
        l2->setFixedHeight(35);
        r2->addWidget(l2);
        r2->addWidget(lineEdit(p, "autoSaveInterval", true));
        r2->addWidget(label(p, QStringLiteral("分钟 ")));
        r2->addWidget(checkBox(p, "saveWhenClose", QString()));
        r2->addStretch();
        v->addLayout(r2);
        for (const char* name : {"serverAutoStart", "serverAutoLoadFile", "clientAutoStart", "clientAutoMinimize",
                                 "clientAutoLoadFile"}) {
            QCheckBox* c = checkBox(p, name, QString());
            c->setFixedHeight(20);
            v->addWidget(c);
        }
        auto* r8 = new QHBoxLayout;
        r8->addSpacing(6);
        QLabel* l8 = label(p, QString());
        l8->setFixedHeight(35);
        r8->addWidget(l8);
        r8->addWidget(lineEdit(p, "clientAutoLoadFilePathTxt", false));
        auto* browse2 = new QPushButton(p);
        browse2->setObjectName(QStringLiteral("clientAutoLoadFilePathBt"));
        r8->addWidget(browse2);
        v->addLayout(r8);
        for (const char* name : {"clientAutoConnect", "clientAutoConnectAndPlay"}) {
            auto* h = new QHBoxLayout;
            h->addSpacing(18);
            QCheckBox* c = checkBox(p, name, QString());
            c->setFixedHeight(20);
            h->addWidget(c);
            v->addLayout(h);
        }
        v->addStretch();
    }

    // Page 3: control; only the first box is live.
    {
        QWidget* p = pages[2];
        auto* v = new QVBoxLayout(p);
        v->setContentsMargins(30, v->contentsMargins().top(), 90, v->contentsMargins().bottom());
        v->addWidget(checkBox(p, "clientAutoConnectWhenOpen", QString()));
        auto dead = [&](QLayout* row, QWidget* w) {
            w->setEnabled(false);
            row->addWidget(w);
        };
        auto* r2 = new QHBoxLayout;
        dead(r2, label(p, QStringLiteral("客户端电脑控制：")));
        QCheckBox* tcp = checkBox(p, nullptr, QStringLiteral("TCP/IP协议"));
        tcp->setChecked(true);
        dead(r2, tcp);
        dead(r2, checkBox(p, nullptr, QStringLiteral("UDP协义")));
        v->addLayout(r2);
        auto* r3 = new QHBoxLayout;
        dead(r3, checkBox(p, nullptr, QStringLiteral("主时间轴线的时间码控制 (LTC EBU/SMP TE)")));
        v->addLayout(r3);
        auto indented = [&](const QString& caption, const QString& text) {
            auto* h = new QHBoxLayout;
            h->addSpacing(20);
            dead(h, label(p, caption));
            QLineEdit* e = lineEdit(p, nullptr, false);
            e->setText(text);
            dead(h, e);
            v->addLayout(h);
        };
        indented(QStringLiteral("时间码格式："), QStringLiteral("自动检测"));
        indented(QStringLiteral("时间轴偏移："), QStringLiteral("0.0"));
        auto* r6 = new QHBoxLayout;
        dead(r6, checkBox(p, nullptr, QStringLiteral("MIDE演出控制，设备ID：")));
        dead(r6, lineEdit(p, nullptr, true));
        v->addLayout(r6);
        indented(QStringLiteral("MSC命令列表："), QStringLiteral("忽略命令什么都不做"));
        auto* r8 = new QHBoxLayout;
        r8->addSpacing(20);
        dead(r8, label(p, QStringLiteral("DMX512 Universe输入：   ")));
        QLineEdit* in = lineEdit(p, nullptr, false);
        in->setMinimumWidth(45);
        in->setMaximumWidth(99);
        dead(r8, in);
        dead(r8, label(p, QStringLiteral("  输出：")));
        QLineEdit* out = lineEdit(p, nullptr, false);
        out->setMinimumWidth(45);
        out->setMaximumWidth(99);
        dead(r8, out);
        v->addLayout(r8);
        indented(QStringLiteral("默认动态图像服务器地址："), QString());
        v->addStretch();
    }

    // Page 4: sound outputs, not in use.
    {
        QWidget* p = pages[3];
        auto* v = new QVBoxLayout(p);
        v->setContentsMargins(30, v->contentsMargins().top(), 30, v->contentsMargins().bottom());
        for (const char* t : {"声道1-2：", "声道3-4：", "声道5-6：", "声道7-8："}) {
            auto* h = new QHBoxLayout;
            QLabel* l = label(p, QString::fromUtf8(t));
            l->setEnabled(false);
            h->addWidget(l);
            QLineEdit* e = lineEdit(p, nullptr, false);
            e->setEnabled(false);
            h->addWidget(e);
            v->addLayout(h);
        }
        v->addStretch();
    }

    auto* bottom = new QWidget(this);
    bottom->setFixedHeight(60);
    auto* bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->addItem(new QSpacerItem(218, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    for (const char* name : {"cancel", "ok", "apply"}) {
        auto* b = new QPushButton(bottom);
        b->setObjectName(QLatin1String(name));
        bottomLayout->addWidget(b);
    }
    outer->addWidget(bottom);
    m_stack->setCurrentIndex(0);
    findChild<QPushButton*>(QStringLiteral("generalBt"))->setCheckable(true);
    findChild<QPushButton*>(QStringLiteral("generalBt"))->setChecked(true);
    retranslateUi();
    QMetaObject::connectSlotsByName(this);
}

void DGeneralSettings::retranslateUi() {
    setWindowTitle(QStringLiteral("通用设置"));
    auto text = [this](const char* name, const char* caption) {
        if (auto* b = findChild<QAbstractButton*>(QLatin1String(name))) b->setText(QString::fromUtf8(caption));
    };
    text("generalBt", "通用");
    text("saveBt", "保存");
    text("controlBt", "控制");
    text("soundBt", "声音输出");
    text("cancel", "取消");
    text("ok", "确定");
    text("apply", "应用");
    text("refreshRate60", "60帧/秒");
    text("refreshRate75", "75帧/秒");
    text("customRadioButton", "自定义刷新率 ");
    text("savePathBt", "浏览");
    text("clientAutoLoadFilePathBt", "浏览");
    text("saveWhenClose", "关闭软件时自动保存工程文件");
    text("serverAutoStart", "服务器开机自动启动");
    text("serverAutoLoadFile", "服务器开机自动加载工程文件");
    text("clientAutoStart", "客户端开机自动启动");
    text("clientAutoMinimize", "客户端开机自动启动后最小化");
    text("clientAutoLoadFile", "客户端启动自动加载工程文件");
    text("clientAutoConnect", "加载后自动连接服务器");
    text("clientAutoConnectAndPlay", "加载后自动连接服务器并播放");
    text("clientAutoConnectWhenOpen", "打开工程文件后自动连接服务器");
    edit("defaultIpA")->setText(QStringLiteral("192"));
    edit("defaultIpB")->setText(QStringLiteral("168"));
    edit("defaultIpC")->setText(QStringLiteral("1"));
    edit("defaultPicDuration")->setText(QStringLiteral("10"));
    edit("defaultSoundVolume")->setText(QStringLiteral("70"));
    edit("defaultPlayDuration")->setText(QStringLiteral("5"));
}

// ---------------------------------------------------------------------------
// Behaviour

void DGeneralSettings::initControls() {
    for (const char* name : {"generalBt", "saveBt", "controlBt", "soundBt"}) {
        auto* b = findChild<QPushButton*>(QLatin1String(name));
        b->setCheckable(true);
        b->setChecked(QLatin1String(name) == QLatin1String("generalBt"));
        connect(b, SIGNAL(clicked(bool)), this, SLOT(slotBtClicked()));
    }
    edit("showCluster")->setFocusPolicy(Qt::ClickFocus);
    for (const char* name : {"defaultIpA", "defaultIpB", "defaultIpC"}) {
        edit(name)->setValidator(new QIntValidator(0, 255, edit(name)));
        edit(name)->setFocusPolicy(Qt::ClickFocus);
    }
    m_rateGroup = new QButtonGroup(this);
    m_rateGroup->setExclusive(true);
    auto* r60 = findChild<QRadioButton*>(QStringLiteral("refreshRate60"));
    auto* r75 = findChild<QRadioButton*>(QStringLiteral("refreshRate75"));
    auto* rc = findChild<QRadioButton*>(QStringLiteral("customRadioButton"));
    m_rateGroup->addButton(r60);
    m_rateGroup->addButton(r75);
    m_rateGroup->addButton(rc);
    QLineEdit* custom = edit("refreshRateCustom");
    custom->setValidator(new IntValidatorFix(10, 99, custom));
    r60->setChecked(true);
    custom->setEnabled(false);
    connect(rc, &QRadioButton::toggled, this, [custom](bool on) {
        custom->setEnabled(on);
        if (!on) custom->setFocusPolicy(Qt::ClickFocus);
    });
    for (const char* name : {"defaultPicDuration", "defaultPlayDuration"}) {
        edit(name)->setValidator(new IntValidatorFix(1, 9999, edit(name)));
        edit(name)->setFocusPolicy(Qt::ClickFocus);
    }
    edit("defaultSoundVolume")->setValidator(new QIntValidator(0, 100, edit("defaultSoundVolume")));
    edit("defaultSoundVolume")->setFocusPolicy(Qt::ClickFocus);
    edit("savePathTxt")->setReadOnly(true);
    edit("autoSaveInterval")->setValidator(new IntValidatorFix(1, 99, edit("autoSaveInterval")));
    edit("autoSaveInterval")->setFocusPolicy(Qt::ClickFocus);
    edit("clientAutoLoadFilePathTxt")->setReadOnly(true);
    m_stack->widget(0)->setFocusPolicy(Qt::ClickFocus);
    m_stack->widget(1)->setFocusPolicy(Qt::ClickFocus);
    auto* loadBt = findChild<QPushButton*>(QStringLiteral("clientAutoLoadFilePathBt"));
    loadBt->setEnabled(false);
    connect(box("clientAutoLoadFile"), &QCheckBox::toggled, loadBt, &QPushButton::setEnabled);
    QCheckBox* minimise = box("clientAutoMinimize");
    minimise->setEnabled(false);
    connect(box("clientAutoStart"), &QCheckBox::toggled, this, [minimise](bool on) {
        if (!on) minimise->setChecked(false);
        minimise->setEnabled(on);
    });
    connect(findChild<QPushButton*>(QStringLiteral("savePathBt")), &QPushButton::clicked, this,
            &DGeneralSettings::chooseSaveFolder);
    connect(loadBt, &QPushButton::clicked, this, &DGeneralSettings::chooseAutoLoadFile);
}

void DGeneralSettings::chooseSaveFolder() {
    const QString dir = kestrane::prompt::existingDirectory(this, QStringLiteral("选项工程文件保存的目录"), QString(),
                                                            QFileDialog::ShowDirsOnly);
    if (dir.isEmpty()) return;
    edit("savePathTxt")->setText(folderText(dir));
}

void DGeneralSettings::chooseAutoLoadFile() {
    const QString file = kestrane::prompt::openFileName(this, QStringLiteral("选择要自动加载的工程文件"), QString(),
                                                        QStringLiteral("Vadra(*.vadra)"));
    if (file.isEmpty()) return;
    edit("clientAutoLoadFilePathTxt")->setText(QDir::fromNativeSeparators(file));
}

void DGeneralSettings::slotBtClicked() {
    const QString name = sender() ? sender()->objectName() : QString();
    for (const char* n : {"generalBt", "saveBt", "controlBt", "soundBt"})
        if (QLatin1String(n) != name) findChild<QPushButton*>(QLatin1String(n))->setChecked(false);
    if (auto* b = qobject_cast<QPushButton*>(sender())) b->setChecked(true);
    const int page = name == QLatin1String("generalBt") ? 0
                     : name == QLatin1String("saveBt")  ? 1
                     : name == QLatin1String("controlBt") ? 2
                                                          : 3;
    m_stack->setCurrentIndex(page);
}

void DGeneralSettings::loadSettings() {
    const kestrane::GeneralSettings g = kestrane::GeneralSettings::read();
    edit("showCluster")->setText(g.showCluster);
    edit("defaultIpA")->setText(g.defaultIpA);
    edit("defaultIpB")->setText(g.defaultIpB);
    edit("defaultIpC")->setText(g.defaultIpC);
    if (g.refreshRate == 60) {
        findChild<QRadioButton*>(QStringLiteral("refreshRate60"))->setChecked(true);
    } else if (g.refreshRate == 75) {
        findChild<QRadioButton*>(QStringLiteral("refreshRate75"))->setChecked(true);
    } else {
        findChild<QRadioButton*>(QStringLiteral("customRadioButton"))->setChecked(true);
        edit("refreshRateCustom")->setText(QString::number(g.refreshRate));
    }
    edit("defaultPicDuration")->setText(QString::number(g.defaultPicDuration));
    edit("defaultPlayDuration")->setText(QString::number(g.defaultPlayDuration));
    edit("defaultSoundVolume")->setText(QString::number(g.defaultSoundVolume));
    edit("savePathTxt")->setText(folderText(g.savePath));
    edit("autoSaveInterval")->setText(QString::number(g.autoSaveInterval));
    const std::pair<const char*, bool> flags[] = {
        {"clientAutoStart", g.clientAutoStart},
        {"clientAutoLoadFile", g.clientAutoLoadFile},
        {"saveWhenClose", g.saveWhenClose},
        {"serverAutoStart", g.serverAutoStart},
        {"serverAutoLoadFile", g.serverAutoLoadFile},
        {"clientAutoMinimize", g.clientAutoMinimize},
        {"clientAutoConnect", g.clientAutoConnect},
        {"clientAutoConnectAndPlay", g.clientAutoConnectAndPlay},
        {"clientAutoConnectWhenOpen", g.clientAutoConnectWhenOpen},
    };
    for (const auto& [name, on] : flags)
        if (on) box(name)->setChecked(true);
    edit("clientAutoLoadFilePathTxt")->setText(g.clientAutoLoadFilePath);
}

void DGeneralSettings::saveSettings() {
    kestrane::GeneralSettings g;
    g.showCluster = edit("showCluster")->text().trimmed();
    g.defaultIpA = QString::number(kestrane::fieldNumber(edit("defaultIpA")->text()));
    g.defaultIpB = QString::number(kestrane::fieldNumber(edit("defaultIpB")->text()));
    g.defaultIpC = QString::number(kestrane::fieldNumber(edit("defaultIpC")->text()));
    if (findChild<QRadioButton*>(QStringLiteral("refreshRate60"))->isChecked()) {
        g.refreshRate = 60;
    } else if (findChild<QRadioButton*>(QStringLiteral("refreshRate75"))->isChecked()) {
        g.refreshRate = 75;
    } else if (findChild<QRadioButton*>(QStringLiteral("customRadioButton"))->isChecked()) {
        const int rate = kestrane::fieldNumber(edit("refreshRateCustom")->text());
        g.refreshRate = rate == 0 ? 60 : rate;
    } else {
        g.refreshRate = 60;
    }
    g.defaultPicDuration = kestrane::fieldNumber(edit("defaultPicDuration")->text());
    g.defaultPlayDuration = kestrane::fieldNumber(edit("defaultPlayDuration")->text());
    g.defaultSoundVolume = kestrane::fieldNumber(edit("defaultSoundVolume")->text());
    g.savePath = edit("savePathTxt")->text().trimmed();
    g.autoSaveInterval = kestrane::fieldNumber(edit("autoSaveInterval")->text());
    g.saveWhenClose = box("saveWhenClose")->isChecked();
    g.serverAutoStart = box("serverAutoStart")->isChecked();
    g.serverAutoLoadFile = box("serverAutoLoadFile")->isChecked();
    g.clientAutoStart = box("clientAutoStart")->isChecked();
    g.clientAutoMinimize = box("clientAutoMinimize")->isChecked();
    g.clientAutoLoadFile = box("clientAutoLoadFile")->isChecked();
    g.clientAutoConnect = box("clientAutoConnect")->isChecked();
    g.clientAutoConnectAndPlay = box("clientAutoConnectAndPlay")->isChecked();
    g.clientAutoConnectWhenOpen = box("clientAutoConnectWhenOpen")->isChecked();
    g.clientAutoLoadFilePath = edit("clientAutoLoadFilePathTxt")->text().trimmed();
    g.write();
    // Unchecked removes the entry whatever program it starts: one written
    // before the program moved names the old place and no longer matches,
    // yet it would still start the console at log-in.
    kestrane::setClientAutoStartEntry(g.clientAutoStart);
}

void DGeneralSettings::apply() {
    GConfig& cfg = GConfig::instance();
    const qint64 length = qint64(kestrane::fieldNumber(edit("defaultPlayDuration")->text())) * 60000;
    const int start = cfg.timelineStart();
    if (qint64(cfg.timelineLength()) - start != length) {
        const qint64 end = std::min<qint64>(start + length, INT_MAX);
        cfg.setTimelineLength(int(end), true);
        if (double(end) > 1.1 * cfg.timeAxisLength()) cfg.setTimeAxisLength(-1, true);
    }
    const qint64 seconds = 60 * qint64(kestrane::fieldNumber(edit("autoSaveInterval")->text()));
    cfg.mainWindowHooks().setAutoSaveInterval(int(std::clamp<qint64>(seconds, 60, INT_MAX)));
    saveSettings();
    cfg.applyGeneralSettings();
}

void DGeneralSettings::accept() {
    apply();
    QDialog::accept();
}
