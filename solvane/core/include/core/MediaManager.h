// The display server's core object: configuration from mediacfg.ini, the
// paths of the server's files, the media list and its locks, the
// synchronisation state, and the events that tie the command watchdog and the
// worker threads together. Every command handler and thread reaches it
// through GetMediaManager.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/LayerList.h"
#include "core/MediaListRecord.h"
#include "core/RenderState.h"
#include "core/Seams.h"
#include "core/TaskPlan.h"
#include "lintra/netdef.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "platform/types.h"

class COutputRenderer;   // GL state of the output (renderer)
class CChannelLayout;    // output channels and their layout (channel model)
struct TaskPlanTask;     // one task plan (task-plan file code)

// Description of one media action that is broadcast to the other servers.
struct SyncMediaInfo {
    std::string name;
    int64_t position = 0;
    int32_t value1 = 0;
    int32_t value2 = 0;
    float rect[4] = {};   // left, top, right, bottom
    int32_t value3 = 0;
    int32_t value5 = 0;
    int32_t value4 = 0;
};

// Process globals of mediacfg.ini (outside the core object).
extern int g_nSyncTimePort;                 // [SyncMedia] SyncTimePort
extern int g_bCaptureDesktopCursor;         // [Setting] CaptureDesktopCursor
std::string GetSyncTimeIp();                // [SyncMedia] SyncTimeIp
void SetSyncTimeIp(const std::string& ip);

// The server's host name and IP address texts, written by the start-up and
// the network thread and read by command handlers on other threads.
std::string GetServerHostName();
void SetServerHostName(const std::string& name);
std::string GetServerIpText();
void SetServerIpText(const std::string& ip);

// Which handler family a command code belongs to.
enum class CommandFamily {
    None,
    World,
    Blend,
    Color,
    BlendSetting,
    Media,
    Sync,
    TimeSync,
    System,
    Layer,
    FileUpload,
};
CommandFamily FamilyOfCommand(uint32_t code);

class CMediaManager {
public:
    // Paths from the process's base folder.
    CMediaManager();
    // Paths from the given folder (tests, tools).
    explicit CMediaManager(const std::string& programFolder);
    virtual ~CMediaManager();
    CMediaManager(const CMediaManager&) = delete;
    CMediaManager& operator=(const CMediaManager&) = delete;

    // Installs the seams; call before Initialize. Null members keep the
    // quiet stand-ins.
    void SetServices(const CoreServices& services);
    IOutputWindow& Output() { return *m_services.output; }
    IMediaFactory& MediaFactory() { return *m_services.media; }
    IDisplayList& Displays() { return *m_services.displays; }
    ISystemServices& System() { return *m_services.system; }
    // The application installs its central control; null restores the
    // stand-in. Kept apart from SetServices so that reinstalling the other
    // seams does not drop it.
    void SetCentralControl(ICentralControl* central);
    ICentralControl& Central() { return *m_pCentral; }

    void Initialize();

    // mediacfg.ini
    void LoadConfig();
    void LoadGlobalTrim();
    void SaveGlobalTrim();
    void SaveSyncConfig();
    void SaveSettings();
    std::string LoadChannelSetting();
    void SaveChannelSetting(const std::string& name);
    void MediaSize(int load);
    int ScreenPowerOption();

    // Media
    IMedia* LoadMedia(int type, const std::string& name, const std::string* deviceName);
    // Destroys a media object the core made and releases its handle.
    void DestroyMediaObject(IMedia* media);
    // 32-bit media handles: never 0, never reused within the process.
    uint32_t RegisterMedia(IMedia* media);
    IMedia* FindMediaByHandle(uint32_t handle);
    void ReleaseMediaHandle(uint32_t handle);

    void FillMediaStatusRecord(uint32_t command, IMedia* media, tagNETHEAD& head);
    std::string OwnAddressText();
    void RefreshInfoText();           // the idle screen's address from OwnAddressText
    std::string OwnIpText();          // the first address of the host name (start-up)
    void SetOwnIpText(const std::string& ip);
    std::string ShowClusterName();
    void SetShowClusterName(const std::string& name);

