// The console's command interface to one display server. It is the client
// session itself seen through the command encoders: it adds no data, and one
// object may be used through both interfaces.
#pragma once

#include <cstdint>
#include <map>

#include "lintra/ClientSession.h"
#include "lintra/netdef.h"
#include "lintra/specialaction.h"
#include "platform/types.h"

// A media item on a display server, as AddMedia returned it (never 0 for a
// live item; 0 means none, or every item where a command says so).
using MEDIA_HANDLE = uint32_t;

// Upload progress, called on the uploading thread:
//   state 1  a chunk was accepted; done = bytes the server now holds.
//            Returning 0 stops the upload.
//   state 2  finished (also when the server already held the file)
//   state 0  a transfer failure
//   state -1 a local file failure (open, size)
using UPLOAD_PROGRESS_CALLBACK = int (*)(int state, int64_t total, int64_t done, void* user);

class CKestraneStageServer : public CClientSession {
public:
    CKestraneStageServer() = default;

    // ---- Stage-server command encoders ------------------------------------
    // Result conventions:
    //   R1: -1 not connected, 0 success, 1 the exchange failed.
    //   R2: 0 success, 2 the exchange failed (also when not connected).
    //   G:  -1 not connected, 1 exchange failed, 2 reply body missing or of
    //       the wrong size, 0 success (outputs written).
    // A null array argument fails with 1 (R1, G) or 2 (R2) and sends nothing.
    // Names go out as GBK; file names (and the names of video files and
    // pictures in AddMedia) are cut to their last path component.

    // Code 10. The server's result (+4) on success, -1 not connected, 1 the
    // exchange failed, 3 a channel count outside 0..8 (nothing sent).
    int ResetWorldConfig(const WORLD_BASE_INFO& world);
    // Code 11; G. Fills the header fields of world; channel records untouched.
    int GetWorldConfig(WORLD_BASE_INFO& world);
    // Code 12; -2 null record, else R2.
    int SetGeneralConfig(const TOLVA_GENERAL_CONFIG* config);
    // Code 13; -2 null path, 6 the file does not open, cannot be read whole
    // or is larger than a body may be; else R2.
    int SetProjectFile(const char* path);

    int SetDisplayMode(DWORD mode);                       // 111; R1
    int GetDisplayMode(DWORD& mode);                      // 112; R1
    // 113; R1. *count is the caller's capacity in, the sizes copied out (at
    // most 4: the head has room for four). Null sizes or count: nothing written.
    int GetDisplayResolutions(POINT* sizes, int* count);

    // 128; R1. Bytes on the wire: ids and widths are cut to 8 bits.
    int SetBlendData(int id, int left, int top, int right, int bottom);
    // 128; R1. The first 36 entries in ascending id order; the rest are logged.
    int SetBlendData(const std::map<int, RECT>& blends);
    int SetVertexData(int id, const DOUBLE_POINT grid[41][41]);                  // 129/1; R1
    int SetSingleVertexData(int id, int row, int column, DOUBLE_POINT p);        // 129/2; R1
    int SetRowVertexData(int id, int row, const DOUBLE_POINT points[41]);        // 129/3; R1
    int SetColVertexData(int id, int column, const DOUBLE_POINT points[41]);     // 129/4; R1
    int GetVertexData(int id, DOUBLE_POINT grid[41][41]);                        // 130; G
    int SelectChannel(int id);                                                   // 131; R1
    // 132. editMode goes to +4, where the server reads its edit mode. With a
    // grid the server sends the grid back (G); with null, R1.
    int MoveVertexData(int editMode, int row, int column, DOUBLE_POINT delta, DOUBLE_POINT grid[41][41]);
    int SelectVertexData(int editMode, int row, int column);                     // 133; R1
    int SetChannelPos(int id, float angle, RECT rect);                           // 136; R1
    int SetEdgeEliminateParam(int id, const float a[3], const float b[3], const float c[3], int flag);  // 310; R1
    int GetEdgeEliminateParam(int id, float a[3], float b[3], float c[3]);       // 311; R1

    // 203; R1. 0xFFFFFFFF: no background colour.
    int SetBackgroundColor(DWORD colour);
    // 204. -1 not connected, -2 null path, 6 the file is missing, unreadable
    // or too large; else 0 / 1 (R1). keep 0: the server shows the picture
    // while the geometry is adjusted and keeps its configured one.
    int SetBackgroundImage(const char* path, int keep = 1);
    int GetGlobalColorRatio(int id, float& r, float& g, float& b);               // 205/1; R1
    int GetAdvancedGlobalColor(int id, uint8_t c0[256], uint8_t c1[256], uint8_t c2[256]);  // 205/2; G
    int GetGlobalColor(int id, float& r, float& g, float& b, uint8_t c0[256], uint8_t c1[256],
                       uint8_t c2[256]);                                         // 205/3; G
    int SetGlobalColorRatio(int id, float r, float g, float b);                 // 206/1; R1
    // 206/2; R1. n control points (clamped to 0..256): abscissae c3, ordinates c0, c1, c2.
    int SetAdvancedGlobalColor(int id, const uint8_t* c0, const uint8_t* c1, const uint8_t* c2, const uint8_t* c3,
                               int n);

    // 528. The server's handle for the item; 0 when not connected, the
    // exchange failed or info is null.
    MEDIA_HANDLE AddMedia(int layer, const MEDIA_LEVEL_INFO* info);
    int RemoveMedia(MEDIA_HANDLE handle);                                        // 529; R2
    int UpdateMedia(MEDIA_HANDLE handle, int layer, double start, double stop, const RECT* rect,
                    const char* actions);                                        // 530; R2
    int ClearAllMedia();                                                         // 531; R2
    int SetCurrentTimeLine(double seconds);                                      // 532; R2
    int UpdateSpecialAction2(MEDIA_HANDLE handle, const char* text);             // 533; R2
    int UpdateSpecialAction(MEDIA_HANDLE handle, const SPECIAL_ACTION_MAP& actions);  // 533; R2
    int PlayMedia();                                                             // 534; R2
    int StopMedia();                                                             // 535; R2
    int PauseMedia();                                                            // 536; R2
    int MuteMedia(int mute, MEDIA_HANDLE handle);                                // 537; R2
    int HideMedia(int hide, MEDIA_HANDLE handle);                                // 538; R2
    int SetPlayRate(double rate, MEDIA_HANDLE handle);                           // 541; R2

    // 1009; R1. Up to 255 bytes travel in the head, more as a body. A
    // negative length or null data sends none.
    int SetCommonData(int a, int b, const void* data, int length);

    // Uploads a file (codes 1201 to 1204), resuming where the server's copy
    // ends. 0 uploaded (or already there), 1 the transfer ended
    // unsuccessfully, -1 nothing was transferred. The callback runs on the
    // calling thread; see UPLOAD_PROGRESS_CALLBACK. Each chunk (1203) also
    // carries the identity text at +84, naming the upload it belongs to.
    int UploadFile(const char* path, UPLOAD_PROGRESS_CALLBACK callback, void* user);
};

static_assert(sizeof(CKestraneStageServer) == sizeof(CClientSession),
              "the stage server holds exactly the session's data");
