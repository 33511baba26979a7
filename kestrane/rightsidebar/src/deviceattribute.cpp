#include "kestrane/deviceattribute.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "kestrane/adddevicedialog.h"
#include "kestrane/gconfig.h"
#include "kestrane/prompt.h"

namespace {

const char* const kEditStyle =
    "QLineEdit{border-top:1px solid #1b1b1b;border-right:1px solid #1b1b1b;border-left:1px solid #191919;"
    "border-bottom:1px solid #191919;background:#191919;color:#aeaeae;}";
const char* const kCaptionStyle = "color:#787878;";

// Positions are doubles: a device placed at 12.5 on the stage stays there.
double realOf(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? v : 0.0;
}

QString shown(double v) { return QString::number(v, 'g', 6); }

GConfig& cfg() { return GConfig::instance(); }

}  // namespace

DeviceAttribute::DeviceAttribute(QWidget* parent) : QWidget(parent) {
    setupUi();
    m_output->setValidator(new QIntValidator(1, 8, m_output));
    m_deviceWidth->setValidator(new QIntValidator(0, 5000, m_deviceWidth));
    m_deviceHeight->setValidator(new QIntValidator(0, 3000, m_deviceHeight));
    m_stageWidth->setValidator(new QIntValidator(0, 5000, m_stageWidth));
    m_stageHeight->setValidator(new QIntValidator(0, 3000, m_stageHeight));
    for (QLineEdit* e : {m_stageX, m_stageY, m_centerX, m_centerY}) e->setValidator(new QIntValidator(0, 100000, e));
    setStyleSheet(QStringLiteral(".DeviceAttribute {background:#343434;}"));
    clearInfo();
    for (QLineEdit* e : fields()) connect(e, &QLineEdit::editingFinished, this, &DeviceAttribute::editFinished);
    couple();
    cfg().deviceAttribute = this;
}

DeviceAttribute::~DeviceAttribute() {
    if (cfg().deviceAttribute == this) cfg().deviceAttribute = nullptr;
}

void DeviceAttribute::setupUi() {
    setObjectName(QStringLiteral("DeviceAttribute"));
    setWindowTitle(QStringLiteral("Form"));
    resize(285, 451);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, column->contentsMargins().top(), 0, column->contentsMargins().bottom());

    auto row = [&](int indent = 0) {
        auto* h = new QHBoxLayout;
        if (indent) h->setContentsMargins(indent, 0, 0, 0);
        column->addLayout(h);
        return h;
    };
    auto caption = [&](QHBoxLayout* h, const char* name, const char* text) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setObjectName(QLatin1String(name));
        l->setStyleSheet(QLatin1String(kCaptionStyle));
        if (h) h->addWidget(l);
        return l;
    };
    auto edit = [&](QHBoxLayout* h, const char* name, int width) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setFixedWidth(width);
        e->setStyleSheet(QLatin1String(kEditStyle));
        h->addWidget(e);
        return e;
    };
    auto separator = [&](const char* name) {
        auto* f = new QFrame(this);
        f->setObjectName(QLatin1String(name));
        f->setFrameShape(QFrame::HLine);
        f->setFixedHeight(1);
        f->setStyleSheet(QStringLiteral("border:1px solid #141414;"));
        column->addWidget(f);
    };
    auto end = [](QHBoxLayout* h) { h->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum)); };

    QHBoxLayout* r = row();
    caption(r, "label", " 设备名称：");
    m_name = edit(r, "deviceName", 130);
    end(r);
    r = row();
    caption(r, "label_2", "   IP地址：");
    m_ip = edit(r, "ip", 100);
    end(r);
    r = row();
    caption(r, "label_3", "     输出：");
    m_output = edit(r, "output", 40);
    end(r);
    r = row();
    caption(r, "label_14", " 边框颜色：");
    auto* swatch = new QPushButton(this);
    swatch->setObjectName(QStringLiteral("pushButton_2"));
    swatch->setFixedSize(35, 20);
    swatch->setStyleSheet(QStringLiteral("border:0px;background:url(:/images/deviceattr_1.png);"));
    r->addWidget(swatch);
    end(r);
    r = row();
    caption(r, "label_4", " 连线状态：");
    m_state = caption(r, "label_5", "离线 ");
    m_state->setStyleSheet(QStringLiteral("color:#aeaeae;"));
    auto* test = new QPushButton(QStringLiteral("测试"), this);
    test->setObjectName(QStringLiteral("pushButton"));
    test->setFixedSize(41, 19);
    test->setStyleSheet(QStringLiteral(
        "QPushButton{border:1px solid #252525;background:#464646;color:#aeaeae;border-radius:2px;}"
        "QPushButton:hover{background:#353535;}"));
    r->addWidget(test);
    end(r);
    separator("line");
    r = row();
    caption(r, "label_6", " 显示分辩率");
    end(r);
    r = row(6);
    caption(r, "label_7", " 宽度：");
    m_deviceWidth = edit(r, "deviceWidth", 40);
    caption(r, "label_8", " 高度：");
    m_deviceHeight = edit(r, "deviceHeight", 40);
    end(r);
    separator("line_2");
    r = row();
    caption(r, "label_9", " 舞台位置和显示尺寸");
    end(r);
    r = row();
    caption(r, "label_10", " 左(X)：");
    m_stageX = edit(r, "stageX", 40);
    caption(r, "label_11", " 顶(Y)：");
    m_stageY = edit(r, "stageY", 40);
    end(r);
    r = row(6);
    caption(r, "label_12", " 宽度：");
    m_stageWidth = edit(r, "stageWidth", 40);
    caption(r, "label_13", " 高度：");
    m_stageHeight = edit(r, "stageHeight", 40);
    end(r);
    r = row(5);
    auto* same = new QCheckBox(QStringLiteral("宽度高度与显示分辨率相同"), this);
    same->setObjectName(QStringLiteral("loopPlay_3"));
    same->setChecked(true);
    same->setEnabled(false);
    same->setStyleSheet(QStringLiteral(
        "QCheckBox{color:#787878;}QCheckBox::indicator{width:14px;height:14px;}"
        "QCheckBox::indicator:checked{image:url(:/images/checked.png);}"
        "QCheckBox::indicator:unchecked{image:url(:/images/unchecked.png);}"));
    r->addWidget(same);
    end(r);
    separator("line_3");
    QLabel* centre = caption(nullptr, "label_15", "显示设备中心在舞台的位置：");
    centre->setStyleSheet(QStringLiteral("color:#787878;\npadding-top:4px;"));
    centre->setContentsMargins(8, 0, 0, 0);
    column->addWidget(centre);
    r = row(12);
    caption(r, "label_16", "  X轴：");
    m_centerX = edit(r, "centerX", 40);
    caption(r, "label_17", "Y轴：");
    m_centerY = edit(r, "centerY", 40);
    end(r);
    separator("line_4");
    r = row(12);
    caption(r, "label_18", " 旋转：");
    m_rotate = new QPushButton(this);
    m_rotate->setObjectName(QStringLiteral("rotateBt"));
    m_rotate->setFixedSize(125, 22);
    m_rotate->setStyleSheet(QStringLiteral("QPushButton{border:0px;background:url(:/images/deviceattr_2.png);}"
                                           "QPushButton:disabled{background:url(:/images/deviceattr_2_disable.png);}"));
    r->addWidget(m_rotate);
    end(r);
    separator("line_5");
    column->addItem(new QSpacerItem(20, 1, QSizePolicy::Minimum, QSizePolicy::Expanding));
    // The resolution is the display server's: one typed here would resize
    // every output of that server behind the operator's back.
    for (QLineEdit* e : {m_deviceWidth, m_deviceHeight, m_stageWidth, m_stageHeight}) e->setReadOnly(true);
}

