// The server settings as the console reads and writes them (commands 1002
// and 1003): integers little-endian, texts GBK and NUL-terminated in fixed
// fields.
#pragma once

#include <cstdint>

#include "platform/packed.h"

#pragma pack(push, 1)
struct SERVER_SETTINGS_RECORD {
    int32_t unused;
    int32_t loopMedia;                    // [Setting] LoopMedia
    int32_t autoHideCursor;               // [Setting] AutoHideCursor
    int32_t topmostWindow;                // [Setting] TopmostWindow
    int32_t enableRotation;               // [MediaOption] EnableRotation
    int32_t rotationAngle;                // [MediaOption] RotationAngle
    char rotationCondition[260];          // [MediaOption] RotationCondition
    char mediaFolder[260];                // [Setting] MediaFolder
    char mediaVideoExtension[260];        // [Setting] MediaVideoExtension
    int32_t useBackgroundBmp;             // [Setting] UseBackgroundBmp
    int32_t displayBackgroundIfNoVideo;   // [Setting] DisplayBackgroundIfNoVideo
    char bmpFilePath[260];                // [Setting] BmpFilePath
    int32_t startupEnable;                // [StartupLoadMedia] Enable
    int32_t startupMediaType;             // [StartupLoadMedia] MediaType
    char startupVideoPath[260];           // [StartupLoadMedia] VideoPath
    char startupDesktopName[260];         // [StartupLoadMedia] DesktopName
    int32_t serialEnable;                 // [SerialPort] Enable
    int32_t serialPort;                   // [SerialPort] Port
    int32_t serialBaud;                   // [SerialPort] Baud
    int32_t serialDataBits;               // [SerialPort] Databits
    int32_t serialParity;                 // [SerialPort] Parity
    int32_t serialStopBits;               // [SerialPort] Stopbits
    int32_t enableStereo;                 // [VideoOption] EnableStereo
    int32_t video3DFormat;                // [VideoOption] Video3DFormat
    int32_t videoType;                    // [VideoOption] VideoType
    int32_t verticalSync;                 // [VideoOption] VerticalSync
    uint8_t reserved[256];
};
#pragma pack(pop)

PACKED_SIZE(SERVER_SETTINGS_RECORD, 1896);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, loopMedia, 4);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, rotationAngle, 20);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, rotationCondition, 24);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, mediaFolder, 284);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, mediaVideoExtension, 544);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, useBackgroundBmp, 804);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, displayBackgroundIfNoVideo, 808);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, bmpFilePath, 812);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, startupEnable, 1072);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, startupMediaType, 1076);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, startupVideoPath, 1080);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, startupDesktopName, 1340);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, serialEnable, 1600);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, serialStopBits, 1620);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, enableStereo, 1624);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, verticalSync, 1636);
PACKED_OFFSET(SERVER_SETTINGS_RECORD, reserved, 1640);
