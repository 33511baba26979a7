// The channel record of the channel files, written field by field at fixed
// offsets: the in-memory object has its own padding and is never written as
// it stands.
#include <cstring>

#include "channel/OutputChannel.h"

namespace {

namespace off {
constexpr size_t kCtrl = 0;
constexpr size_t kReserved144 = 144;
constexpr size_t kTexWindow = 768;
constexpr size_t kBlend = 800;
constexpr size_t kTexWindow2 = 816;
constexpr size_t kPatternColor = 848;
constexpr size_t kSelected = 860;      // 861..863 padding
constexpr size_t kFactors = 864;
constexpr size_t kRect = 880;
constexpr size_t kSelCol = 896;
constexpr size_t kSelRow = 900;
constexpr size_t kSelCtrl = 904;       // 908..911 padding
constexpr size_t kGrid = 912;
constexpr size_t kCurve = 27808;
constexpr size_t kColorRatio = 28000;
constexpr size_t kRatioFlag = 28012;
constexpr size_t kEdgeParam = 28016;
constexpr size_t kLookup = 28080;
constexpr size_t kProjMode = 28848;
constexpr size_t kProjection = 28852;
constexpr size_t kId = 28952;
constexpr size_t kMeshMode = 28956;
constexpr size_t kEdgeTable = 28960;
constexpr size_t kReserved29920 = 29920;
constexpr size_t kRotation = 29924;
constexpr size_t kOutputNumber = 29928;
constexpr size_t kStageRect = 29932;
constexpr size_t kWords = 29948;
constexpr size_t kSelectTime = 29964;
constexpr size_t kReserved29968 = 29968;
constexpr size_t kEdgeTableFlag = 30992;
constexpr size_t kEdgePos = 30996;
constexpr size_t kSpan = 31156;
constexpr size_t kFont = 31172;
constexpr size_t kFontScale = 31176;
constexpr size_t kReserved31180 = 31180;
constexpr size_t kEnd = 31184;
}  // namespace off

using OC = OutputChannel;
#define FIELD_SIZE(m) sizeof(OC::m)
// Each field ends where the next begins (or at a named padding gap).
static_assert(off::kCtrl + FIELD_SIZE(m_ctrl) == off::kReserved144);
static_assert(off::kReserved144 + FIELD_SIZE(m_reserved144) == off::kTexWindow);
static_assert(off::kTexWindow + FIELD_SIZE(m_texWindow) == off::kBlend);
static_assert(off::kBlend + FIELD_SIZE(m_blend) == off::kTexWindow2);
static_assert(off::kTexWindow2 + FIELD_SIZE(m_texWindow2) == off::kPatternColor);
static_assert(off::kPatternColor + FIELD_SIZE(m_patternColor) == off::kSelected);
static_assert(off::kSelected + FIELD_SIZE(m_selected) + 3 == off::kFactors);
static_assert(off::kFactors + FIELD_SIZE(m_factors) == off::kRect);
static_assert(off::kRect + FIELD_SIZE(m_rect) == off::kSelCol);
static_assert(off::kSelCol + FIELD_SIZE(m_selCol) == off::kSelRow);
static_assert(off::kSelRow + FIELD_SIZE(m_selRow) == off::kSelCtrl);
static_assert(off::kSelCtrl + FIELD_SIZE(m_selCtrl) + 4 == off::kGrid);
static_assert(off::kGrid + FIELD_SIZE(m_grid) == off::kCurve);
static_assert(off::kCurve + FIELD_SIZE(m_curve) == off::kColorRatio);
static_assert(off::kColorRatio + FIELD_SIZE(m_colorRatio) == off::kRatioFlag);
static_assert(off::kRatioFlag + FIELD_SIZE(m_ratioFlag) == off::kEdgeParam);
static_assert(off::kEdgeParam + FIELD_SIZE(m_edgeParam) == off::kLookup);
static_assert(off::kLookup + FIELD_SIZE(m_lookup) == off::kProjMode);
static_assert(off::kProjMode + FIELD_SIZE(m_projMode) == off::kProjection);
static_assert(off::kProjection + FIELD_SIZE(m_projection) == off::kId);
static_assert(off::kId + FIELD_SIZE(m_id) == off::kMeshMode);
static_assert(off::kMeshMode + FIELD_SIZE(m_meshMode) == off::kEdgeTable);
static_assert(off::kEdgeTable + FIELD_SIZE(m_edgeTable) == off::kReserved29920);
static_assert(off::kReserved29920 + FIELD_SIZE(m_reserved29920) == off::kRotation);
static_assert(off::kRotation + FIELD_SIZE(m_rotation) == off::kOutputNumber);
static_assert(off::kOutputNumber + FIELD_SIZE(m_outputNumber) == off::kStageRect);
static_assert(off::kStageRect + FIELD_SIZE(m_stageRect) == off::kWords);
static_assert(off::kWords + FIELD_SIZE(m_words) == off::kSelectTime);
static_assert(off::kSelectTime + FIELD_SIZE(m_selectTime) == off::kReserved29968);
static_assert(off::kReserved29968 + FIELD_SIZE(m_reserved29968) == off::kEdgeTableFlag);
static_assert(off::kEdgeTableFlag + FIELD_SIZE(m_edgeTableFlag) == off::kEdgePos);
static_assert(off::kEdgePos + FIELD_SIZE(m_edgePos) == off::kSpan);
static_assert(off::kSpan + FIELD_SIZE(m_span) == off::kFont);
static_assert(off::kFont + FIELD_SIZE(m_font) == off::kFontScale);
static_assert(off::kFontScale + FIELD_SIZE(m_fontScale) == off::kReserved31180);
static_assert(off::kReserved31180 + FIELD_SIZE(m_reserved31180) == off::kEnd);
static_assert(off::kEnd == OC::kRecordSize);
#undef FIELD_SIZE

template <class T>
void Put(uint8_t* out, size_t offset, const T& field) {
    std::memcpy(out + offset, &field, sizeof(T));
}
template <class T>
void Get(const uint8_t* in, size_t offset, T& field) {
    std::memcpy(&field, in + offset, sizeof(T));
}

}  // namespace

