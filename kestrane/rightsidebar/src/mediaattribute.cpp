#include "kestrane/mediaattribute.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include <cmath>

#include "kestrane/gconfig.h"
#include "kestrane/utils.h"
#include "ui_mediaattribute.h"

namespace {

// The desktop's file manager, asked to show the file selected; without one
// on the session bus, the file's folder opens instead.
void showWithDesktop(const QString& path) {
    const QUrl url = QUrl::fromLocalFile(path);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{url.toString()} << QString();
        const QDBusMessage reply = bus.call(call, QDBus::Block, 2000);
        if (reply.type() == QDBusMessage::ReplyMessage) return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

MediaAttribute::FileShower& fileShower() {
    static MediaAttribute::FileShower shower;
    return shower;
}

// Halves upward: 2.5 -> 3, -2.5 -> -2.
QString roundedText(double v) { return QString::number(static_cast<long long>(std::floor(v + 0.5))); }

}  // namespace

MediaAttribute::FileShower MediaAttribute::setFileShower(FileShower shower) {
    FileShower old = std::move(fileShower());
    fileShower() = std::move(shower);
    return old;
}

MediaAttribute::MediaAttribute(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::MediaAttribute>()) {
    m_ui->setupUi(this);
    clearInfo();
    connect(m_ui->openFolder, &QPushButton::clicked, this, &MediaAttribute::openFolder);
}

MediaAttribute::~MediaAttribute() = default;

void MediaAttribute::clearInfo() {
    m_ui->attributeName->setText(QStringLiteral("媒体信息"));
    for (QLabel* l : {m_ui->fileName, m_ui->fileSize, m_ui->fileDir, m_ui->fileWidth, m_ui->fileHeight,
                      m_ui->fileDuration}) {
        l->clear();
        l->setEnabled(false);
    }
    for (QLineEdit* e : {m_ui->startTime, m_ui->endTime, m_ui->duration, m_ui->width, m_ui->height, m_ui->x, m_ui->y}) {
        e->clear();
        e->setEnabled(false);
    }
    for (QLineEdit* e : {m_ui->z, m_ui->x_2, m_ui->y_2, m_ui->z_2}) e->clear();
    m_ui->loopPlay->setChecked(true);
    m_ui->loopPlay->setEnabled(false);
}

void MediaAttribute::showMedia(int id) {
    if (id == 0) {
        clearInfo();
        return;
    }
    m_mediaId = id;
    GConfig& config = GConfig::instance();
    const MediaSource* rec = config.mediaSource(id);
    if (!rec || rec->trailer != kestrane::kRecordMagic) return;

    m_ui->attributeName->setText(rec->kind == 0 ? QStringLiteral("视频信息") : QStringLiteral("图片信息"));
    m_ui->fileName->setText(rec->fileName);
    m_ui->fileDir->setText(rec->folderPath);
    m_ui->fileSize->setText(kestrane::sizeToText(rec->fileSize));
    m_ui->fileDuration->setText(rec->kind == 1 ? QStringLiteral("-")
                                               : kestrane::msToMinSecText(std::max(rec->naturalLength, 0)));
    m_ui->fileWidth->setText(QString::number(rec->nativeWidth));
    m_ui->fileHeight->setText(QString::number(rec->nativeHeight));
    m_ui->startTime->setText(kestrane::msToMinSecText(rec->start));
    m_ui->endTime->setText(kestrane::msToMinSecText(rec->start + rec->duration));
    m_ui->duration->setText(kestrane::msToMinSecText(rec->duration));
    m_ui->width->setText(QString::number(rec->width, 'g', 6));
    m_ui->height->setText(QString::number(rec->height, 'g', 6));
    const auto pos = config.mediaStagePos(id);
    m_ui->x->setText(roundedText(pos.first));
    m_ui->x_2->setText(roundedText(pos.first));
    m_ui->y->setText(roundedText(pos.second));
    m_ui->y_2->setText(roundedText(pos.second));
    m_ui->z->setText(QStringLiteral("0"));
    m_ui->z_2->setText(QStringLiteral("0"));
    m_ui->loopPlay->setChecked(true);
}

void MediaAttribute::openFolder() {
    if (m_mediaId == 0) return;
    const MediaSource* rec = GConfig::instance().mediaSource(m_mediaId);
    if (!rec || rec->path.isEmpty()) return;
    const QString path = QFileInfo(rec->path).absoluteFilePath();
    if (fileShower())
        fileShower()(path);
    else
        showWithDesktop(path);
}
