// The console's own pictures, drawn at build time by kestrane/pictures/tools/make_pictures.cpp
// and compiled into the program as resources under their paths.
//
// To add a picture: add one row below (resource path without ":/", size,
// glyph, look, and for the generic glyphs a text or a colour). A new shape
// is one more Glyph and one more case in the drawing tool. A path ending in
// ".gif" becomes an animated GIF of the glyph turning; anything else a PNG.
#pragma once

#include <cstdint>

namespace kestrane::pictures {

enum class Glyph {
    Text,           // the row's text, centred (for quick stand-ins)
    Box,            // a filled rounded rectangle in the row's colour
    Fill,           // the whole picture in the row's colour, a darker line at the bottom (tiles seamlessly)
    Plug,           // connected cable
    Unplug,         // cable pulled apart
    Refresh,        // circular arrow
    SelectMedia,    // pointer over a picture frame
    SelectDevice,   // pointer over a monitor
    MoveLeftRight,
    MoveUpDown,
    AlignLeft,
    AlignCenterLeftRight,
    AlignRight,
    AlignTop,
    AlignCenterUpDown,
    AlignBottom,
    Magnet,
    Hand,
    AddMedia,
    AddDevice,
    AddCommand,
    Undo,
    Redo,
    Logo,
    Minimize,
    Maximize,
    Restore,
    Close,
    Eye,
    EyeHidden,
    VideoMark,      // film edges and a play mark over a transparent middle
    Spinner,        // dots in a ring; turns in a GIF
    ArrowDown,      // a filled triangle pointing down (an open folder)
    ArrowRight,     // pointing right (a closed folder)
    Folder,         // a folder with its tab
    AddFolder,      // a folder with a plus
    CheckOn,        // a ticked box
    CheckOff,       // an empty box
    ListView,       // three lines
    ThumbView,      // four squares
    Delete,         // a bin
    Play,           // triangle pointing right
    Pause,          // two bars
    Stop,           // square
    Jump,           // arrow bent back to the left
    KeyFrame,       // diamond
    Speaker,
    SpeakerMuted,   // speaker with a cross
    Chain,          // two linked rings
    ChainBroken,    // two rings apart
    CheckBox,       // a box with a tick
    CheckBoxEmpty,
    RangeHandle,    // a grip of two ridges
    SkipBack,       // two triangles pointing left
    SkipForward,    // two triangles pointing right
};

enum class Look {
    Normal,       // grey on transparent
    Hover,        // light on a raised plate
    Pressed,      // blue on a sunken plate (also "checked")
    Disabled,     // dim
    Active,       // blue (the active icon of a pair)
    Plain,        // the glyph's own colours
    TitleIdle,    // title-bar button, transparent
    TitleHover,   // title-bar button on a half-transparent plate
    Cursor,       // white with a dark outline
};

struct PictureSpec {
    const char* path;  // resource path without ":/"
    int width;
    int height;
    Glyph glyph;
    Look look;
    uint32_t tint = 0;           // 0xRRGGBB glyph colour instead of the look's own; 0: the look's
    const char* text = nullptr;  // Glyph::Text
};

// clang-format off
inline constexpr PictureSpec kPictures[] = {
    // Menu icons, normal and active.
    {"images/menu/连接_01.png", 16, 16, Glyph::Plug, Look::Normal},
    {"images/menu/连接_02.png", 16, 16, Glyph::Plug, Look::Active},
    {"images/menu/断开连接_01.png", 16, 16, Glyph::Unplug, Look::Normal},
    {"images/menu/断开连接_02.png", 16, 16, Glyph::Unplug, Look::Active},
    {"images/menu/添加设备_01.png", 16, 16, Glyph::AddDevice, Look::Normal},
    {"images/menu/添加设备_02.png", 16, 16, Glyph::AddDevice, Look::Active},
    {"images/menu/添加媒体_01.png", 16, 16, Glyph::AddMedia, Look::Normal},
    {"images/menu/添加媒体_02.png", 16, 16, Glyph::AddMedia, Look::Active},
    {"images/menu/添加命令_01.png", 16, 16, Glyph::AddCommand, Look::Normal},
    {"images/menu/添加命令_02.png", 16, 16, Glyph::AddCommand, Look::Active},
    {"images/menu/撤销_05.png", 16, 16, Glyph::Undo, Look::Normal},
    {"images/menu/撤销_02.png", 16, 16, Glyph::Undo, Look::Active},
    {"images/menu/取消撤销_05.png", 16, 16, Glyph::Redo, Look::Normal},
    {"images/menu/取消撤销_02.png", 16, 16, Glyph::Redo, Look::Active},
    {"images/menu/吸附_01.png", 16, 16, Glyph::Magnet, Look::Normal},
    {"images/menu/吸附_02.png", 16, 16, Glyph::Magnet, Look::Active},
    {"images/logo2.png", 16, 16, Glyph::Logo, Look::Plain},

    // Top bar.
    {"images/logo_13x21.png", 13, 21, Glyph::Logo, Look::Plain},
    {"images/minimize_transparent.png", 26, 26, Glyph::Minimize, Look::TitleIdle},
    {"images/minimize_halftransparent.png", 26, 26, Glyph::Minimize, Look::TitleHover},
    {"images/maximize_transparent.png", 26, 26, Glyph::Maximize, Look::TitleIdle},
    {"images/maximize_halftransparent.png", 26, 26, Glyph::Maximize, Look::TitleHover},
    {"images/normal_transparent.png", 26, 26, Glyph::Restore, Look::TitleIdle},
    {"images/normal_halftransparent.png", 26, 26, Glyph::Restore, Look::TitleHover},
    {"images/close_transparent.png", 26, 26, Glyph::Close, Look::TitleIdle},
    {"images/close_halftransparent.png", 26, 26, Glyph::Close, Look::TitleHover, 0xe60012},

    // Tool box: connect (green when connected, red when not), update.
    {"images/connect.png", 21, 21, Glyph::Plug, Look::Normal, 0x00ff00},
    {"images/connect_hover.png", 21, 21, Glyph::Plug, Look::Hover, 0x00ff00},
    {"images/connect_pressed.png", 21, 21, Glyph::Plug, Look::Pressed, 0x00ff00},
    {"images/disconnect.png", 21, 21, Glyph::Unplug, Look::Normal, 0xe60012},
    {"images/disconnect_hover.png", 21, 21, Glyph::Unplug, Look::Hover, 0xe60012},
    {"images/disconnect_pressed.png", 21, 21, Glyph::Unplug, Look::Pressed, 0xe60012},
    {"images/update.png", 41, 20, Glyph::Refresh, Look::Normal},
    {"images/update_hover.png", 41, 20, Glyph::Refresh, Look::Hover},
    {"images/update_click.png", 41, 20, Glyph::Refresh, Look::Pressed},
    {"images/update_disable.png", 41, 20, Glyph::Refresh, Look::Disabled},

    // Tool box: select buttons, numbered 01 normal, 02 hover, 03 pressed/checked, 04 disabled.
    {"images/select_media_01.png", 21, 21, Glyph::SelectMedia, Look::Normal},
    {"images/select_media_02.png", 21, 21, Glyph::SelectMedia, Look::Hover},
    {"images/select_media_03.png", 21, 21, Glyph::SelectMedia, Look::Pressed},
    {"images/select_media_04.png", 21, 21, Glyph::SelectMedia, Look::Disabled},
    {"images/select_device_01.png", 21, 21, Glyph::SelectDevice, Look::Normal},
    {"images/select_device_02.png", 21, 21, Glyph::SelectDevice, Look::Hover},
    {"images/select_device_03.png", 21, 21, Glyph::SelectDevice, Look::Pressed},
    {"images/select_device_04.png", 21, 21, Glyph::SelectDevice, Look::Disabled},

    // Tool box: plain base normal, _2 hover, _3 pressed/checked, _4 disabled.
    {"images/toolbox_left_right_move.png", 21, 21, Glyph::MoveLeftRight, Look::Normal},
    {"images/toolbox_left_right_move_2.png", 21, 21, Glyph::MoveLeftRight, Look::Hover},
    {"images/toolbox_left_right_move_3.png", 21, 21, Glyph::MoveLeftRight, Look::Pressed},
    {"images/toolbox_left_right_move_4.png", 21, 21, Glyph::MoveLeftRight, Look::Disabled},
    {"images/toolbox_top_bottom_move.png", 21, 21, Glyph::MoveUpDown, Look::Normal},
    {"images/toolbox_top_bottom_move_2.png", 21, 21, Glyph::MoveUpDown, Look::Hover},
    {"images/toolbox_top_bottom_move_3.png", 21, 21, Glyph::MoveUpDown, Look::Pressed},
    {"images/toolbox_top_bottom_move_4.png", 21, 21, Glyph::MoveUpDown, Look::Disabled},
    {"images/toolbox_left_align.png", 21, 21, Glyph::AlignLeft, Look::Normal},
    {"images/toolbox_left_align_2.png", 21, 21, Glyph::AlignLeft, Look::Hover},
    {"images/toolbox_left_align_3.png", 21, 21, Glyph::AlignLeft, Look::Pressed},
    {"images/toolbox_left_align_4.png", 21, 21, Glyph::AlignLeft, Look::Disabled},
    {"images/toolbox_vcenter_align.png", 21, 21, Glyph::AlignCenterLeftRight, Look::Normal},
    {"images/toolbox_vcenter_align_2.png", 21, 21, Glyph::AlignCenterLeftRight, Look::Hover},
    {"images/toolbox_vcenter_align_3.png", 21, 21, Glyph::AlignCenterLeftRight, Look::Pressed},
    {"images/toolbox_vcenter_align_4.png", 21, 21, Glyph::AlignCenterLeftRight, Look::Disabled},
    {"images/toolbox_right_align.png", 21, 21, Glyph::AlignRight, Look::Normal},
    {"images/toolbox_right_align_2.png", 21, 21, Glyph::AlignRight, Look::Hover},
    {"images/toolbox_right_align_3.png", 21, 21, Glyph::AlignRight, Look::Pressed},
    {"images/toolbox_right_align_4.png", 21, 21, Glyph::AlignRight, Look::Disabled},
    {"images/toolbox_top_align.png", 21, 21, Glyph::AlignTop, Look::Normal},
    {"images/toolbox_top_align_2.png", 21, 21, Glyph::AlignTop, Look::Hover},
    {"images/toolbox_top_align_3.png", 21, 21, Glyph::AlignTop, Look::Pressed},
    {"images/toolbox_top_align_4.png", 21, 21, Glyph::AlignTop, Look::Disabled},
    {"images/toolbox_hcenter_align.png", 21, 21, Glyph::AlignCenterUpDown, Look::Normal},
    {"images/toolbox_hcenter_align_2.png", 21, 21, Glyph::AlignCenterUpDown, Look::Hover},
    {"images/toolbox_hcenter_align_3.png", 21, 21, Glyph::AlignCenterUpDown, Look::Pressed},
    {"images/toolbox_hcenter_align_4.png", 21, 21, Glyph::AlignCenterUpDown, Look::Disabled},
    {"images/toolbox_bottom_align.png", 21, 21, Glyph::AlignBottom, Look::Normal},
    {"images/toolbox_bottom_align_2.png", 21, 21, Glyph::AlignBottom, Look::Hover},
    {"images/toolbox_bottom_align_3.png", 21, 21, Glyph::AlignBottom, Look::Pressed},
    {"images/toolbox_bottom_align_4.png", 21, 21, Glyph::AlignBottom, Look::Disabled},
    {"images/toolbox_snap.png", 21, 21, Glyph::Magnet, Look::Normal},
    {"images/toolbox_snap_2.png", 21, 21, Glyph::Magnet, Look::Hover},
    {"images/toolbox_snap_3.png", 21, 21, Glyph::Magnet, Look::Pressed},
    {"images/toolbox_snap_4.png", 21, 21, Glyph::Magnet, Look::Disabled},
    {"images/hand_move.png", 21, 21, Glyph::Hand, Look::Normal},
    {"images/hand_move_2.png", 21, 21, Glyph::Hand, Look::Hover},
    {"images/hand_move_3.png", 21, 21, Glyph::Hand, Look::Pressed},
    {"images/hand_move_4.png", 21, 21, Glyph::Hand, Look::Disabled},

    // Tool box: add buttons, _01 normal, _02 hover, _03 pressed.
    {"images/添加媒体_01.png", 21, 21, Glyph::AddMedia, Look::Normal},
    {"images/添加媒体_02.png", 21, 21, Glyph::AddMedia, Look::Hover},
    {"images/添加媒体_03.png", 21, 21, Glyph::AddMedia, Look::Pressed},
    {"images/添加设备_01.png", 21, 21, Glyph::AddDevice, Look::Normal},
    {"images/添加设备_02.png", 21, 21, Glyph::AddDevice, Look::Hover},
    {"images/添加设备_03.png", 21, 21, Glyph::AddDevice, Look::Pressed},
    {"images/添加命令_01.png", 21, 21, Glyph::AddCommand, Look::Normal},
    {"images/添加命令_02.png", 21, 21, Glyph::AddCommand, Look::Hover},
    {"images/添加命令_03.png", 21, 21, Glyph::AddCommand, Look::Pressed},

    // Stage, overlays and small widgets.
    {"images/cursor-openhand.png", 32, 32, Glyph::Hand, Look::Cursor},
    {"images/waitting4.gif", 31, 31, Glyph::Spinner, Look::Plain},
    {"images/video.png", 80, 60, Glyph::VideoMark, Look::Plain},
    {"images/timeaxis/eye.png", 20, 14, Glyph::Eye, Look::Normal},
    {"images/timeaxis/eye_hide.png", 20, 14, Glyph::EyeHidden, Look::Normal},

    // Device tree, device panel and the device list's bar.
    {"images/right_arrow.png", 9, 9, Glyph::Text, Look::Normal, 0, "▸"},
    {"images/down_arrow.png", 9, 9, Glyph::Text, Look::Normal, 0, "▾"},
    {"images/deviceattr_1.png", 35, 20, Glyph::Box, Look::Plain, 0x3bb3c2},
    {"images/deviceattr_2.png", 125, 22, Glyph::Text, Look::Normal, 0, "0°  90°  180°  270°"},
    {"images/deviceattr_2_disable.png", 125, 22, Glyph::Text, Look::Disabled, 0, "0°  90°  180°  270°"},
    {"images/devicelist_addfolder.png", 17, 16, Glyph::Text, Look::Normal, 0, "+"},
    {"images/devicelist_delete.png", 15, 16, Glyph::Text, Look::Normal, 0, "×"},

    // Start panel and splash.
    {"images/loading.png", 400, 300, Glyph::Text, Look::Plain, 0x3bb3c2, "Kestrane"},
    {"images/startpanel_logo.png", 510, 130, Glyph::Text, Look::Plain, 0x3bb3c2, "Kestrane"},
    {"images/close_red2.png", 26, 26, Glyph::Close, Look::TitleHover, 0xe60012},
    {"images/project_ico.png", 14, 14, Glyph::Box, Look::Plain, 0x3bb3c2},
    {"images/project_folder.png", 14, 14, Glyph::Text, Look::Plain, 0xd9b25b, "▰"},

    // Media library: folder rows, the bottom bar, the tab bar; check boxes.
    {"images/folder_down_arrow.png", 8, 8, Glyph::ArrowDown, Look::Normal},
    {"images/folder_right_arrow.png", 8, 8, Glyph::ArrowRight, Look::Normal},
    {"images/folder.png", 11, 11, Glyph::Folder, Look::Plain, 0xe0b050},
    {"images/medialist_addfolder.png", 17, 16, Glyph::AddFolder, Look::Normal},
    {"images/medialist_list.png", 17, 16, Glyph::ListView, Look::Normal},
    {"images/medialist_thumb.png", 17, 16, Glyph::ThumbView, Look::Normal},
    {"images/medialist_delete.png", 15, 16, Glyph::Delete, Look::Normal},
    {"images/media_top_panel.png", 40, 39, Glyph::Fill, Look::Plain, 0x2a2a2a},
    {"images/media_bt_hover.png", 40, 39, Glyph::Fill, Look::Plain, 0x343434},
    {"images/checked.png", 14, 14, Glyph::CheckOn, Look::Normal},
    {"images/unchecked.png", 14, 14, Glyph::CheckOff, Look::Normal},

    // Time axis transport, _01 normal, _02 hover, _03 pressed.
    {"images/timeaxis/时间轴播放_01.png", 21, 21, Glyph::Play, Look::Normal},
    {"images/timeaxis/时间轴播放_02.png", 21, 21, Glyph::Play, Look::Hover},
    {"images/timeaxis/时间轴播放_03.png", 21, 21, Glyph::Play, Look::Pressed},
    {"images/timeaxis/时间轴暂停_01.png", 21, 21, Glyph::Pause, Look::Normal},
    {"images/timeaxis/时间轴暂停_02.png", 21, 21, Glyph::Pause, Look::Hover},
    {"images/timeaxis/时间轴暂停_03.png", 21, 21, Glyph::Pause, Look::Pressed},
    {"images/timeaxis/stop_01.png", 21, 21, Glyph::Stop, Look::Normal},
    {"images/timeaxis/stop_02.png", 21, 21, Glyph::Stop, Look::Hover},
    {"images/timeaxis/stop_03.png", 21, 21, Glyph::Stop, Look::Pressed},
    {"images/timeaxis/back_01.png", 21, 21, Glyph::SkipBack, Look::Normal},
    {"images/timeaxis/back_02.png", 21, 21, Glyph::SkipBack, Look::Hover},
    {"images/timeaxis/back_03.png", 21, 21, Glyph::SkipBack, Look::Pressed},
    {"images/timeaxis/forward_01.png", 21, 21, Glyph::SkipForward, Look::Normal},
    {"images/timeaxis/forward_02.png", 21, 21, Glyph::SkipForward, Look::Hover},
    {"images/timeaxis/forward_03.png", 21, 21, Glyph::SkipForward, Look::Pressed},
    {"images/timeaxis/静音-开_01.png", 21, 21, Glyph::Speaker, Look::Normal},
    {"images/timeaxis/静音-开_02.png", 21, 21, Glyph::Speaker, Look::Hover},
    {"images/timeaxis/静音-开_03.png", 21, 21, Glyph::Speaker, Look::Pressed},
    {"images/timeaxis/静音-关_01.png", 21, 21, Glyph::SpeakerMuted, Look::Normal},
    {"images/timeaxis/静音-关_02.png", 21, 21, Glyph::SpeakerMuted, Look::Hover},
    {"images/timeaxis/静音-关_03.png", 21, 21, Glyph::SpeakerMuted, Look::Pressed},
    // Play-control blocks on the rows (the block shows the top-left 11 x 10).
    {"images/control_play.png", 11, 10, Glyph::Play, Look::Plain, 0x3cc83c},
    {"images/control_pause.png", 11, 10, Glyph::Pause, Look::Plain, 0xf0c020},
    {"images/control_jump.png", 11, 10, Glyph::Jump, Look::Plain, 0x40a0ff},
    // Output-command blocks on the rows, one icon per kind.
    {"images/out_common.png", 14, 14, Glyph::Box, Look::Plain, 0x3c9cdc},
    {"images/out_dmx.png", 14, 14, Glyph::Box, Look::Plain, 0xffc040},
    {"images/out_string.png", 14, 14, Glyph::Box, Look::Plain, 0x60ff60},
    // Key frames: anchors unselected and selected, the key button off and on.
    {"images/se1.png", 11, 11, Glyph::KeyFrame, Look::Plain, 0xc8c8c8},
    {"images/se2.png", 11, 11, Glyph::KeyFrame, Look::Plain, 0xffff00},
    {"images/special_effect.png", 11, 11, Glyph::KeyFrame, Look::Normal},
    {"images/special_effect2.png", 11, 11, Glyph::KeyFrame, Look::Active},
    {"images/resize_interlock.png", 12, 7, Glyph::Chain, Look::Active},
    {"images/resize_interlock2.png", 12, 7, Glyph::ChainBroken, Look::Normal},
    // The handles of the time range bar.
    {"images/时间轴.png", 7, 10, Glyph::RangeHandle, Look::Plain, 0xc8c8c8},
    // Matrix layout and colour correction: close button, the matrix
    // illustration, the four step-bar ramps, the curve chart, the step switch.
    {"images/close2.png", 28, 28, Glyph::Close, Look::TitleIdle},
    {"images/close2_hover.png", 28, 28, Glyph::Close, Look::TitleHover, 0xe60012},
    {"images/matrixlayoutbg.png", 120, 80, Glyph::Text, Look::Normal, 0, "2 x 2"},
    {"images/bai.png", 246, 14, Glyph::Fill, Look::Plain, 0xd0d0d0},
    {"images/hong.png", 246, 14, Glyph::Fill, Look::Plain, 0xd02020},
    {"images/lv.png", 246, 14, Glyph::Fill, Look::Plain, 0x20a020},
    {"images/lan.png", 246, 14, Glyph::Fill, Look::Plain, 0x2040d0},
    {"images/chat.png", 248, 205, Glyph::Fill, Look::Plain, 0x191919},
    {"images/enable.png", 44, 16, Glyph::Text, Look::Normal, 0, "OFF"},
    {"images/disable.png", 44, 16, Glyph::Text, Look::Active, 0, "ON"},

    // Geometry correction: the four preset angles (_01 normal, _02 hover),
    // spin box arrows.
    {"images/angle_a_01.png", 25, 25, Glyph::Text, Look::Normal, 0, "0°"},
    {"images/angle_a_02.png", 25, 25, Glyph::Text, Look::Hover, 0, "0°"},
    {"images/angle_b_01.png", 25, 25, Glyph::Text, Look::Normal, 0, "90°"},
    {"images/angle_b_02.png", 25, 25, Glyph::Text, Look::Hover, 0, "90°"},
    {"images/angle_c_01.png", 25, 25, Glyph::Text, Look::Normal, 0, "180°"},
    {"images/angle_c_02.png", 25, 25, Glyph::Text, Look::Hover, 0, "180°"},
    {"images/angle_d_01.png", 25, 25, Glyph::Text, Look::Normal, 0, "270°"},
    {"images/angle_d_02.png", 25, 25, Glyph::Text, Look::Hover, 0, "270°"},
    {"images/arrow_up.png", 9, 9, Glyph::Text, Look::Normal, 0, "▴"},
    {"images/arrow_up_hover.png", 9, 9, Glyph::Text, Look::Hover, 0, "▴"},
    {"images/arrow_down.png", 9, 9, Glyph::Text, Look::Normal, 0, "▾"},
    {"images/arrow_down_hover.png", 9, 9, Glyph::Text, Look::Hover, 0, "▾"},
};
// clang-format on

}  // namespace kestrane::pictures