void OutputChannel::ToBytes(uint8_t* out) const {
    std::memset(out, 0, kRecordSize);
    Put(out, off::kCtrl, m_ctrl);
    Put(out, off::kReserved144, m_reserved144);
    Put(out, off::kTexWindow, m_texWindow);
    Put(out, off::kBlend, m_blend);
    Put(out, off::kTexWindow2, m_texWindow2);
    Put(out, off::kPatternColor, m_patternColor);
    Put(out, off::kSelected, m_selected);
    Put(out, off::kFactors, m_factors);
    Put(out, off::kRect, m_rect);
    Put(out, off::kSelCol, m_selCol);
    Put(out, off::kSelRow, m_selRow);
    Put(out, off::kSelCtrl, m_selCtrl);
    Put(out, off::kGrid, m_grid);
    Put(out, off::kCurve, m_curve);
    Put(out, off::kColorRatio, m_colorRatio);
    Put(out, off::kRatioFlag, m_ratioFlag);
    Put(out, off::kEdgeParam, m_edgeParam);
    Put(out, off::kLookup, m_lookup);
    Put(out, off::kProjMode, m_projMode);
    Put(out, off::kProjection, m_projection);
    Put(out, off::kId, m_id);
    Put(out, off::kMeshMode, m_meshMode);
    Put(out, off::kEdgeTable, m_edgeTable);
    Put(out, off::kReserved29920, m_reserved29920);
    Put(out, off::kRotation, m_rotation);
    Put(out, off::kOutputNumber, m_outputNumber);
    Put(out, off::kStageRect, m_stageRect);
    Put(out, off::kWords, m_words);
    Put(out, off::kSelectTime, m_selectTime);
    Put(out, off::kReserved29968, m_reserved29968);
    Put(out, off::kEdgeTableFlag, m_edgeTableFlag);
    Put(out, off::kEdgePos, m_edgePos);
    Put(out, off::kSpan, m_span);
    Put(out, off::kFont, m_font);
    Put(out, off::kFontScale, m_fontScale);
    Put(out, off::kReserved31180, m_reserved31180);
}

void OutputChannel::FromBytes(const uint8_t* in) {
    Get(in, off::kCtrl, m_ctrl);
    Get(in, off::kReserved144, m_reserved144);
    Get(in, off::kTexWindow, m_texWindow);
    Get(in, off::kBlend, m_blend);
    Get(in, off::kTexWindow2, m_texWindow2);
    Get(in, off::kPatternColor, m_patternColor);
    Get(in, off::kSelected, m_selected);
    Get(in, off::kFactors, m_factors);
    Get(in, off::kRect, m_rect);
    Get(in, off::kSelCol, m_selCol);
    Get(in, off::kSelRow, m_selRow);
    Get(in, off::kSelCtrl, m_selCtrl);
    Get(in, off::kGrid, m_grid);
    Get(in, off::kCurve, m_curve);
    Get(in, off::kColorRatio, m_colorRatio);
    Get(in, off::kRatioFlag, m_ratioFlag);
    Get(in, off::kEdgeParam, m_edgeParam);
    Get(in, off::kLookup, m_lookup);
    Get(in, off::kProjMode, m_projMode);
    Get(in, off::kProjection, m_projection);
    Get(in, off::kId, m_id);
    Get(in, off::kMeshMode, m_meshMode);
    Get(in, off::kEdgeTable, m_edgeTable);
    Get(in, off::kReserved29920, m_reserved29920);
    Get(in, off::kRotation, m_rotation);
    Get(in, off::kOutputNumber, m_outputNumber);
    Get(in, off::kStageRect, m_stageRect);
    Get(in, off::kWords, m_words);
    Get(in, off::kSelectTime, m_selectTime);
    Get(in, off::kReserved29968, m_reserved29968);
    Get(in, off::kEdgeTableFlag, m_edgeTableFlag);
    Get(in, off::kEdgePos, m_edgePos);
    Get(in, off::kSpan, m_span);
    // The font field means nothing outside the process that wrote it.
    Get(in, off::kFontScale, m_fontScale);
    Get(in, off::kReserved31180, m_reserved31180);
}
