// Command codes of the message head: one numbering for console, library and
// display server.
#pragma once

#include <cstdint>

namespace NETCMD {

// World, general settings and project (2..13).
inline constexpr uint32_t ResetWorldConfig = 10;   // body: count channel records
inline constexpr uint32_t GetWorldConfig = 11;
inline constexpr uint32_t SetGeneralConfig = 12;
inline constexpr uint32_t SetProjectFile = 13;     // body: the file

// Blend and warp (101..136).
inline constexpr uint32_t SetDisplayMode = 111;
inline constexpr uint32_t GetDisplayMode = 112;
inline constexpr uint32_t GetDisplayResolutions = 113;
inline constexpr uint32_t SetBlendData = 128;
inline constexpr uint32_t SetVertexData = 129;     // sub-code at +8, VertexSub below
inline constexpr uint32_t GetVertexData = 130;
inline constexpr uint32_t SelectChannel = 131;
inline constexpr uint32_t MoveVertexData = 132;
inline constexpr uint32_t SelectVertexData = 133;
inline constexpr uint32_t SetChannelPos = 136;

// Colour and background (201..206).
inline constexpr uint32_t SetBackgroundColor = 203;
inline constexpr uint32_t SetBackgroundImage = 204;  // body: the image file
inline constexpr uint32_t GetGlobalColor = 205;      // sub-code at +8, ColorSub below
inline constexpr uint32_t SetGlobalColor = 206;      // sub-code at +8, ColorSub below

// Blend settings (301..311).
inline constexpr uint32_t SetEdgeEliminateParam = 310;
inline constexpr uint32_t GetEdgeEliminateParam = 311;

// Media (501..541).
inline constexpr uint32_t AddMedia = 528;
inline constexpr uint32_t RemoveMedia = 529;
inline constexpr uint32_t UpdateMedia = 530;
inline constexpr uint32_t ClearAllMedia = 531;
inline constexpr uint32_t SetCurrentTimeLine = 532;
inline constexpr uint32_t UpdateSpecialAction = 533;
inline constexpr uint32_t PlayMedia = 534;
inline constexpr uint32_t StopMedia = 535;
inline constexpr uint32_t PauseMedia = 536;
inline constexpr uint32_t MuteMedia = 537;
inline constexpr uint32_t HideMedia = 538;
inline constexpr uint32_t SetPlayRate = 541;

// Server-to-server synchronisation (801..812), also sent by multicast.
inline constexpr uint32_t SyncMedia = 801;
inline constexpr uint32_t SyncHostName = 802;
inline constexpr uint32_t SyncScanMachine = 803;
inline constexpr uint32_t SyncSetAddress = 804;
inline constexpr uint32_t SyncSetTime = 807;
inline constexpr uint32_t SyncPlay = 808;
inline constexpr uint32_t SyncPause = 809;
inline constexpr uint32_t SyncStop = 810;
inline constexpr uint32_t SyncPlay2 = 812;

// Time query.
inline constexpr uint32_t TimeQuery = 901;

// Configuration and central control (1001..1009).
inline constexpr uint32_t SetCommonData = 1009;

// File upload (1201..1204).
inline constexpr uint32_t UploadQuery = 1201;
inline constexpr uint32_t UploadStart = 1202;
inline constexpr uint32_t UploadData = 1203;   // body: one chunk
inline constexpr uint32_t UploadEnd = 1204;

// Sub-codes at +8 of SetVertexData.
namespace VertexSub {
inline constexpr int32_t Whole = 1;
inline constexpr int32_t Single = 2;
inline constexpr int32_t Row = 3;
inline constexpr int32_t Column = 4;
}  // namespace VertexSub

// Sub-codes at +8 of GetGlobalColor (1, 2, 3) and SetGlobalColor (1, 2).
namespace ColorSub {
inline constexpr int32_t Ratio = 1;
inline constexpr int32_t Curves = 2;
inline constexpr int32_t Both = 3;
}  // namespace ColorSub

// Code families, bounds inclusive; the dispatcher routes by these.
struct Family {
    uint32_t first;
    uint32_t last;
    constexpr bool Contains(uint32_t code) const { return code >= first && code <= last; }
};
inline constexpr Family World{2, 13};
inline constexpr Family BlendWarp{101, 136};
inline constexpr Family Color{201, 206};
inline constexpr Family BlendSetting{301, 311};
inline constexpr Family Media{501, 541};
inline constexpr Family Sync{801, 812};
inline constexpr Family TimeSync{901, 901};
inline constexpr Family System{1001, 1009};
inline constexpr Family Layer{1101, 1110};
inline constexpr Family FileUpload{1201, 1204};

}  // namespace NETCMD
