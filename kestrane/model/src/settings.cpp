#include "kestrane/settings.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <cstring>

#include "kestrane/gconfig.h"
#include "kestrane/utils.h"
#include "lintra/KestraneStageServer.h"
#include "lintra/netdef.h"
#include "platform/autostart.h"
#include "platform/textcodec.h"

namespace kestrane {

namespace {

// Settings texts are GBK; GB18030 writes the same bytes for every GBK
// character and loses none of the others.
constexpr const char* kSettingsCodec = "GB18030";
constexpr const char* kAutostartName = "kestrane";

const QString kGeneral = QStringLiteral("GeneralSettings");

// A hand-edited value with a comma reads as a list; it is still one text.
QString textOf(const QVariant& v, const QString& fallback) {
    if (!v.isValid()) return fallback;
    if (v.type() == QVariant::StringList) return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

// Through the text: QVariant's own conversion cuts a number that does not
// fit an int and calls it a success.
int intOf(const QVariant& v, int fallback) {
    if (!v.isValid()) return fallback;
    bool ok = false;
    const int n = textOf(v, QString()).toInt(&ok);
    return ok ? n : fallback;
}

bool boolOf(const QVariant& v, bool fallback) { return v.isValid() ? v.toBool() : fallback; }

// A sync that could not write sets AccessError; a FormatError left from
// reading an unparseable file is no write failure.
bool synced(QSettings& s) {
    s.sync();
    return s.status() != QSettings::AccessError;
}

// Reads a stored variant's stream (QDataStream version 4.0, as the settings
// file holds them) without building it: every count and length must fit in
// the bytes that are left. Qt itself reserves whatever a list announces, and
// an 84-byte file could make it ask for 2^64 bytes and end the program.
class VariantCheck {
public:
    explicit VariantCheck(const QByteArray& bytes)
        : p_(reinterpret_cast<const uchar*>(bytes.constData())), left_(bytes.size()) {}

    bool whole() { return variant(0) && left_ == 0; }

private:
    bool take(qint64 n) {
        if (n < 0 || n > left_) return false;
        p_ += n;
        left_ -= n;
        return true;
    }
    bool u32(quint32& v) {
        if (left_ < 4) return false;
        v = quint32(p_[0]) << 24 | quint32(p_[1]) << 16 | quint32(p_[2]) << 8 | p_[3];
        return take(4);
    }
    // A count of items that each take at least `least` bytes.
    bool count(quint32& n, qint64 least) { return u32(n) && qint64(n) * least <= left_; }
    bool bytes(bool even) {
        quint32 n = 0;
        if (!u32(n)) return false;
        if (n == 0xFFFFFFFFu) return true;  // a null text or array
        return (!even || n % 2 == 0) && take(n);
    }
    bool variant(int depth) {
        quint32 type = 0, n = 0;
        if (depth > 32 || !u32(type)) return false;
        switch (type) {
        case 0: return bytes(true);            // invalid: an empty text follows
        case 1: return take(1);                // bool
        case 2: case 3: return take(4);        // int, uint
        case 4: case 5: case 6: return take(8);  // 64-bit ints, double
        case 10: return bytes(true);           // text
        case 12: return bytes(false);          // byte array
        case 11:                               // text list
            if (!count(n, 4)) return false;
            for (quint32 i = 0; i < n; ++i)
                if (!bytes(true)) return false;
            return true;
        case 9:                                // list
            if (!count(n, 4)) return false;
            for (quint32 i = 0; i < n; ++i)
                if (!variant(depth + 1)) return false;
            return true;
        case 8:                                // map of text to variant
            if (!count(n, 8)) return false;
            for (quint32 i = 0; i < n; ++i)
                if (!bytes(true) || !variant(depth + 1)) return false;
            return true;
        default: return false;                 // nothing this console stores
        }
    }

    const uchar* p_;
    qint64 left_;
};

// A stand-in for every '@' that Qt would see in a value: a private-use
// character, written as an escape so that the bytes around it decode as
// they did.
constexpr ushort kAtStandIn = 0xE000;

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The file with every '@' that Qt's unescaping can produce (a plain '@',
// or a hex or octal escape whose low 16 bits are 0x40, as Qt keeps them)
// replaced by the stand-in, and nothing else changed: lines, keys, quotes
// and every other escape stay, so Qt splits the copy as it splits the file.
QByteArray withoutValueMarks(const QByteArray& raw) {
    QByteArray out;
    out.reserve(raw.size() + raw.size() / 8 + 16);
    bool hexOpen = false;  // the last thing written was a hex escape
    auto standIn = [&] {
        out += "\\xe000";
        hexOpen = true;
    };
    const int n = raw.size();
    for (int i = 0; i < n;) {
        const char c = raw.at(i);
        if (c == '@') {
            standIn();
            ++i;
            continue;
        }
        if (c == '\\' && i + 1 < n && (raw.at(i + 1) == 'x' || (raw.at(i + 1) >= '0' && raw.at(i + 1) <= '7'))) {
            const bool hex = raw.at(i + 1) == 'x';
            int j = hex ? i + 2 : i + 1;
            quint32 value = 0;
            while (j < n && (hex ? isHexDigit(raw.at(j)) : (raw.at(j) >= '0' && raw.at(j) <= '7'))) {
                const char d = raw.at(j);
                const quint32 digit = d <= '9' ? quint32(d - '0') : quint32((d | 0x20) - 'a' + 10);
                value = (hex ? value << 4 : value << 3) + digit;
                ++j;
            }
            if (j > i + (hex ? 2 : 1) && (value & 0xFFFFu) == 0x40u) {
                standIn();
            } else {
                out += raw.mid(i, j - i);
                hexOpen = false;
            }
            i = j;
            continue;
        }
        if (c == '\\' && i + 1 < n) {
            out += raw.mid(i, 2);
            hexOpen = false;
            i += 2;
            continue;
        }
        if (hexOpen && isHexDigit(c)) {
            // It would lengthen the stand-in's escape: written as one too.
            out += QByteArray("\\x") + QByteArray::number(uchar(c), 16);
        } else {
            out += c;
            hexOpen = false;
        }
        ++i;
    }
    return out;
}

// Whether one value as Qt unescapes it would be read as a stored variant
// that cannot be read safely.
bool unsafeVariantText(const QString& text) {
    static const QString kMark = QString(QChar(kAtStandIn)) + QStringLiteral("Variant(");
    if (!text.startsWith(kMark) || !text.endsWith(QLatin1Char(')'))) return false;
    QString payload = text.mid(kMark.size(), text.size() - kMark.size() - 1);
    payload.replace(QChar(kAtStandIn), QLatin1Char('@'));
    for (QChar c : payload)
        if (c.unicode() > 0xFF) return true;
    return !VariantCheck(payload.toLatin1()).whole();
}

// Whether every stored variant of a settings file can be read safely. The
// values are read from a copy in which no value can be marked as a variant
// (see above), so that Qt unescapes them but builds nothing; a value that
// reads as a list is converted item by item, so each item is looked at.
bool storedVariantsSafe(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return true;
    const QByteArray raw = file.readAll();
    const QByteArray copyBytes = withoutValueMarks(raw);
    if (copyBytes == raw) return true;
    QTemporaryDir dir;
    QFile copy(dir.filePath(QStringLiteral("settings.ini")));
    if (!dir.isValid() || !copy.open(QIODevice::WriteOnly) || copy.write(copyBytes) != copyBytes.size()) return false;
    copy.close();
    QSettings probe(copy.fileName(), QSettings::IniFormat);
    probe.setIniCodec(kSettingsCodec);
    for (const QString& key : probe.allKeys()) {
        const QVariant v = probe.value(key);
        if (v.type() == QVariant::StringList || v.type() == QVariant::List) {
            for (const QVariant& item : v.toList())
                if (unsafeVariantText(item.toString())) return false;
        } else if (unsafeVariantText(v.toString())) {
            return false;
        }
    }
    return true;
}

// Sets the settings file aside whole, so that the settings start from their
// defaults and the operator still has the file.
void setAside(const QString& path, const char* why) {
    const QString bad = path + QStringLiteral(".bad");
    QFile::remove(bad);
    const bool moved = QFile::rename(path, bad);
    qWarning() << "settings file" << why << path << (moved ? "set aside as" : "could not be set aside as") << bad;
    if (!moved) QFile::remove(path);
}

}  // namespace

std::unique_ptr<QSettings> openSettings(bool help) {
    const QString path = GConfig::settingsFilePath(help);
    // Qt cannot be kept from reading such a file once it opens it.
    if (!storedVariantsSafe(path)) setAside(path, "holds a stored value that cannot be read:");
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    settings->setIniCodec(kSettingsCodec);
    // Qt reads the values when they are first asked for: all of them now,
    // where a value whose reading fails can still be caught, rather than at
    // a later read or write anywhere in the console.
    bool readable = true;
    try {
        (void)settings->allKeys();
    } catch (const std::exception&) {
        readable = false;
    }
    if (!readable) {
        settings.reset();
        setAside(path, "cannot be read:");
        settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        settings->setIniCodec(kSettingsCodec);
    }
    if (!help && settings->status() == QSettings::FormatError) {
        const QString bad = path + QStringLiteral(".bad");
        QFile::remove(bad);
        const bool copied = QFile::copy(path, bad);
        qWarning() << "settings file cannot be parsed:" << path
                   << (copied ? "copy kept as" : "could not keep a copy as") << bad;
    }
    return settings;
}

// ---------------------------------------------------------------------------
// GeneralSettings

QString defaultSavePath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (dir.isEmpty()) dir = QDir::homePath();
    dir = QDir::toNativeSeparators(dir);
    if (!dir.endsWith(QDir::separator())) dir += QDir::separator();
    return dir;
}

GeneralSettings::GeneralSettings() : savePath(defaultSavePath()) {}

GeneralSettings GeneralSettings::read(QSettings& s) {
    GeneralSettings g;
    s.beginGroup(kGeneral);
    auto text = [&s](const char* key, const QString& fallback) { return textOf(s.value(QLatin1String(key)), fallback); };
    auto number = [&s](const char* key, int fallback) { return intOf(s.value(QLatin1String(key)), fallback); };
    auto flag = [&s](const char* key, bool fallback) { return boolOf(s.value(QLatin1String(key)), fallback); };
    g.showCluster = text("showCluster", g.showCluster);
    g.defaultIpA = text("defaultIpA", g.defaultIpA);
    g.defaultIpB = text("defaultIpB", g.defaultIpB);
    g.defaultIpC = text("defaultIpC", g.defaultIpC);
    g.refreshRate = number("refreshRate", g.refreshRate);
    g.defaultPicDuration = number("defaultPicDuration", g.defaultPicDuration);
    g.defaultPlayDuration = number("defaultPlayDuration", g.defaultPlayDuration);
    g.defaultSoundVolume = number("defaultSoundVolume", g.defaultSoundVolume);
    g.savePath = text("savePath", g.savePath);
    g.autoSaveInterval = number("autoSaveInterval", g.autoSaveInterval);
    g.saveWhenClose = flag("saveWhenClose", g.saveWhenClose);
    g.serverAutoStart = flag("serverAutoStart", g.serverAutoStart);
    g.serverAutoLoadFile = flag("serverAutoLoadFile", g.serverAutoLoadFile);
    g.clientAutoStart = flag("clientAutoStart", g.clientAutoStart);
    g.clientAutoMinimize = flag("clientAutoMinimize", g.clientAutoMinimize);
    g.clientAutoLoadFile = flag("clientAutoLoadFile", g.clientAutoLoadFile);
    g.clientAutoLoadFilePath = text("clientAutoLoadFilePath", g.clientAutoLoadFilePath);
    g.clientAutoConnect = flag("clientAutoConnect", g.clientAutoConnect);
    g.clientAutoConnectAndPlay = flag("clientAutoConnectAndPlay", g.clientAutoConnectAndPlay);
    g.clientAutoConnectWhenOpen = flag("clientAutoConnectWhenOpen", g.clientAutoConnectWhenOpen);
    s.endGroup();
    return g;
}

GeneralSettings GeneralSettings::read() { return read(*openSettings()); }

bool GeneralSettings::write() const {
    auto s = openSettings();
    s->beginGroup(kGeneral);
    s->setValue(QStringLiteral("showCluster"), showCluster);
    s->setValue(QStringLiteral("defaultIpA"), defaultIpA);
    s->setValue(QStringLiteral("defaultIpB"), defaultIpB);
    s->setValue(QStringLiteral("defaultIpC"), defaultIpC);
    s->setValue(QStringLiteral("refreshRate"), refreshRate);
    s->setValue(QStringLiteral("defaultPicDuration"), defaultPicDuration);
    s->setValue(QStringLiteral("defaultPlayDuration"), defaultPlayDuration);
    s->setValue(QStringLiteral("defaultSoundVolume"), defaultSoundVolume);
    s->setValue(QStringLiteral("savePath"), savePath);
    s->setValue(QStringLiteral("autoSaveInterval"), autoSaveInterval);
    s->setValue(QStringLiteral("saveWhenClose"), saveWhenClose);
    s->setValue(QStringLiteral("serverAutoStart"), serverAutoStart);
    s->setValue(QStringLiteral("serverAutoLoadFile"), serverAutoLoadFile);
    s->setValue(QStringLiteral("clientAutoStart"), clientAutoStart);
    s->setValue(QStringLiteral("clientAutoMinimize"), clientAutoMinimize);
    s->setValue(QStringLiteral("clientAutoLoadFile"), clientAutoLoadFile);
    s->setValue(QStringLiteral("clientAutoLoadFilePath"), clientAutoLoadFilePath);
    s->setValue(QStringLiteral("clientAutoConnect"), clientAutoConnect);
    s->setValue(QStringLiteral("clientAutoConnectAndPlay"), clientAutoConnectAndPlay);
    s->setValue(QStringLiteral("clientAutoConnectWhenOpen"), clientAutoConnectWhenOpen);
    s->endGroup();
    return synced(*s);
}

QString GeneralSettings::proposedIp() const {
    return QStringLiteral("%1.%2.%3.1").arg(defaultIpA, defaultIpB, defaultIpC);
}

void fillGeneralConfig(const GeneralSettings& settings, TOLVA_GENERAL_CONFIG& config) {
    std::memset(&config, 0, sizeof config);
    // The library turns the text into GBK for the wire; it stays UTF-8 here
    // and is cut at a character so that the field keeps its terminator.
    const QByteArray utf8 = settings.showCluster.toUtf8();
    const std::string_view cut =
        platform::CutUtf8(std::string_view(utf8.constData(), size_t(utf8.size())), sizeof config.showCluster - 1);
    std::memcpy(config.showCluster, cut.data(), cut.size());
    const int32_t rate = settings.refreshRate;
    const int32_t autoStart = settings.serverAutoStart ? 1 : 0;
    const int32_t autoLoad = settings.serverAutoLoadFile ? 1 : 0;
    std::memcpy(&config.refreshRate, &rate, sizeof rate);
    std::memcpy(&config.serverAutoStart, &autoStart, sizeof autoStart);
    std::memcpy(&config.serverAutoLoadFile, &autoLoad, sizeof autoLoad);
}

// ---------------------------------------------------------------------------
// Group "base"

BaseSettings BaseSettings::read() {
    BaseSettings b;
    auto s = openSettings();
    s->beginGroup(QStringLiteral("base"));
    b.showList = intOf(s->value(QStringLiteral("showList")), 0);
    const QVariant ip = s->value(QStringLiteral("dip"));
    b.hasIp = ip.isValid();
    b.ip = textOf(ip, QString());
    auto number = [&s](const char* key, bool& has, int& out) {
        const QVariant v = s->value(QLatin1String(key));
        bool ok = false;
        const int n = textOf(v, QString()).toInt(&ok);
        has = v.isValid() && ok;
        if (has) out = n;
    };
    number("dindex", b.hasIndex, b.index);
    number("dwidth", b.hasWidth, b.width);
    number("dheight", b.hasHeight, b.height);
    s->endGroup();
    return b;
}

bool writeShowList(int showList) {
    auto s = openSettings();
    s->setValue(QStringLiteral("base/showList"), showList);
    return synced(*s);
}

bool writeLastDevice(const QString& ip, int index, int width, int height) {
    auto s = openSettings();
    s->beginGroup(QStringLiteral("base"));
    s->setValue(QStringLiteral("dip"), ip);
    s->setValue(QStringLiteral("dindex"), index);
    if (index == kCustomPresetIndex) {
        s->setValue(QStringLiteral("dwidth"), width);
        s->setValue(QStringLiteral("dheight"), height);
    }
    s->endGroup();
    return synced(*s);
}

// ---------------------------------------------------------------------------
// Recent projects and help links

QList<RecentProject> recentProjectsOf(const QVariantList& projectData) {
    QList<RecentProject> out;
    for (const QVariant& entry : projectData) {
        const QVariantList pair = entry.toList();
        if (pair.size() < 2) continue;
        out.append(RecentProject{pair.at(0).toString(), pair.at(1).toString()});
    }
    return out;
}

QList<RecentProject> readRecentProjects() {
    return recentProjectsOf(openSettings()->value(QStringLiteral("projects/projectData")).toList());
}

QList<HelpLink> readHelpLinks() {
    QList<HelpLink> links;
    auto s = openSettings(true);
    s->beginGroup(QStringLiteral("help"));
    for (int i = 1; i <= kHelpLinkCount; ++i)
        links.append(HelpLink{textOf(s->value(QStringLiteral("book%1").arg(i)), QString()),
                              textOf(s->value(QStringLiteral("bookurl%1").arg(i)), QString())});
    s->endGroup();
    return links;
}

// ---------------------------------------------------------------------------
// Start at log-in

namespace {

std::string autostartCommand() {
    // Desktop entries take a path with blanks or quotes only inside quotes,
    // with '"', '`', '$' and '\' escaped.
    QString program = QCoreApplication::applicationFilePath();
    static const QString kSpecial = QStringLiteral(" \t\"'\\><~|&;$*?#()`");
    bool quote = false;
    for (QChar c : program)
        if (kSpecial.contains(c)) quote = true;
    if (quote) {
        QString escaped;
        for (QChar c : program) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
                escaped += QLatin1Char('\\');
            escaped += c;
        }
        program = QLatin1Char('"') + escaped + QLatin1Char('"');
    }
    return (program + QStringLiteral(" start")).toStdString();
}

}  // namespace

