// Still pictures: a picture file or an in-memory bitmap (BMP), the matting
// overlay with its key colour (CMattingImage) and a small solid-colour frame
// (ColorBMP). Frames are bottom-up rows of blue-green-red bytes padded to 4
// bytes, or blue-green-red-alpha for pictures with alpha.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/MediaBase.h"
#include "platform/picture.h"

// Pictures are decoded by the shared platform decoder.
using platform::DecodePictureData;
using platform::DecodePictureFile;
using platform::PictureBits;

class BMP : public MediaBaseClass {
public:
    BMP();
    ~BMP() override;

    bool LoadResource(const std::string& path, int32_t index, int32_t reserved, int32_t stereo) override;
    bool Close() override;
    // Takes a copy of a decoded bitmap; name "BKimage".
    bool LoadFromHBitmap(const PictureBits& bitmap);
    // Decodes a picture in memory and takes it as LoadFromHBitmap does.
    bool LoadFromPictureData(const uint8_t* data, size_t size) override;
    // A blank 120 x 120 BGR frame.
    void ResetTestBuffer();
    // Bands of the given colours (bytes red, green, blue, spare in the low to
    // high bytes) across the test frame: horizontal bands, or vertical ones.
    // False (nothing changed) without colours.
    bool FillColorBars(const std::vector<uint32_t>& colors, bool vertical) override;

protected:
    // Copies a decoded picture into the frame, split by the stereo format.
    void StorePicture(const PictureBits& picture, int32_t stereo);
};

class CMattingImage : public MediaBaseClass {
public:
    static constexpr uint32_t kDefaultKey = 0xFF0000;  // pure blue, red in the low byte

    CMattingImage();
    ~CMattingImage() override;

    bool LoadResource(const std::string& path, int32_t index, int32_t reserved, int32_t stereo) override;
    bool Close() override;
    // Takes a copy of a bitmap as it is (32-bit with alpha); name "Matting".
    bool LoadFromHBitmap(const PictureBits& bitmap);
    // Decodes a picture in memory keeping its alpha, as LoadFromHBitmap does.
    bool LoadFromPictureData(const uint8_t* data, size_t size) override;

    uint32_t m_nKeyColor = kDefaultKey;
};

class ColorBMP : public MediaBaseClass {
public:
    ColorBMP();
    ~ColorBMP() override;

    bool LoadResource(const std::string& path, int32_t index, int32_t reserved, int32_t stereo) override;
    bool Close() override;
    // Fills every pixel with the colour's bytes 0, 1, 2; false when the
    // colour is the current one.
    bool SetColor(uint32_t color);

    uint32_t m_nColor = 0;
};