    // Commands. The reply head arrives zeroed; a handler that returns data
    // beyond the head fills replyBody and sets the reply's body length.
    int32_t DispatchCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                            tagNETHEAD& reply, std::vector<uint8_t>& replyBody, void* context);
    virtual int32_t OnWorldCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                   tagNETHEAD& reply, std::vector<uint8_t>& replyBody);
    virtual int32_t OnBlendCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                   tagNETHEAD& reply, std::vector<uint8_t>& replyBody);
    virtual int32_t OnColorCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                   tagNETHEAD& reply, std::vector<uint8_t>& replyBody);
    virtual int32_t OnBlendSettingCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                          tagNETHEAD& reply, std::vector<uint8_t>& replyBody);
    virtual int32_t OnMediaCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                   tagNETHEAD& reply, std::vector<uint8_t>& replyBody);
    virtual int32_t OnSyncCommand(const tagNETHEAD& head, tagNETHEAD& reply);
    virtual int32_t OnTimeSyncCommand(const tagNETHEAD& head, tagNETHEAD& reply);
    virtual int32_t OnSystemCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                    tagNETHEAD& reply, std::vector<uint8_t>& replyBody);
    virtual int32_t OnLayerCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                   tagNETHEAD& reply, std::vector<uint8_t>& replyBody);
    virtual int32_t OnFileUploadCommand(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength,
                                        tagNETHEAD& reply, std::vector<uint8_t>& replyBody);

    // Starts the command watchdog (Initialize does it once).
    void StartCommandWatchdog();

    // Operations of the other parts of the core (media lists, playback,
    // timeline, tasks, cursor and file lists).
    void SaveMediaList();
    void LoadMediaList(const std::string& path);
    void SavePlaylist();
    void LoadPlaylist();
    // A record that slaves acknowledge (load, switch, update) begins a new
    // acknowledgement round of the node synchronisation before it goes out,
    // unless newAckRound is false (the caller began one for several records).
    void BroadcastSyncCommand(const SyncMediaInfo& info, int32_t actionBits, bool newAckRound = true);
    void SetMediaPlayState(IMedia* media, int32_t state, int32_t typeFilter);
    // The same without writing media.bak: true when a media changed, and the
    // caller saves the list. A record that starts the other servers goes out
    // first: the disk write would delay them by as long as it takes.
    bool ApplyMediaPlayState(IMedia* media, int32_t state, int32_t typeFilter);
    void RemoveMedia(IMedia* media);
    void SetCurrentVideo(IMedia* media, int release);
    bool GetCurrentVideoStatus(SyncMediaInfo& info, int32_t& resultCode);
    int LoadDefaultBackground();
    bool ReloadBackgroundImage();
    void LoadMattingImage();
    // Makes the background, default background and matting picture objects
    // that are still missing (before the background reload).
    void CreateEmbeddedPictures();
    // The program's default background picture for a primary screen size.
    static int DefaultBackgroundResourceId(int32_t width, int32_t height);
    bool RestartDesktopCapture(int reopen);
    // Fills the background picture with bands of the given colours (red in
    // the low byte), across or down the picture.
    void FillBackgroundColorBars(const std::vector<uint32_t>& colours, bool vertical);
    void SetTimelineState(int32_t state);
    void ReloadDynamicMedia();
    void StartTimelinePlayThread();
    void StopTimelinePlayThread();
    void LoadTaskPlans();
    void SaveTaskPlan();
    void stopalltask();
    void StartTaskPlanThread();     // the task thread of start-up
    void StartSyncMediaLoad(IMedia* media);
    void LoadSyncMedia(int32_t index);
    IMedia* SyncUpdateMedia(const std::string& name, int32_t playState, int32_t flags);
    void ShowMouseCursor(int hide);
    bool RefreshMediaFileLists(const std::string& folder);
    bool EnumMediaFiles(const std::string& folder);
    // The file of the media folder that a name from the console means: its
    // last component (a bare name too) in this server's media folder;
    // nothing for an empty, "." or ".." name.
    std::optional<std::string> MediaFolderFile(const std::string& name) const;
    bool EnumImageFiles(const std::string& folder);
    void SaveMediaSize();
    // World size = channel size x columns and rows of the layout (in memory).
    void RecomputeWorldSize();
    // Tells the renderer that channels changed (it rebuilds its display lists).
    void MarkSceneChanged() { m_bSceneChanged.store(true); }

    // ---- fields ----
    std::string m_strChannelLayoutFile;   // program folder / DefaultConfigFile
    std::string m_strMediaListPath;       // media.bak
    std::string m_strPlaylistPath;        // playlist.dat
    std::string m_strConfigPath;          // mediacfg.ini
    std::string m_strProgramFolder;
    std::string m_strTaskListPath;        // taskp.dat
    std::vector<std::string> m_testPatterns;

    COutputRenderer* m_pRenderer = nullptr;           // owned by the renderer side
    CChannelLayout* m_pChannelLayout = nullptr;       // the core's own layout unless a test swaps it
    RECT m_rcOutput{};

    std::recursive_mutex m_csChannelLayout;
    std::recursive_mutex m_csMedia;
    std::recursive_mutex m_csCore;        // held by the dispatcher for each command
    std::vector<IMedia*> m_mediaList;     // owned; destroyed through DestroyMediaObject

    double m_dCompensation = 0.8;
    int m_nSyncTime = 1000;               // ms
    int m_nSyncMediaEnable = 0;
    int m_nMainServer = 0;                // set only by command 804
    int m_nEnableFrameSync = 0;
    int m_nAutoPlay = 0;
    std::string m_strMediaFolder;
    // Media folders set from the show network must lie below this one
    // (mediacfg.ini, Setting/MediaRoot; by default the base folder).
    std::string m_strMediaRoot;
    // Uploads ended whole, by target path: identity and size (under
    // m_csCore). Consoles sending the same file at once end theirs on the
    // file the first of them finished.
    std::map<std::string, std::pair<std::string, int64_t>> m_finishedUploads;
    std::string m_strMediaVideoExtension;
    std::string m_strPictureFilter = "*.jpg|*.bmp|*.png";
    int m_nLoopMedia = 0;
    int m_nAutoHideCursor = 0;
    int m_nUseBackgroundBmp = 0;
    std::string m_strBmpFilePath;
    // A picture sent to be shown only while the geometry is adjusted: the
    // configured one it stands in for comes back when adjusting ends.
    bool m_bTransientBmp = false;
    std::string m_strConfiguredBmpPath;
    IMedia* m_pBackground = nullptr;          // background pictures (made by the renderer side)
    IMedia* m_pDefaultBackground = nullptr;
    int m_nDisplayBackgroundIfNoVideo = 0;
    IMedia* m_pDesktopCapture = nullptr;
    std::string m_strMulticastIp = "226.10.60.10";
    // [SyncMedia] LocalIp: the address this server gives the others, where
    // the machine has several (empty: found from the host).
    std::string m_strLocalIp;
    int m_nMulticastPort = 30400;
    int m_nEnableRotation = 0;
    std::string m_strRotationCondition;
    int m_nRotationAngle = 0;
    int m_nTopmostWindow = 0;
    int m_nSyncTimeEnable = 0;
    int m_nSyncTimeInterval = 0;
    int m_nEnableStereo = 0;
    int m_nVideoType = 0;
    int m_nVideo3DFormat = 0;
    int m_nVerticalSync = 0;
    IMedia* m_pMatting = nullptr;
    // [Setting] ShowMatting: the moving badge over every channel; off unless
    // the file asks for it, since nothing may sit on a show's picture that the
    // show did not put there.
    int m_nShowMatting = 0;
    int m_nStartupLoadEnable = 0;
    int m_nStartupMediaType = 0;
    std::string m_strStartupDesktopName;
    std::string m_strStartupVideoPath;
    int m_nLimitMainDisplay = 0;
    int m_nMediaWidth = 1024;
    int m_nMediaHeight = 768;
    int m_nDisplayFrame = 0;
    int m_nDisTime = 0;
    int m_nDefaultVolume = 0;
    // ALSA PCM the sound of file videos goes to ([VideoOption] AudioDevice).
    std::string m_strAudioDevice = "default";
    int m_nVirtualScreenWidth = 0;
    int m_nVirtualScreenHeight = 0;
    IMedia* m_pCurrentVideo = nullptr;
    std::recursive_mutex m_csCurrentVideo;
    float m_fGlobalTrimLeft = 1.0f;
    float m_fGlobalTrimRight = 1.0f;
    float m_fGlobalTrimTop = 1.0f;
    float m_fGlobalTrimBottom = 1.0f;
    std::atomic<double> m_dTimelineTime{-10000.0};  // written by the command, time-check and layer threads, read by the render thread
    double m_dTimelineMark1 = -10000.0;
    double m_dTimelineMark2 = -10000.0;
    int m_nTimelineIndex = -1;
    std::vector<MediaListRecord> m_playlist;
    platform::Event m_quitEvent{true, false};
    // The command running under m_csCore, as the watchdog sees it: whether
    // one runs, since when (steady clock, ms) and how many have begun. A
    // state read under its own lock, not a pair of events, so commands close
    // together can never leave the watchdog waiting for an end already seen.
    std::mutex m_csCmdWatch;
    bool m_bCmdRunning = false;
    int64_t m_nCmdStartMs = 0;
    uint64_t m_nCmdCount = 0;
    platform::Event m_timelineManualEvent{true, false};
    platform::Event m_timelineAutoEvent{false, false};
    int m_nWaitFreezeTime = 15000;        // ms
    int m_nWatchdogRunning = 0;
    int m_nNodeSyncEnabled = 0;
    int m_nGeometryAdjustMode = 0;
    int m_nCaptureEnabled = 0;            // capture devices load only when set
    CoreRenderState m_render;             // what the frame renderer reads beside layout and media
    // ---- cursor auto-hide and media file lists ----
    std::atomic<int32_t> m_nCursorHidden{0};  // 1 while this server hides the cursor
    // Copies of the lists of the media folder (paths in UTF-8; the joined
    // texts separate them with "*").
    std::vector<std::string> VideoFiles();
    std::string VideoFileText();
    std::vector<std::string> ImageFiles();
    std::string ImageFileText();
    std::mutex m_csFileLists;                  // guards the four members below
    std::vector<std::string> m_videoFiles;
    std::string m_strVideoFiles;
    std::vector<std::string> m_imageFiles;
    std::string m_strImageFiles;

    // ---- task plans, their threads and the media layers of the layer commands ----
    // Runs the task of the list whose TaskId is taskId, after stopping the
    // running one; 1 when started, 0 when no task has that id.
    int32_t RunTaskPlan(const std::string& taskId);
    // Tells every task thread to stop, waits up to timeoutMs for the task
    // thread (logging timeoutLogText when it misses) and resets the
    // task-stop event. The media stay.
    void StopTaskThread(uint32_t timeoutMs, const char* timeoutLogText);
    void TaskPlanExecThread(platform::StoppableThread& self, const std::shared_ptr<TaskPlanTask>& task);
    void TaskMediaExecThread(platform::StoppableThread& self, TaskMediaEntry entry);
    void LayerEventThread(platform::StoppableThread& self, std::vector<LayerMediaEntry> layers);
    // Waits of the task and layer threads in ms; tests shorten them.
    struct TaskTiming {
        uint32_t secondMs = 1000;          // one second of a task's timetable
        uint32_t endRepeatMs = 100;        // between the two stop signals at the end of a task
        uint32_t endSettleMs = 3000;       // then, before the entry threads are joined
        uint32_t entryJoinMs = 10000;      // each entry thread of an all-at-once task
        uint32_t sequenceStopMs = 500;     // the entry thread of a one-after-another task
        uint32_t taskJoinMs = 15000;       // the task thread (and the layer thread) in stopalltask
        uint32_t mediaStopSettleMs = 100;  // stopalltask: after each media's Stop
        uint32_t mediaDeleteSettleMs = 15; // stopalltask: after each media's destruction
        uint32_t entryEndSettleMs = 10;    // an entry thread after its last repetition
        uint32_t idleRepeatMs = 100;       // after a repetition in which no profile waited
        uint32_t layerSeekSettleMs = 20;   // the layer thread before moving a video
    } m_taskTiming;
    std::function<int64_t()> m_taskWallClock;  // seconds since 1970; empty: the system clock
    std::recursive_mutex m_csTaskRun;          // serialises starting and stopping tasks
    std::mutex m_csTaskList;                   // m_taskList; taken after m_csTaskRun
    std::vector<TaskPlanTask> m_taskList;
    std::shared_ptr<TaskPlanTask> m_pRunningTask;  // shared with its task thread
    platform::Event m_taskStopEvent{true, false};
    platform::StoppableThread m_taskThread;
    std::mutex m_csLayers;                     // m_layerList
    std::vector<LayerMediaEntry> m_layerList;
    std::atomic<double> m_dLayerBaseTime{-10000.0};
    std::atomic<int32_t> m_nLayerState{0};     // 1 playing, 2 paused, 3 stopped
    platform::Event m_layerEvent{false, false};
    platform::StoppableThread m_layerThread;

    // Output state that the world and blend commands set: the display mode,
    // background colour and grid-line colour live in m_render, which the
    // renderer reads.
    std::atomic<bool> m_bSceneChanged{false};  // the render thread clears it after rebuilding
    int m_nGeometryAdjustValue = 0;
    // General configuration from the console; only kept.
    int m_nRefreshRate = 0;
    int m_nServerAutoStart = 0;
    int m_nServerAutoLoadFile = 0;
    char m_generalText[256] = {};

    // ---- playback control, media commands and the timeline clock ----
    // Sends one 384-byte head to the synchronisation group (MulticastIp,
    // MulticastPort) through a temporary sender; false when nothing went out.
    bool SendSyncHead(const tagNETHEAD& head, int ttl, int loop);
    // The listed media of a handle; null for 0, an unknown handle or a media
    // that is no longer in the list. The caller holds the media lock.
    IMedia* ListedMedia(uint32_t handle);
    // One pass of the media time check: computes the timeline time (while
    // playing and not held) and plays or pauses the timeline videos.
    void MediaTimeCheckStep();
    // Plays or pauses the timeline videos for timeline time t.
    void CheckTimelineMedia(double t);
    // The timeline time at the current tick (the base time while held).
    double TimelineTimeNow();
    // The set-current-time of the media commands: holds the clock at t.
    void SetTimelineTime(double t);
    // The play rate of the whole timeline (a rate command for every media):
    // the clock runs that much faster from now on.
    void SetTimelineRate(double rate);
    // Parts of the media command family.
    void OnSwitchMedia(const tagNETHEAD& head, tagNETHEAD& reply, std::vector<uint8_t>& replyBody);
    void OnAddTimelineMedia(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength, tagNETHEAD& reply);
    void OnUpdateTimelineMedia(const tagNETHEAD& head, const uint8_t* body, uint32_t bodyLength);
    void OnSetCurrentTimeline(double time);
    std::mutex m_csTimeline;                  // base time and base tick; taken alone
    double m_dTimelineBaseTime = -10000.0;    // timeline time at the base tick
    uint32_t m_nTimelineBaseTick = 0;         // tick at which the base time held
    double m_dTimelineRate = 1.0;             // timeline seconds per clock second
    std::atomic<int32_t> m_nTimelineState{-1};  // 1 playing, 2 paused, 3 stopped
    std::atomic<int32_t> m_nTimelineHold{0};    // non-zero: the time check computes nothing
    std::atomic<uint32_t> m_nLastTransportTick{0};  // tick of the last switch command
    std::atomic<bool> m_bBackgroundChanged{false};  // the background or desktop picture was reloaded
    // Waits of the playback commands in ms (settle times of the players);
    // tests shorten them.
    uint32_t m_nStopSettleMs = 100;           // between Pause and Stop of a timeline stop
    uint32_t m_nSeekSettleMs = 150;           // before the position of a newly added video
    uint32_t m_nUpdateSettleMs = 50;          // between Pause and the position of an update
    uint32_t m_nRecheckWaitMs = 100;          // before the re-check of a timeline position
    uint32_t m_nWorkerPauseMs = 300;          // position worker: after pausing a playing video
    uint32_t m_nWorkerSettleMs = 200;         // position worker: before the position
    uint32_t m_nWorkerAfterMs = 100;          // position worker: after the position
    uint32_t m_nWorkerLimitMs = 5000;         // how long the position workers are waited for

    // ---- synchronisation commands, playlist advance and media replacement ----
    // Parts of the synchronisation family (801 to 812).
    void OnMediaSyncRecord(const tagNETHEAD& head);          // 801
    void OnScanMachine(const tagNETHEAD& head);              // 803
    void OnSetSyncAddress(const tagNETHEAD& head);           // 804
    void OnSyncTransport(const tagNETHEAD& head);            // 808 to 810, 812
    // Moves the multicast receiver to a new group (on a worker thread, since
    // the command may arrive on the receiver's own thread); tests override it.
    virtual void RestartSyncReceiver(const std::string& group, int port);
    // Starts the task plan of this name on its own thread, for a task record
    // of the main server. Nothing until the task-plan code provides it.
    virtual void StartSyncTask(const std::string& name);
    // Finishes a switch to fresh on a worker thread: after a short settle
    // every other media is closed and dropped and media.bak saved. A later
    // switch supersedes an earlier one that has not run yet.
    void StartSwitchMedia(IMedia* fresh);
    void SwitchMedia(IMedia* fresh, uint32_t generation);
    // Joins the playlist-advance, media-switch and receiver-restart threads.
    void JoinSyncWorkers();
    std::string m_strAnswerGroup = "226.10.70.10";  // answers of the playlist advance and the delete
    int m_nAnswerPort = 30600;
    int m_nControllerPort = 0;                      // command port that 804 gave with the controller
    std::atomic<uint32_t> m_nLastSyncTick{0};       // receipt tick of the last 801 record
    class CServerClock* m_pSyncClock = nullptr;     // clock that 807 sets; null: the process clock
    uint32_t m_nSwitchSettleMs = 100;               // before a switch drops the other media
    int m_nScanTimeoutSeconds = 2;                  // connect time-out of the scan answer
    std::mutex m_csPlaylistAdvance;                 // one playlist advance at a time; taken first
    std::mutex m_csSyncWorkers;                     // guards m_pSyncWorkers; taken alone
    std::shared_ptr<struct SyncWorkerList> m_pSyncWorkers;
    std::atomic<uint32_t> m_nSwitchGeneration{0};

