// One projector output: its warp grid with the nine control points, blend
// widths, texture window, colour curves and the fixed-size record the channel
// files store. No GL here: the mesh goes out through a MeshSink.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lintra/netdef.h"
#include "platform/types.h"

// Receives the mesh the way immediate-mode GL would draw it. The GL sink
// wraps these in a display list; tests record them.
class MeshSink {
public:
    virtual ~MeshSink() = default;
    virtual void EnableTexture2D() = 0;
    virtual void Normal(float x, float y, float z) = 0;
    virtual void BeginTriangleFan() = 0;
    virtual void Color(float r, float g, float b, float a) = 0;
    virtual void TexCoord(double s, double t) = 0;
    virtual void Vertex(double x, double y, double z) = 0;
    virtual void End() = 0;
};

class OutputChannel {
public:
    // Size of the record in the channel files.
    static constexpr size_t kRecordSize = 31184;
    static constexpr int kSide = 41;      // grid points per side
    static constexpr int kLast = 40;      // last grid index
    static constexpr int kEdgePositions = 40;

    // Blend width slots, in record order.
    enum BlendSide { kBlendLeft = 0, kBlendRight = 1, kBlendTop = 2, kBlendBottom = 3 };
    // Texture window slots: s at c = 0, s at c = 40, t at r = 40, t at r = 0.
    enum TexSlot { kTexS0 = 0, kTexS40 = 1, kTexT40 = 2, kTexT0 = 3 };

    // Overlay font the GL text layer creates for this channel.
    static constexpr int kFontHeight = -48;
    static constexpr int kFontWeight = 700;
    static constexpr const char* kFontFace = "微软雅黑";

    OutputChannel();  // for the file loaders: no rectangle, no selected vertex
    OutputChannel(int32_t x, int32_t y, int32_t width, int32_t height);

    // --- record ---------------------------------------------------------
    // Writes the record (kRecordSize bytes). Padding is written as zero; the
    // font field carries this channel's own handle.
    void ToBytes(uint8_t* out) const;
    // Reads a record over this channel. Padding and the font field are
    // ignored: the channel keeps the font its constructor made.
    void FromBytes(const uint8_t* in);

    // --- geometry -------------------------------------------------------
    void ResetBlend();
    void ResetWarpGrid();
    void ResetProjection();
    // 0: edge-curve mesh; anything else: Bezier mesh.
    void ComputeMesh(int mode);
    void CalcBezierMesh();
    void CalcEdgeCurveMesh();
    void MoveVertex(int mode, int c, int r, double x, double y);
    void StraightenGrid();
    void OffsetGrid(int direction, double step);
    void RotateGrid(double degrees);
    // Modes 0..3; other modes do nothing.
    void EqualizeGrid(int mode);
    void AdjustGrid(int meshMode, int direction, int editMode, int flags, double step);
    // Control point k takes the value of its grid node, for all nine.
    void ReloadControlPoints();
    // Control point of node (c, r), or -1.
    static int ControlPointIndex(int r, int c);
    // Grid node (c, r) of control point k (0..8).
    static void ControlPointNode(int k, int& c, int& r);

    double TexS(int c) const;
    double TexT(int r) const;
    // Blend ramp factors of grid column c and grid row r.
    float BlendFactorX(int c) const;
    float BlendFactorY(int r) const;
    // Cell code of cell (c, r), 0..39 each, for the output shader.
    int CellCode(int c, int r) const;
    void BuildMeshList(MeshSink& sink) const;

    // --- colour ---------------------------------------------------------
    // Fills out (256 floats) from the nine control values; an invalid curve
    // leaves out as given.
    static void SampleCurve(const float values[9], float out[256]);
    void BuildColorCurves();
    void ResetEdgeBlend();
    // The lookup byte of a curve value (already scaled to 0..255): truncated
    // toward zero and clamped to 0..255; NaN gives 0.
    static uint8_t LookupByte(double value);

    // Point (c, r) of the grid, by value.
    DOUBLE_POINT Point(int c, int r) const { return m_grid[c][r]; }
    void SetPoint(int c, int r, double x, double y) {
        m_grid[c][r].x = x;
        m_grid[c][r].y = y;
    }

    // --- the record's fields, in record order ---------------------------
    DOUBLE_POINT m_ctrl[9]{};
    uint8_t m_reserved144[624]{};
    double m_texWindow[4]{0.0, 1.0, 1.0, 0.0};
    int32_t m_blend[4]{};              // left, right, top, bottom (cells)
    double m_texWindow2[4]{1.0, 1.0, 1.0, 1.0};
    int32_t m_patternColor[3]{0, 255, 0};
    uint8_t m_selected = 0;
    float m_factors[4]{0.5f, 0.5f, 0.5f, 0.5f};
    RECT m_rect{};
    int32_t m_selCol = 0;              // selected vertex c (-1: none)
    int32_t m_selRow = 40;             // selected vertex r (-1: none)
    int32_t m_selCtrl = 0;             // selected control point + 1, 0: none
    VERTEX_GRID m_grid{};
    float m_curve[3][16]{};            // red, green, blue; elements 1..9 used
    float m_colorRatio[3]{1.0f, 1.0f, 1.0f};
    int32_t m_ratioFlag = 0;
    // Edge values as the console's record lays them out: the three colours'
    // shape exponents, then their midpoints, then their gammas (the value
    // the operator edits), then unused slots.
    static constexpr int kEdgeGammaSlot = 6;
    float m_edgeParam[16]{};
    uint8_t m_lookup[256][3]{};
    int32_t m_projMode = 0;
    uint8_t m_projection[100]{};
    int32_t m_id = 0;
    int32_t m_meshMode = 1;
    float m_edgeTable[12][20]{};
    uint8_t m_reserved29920[4]{};
    float m_rotation = 0.0f;           // degrees; stored and reported only
    int32_t m_outputNumber = 0;
    RECT m_stageRect{};
    int32_t m_words[4]{-1, 1, -1, -1};
    uint32_t m_selectTime = 0;
    uint8_t m_reserved29968[1024]{};
    int32_t m_edgeTableFlag = 0;
    float m_edgePos[40]{};
    float m_span[4]{};
    uint32_t m_font = 0;               // process-local handle; 0 until the GL text layer makes it
    float m_fontScale = 0.1f;
    uint8_t m_reserved31180[4]{};

private:
    void Construct();
};
