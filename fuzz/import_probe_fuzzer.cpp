// The console's import probe on a picture file the operator drops in: the
// header's size is checked, then the picture is decoded at thumbnail size.
// Any bytes, under any of the suffixes the import takes as pictures, must
// give a thumbnail or a refusal, never a crash or a decode at a size the
// header made up.
#include <QBuffer>
#include <QByteArray>
#include <QString>

#include "QtApp.h"
#include "kestrane/pictureprobe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::QtApp();
    QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    (void)kestrane::probePicture(&buffer, QSize(43, 32), true);
    // Through a file as well, as an import reads it; the suffix rotates
    // over the picture suffixes the import knows.
    static const char* const kSuffixes[] = {"png", "jpg", "jpeg", "gif"};
    const QString path = QString::fromStdString(fuzzsupport::ScratchDir()) + QStringLiteral("/probe.") +
                         QLatin1String(kSuffixes[size % 4]);
    fuzzsupport::WriteFile(path.toStdString(), data, size);
    (void)kestrane::probePicture(path, QSize(43, 32), true);
    return 0;
}
