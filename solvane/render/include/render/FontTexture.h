// Text in the GL frame: the glyph texture of a TrueType font, and raster
// text through glyph display lists. Both need the output's context current.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Where the layout walk put one character in the glyph texture (pixels, y
// from the top).
struct GlyphCell {
    int32_t code = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
};

inline constexpr int32_t kGlyphTextureSize = 512;
inline constexpr int32_t kGlyphLineHeight = 55;
inline constexpr int32_t kGlyphRows = 9;

// The layout walk: characters in code order from 0 (wrapping after 255),
// each 2 pixels after the one before; a character whose right edge would
// reach the texture's edge starts the next row; rows 55 pixels apart until
// nine rows are used. Returns the cells in drawing order.
std::vector<GlyphCell> LayoutGlyphs(const int32_t widths[256]);

class CFontTextrue {
public:
    CFontTextrue();
    ~CFontTextrue();
    CFontTextrue(const CFontTextrue&) = delete;
    CFontTextrue& operator=(const CFontTextrue&) = delete;

    bool Ok() const { return m_error.empty(); }
    // The failure text when the texture could not be made.
    const std::string& Error() const { return m_error; }

    uint32_t Texture() const { return m_texture; }
    // Texture coordinates of the character's cell corners: bottom-left,
    // bottom-right, top-right, top-left, each (u, v).
    const float* Glyph(uint8_t code) const { return m_glyphs[code]; }
    int32_t CharWidth(uint8_t code) const { return m_widths[code]; }
    int32_t LineHeight() const { return kGlyphLineHeight; }

private:
    float m_glyphs[256][8] = {};
    int32_t m_widths[256] = {};
    uint32_t m_texture = 0;
    std::string m_error;
};

// Raster text in white at the raster position (x, y), one glyph display
// list per byte of text (characters 0 to 127). Builds the lists on first use.
void DrawGlText(const char* text, float x, float y);
// Deletes the glyph lists (before their context goes away).
void ReleaseGlText();
