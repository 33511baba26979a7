#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <sys/resource.h>

#include <climits>
#include <cstdint>
#include <fstream>
#include <string>

#include "platform/picture.h"
#include "support/support.h"

namespace {

QByteArray SmallJpeg() {
    QImage image(16, 8, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 10));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "JPG"));
    return bytes;
}

// A real JPEG whose frame header claims another size: a few hundred bytes
// that ask the decoder for width x height pixels.
QByteArray JpegClaiming(uint16_t width, uint16_t height) {
    QByteArray bytes = SmallJpeg();
    for (int i = 0; i + 8 < bytes.size(); ++i) {
        if (static_cast<uint8_t>(bytes[i]) == 0xFF && static_cast<uint8_t>(bytes[i + 1]) == 0xC0) {
            bytes[i + 5] = static_cast<char>(height >> 8);
            bytes[i + 6] = static_cast<char>(height & 0xFF);
            bytes[i + 7] = static_cast<char>(width >> 8);
            bytes[i + 8] = static_cast<char>(width & 0xFF);
            return bytes;
        }
    }
    ADD_FAILURE() << "no frame header";
    return bytes;
}

int64_t PeakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(PictureDecoding, AHeaderClaimingAHugePictureIsRefusedBeforeDecoding) {
    const QByteArray bomb = JpegClaiming(65500, 65500);
    ASSERT_LT(bomb.size(), 1000);
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/bomb.jpg";
    std::ofstream(path, std::ios::binary).write(bomb.constData(), bomb.size());

    const int64_t before = PeakResidentKiB();
    platform::PictureBits bits;
    EXPECT_FALSE(platform::DecodePictureFile(path, bits));
    EXPECT_FALSE(platform::DecodePictureData(reinterpret_cast<const uint8_t*>(bomb.constData()),
                                             static_cast<size_t>(bomb.size()), bits, true));
    // Nothing near the claimed size was ever allocated.
    EXPECT_LT(PeakResidentKiB() - before, 200 * 1024);
    EXPECT_TRUE(bits.bits.empty());
}

TEST(PictureDecoding, AHeaderWithinTheBoundStillDecodes) {
    // The same file with a modest claimed size decodes at that size (the
    // rows past the data are filled by the decoder).
    const QByteArray fine = JpegClaiming(64, 32);
    platform::PictureBits bits;
    ASSERT_TRUE(platform::DecodePictureData(reinterpret_cast<const uint8_t*>(fine.constData()),
                                            static_cast<size_t>(fine.size()), bits));
    EXPECT_EQ(bits.width, 64);
    EXPECT_EQ(bits.height, 32);
    EXPECT_EQ(bits.bits.size(), static_cast<size_t>(bits.stride) * 32);
}

TEST(PictureDecoding, HeaderSizeBound) {
    struct Case {
        int64_t width, height;
        bool allowed;
    };
    const Case cases[] = {
        {1, 1, true},
        {16384, 16384, true},        // exactly 1 GiB at four bytes a pixel
        {16384, 16385, false},
        {1, 268435456, true},
        {1, 268435457, false},
        {65500, 65500, false},
        {0, 10, false},
        {10, 0, false},
        {-1, 10, false},
        {10, -1, false},
        {int64_t{INT32_MAX} + 1, 1, false},
        {INT32_MAX, INT32_MAX, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::HeaderSizeAllowed(c.width, c.height), c.allowed) << c.width << " x " << c.height;
}

}  // namespace
