#include "kestrane/adddevicedialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "kestrane/gconfig.h"
#include "kestrane/prompt.h"
#include "kestrane/scrollbar.h"
#include "kestrane/settings.h"
#include "lintra/ClientSession.h"

namespace {

const char* const kOctet = "(\\d{1,2}|1\\d\\d|2[0-4]\\d|25[0-5])";

QString quadPattern() {
    const QString o = QLatin1String(kOctet);
    return o + QStringLiteral("\\.") + o + QStringLiteral("\\.") + o + QStringLiteral("\\.") + o;
}

}  // namespace

namespace kestrane {

QList<ResolutionPreset> resolutionPresetTable() {
    return {
        {QStringLiteral("VGA  (640x480)"), 640, 480},     {QStringLiteral("SVGA (800x600)"), 800, 600},
        {QStringLiteral("XGA  (1024x768)"), 1024, 768},   {QStringLiteral("720P (1280x720)"), 1280, 720},
        {QStringLiteral("WXGA (1280x800)"), 1280, 800},   {QStringLiteral("QVGA (1280x960)"), 1280, 960},
        {QStringLiteral("SXGA (1280x1024)"), 1280, 1024}, {QStringLiteral("UXGA (1600x1200)"), 1600, 1200},
        {QStringLiteral("HD   (1920x1080)"), 1920, 1080}, {QStringLiteral("UHD  (1920x1200)"), 1920, 1200},
        {QStringLiteral("自定义"), 0, 0},
    };
}

int fieldNumber(const QString& text) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok, 10);
    return ok ? n : 0;
}

bool isDottedQuad(const QString& ip) {
    static const QRegularExpression whole(QStringLiteral("\\A(?:") + quadPattern() + QStringLiteral(")\\z"));
    return whole.match(ip).hasMatch();
}

}  // namespace kestrane

QString AddDeviceDialog::defaultDeviceName() {
    static const QRegularExpression pattern(QStringLiteral("显示([1-9][0-9]*)"));
    qulonglong n = 0;
    for (const DeviceRecord& d : std::as_const(GConfig::instance().devices())) {
        auto it = pattern.globalMatch(d.name);
        while (it.hasNext()) n = std::max(n, it.next().captured(1).toULongLong());
    }
    return QStringLiteral("显示%1").arg(n + 1);
}

AddDeviceDialog::AddDeviceDialog(DeviceRecord* record, int presetIndex, QWidget* parent)
    : QDialog(parent), m_record(record), m_session(std::make_unique<CClientSession>()) {
    setObjectName(QStringLiteral("AddDeviceDialog"));
    setWindowTitle(QStringLiteral("添加设备"));
    auto* layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("verticalLayout"));

    auto row = [&](const char* name) {
        auto* h = new QHBoxLayout;
        h->setObjectName(QLatin1String(name));
        layout->addLayout(h);
        return h;
    };
    auto label = [&](QHBoxLayout* h, const char* name, const char* text) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setObjectName(QLatin1String(name));
        h->addWidget(l);
    };
    auto edit = [&](QHBoxLayout* h, const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        h->addWidget(e);
        return e;
    };

    QHBoxLayout* r1 = row("horizontalLayout");
    label(r1, "label99", "设备名称:");
    m_name = edit(r1, "deviceName");
    QHBoxLayout* r2 = row("horizontalLayout_2");
    label(r2, "label_2", "IP:");
    m_ip = edit(r2, "ip");
    m_ip->setMinimumWidth(95);
    m_ip->setMaximumWidth(999);
    label(r2, "label_3", "输出:");
    m_output = edit(r2, "output");
    m_output->setFixedWidth(40);
    m_test = new QPushButton(QStringLiteral("测试"), this);
    m_test->setObjectName(QStringLiteral("testDevice"));
    r2->addWidget(m_test);
    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
    QHBoxLayout* r3 = row("horizontalLayout_3");
    label(r3, "label_4", "设备分辨率:");
    m_resolution = new QComboBox(this);
    m_resolution->setObjectName(QStringLiteral("resolution"));
    m_resolution->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    r3->addWidget(m_resolution);
    QHBoxLayout* r4 = row("horizontalLayout_4");
    label(r4, "label_5", "宽度:");
    m_width = edit(r4, "width");
    label(r4, "label_6", "高度:");
    m_height = edit(r4, "height");
    layout->addItem(new QSpacerItem(20, 5, QSizePolicy::Minimum, QSizePolicy::Expanding));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &AddDeviceDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    initFields();
    if (presetIndex >= 0 && presetIndex < m_presets.size()) m_resolution->setCurrentIndex(presetIndex);
    // An index equal to the current one emits nothing; the fields must still follow it.
    if (presetIndex >= 0 && presetIndex < m_presets.size()) comboBoxChanged(presetIndex);
    connect(m_test, &QPushButton::clicked, this, &AddDeviceDialog::testDevice);
    setFixedSize(307, 181);
    // The console's light-grey text is meant for its dark panels; on this
    // dialog's light ground it made every field look disabled. Dark text,
    // and grey only where a field really is disabled.
    setStyleSheet(QStringLiteral("QWidget{color:#141414;}QWidget:disabled{color:#8c8c8c;}"));
}

