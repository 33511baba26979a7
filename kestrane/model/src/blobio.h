// Reading and writing blob fields with the console's stream format. The
// reader never takes a count from the data without checking it against the
// bytes that are left, and assigns a field only when it was read whole.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QImage>
#include <QString>

#include <cstring>
#include <vector>

#include "kestrane/common.h"

namespace kestrane {

static_assert(kBlobStreamVersion == QDataStream::Qt_5_6);

class BlobWriter {
public:
    BlobWriter() : stream_(&bytes_, QIODevice::WriteOnly) {
        stream_.setVersion(kBlobStreamVersion);
        stream_.setFloatingPointPrecision(QDataStream::DoublePrecision);
    }
    QDataStream& s() { return stream_; }
    QByteArray take() { return bytes_; }

    void points(const DOUBLE_POINT* p, int n) {
        stream_ << quint32(n);
        for (int k = 0; k < n; ++k) stream_ << double(p[k].x) << double(p[k].y);
    }
    void bytes(const quint8* b, int n) {
        stream_ << quint32(n);
        for (int k = 0; k < n; ++k) stream_ << qint8(b[k]);
    }
    void floats(const float* f, int n) {
        stream_ << quint32(n);
        for (int k = 0; k < n; ++k) stream_ << f[k];
    }

private:
    QByteArray bytes_;
    QDataStream stream_;
};

class BlobReader {
public:
    explicit BlobReader(const QByteArray& blob) : data_(blob), buffer_(&data_), stream_() {
        buffer_.open(QIODevice::ReadOnly);
        stream_.setDevice(&buffer_);
        stream_.setVersion(kBlobStreamVersion);
        stream_.setFloatingPointPrecision(QDataStream::DoublePrecision);
    }

    // False once anything was missing or malformed.
    bool ok() const { return ok_; }
    bool atEnd() const { return buffer_.atEnd(); }
    qint64 left() const { return buffer_.bytesAvailable(); }

    template <class T>
    bool read(T& field) {
        if (!usable()) return false;
        T v{};
        stream_ >> v;
        if (stream_.status() != QDataStream::Ok) return fail();
        field = v;
        return true;
    }

    // An image is a flag and then a PNG that carries no length of its own:
    // its extent is found by walking its chunks to IEND, each chunk's length
    // checked against the bytes left, and only those bytes reach the decoder.
    // A header announcing more than kMaxImageSide pixels a side is refused
    // before anything is decoded. A whole picture larger than the panels
    // ever show a thumbnail (kMaxThumbnailWidth × kMaxThumbnailHeight) is
    // passed over undecoded: the record keeps no thumbnail and reads on.
    bool image(QImage& field) {
        qint32 present = 0;
        if (!read(present)) return false;
        if (present == 0) {
            field = QImage();
            return true;
        }
        const qint64 start = buffer_.pos();
        bool oversized = false;
        const qint64 length = pngLength(start, &oversized);
        if (length <= 0) {
            stream_.setStatus(QDataStream::ReadCorruptData);
            return fail();
        }
        if (oversized) {
            buffer_.seek(start + length);
            field = QImage();
            return true;
        }
        QImage v;
        if (!v.loadFromData(reinterpret_cast<const uchar*>(data_.constData() + start), int(length), "PNG")) {
            stream_.setStatus(QDataStream::ReadCorruptData);
            return fail();
        }
        buffer_.seek(start + length);
        field = v;
        return true;
    }

    static constexpr quint32 kMaxImageSide = 8192;
    // The media table shows thumbnails of 43 × 32 (and a border): eight
    // times that leaves room and keeps a decode under half a megabyte.
    static constexpr quint32 kMaxThumbnailWidth = 43 * 8;
    static constexpr quint32 kMaxThumbnailHeight = 32 * 8;

    // A counted list of points; taken only when it holds exactly n points.
    bool points(DOUBLE_POINT* out, int n) {
        std::vector<double> v;
        if (!list(n, 16, [&](quint32) {
                double x = 0, y = 0;
                stream_ >> x >> y;
                v.push_back(x);
                v.push_back(y);
            }))
            return false;
        for (int k = 0; k < n; ++k) out[k] = DOUBLE_POINT{v[2 * k], v[2 * k + 1]};
        return true;
    }
    bool bytes(quint8* out, int n) {
        std::vector<quint8> v;
        if (!list(n, 1, [&](quint32) {
                qint8 b = 0;
                stream_ >> b;
                v.push_back(quint8(b));
            }))
            return false;
        for (int k = 0; k < n; ++k) out[k] = v[k];
        return true;
    }
    bool floats(float* out, int n) {
        std::vector<float> v;
        if (!list(n, 8, [&](quint32) {
                float f = 0;
                stream_ >> f;
                v.push_back(f);
            }))
            return false;
        for (int k = 0; k < n; ++k) out[k] = v[k];
        return true;
    }

    // A count that cannot exceed the bytes left at elementSize each; 0 and
    // a failure otherwise.
    bool count(quint32& n, qint64 elementSize) {
        if (!read(n)) return false;
        if (elementSize > 0 && qint64(n) > left() / elementSize) {
            // Nothing after a false count can be trusted to be in step.
            n = 0;
            stream_.setStatus(QDataStream::ReadPastEnd);
            return fail();
        }
        return true;
    }

private:
    static quint32 be32(const char* p) {
        const auto* u = reinterpret_cast<const unsigned char*>(p);
        return quint32(u[0]) << 24 | quint32(u[1]) << 16 | quint32(u[2]) << 8 | quint32(u[3]);
    }
    // The byte length of the PNG at `from` up to and with its IEND chunk;
    // 0 when it is no whole PNG within the data or its header is too large.
    qint64 pngLength(qint64 from, bool* oversized) const {
        static const char kSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
        const qint64 size = data_.size();
        const char* d = data_.constData();
        if (size - from < 8 || memcmp(d + from, kSignature, 8) != 0) return 0;
        qint64 at = from + 8;
        bool first = true;
        while (size - at >= 12) {
            const quint32 n = be32(d + at);
            if (n > 0x7FFFFFFFu || qint64(n) > size - at - 12) return 0;
            const char* type = d + at + 4;
            if (first) {
                if (memcmp(type, "IHDR", 4) != 0 || n != 13) return 0;
                const quint32 w = be32(type + 4), h = be32(type + 8);
                if (w == 0 || h == 0 || w > kMaxImageSide || h > kMaxImageSide) return 0;
                *oversized = w > kMaxThumbnailWidth || h > kMaxThumbnailHeight;
                first = false;
            }
            at += 12 + qint64(n);
            if (memcmp(type, "IEND", 4) == 0) return at - from;
        }
        return 0;
    }

    bool usable() const { return stream_.status() == QDataStream::Ok; }
    bool fail() {
        ok_ = false;
        return false;
    }
    // Reads a whole counted list (so the stream stays in step); true only
    // when its count was `expected` and every element came through.
    template <class F>
    bool list(int expected, qint64 elementSize, F readOne) {
        quint32 n = 0;
        if (!count(n, elementSize)) return false;
        for (quint32 k = 0; k < n; ++k) readOne(k);
        if (stream_.status() != QDataStream::Ok) return fail();
        if (n != quint32(expected)) return fail();
        return true;
    }

    QByteArray data_;
    QBuffer buffer_;
    QDataStream stream_;
    bool ok_ = true;
};

}  // namespace kestrane