QList<QLineEdit*> DeviceAttribute::fields() const {
    return {m_name,       m_ip,          m_output, m_deviceWidth, m_deviceHeight, m_stageWidth,
            m_stageHeight, m_stageX,     m_stageY, m_centerX,     m_centerY};
}

int DeviceAttribute::recordWidth() const {
    const DeviceRecord* d = m_id ? cfg().device(m_id) : nullptr;
    return d ? d->width : 0;
}

int DeviceAttribute::recordHeight() const {
    const DeviceRecord* d = m_id ? cfg().device(m_id) : nullptr;
    return d ? d->height : 0;
}

void DeviceAttribute::couple() {
    connect(m_deviceWidth, &QLineEdit::textChanged, m_stageWidth, &QLineEdit::setText);
    connect(m_stageWidth, &QLineEdit::textChanged, m_deviceWidth, &QLineEdit::setText);
    connect(m_deviceHeight, &QLineEdit::textChanged, m_stageHeight, &QLineEdit::setText);
    connect(m_stageHeight, &QLineEdit::textChanged, m_deviceHeight, &QLineEdit::setText);
    auto pair = [this](QLineEdit* corner, QLineEdit* centre, bool horizontal) {
        connect(corner, &QLineEdit::textChanged, this, [=](const QString& text) {
            if (text.isEmpty()) return;
            const int half = (horizontal ? recordWidth() : recordHeight()) / 2;
            centre->setText(shown(realOf(text) + half));
        });
        connect(centre, &QLineEdit::textChanged, this, [=](const QString& text) {
            if (text.isEmpty()) {
                corner->clear();
                return;
            }
            const int half = (horizontal ? recordWidth() : recordHeight()) / 2;
            corner->setText(shown(realOf(text) - half));
        });
    };
    pair(m_stageX, m_centerX, true);
    pair(m_stageY, m_centerY, false);
}

void DeviceAttribute::clearInfo() {
    for (QLineEdit* e : fields()) {
        e->clear();
        e->setEnabled(false);
    }
    m_rotate->setEnabled(false);
    showState();
}