private:
    std::mutex m_csSyncResend;                  // m_syncStartSent; taken alone
    std::map<uint32_t, uint32_t> m_syncStartSent;  // handle -> tick of the last start record
    platform::StoppableThread m_timeCheckThread;

    void InitPaths(const std::string& programFolder);
    void StartWorker(platform::StoppableThread& thread, uint32_t (*routine)(CMediaManager*), const char* name);
    void InitChannelLayout();
    void PreparePictureMedia();

    CoreServices m_services;
    ICentralControl* m_pCentral = nullptr;
    std::unique_ptr<CChannelLayout> m_ownedLayout;
    std::mutex m_textLock;                // own IP and show-cluster name
    std::string m_strOwnIp;
    std::string m_strShowCluster;
    std::mutex m_handleLock;
    std::map<uint32_t, IMedia*> m_handles;
    uint32_t m_nextHandle = 1;

    platform::StoppableThread m_watchdogThread;
    platform::StoppableThread m_timeSyncThread;
    platform::StoppableThread m_idleCursorThread;
};

// The one core of the process, made on first use.
CMediaManager* GetMediaManager();
// Deletes the one core (at shutdown, after the render loop and network thread).
void DestroyMediaManager();

// Thread routines with the core as argument.
uint32_t CommandWatchdogThread(CMediaManager* core);
uint32_t TimeSyncThread(CMediaManager* core);
uint32_t IdleCursorThread(CMediaManager* core);
// One check of the idle-cursor thread: asks the output window to hide the
// cursor after 5 s without input, and to show it again on input.
void IdleCursorStep(CMediaManager* core);
// The wait of the time-sync thread after one of currentMs.
uint32_t TimeSyncNextWaitMs(uint32_t currentMs, int intervalSeconds);
// The process's cursor display count (the cursor shows while it is >= 0).
int32_t CursorDisplayCount();

// Ends this server process and starts a new one.
void RestartSelf(CMediaManager* core);
