#include "render/FontTexture.h"

#include <GL/glew.h>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <cstring>

namespace {

// The font of the glyph texture: 42 pixels, heaviest weight, antialiased.
QFont TextureFont() {
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(42);
    font.setWeight(QFont::Black);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// The font of raster text: twelve points bold (16 pixels on a 96 dpi
// screen), drawn without antialiasing into one-bit glyphs.
QFont RasterFont() {
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(16);
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

GLuint g_listBase = 0;

void BuildGlyphLists() {
    g_listBase = glGenLists(128);
    if (g_listBase == 0) return;
    const QFont font = RasterFont();
    const QFontMetrics metrics(font);
    const int ascent = metrics.ascent();
    const int height = std::max(1, metrics.height());
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int code = 0; code < 128; ++code) {
        const QChar ch(static_cast<ushort>(code));
        const int advance = std::max(0, metrics.horizontalAdvance(ch));
        const int width = std::max(1, advance);
        QImage image(width, height, QImage::Format_Grayscale8);
        image.fill(0);
        if (code >= 32) {
            QPainter painter(&image);
            painter.setFont(font);
            painter.setPen(Qt::white);
            painter.drawText(0, ascent, QString(ch));
        }
        // glBitmap rows run bottom-up, most significant bit first.
        const int stride = (width + 7) / 8;
        std::vector<GLubyte> bits(static_cast<size_t>(stride) * height, 0);
        for (int row = 0; row < height; ++row) {
            const uchar* line = image.constScanLine(height - 1 - row);
            for (int x = 0; x < width; ++x)
                if (line[x] >= 128) bits[static_cast<size_t>(row) * stride + x / 8] |= static_cast<GLubyte>(0x80 >> (x % 8));
        }
        glNewList(g_listBase + code, GL_COMPILE);
        glBitmap(width, height, 0.0f, static_cast<GLfloat>(height - ascent), static_cast<GLfloat>(advance), 0.0f,
                 bits.data());
        glEndList();
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

}  // namespace

std::vector<GlyphCell> LayoutGlyphs(const int32_t widths[256]) {
    std::vector<GlyphCell> cells;
    int32_t row = 0;
    int32_t x = 0;
    uint8_t code = 0;
    while (row < kGlyphRows) {
        const int32_t width = std::max(0, widths[code]);
        if (x + width >= kGlyphTextureSize) {
            ++row;
            x = 0;
            // A glyph wider than the texture fits no row: it is left out.
            if (width >= kGlyphTextureSize) ++code;
            continue;
        }
        cells.push_back({code, x, row * kGlyphLineHeight, width});
        x += width + 2;
        ++code;
    }
    return cells;
}

CFontTextrue::CFontTextrue() {
    QImage image(kGlyphTextureSize, kGlyphTextureSize, QImage::Format_RGB32);
    if (image.isNull()) {
        m_error = "CFontTextrue failed to create memory DIB section";
        return;
    }
    image.fill(Qt::black);
    const QFont font = TextureFont();
    const QFontMetrics metrics(font);
    for (int code = 0; code < 256; ++code) m_widths[code] = metrics.horizontalAdvance(QChar(static_cast<ushort>(code)));
    const std::vector<GlyphCell> cells = LayoutGlyphs(m_widths);

    QPainter painter;
    if (!painter.begin(&image)) {
        m_error = "CFontTextrue failed to create memory DC";
        return;
    }
    painter.setFont(font);
    painter.setPen(Qt::white);
    for (const GlyphCell& cell : cells)
        painter.drawText(cell.x, cell.y + metrics.ascent(), QString(QChar(static_cast<ushort>(cell.code))));
    painter.end();

    // Rows bottom-up as GL takes them; white text gives opaque glyphs on a
    // transparent background.
    std::vector<uint8_t> pixels(static_cast<size_t>(kGlyphTextureSize) * kGlyphTextureSize * 4);
    for (int y = 0; y < kGlyphTextureSize; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(kGlyphTextureSize - 1 - y));
        uint8_t* out = pixels.data() + static_cast<size_t>(y) * kGlyphTextureSize * 4;
        for (int x = 0; x < kGlyphTextureSize; ++x) {
            out[4 * x + 0] = static_cast<uint8_t>(qRed(line[x]));
            out[4 * x + 1] = static_cast<uint8_t>(qGreen(line[x]));
            out[4 * x + 2] = static_cast<uint8_t>(qBlue(line[x]));
            out[4 * x + 3] = static_cast<uint8_t>(qBlue(line[x]));
        }
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kGlyphTextureSize, kGlyphTextureSize, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    m_texture = name;

    const float size = static_cast<float>(kGlyphTextureSize);
    for (const GlyphCell& cell : cells) {
        const float u0 = cell.x / size;
        const float u1 = (cell.x + cell.width) / size;
        const float vTop = 1.0f - cell.y / size;
        const float vBottom = 1.0f - (cell.y + kGlyphLineHeight) / size;
        const float corners[8] = {u0, vBottom, u1, vBottom, u1, vTop, u0, vTop};
        std::memcpy(m_glyphs[cell.code], corners, sizeof corners);
    }
}

CFontTextrue::~CFontTextrue() {
    if (m_texture != 0) {
        GLuint name = m_texture;
        glDeleteTextures(1, &name);
    }
}

void DrawGlText(const char* text, float x, float y) {
    if (g_listBase == 0) BuildGlyphLists();
    glDisable(GL_TEXTURE_2D);
    glColor3f(1.0f, 1.0f, 1.0f);
    glRasterPos2f(x, y);
    if (g_listBase != 0 && text) {
        // Only characters 0 to 127 have lists; a higher byte would call an
        // unrelated display list.
        for (const char* p = text; *p; ++p) {
            const auto code = static_cast<unsigned char>(*p);
            if (code < 128) glCallList(g_listBase + code);
        }
    }
    glEnable(GL_TEXTURE_2D);
}

void ReleaseGlText() {
    if (g_listBase != 0) glDeleteLists(g_listBase, 128);
    g_listBase = 0;
}