AddDeviceDialog::~AddDeviceDialog() {
    if (m_session) m_session->Disconnect();
}

void AddDeviceDialog::initFields() {
    m_presets = kestrane::resolutionPresetTable();
    for (const ResolutionPreset& p : std::as_const(m_presets)) m_resolution->addItem(p.label);
    m_width->setEnabled(false);
    m_height->setEnabled(false);
    m_width->setText(QStringLiteral("640"));
    m_height->setText(QStringLiteral("480"));
    connect(m_resolution, qOverload<int>(&QComboBox::currentIndexChanged), this, &AddDeviceDialog::comboBoxChanged);
    m_resolution->view()->setVerticalScrollBar(new ScrollBar(Qt::Vertical, m_resolution->view()));
    m_output->setText(QStringLiteral("1"));
    m_output->setValidator(new QIntValidator(1, 8, m_output));
    m_name->setText(defaultDeviceName());

    const kestrane::BaseSettings base = kestrane::BaseSettings::read();
    const int index = base.hasIndex && base.index >= 0 && base.index < m_presets.size() ? base.index : 0;
    if (index != 0) m_resolution->setCurrentIndex(index);
    QString ip = base.ip;
    if (ip.isEmpty()) ip = kestrane::GeneralSettings::read().proposedIp();
    m_ip->setValidator(new QRegularExpressionValidator(QRegularExpression(quadPattern()), m_ip));
    m_ip->setText(ip);
}

void AddDeviceDialog::comboBoxChanged(int index) {
    if (index < 0 || index >= m_presets.size()) return;
    const ResolutionPreset& p = m_presets.at(index);
    if (p.width != 0) {
        m_width->setEnabled(false);
        m_height->setEnabled(false);
        m_width->setText(QString::number(p.width));
        m_height->setText(QString::number(p.height));
        return;
    }
    m_width->setEnabled(true);
    m_height->setEnabled(true);
    const kestrane::BaseSettings base = kestrane::BaseSettings::read();
    m_width->setText(base.hasWidth ? QString::number(base.width) : QString());
    m_height->setText(base.hasHeight ? QString::number(base.height) : QString());
}

bool AddDeviceDialog::serverCheck(const QString& title) {
    using kestrane::fieldNumber;
    const int result = GConfig::instance().checkServerOutput(m_ip->text().trimmed(), fieldNumber(m_output->text()),
                                                             fieldNumber(m_width->text()), fieldNumber(m_height->text()));
    QString text;
    if (result == 1) text = QStringLiteral("输出通道已被占用");
    if (result == -1) text = QStringLiteral("当前服务端的输出通道已用完");
    if (result == -2) text = QStringLiteral("当前服务端的分辨率输入不一致");
    if (text.isEmpty()) return true;
    kestrane::prompt::warning(this, title, text);
    return false;
}

void AddDeviceDialog::accept() {
    const QString bad = QStringLiteral("填写错误");
    auto refuse = [&](const QString& title, const char* text) {
        kestrane::prompt::warning(this, title, QString::fromUtf8(text));
    };
    // The record is filled as the checks go, as the caller discards it on rejection.
    const QString name = m_name->text().trimmed();
    m_record->name = name;
    if (name.isEmpty()) return refuse(bad, "设备名称不能为空");
    for (const DeviceRecord& d : std::as_const(GConfig::instance().devices()))
        if (d.name == name) return refuse(bad, "设备名称与已有的重复");
    const QString ip = m_ip->text().trimmed();
    m_record->serverIp = ip;
    if (ip.isEmpty()) return refuse(bad, "IP不能为空");
    // A partial address would be stored and later reach some other host.
    if (!kestrane::isDottedQuad(ip)) return refuse(bad, "IP格式不正确");
    const int output = kestrane::fieldNumber(m_output->text());
    m_record->outputIndex = output;
    if (output <= 0) return refuse(bad, "输出请填写大于0的数字");
    if (output > 8) return refuse(bad, "输出请填写1到8的数字");
    const int width = kestrane::fieldNumber(m_width->text());
    m_record->width = width;
    if (width <= 0) return refuse(bad, "设备宽度需大于0");
    const int height = kestrane::fieldNumber(m_height->text());
    m_record->height = height;
    if (height <= 0) return refuse(bad, "设备高度需大于0");
    if (!serverCheck(QStringLiteral("设备错误"))) return;

    kestrane::writeLastDevice(ip, m_resolution->currentIndex(), width, height);
    QDialog::accept();
}

void AddDeviceDialog::testDevice() {
    // A taken channel is reported without any network traffic.
    if (!serverCheck(QStringLiteral("连线测试"))) return;
    const QByteArray ip = m_ip->text().trimmed().toLocal8Bit();
    const int ok = m_session->ConnectServer(ip.constData(), 30100, 2);
    m_session->Disconnect();
    if (ok)
        kestrane::prompt::information(this, QStringLiteral("连线测试"), QStringLiteral("当前设备可以连接"));
    else
        kestrane::prompt::warning(this, QStringLiteral("连线测试"), QStringLiteral("当前设备无法连接"));
}