bool setClientAutoStartEntry(bool enable) {
    return platform::SetAutostartEntry(kAutostartName, autostartCommand(), enable);
}

bool isClientAutoStartEntry() { return platform::IsAutostartEntry(kAutostartName, autostartCommand()); }

}  // namespace kestrane

// ---------------------------------------------------------------------------
// GConfig's settings operations

QString GConfig::settingsFilePath(bool help) {
    if (help) {
        return kestrane::dataFilePath(QStringLiteral("help.ini"));
    }
    // The program's own configuration folder, so that the generic file name
    // cannot meet another program's.
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(dir);
    return dir + QStringLiteral("/setting.ini");
}

void GConfig::updateRecentProjects(QSettings& settings, const QString& name, const QString& path, bool removeOnly) {
    if (path.isEmpty()) return;
    const QString key = QStringLiteral("projects/projectData");
    QVariantList list = settings.value(key).toList();
    for (int i = list.size() - 1; i >= 0; --i)
        if (list.at(i).toList().value(1).toString() == path) list.removeAt(i);
    if (!removeOnly) {
        if (name.isEmpty()) return;
        list.prepend(QVariantList{name, path});
        while (list.size() > kestrane::kMaxRecentProjects) list.removeLast();
    }
    settings.setValue(key, list);
}

bool GConfig::applyGeneralSettings() {
    if (!m_connected) {
        qDebug() << __FILE__ << __LINE__ << "applyGeneralSettings: not connected";
        return false;
    }
    const kestrane::GeneralSettings general = kestrane::GeneralSettings::read();
    TOLVA_GENERAL_CONFIG config;
    kestrane::fillGeneralConfig(general, config);

    QStringList ips;  // distinct, in device-id order
    for (const DeviceRecord& d : std::as_const(m_devices))
        if (!d.serverIp.isEmpty() && !ips.contains(d.serverIp)) ips.append(d.serverIp);

    bool ok = true;
    for (const QString& ip : std::as_const(ips)) {
        CKestraneStageServer* session = clientSession(ip, 0);
        if (!session) continue;
        const int result = session->SetGeneralConfig(&config);
        if (result != 0) {
            ok = false;
            qDebug() << __FILE__ << __LINE__ << "SetGeneralConfig" << ip << "failed:" << result;
        }
    }
    qDebug() << __FILE__ << __LINE__ << "applyGeneralSettings:" << ok;
    return ok;
}
