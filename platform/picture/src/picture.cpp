#include "platform/picture.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <climits>
#include <cstring>

namespace platform {
namespace {

// Pictures above this many bytes are refused rather than allocated.
constexpr int64_t kMaxPictureBytes = int64_t{1} << 30;

// Turns any decoded image into bottom-up BGR (or BGRA) rows padded to 4 bytes.
bool FromQImage(const QImage& image, PictureBits& out, bool forceBgr) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) return false;
    const bool alpha = !forceBgr && image.hasAlphaChannel();
    // ARGB32 lies in memory as blue, green, red, alpha on this little-endian
    // machine; BGR888 as blue, green, red.
    const QImage conv = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_BGR888);
    if (conv.isNull()) return false;
    const int64_t bpp = alpha ? 4 : 3;
    const int64_t stride = (conv.width() * bpp + 3) / 4 * 4;
    if (stride * conv.height() > kMaxPictureBytes) return false;
    out.width = conv.width();
    out.height = conv.height();
    out.bytesPerPixel = static_cast<int32_t>(bpp);
    out.stride = static_cast<int32_t>(stride);
    out.bits.assign(static_cast<size_t>(stride * conv.height()), 0);
    for (int r = 0; r < out.height; ++r) {
        // Row 0 of the bitmap is the bottom row of the picture.
        std::memcpy(out.bits.data() + int64_t{r} * stride, conv.constScanLine(out.height - 1 - r),
                    static_cast<size_t>(out.width * bpp));
    }
    return true;
}

// Decodes only when the header's size fits the bound: a few hundred bytes
// may claim a picture of many gigabytes, and the decoder allocates what the
// header claims before the rows are read.
bool ReadBounded(QImageReader& reader, QImage& image) {
    const QSize size = reader.size();
    if (!size.isValid() || !HeaderSizeAllowed(size.width(), size.height())) return false;
    return reader.read(&image);
}

}  // namespace

bool HeaderSizeAllowed(int64_t width, int64_t height) {
    // Formats that cannot tell their size without decoding are refused too.
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return false;
    // Four bytes a pixel: what the decoder and the conversion allocate.
    return width <= kMaxPictureBytes / 4 / height;
}

bool DecodePictureFile(const std::string& path, PictureBits& out, bool forceBgr) {
    QImageReader reader(QString::fromStdString(path));
    QImage image;
    if (!ReadBounded(reader, image)) return false;
    return FromQImage(image, out, forceBgr);
}

bool DecodePictureData(const uint8_t* data, size_t size, PictureBits& out, bool forceBgr) {
    if (!data || size == 0 || size > static_cast<size_t>(kMaxPictureBytes)) return false;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<int>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QImage image;
    if (!ReadBounded(reader, image)) return false;
    return FromQImage(image, out, forceBgr);
}

}  // namespace platform