void DeviceAttribute::showState() {
    const DeviceRecord* d = m_id ? cfg().device(m_id) : nullptr;
    m_state->setText(d && d->online ? QStringLiteral("在线 ") : QStringLiteral("离线 "));
}

QString DeviceAttribute::stateText() const { return m_state->text(); }

void DeviceAttribute::showDevice(int id) {
    const DeviceRecord* d = id ? cfg().device(id) : nullptr;
    if (!d) {
        // The empty panel stores nothing, so it must not keep a stale id.
        m_id = 0;
        clearInfo();
        return;
    }
    m_id = id;
    m_name->setText(d->name);
    m_ip->setText(d->serverIp);
    m_output->setText(QString::number(d->outputIndex));
    m_deviceWidth->setText(QString::number(d->width));
    m_deviceHeight->setText(QString::number(d->height));
    m_stageX->setText(shown(d->stageX));
    m_stageY->setText(shown(d->stageY));
    m_centerX->setText(shown(d->width / 2 + d->stageX));
    m_centerY->setText(shown(d->height / 2 + d->stageY));
    for (QLineEdit* e : fields()) e->setEnabled(true);
    m_rotate->setEnabled(true);
    if (d->online) setFieldsEnabled(false);
    showState();
}

void DeviceAttribute::setFieldsEnabled(bool enabled) {
    const DeviceRecord* d = m_id ? cfg().device(m_id) : nullptr;
    // Without a device there is nothing to edit.
    const bool on = d ? (d->online ? enabled : true) : false;
    for (QLineEdit* e : fields()) e->setEnabled(on);
    m_rotate->setEnabled(on);
    showState();
}

void DeviceAttribute::warn(const QString& text, const QString& title) {
    kestrane::prompt::warning(this, title.isEmpty() ? QStringLiteral("填写错误") : title, text);
}

void DeviceAttribute::editFinished() {
    // The warning box takes the focus, which finishes the edit again.
    if (m_checking) return;
    DeviceRecord* record = m_id ? cfg().device(m_id) : nullptr;
    if (!record) return;
    m_checking = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_checking};

    const QString name = m_name->text().trimmed();
    if (name.isEmpty()) return warn(QStringLiteral("设备名称不能为空"));
    const QString ip = m_ip->text().trimmed();
    if (ip.isEmpty()) return warn(QStringLiteral("IP不能为空"));
    if (!kestrane::isDottedQuad(ip)) return warn(QStringLiteral("IP格式不正确"));
    const QString outputText = m_output->text().trimmed();
    if (outputText.isEmpty()) return warn(QStringLiteral("输出不能为空"));
    const int output = kestrane::fieldNumber(outputText);
    if (output <= 0) return warn(QStringLiteral("输出请填写大于0的数字"));
    if (output > 8) return warn(QStringLiteral("输出请填写1到8的数字"));
    const int width = kestrane::fieldNumber(m_deviceWidth->text());
    if (width <= 0) return warn(QStringLiteral("设备宽度需大于0"));
    const int height = kestrane::fieldNumber(m_deviceHeight->text());
    if (height <= 0) return warn(QStringLiteral("设备高度需大于0"));

    // The shown device counts on the address it is moving to.
    int onIp = 1;
    const QMap<int, DeviceRecord>& devices = cfg().devices();
    for (auto d = devices.constBegin(); d != devices.constEnd(); ++d) {
        if (d.key() == m_id) continue;
        if (d->serverIp == ip) ++onIp;
        if (d->outputIndex == output && d->serverIp == ip) return warn(QStringLiteral("输出通道已被占用"));
        if (d->name == name) return warn(QStringLiteral("设备名称与已有的重复"));
    }
    if (onIp > 8) return warn(QStringLiteral("当前IP:%1的输出通道已用完").arg(ip));
    // One resolution per display server: a device moving to another server takes that server's.
    if (ip != record->serverIp) {
        for (auto d = devices.constBegin(); d != devices.constEnd(); ++d)
            if (d.key() != m_id && d->serverIp == ip && (d->width != width || d->height != height))
                return warn(QStringLiteral("当前服务端的分辨率输入不一致"), QStringLiteral("设备错误"));
    }

    record->name = name;
    record->serverIp = ip;
    record->outputIndex = output;
    if (width != record->width || height != record->height) {
        for (DeviceRecord& d : cfg().devices())
            if (d.serverIp == ip) {
                d.width = width;
                d.height = height;
            }
    }
    double x = realOf(m_stageX->text());
    double y = realOf(m_stageY->text());
    if (x < 0) {
        x = 0;
        m_stageX->setText(QStringLiteral("0"));
    }
    if (y < 0) {
        y = 0;
        m_stageY->setText(QStringLiteral("0"));
    }
    record->stageX = x;
    record->stageY = y;
    m_centerX->setText(shown(record->width / 2 + x));
    m_centerY->setText(shown(record->height / 2 + y));

    cfg().refreshDeviceListLater();
    cfg().refreshStage();
    cfg().setSaved(false);
}
