// The media command family and the playback operations of the core, driven
// through the dispatcher with crafted heads on a core over a temp folder.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "CommandFixture.h"
#include "core/MediaInfoRecord.h"
#include "platform/textcodec.h"
#include "platform/tick.h"

namespace fs = std::filesystem;

class MediaCommands : public CommandFixture {
protected:
    void SetUp() override {
        CommandFixture::SetUp();
        platform::SetTickSource(&ticks);
        SetTwoChannelWorld();
        folder = (fs::path(dir.str()) / "media").string();
        fs::create_directories(folder);
        core->m_strMediaFolder = folder;
        // The players' settle times only slow the tests down.
        core->m_nStopSettleMs = core->m_nSeekSettleMs = core->m_nUpdateSettleMs = 0;
        core->m_nRecheckWaitMs = core->m_nWorkerPauseMs = core->m_nWorkerSettleMs = core->m_nWorkerAfterMs = 0;
    }
    void TearDown() override {
        CommandFixture::TearDown();
        platform::SetTickSource(nullptr);
    }

    std::string MakeFile(const std::string& name) {
        const std::string path = (fs::path(folder) / name).string();
        std::ofstream(path) << "x";
        return path;
    }

    // Adds a timeline media (528); its handle or 0.
    uint32_t AddTimeline(int32_t type, const std::string& name, double start, double stop,
                         std::initializer_list<int32_t> rect = {0, 0, 100, 100}, const std::string& actions = {},
                         int32_t layer = 0) {
        tagNETHEAD h = Head(528, {type, layer, 0, 0});
        int k = 4;
        for (int32_t v : rect) h.intParam[k++] = v;
        h.realParam[0] = start;
        h.realParam[1] = stop;
        SetText(h, platform::Utf8ToGbk(name));
        std::vector<uint8_t> body(actions.begin(), actions.end());
        return static_cast<uint32_t>(Send(h, body).Int(4));
    }
    FakeMedia* Fake(uint32_t handle) { return dynamic_cast<FakeMedia*>(core->FindMediaByHandle(handle)); }
    size_t ListSize() {
        std::lock_guard lock(core->m_csMedia);
        return core->m_mediaList.size();
    }
    static size_t Count(const std::vector<std::string>& calls, const std::string& what) {
        return static_cast<size_t>(std::count(calls.begin(), calls.end(), what));
    }
    // The state word of record i of media.bak.
    int32_t SavedState(size_t i) {
        const std::string bytes = testsupport::ReadFile(fs::path(dir.str()) / "media.bak");
        int32_t state = -1;
        if (bytes.size() >= 4 + (i + 1) * sizeof(MediaListRecord))
            std::memcpy(&state, bytes.data() + 4 + i * sizeof(MediaListRecord) + 284, 4);
        return state;
    }
    // Plays the timeline from time 0 at the current tick.
    void PlayTimelineFromZero() {
        tagNETHEAD at = Head(532);
        at.realParam[0] = 0.0;
        Send(at);
        Send(Head(534));
    }

    platform::ManualTickSource ticks{1000};
    std::string folder;
};

TEST_F(MediaCommands, MediaInformationListsRecordsInListOrder) {
    CommandReply empty = Send(Head(501));
    EXPECT_EQ(empty.Int(4), 0);
    EXPECT_TRUE(empty.body.empty());

    MakeFile("a.mp4");
    MakeFile("b.jpg");
    const uint32_t a = AddTimeline(kMediaFileVideo, "C:\\show\\a.mp4", 1.0, 2.0);
    const uint32_t b = AddTimeline(kMediaPicture, "C:\\show\\b.jpg", 1.0, 2.0, {0, 0, 10, 10}, {}, 1);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    Fake(a)->width = 1920;
    Fake(a)->height = 1080;
    tagNETHEAD view = Head(526, {static_cast<int32_t>(a)});
    view.realParam[0] = 0.1;
    view.realParam[1] = 0.2;
    view.realParam[2] = 0.3;
    view.realParam[3] = 0.4;
    EXPECT_EQ(Send(view).Int(4), 1);

    CommandReply r = Send(Head(501));
    ASSERT_EQ(r.Int(4), 2);
    ASSERT_EQ(r.body.size(), 2 * sizeof(MediaInfoRecord));
    alignas(8) MediaInfoRecord rec[2];  // fields are read in place below
    std::memcpy(rec, r.body.data(), sizeof rec);
    EXPECT_EQ(rec[0].handle, a);
    EXPECT_EQ(std::string(rec[0].name), folder + "/a.mp4");
    EXPECT_EQ(rec[0].type, kMediaFileVideo);
    EXPECT_EQ(rec[0].width, 1920);
    EXPECT_EQ(rec[0].height, 1080);
    EXPECT_FLOAT_EQ(rec[0].aspect, 1920.0f / 1080.0f);
    EXPECT_FLOAT_EQ(rec[0].view1, 0.1f);
    EXPECT_FLOAT_EQ(rec[0].view2, 0.2f);
    EXPECT_FLOAT_EQ(rec[0].view3, 0.3f);
    EXPECT_FLOAT_EQ(rec[0].view4, 0.4f);
    EXPECT_FLOAT_EQ(rec[0].texTop, 1.0f);
    EXPECT_FLOAT_EQ(rec[0].texLeft, 0.0f);
    EXPECT_EQ(rec[1].handle, b);
    for (float v : {rec[1].view1, rec[1].view2, rec[1].view3, rec[1].view4}) EXPECT_EQ(v, 1.0f);
}

TEST_F(MediaCommands, InfoRecordCutsALongNameInsideItsField) {
    auto m = std::make_unique<FakeMedia>(kMediaPicture);
    m->Common().name = std::string(300, 'n');
    alignas(8) MediaInfoRecord rec;
    std::memset(&rec, 0x5A, sizeof rec);
    FillMediaInfoRecord(rec, *m);
    EXPECT_EQ(strnlen(rec.name, sizeof rec.name), 259u);
    EXPECT_FLOAT_EQ(rec.texTop, 1.0f);  // the field after the name is intact
    EXPECT_EQ(rec.reserved2, 0);
}

TEST_F(MediaCommands, AddMediaLooksForConsolePathsInTheMediaFolder) {
    const std::string clip = MakeFile("clip.mp4");
    MakeFile("视频.mp4");
    struct Case {
        std::string name;
        bool loads;
        std::string path;
    } cases[] = {
        {"D:\\console\\media\\clip.mp4", true, clip},
        {"/home/op/clip.mp4", true, clip},
        {"E:\\片子\\视频.mp4", true, folder + "/视频.mp4"},
        {"D:\\console\\..", false, ""},
        {"D:\\console\\", false, ""},
        {"clip.mp4", true, clip},  // the console's own file name
        {"视频.mp4", true, folder + "/视频.mp4"},
        {"..", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        media.journal.clear();
        const uint32_t handle = AddTimeline(kMediaFileVideo, c.name, 0.0, 5.0);
        EXPECT_EQ(handle != 0, c.loads) << c.name;
        if (!c.loads) continue;
        EXPECT_EQ(Fake(handle)->Common().name, c.path) << c.name;
    }
}

TEST_F(MediaCommands, AddMediaLooksForPictureNamesInTheMediaFolderToo) {
    const std::string picture = MakeFile("still.png");
    const uint32_t handle = AddTimeline(kMediaPicture, "still.png", 0.0, 5.0);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(Fake(handle)->Common().name, picture);
}

TEST_F(MediaCommands, VideoFileListAnswersTheFolderScan) {
    // Nothing scanned yet: an empty list, and still an answer.
    CommandReply none = Send(Head(520));
    EXPECT_EQ(none.Int(4), 1);
    EXPECT_TRUE(none.body.empty());

    core->m_strMediaVideoExtension = "*.avi|*.mp4";
    const std::string a = MakeFile("a.mp4");
    MakeFile("notes.txt");
    tagNETHEAD scan = Head(524);
    SetText(scan, folder);
    Send(scan);
    CommandReply list = Send(Head(520));
    EXPECT_EQ(list.Int(4), 1);
    EXPECT_EQ(std::string(list.body.begin(), list.body.end()), core->VideoFileText());
    EXPECT_EQ(core->VideoFileText(), a);
}

TEST_F(MediaCommands, AddMediaPlacesTheMediaOnTheTimeline) {
    MakeFile("a.mp4");
    const uint32_t v = AddTimeline(kMediaFileVideo, "x\\a.mp4", 2.0, 8.0, {10, 20, 110, 220}, "1:{1.0,5/6/0/0}", 4);
    ASSERT_NE(v, 0u);
    const MediaCommon& c = Fake(v)->Common();
    EXPECT_EQ(c.placementMode, 3);
    EXPECT_EQ(c.layer, 4);
    EXPECT_EQ(c.startTime, 2.0);
    EXPECT_EQ(c.endTime, 8.0);
    EXPECT_EQ(c.baseStageRect.right, 110);
    EXPECT_EQ(c.stageRect.bottom, 220);
    EXPECT_EQ(c.visible, 1);
    ASSERT_EQ(c.actions.count(1), 1u);
    EXPECT_EQ(c.actions.at(1).size(), 1u);

    // Times that are not numbers are refused.
    EXPECT_EQ(AddTimeline(kMediaFileVideo, "x\\a.mp4", std::nan(""), 8.0), 0u);
    EXPECT_EQ(AddTimeline(kMediaFileVideo, "x\\a.mp4", 0.0, HUGE_VAL), 0u);
}

TEST_F(MediaCommands, AddMediaInsideTheTimelineWindowMovesTheVideo) {
    MakeFile("a.mp4");
    tagNETHEAD at = Head(532);
    at.realParam[0] = 25.0;
    Send(at);
    media.journal.clear();
    // Loaded videos report their length only once made; the fake's is 0, so
    // the position is the plain offset into the window.
    const uint32_t v = AddTimeline(kMediaFileVideo, "x/a.mp4", 20.0, 40.0);
    ASSERT_NE(v, 0u);
    EXPECT_EQ(Count(Fake(v)->Calls(), "setpos 5.000"), 1u);
    const uint32_t later = AddTimeline(kMediaFileVideo, "x/a.mp4", 30.0, 40.0);
    EXPECT_EQ(Count(Fake(later)->Calls(), "setpos 5.000"), 0u);
}

TEST_F(MediaCommands, UnknownHandlesTouchNothing) {
    MakeFile("a.mp4");
    const uint32_t v = AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 5);
    const uint32_t stale = v + 1000;
    for (uint32_t code : {506u, 507u, 508u, 509u, 510u, 513u, 517u, 526u, 537u}) {
        tagNETHEAD h = Head(code, {static_cast<int32_t>(stale), 1});
        h.realParam[0] = 1.0;
        EXPECT_EQ(Send(h).Int(4), 0) << code;
    }
    Send(Head(529, {static_cast<int32_t>(stale)}));
    Send(Head(530, {static_cast<int32_t>(stale)}));
    EXPECT_EQ(ListSize(), 1u);
    const auto calls = Fake(v)->Calls();
    EXPECT_EQ(Count(calls, "play") + Count(calls, "pause") + Count(calls, "stop"), 0u);

    // A removed media's handle names nothing afterwards.
    Send(Head(529, {static_cast<int32_t>(v)}));
    EXPECT_EQ(ListSize(), 0u);
    EXPECT_EQ(core->FindMediaByHandle(v), nullptr);
    EXPECT_EQ(Send(Head(506, {static_cast<int32_t>(v)})).Int(4), 0);
}

TEST_F(MediaCommands, LocalTransportChangesOnlyWhatDiffersAndSavesTheList) {
    MakeFile("a.mp4");
    MakeFile("b.mp4");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 5);
    const uint32_t b = AddTimeline(kMediaFileVideo, "x/b.mp4", 0, 5);
    EXPECT_EQ(Send(Head(507, {0})).Int(4), 1);
    EXPECT_EQ(Fake(a)->Common().state, kMediaPaused);
    EXPECT_EQ(SavedState(0), kMediaPaused);
    EXPECT_EQ(SavedState(1), kMediaPaused);

    EXPECT_EQ(Send(Head(506, {static_cast<int32_t>(b)})).Int(4), 1);
    EXPECT_EQ(Fake(b)->Common().state, kMediaPlaying);
    EXPECT_EQ(Fake(a)->Common().state, kMediaPaused);
    EXPECT_EQ(SavedState(1), kMediaPlaying);
    Send(Head(506, {static_cast<int32_t>(b)}));
    EXPECT_EQ(Count(Fake(b)->Calls(), "play"), 1u);

    Send(Head(508, {0}));
    EXPECT_EQ(Count(Fake(a)->Calls(), "stop"), 1u);
    EXPECT_EQ(Count(Fake(b)->Calls(), "stop"), 1u);

    Send(Head(529, {static_cast<int32_t>(a)}));
    Send(Head(529, {static_cast<int32_t>(b)}));
    EXPECT_EQ(Send(Head(506, {0})).Int(4), 0);  // nothing to play
}

TEST_F(MediaCommands, PlayStateOfEveryMediaByFilter) {
    MakeFile("a.mp4");
    MakeFile("p.jpg");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 5);
    const uint32_t p = AddTimeline(kMediaPicture, "x/p.jpg", 0, 5);
    core->SetMediaPlayState(nullptr, kMediaPaused, kMediaFileVideo);
    EXPECT_EQ(Fake(a)->Common().state, kMediaPaused);
    EXPECT_EQ(Count(Fake(p)->Calls(), "pause"), 0u);
    core->SetMediaPlayState(nullptr, kMediaPaused, -1);
    EXPECT_EQ(Count(Fake(a)->Calls(), "pause"), 1u);  // already paused: left alone
    EXPECT_EQ(Count(Fake(p)->Calls(), "pause"), 1u);
    EXPECT_EQ(SavedState(1), kMediaPaused);
    // No such state: nothing happens.
    core->SetMediaPlayState(nullptr, 7, -1);
    EXPECT_EQ(Fake(a)->Common().state, kMediaPaused);
}

TEST_F(MediaCommands, RemovingTheCurrentVideoMakesTheNextOneCurrent) {
    MakeFile("a.mp4");
    MakeFile("p.jpg");
    MakeFile("b.mp4");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 5);
    AddTimeline(kMediaPicture, "x/p.jpg", 0, 5);
    const uint32_t b = AddTimeline(kMediaFileVideo, "x/b.mp4", 0, 5);
    core->SetCurrentVideo(Fake(a), 0);
    Fake(a)->hasClock = true;
    Fake(a)->clockMs = 4321;
    Fake(a)->seekPosition = 77;
    SyncMediaInfo info;
    int32_t code = 0;
    ASSERT_TRUE(core->GetCurrentVideoStatus(info, code));
    EXPECT_EQ(code, 131);
    EXPECT_EQ(info.position, 77);
    EXPECT_EQ(info.value1, kMediaPlaying);
    EXPECT_EQ(info.value2, 4321);

    Send(Head(529, {static_cast<int32_t>(a)}));
    EXPECT_EQ(core->m_pCurrentVideo, Fake(b));
    Send(Head(529, {static_cast<int32_t>(b)}));
    EXPECT_EQ(core->m_pCurrentVideo, nullptr);
    EXPECT_FALSE(core->GetCurrentVideoStatus(info, code));
}

TEST_F(MediaCommands, VolumeStaysInRangeWhateverTheStep) {
    MakeFile("a.mp4");
    MakeFile("p.jpg");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 5);
    const uint32_t p = AddTimeline(kMediaPicture, "x/p.jpg", 0, 5);
    struct Step {
        uint32_t code;
        int32_t value;
        int32_t volume;
    } steps[] = {
        {513, 40, 40}, {511, 5, 45}, {512, 10, 35}, {511, INT_MAX, 100}, {512, INT_MAX, 0},
        {512, INT_MIN, 100}, {510, 1, 0}, {510, 0, 100}, {537, 1, 0}, {537, 0, 100},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(Send(Head(s.code, {0, s.value})).Int(4), 1) << s.code;
        EXPECT_EQ(Fake(a)->volume, s.volume) << s.code << " " << s.value;
    }
    EXPECT_EQ(Fake(p)->volume, 100);  // pictures have no sound
}

TEST_F(MediaCommands, SeekAndStepsMoveFileVideosOnly) {
    MakeFile("a.mp4");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 5);
    tagNETHEAD seek = Head(517, {static_cast<int32_t>(a)});
    seek.realParam[0] = 3.0;
    EXPECT_EQ(Send(seek).Int(4), 1);
    EXPECT_DOUBLE_EQ(Fake(a)->position.load(), 3.0);

    struct Step {
        uint32_t code;
        double step;
        double after;
    } steps[] = {
        {518, 0.0005, 3.0}, {518, 1.5, 4.5}, {519, 0.5, 4.0}, {519, 10.0, 0.0}, {518, std::nan(""), 0.0},
    };
    for (const Step& s : steps) {
        tagNETHEAD h = Head(s.code, {0});
        h.realParam[0] = s.step;
        Send(h);
        EXPECT_DOUBLE_EQ(Fake(a)->position.load(), s.after) << s.code << " " << s.step;
    }
    seek.realParam[0] = std::nan("");
    Send(seek);
    EXPECT_DOUBLE_EQ(Fake(a)->position.load(), 0.0);

    CommandReply frame = Send(Head(516, {static_cast<int32_t>(a)}));
    EXPECT_EQ(frame.Int(4), 1);
}

TEST_F(MediaCommands, SeeksOnASynchronisedSlaveWaitForTheMainServer) {
    MakeFile("a.mp4");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 5);
    Fake(a)->position = 2.0;
    core->m_nSyncMediaEnable = 1;
    core->m_nMainServer = 0;
    for (uint32_t code : {517u, 518u, 519u}) {
        tagNETHEAD h = Head(code, {static_cast<int32_t>(a)});
        h.realParam[0] = 1.0;
        EXPECT_EQ(Send(h).Int(4), 1) << code;
        EXPECT_DOUBLE_EQ(Fake(a)->position.load(), 2.0) << code;
    }
    // Without synchronisation the same server seeks at once.
    core->m_nSyncMediaEnable = 0;
    tagNETHEAD seek = Head(517, {static_cast<int32_t>(a)});
    seek.realParam[0] = 1.0;
    EXPECT_EQ(Send(seek).Int(4), 1);
    EXPECT_DOUBLE_EQ(Fake(a)->position.load(), 1.0);
}

TEST_F(MediaCommands, HideWithHandleZeroHidesEveryMedia) {
    MakeFile("a.mp4");
    MakeFile("p.jpg");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 5);
    const uint32_t p = AddTimeline(kMediaPicture, "x/p.jpg", 0, 5);
    Send(Head(538, {0, 1}));
    EXPECT_EQ(Fake(a)->Common().visible, 0);
    EXPECT_EQ(Fake(p)->Common().visible, 0);
    Send(Head(538, {static_cast<int32_t>(p), 0}));
    EXPECT_EQ(Fake(p)->Common().visible, 1);
    EXPECT_EQ(Fake(a)->Common().visible, 0);
}

TEST_F(MediaCommands, PlayRateOnlyForPositiveRates) {
    MakeFile("a.mp4");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 5);
    for (double r : {2.0, 0.0, -1.0, std::nan(""), HUGE_VAL}) {
        tagNETHEAD h = Head(541, {0});
        h.realParam[0] = r;
        Send(h);
    }
    EXPECT_EQ(Fake(a)->Calls().back(), "rate 2.000");
    EXPECT_EQ(Fake(a)->rate, 2.0);
}

TEST_F(MediaCommands, UpdateMovesAndRetimesTheMedia) {
    MakeFile("a.mp4");
    tagNETHEAD at = Head(532);
    at.realParam[0] = 12.0;
    Send(at);
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 5, {0, 0, 100, 100}, "1:{1.0,5/6/0/0}");
    ASSERT_EQ(Fake(a)->Common().state, kMediaPlaying);
    tagNETHEAD up = Head(530, {static_cast<int32_t>(a), 0, 0, 0, 50, 60, 150, 160});
    up.realParam[0] = 10.0;
    up.realParam[1] = 20.0;
    Send(up);  // no body: the actions stay
    const MediaCommon& c = Fake(a)->Common();
    EXPECT_EQ(c.baseStageRect.left, 50);
    EXPECT_EQ(c.stageRect.bottom, 160);
    EXPECT_EQ(c.startTime, 10.0);
    EXPECT_EQ(c.endTime, 20.0);
    EXPECT_EQ(c.actions.size(), 1u);
    EXPECT_EQ(c.state, kMediaPaused);
    EXPECT_EQ(Fake(a)->Calls().back(), "setpos 2.000");

    std::vector<uint8_t> body{'3', ':', '{', '0', ',', '2', '/', '2', '/', '0', '/', '0', '}'};
    Send(up, body);
    EXPECT_EQ(c.actions.count(3), 1u);
    EXPECT_EQ(c.actions.count(1), 0u);
}

TEST_F(MediaCommands, TimelinePositionMovesTheVideosInsideTheirWindows) {
    MakeFile("a.mp4");
    MakeFile("b.mp4");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 10.0, 30.0);
    const uint32_t b = AddTimeline(kMediaFileVideo, "x/b.mp4", 20.0, 30.0);
    Fake(a)->duration = 4.0;
    tagNETHEAD at = Head(532);
    at.realParam[0] = 15.0;
    Send(at);
    // a is playing: paused first, then moved to (15 - 10) mod 4; b starts
    // later and is left alone.
    const auto calls = Fake(a)->Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "pause");
    EXPECT_EQ(calls.back(), "setpos 1.000");
    EXPECT_EQ(Count(Fake(b)->Calls(), "pause") + Count(Fake(b)->Calls(), "setpos 0.000"), 0u);
    EXPECT_EQ(core->m_dTimelineTime, 15.0);
    EXPECT_EQ(core->m_nTimelineHold.load(), 1);
}

TEST_F(MediaCommands, SwitchReplacesTheListAndAnEmptyNameClearsIt) {
    const std::string a = MakeFile("a.mp4");
    const std::string b = MakeFile("b.mp4");
    tagNETHEAD sw = Head(505, {kMediaFileVideo, 1});
    SetText(sw, a);
    CommandReply r = Send(sw);
    EXPECT_EQ(r.Int(4), 1);
    ASSERT_EQ(r.body.size(), sizeof(MediaInfoRecord));
    ASSERT_EQ(ListSize(), 1u);
    IMedia* first = core->m_mediaList[0];
    EXPECT_EQ(core->m_pCurrentVideo, first);

    SetText(sw, b);
    Send(sw);
    ASSERT_EQ(ListSize(), 1u);
    EXPECT_EQ(core->m_mediaList[0]->Common().name, b);
    EXPECT_EQ(core->m_pCurrentVideo, core->m_mediaList[0]);

    // A name that does not load keeps what is shown.
    SetText(sw, folder + "/missing.mp4");
    EXPECT_EQ(Send(sw).Int(4), 0);
    EXPECT_EQ(ListSize(), 1u);

    SetText(sw, "");
    EXPECT_EQ(Send(sw).Int(4), 0);
    EXPECT_EQ(ListSize(), 0u);
    EXPECT_EQ(core->m_pCurrentVideo, nullptr);
    EXPECT_EQ(fs::file_size(fs::path(dir.str()) / "media.bak"), 4u);
}

TEST_F(MediaCommands, LoadAndListMedia) {
    const std::string a = MakeFile("a.mp4");
    tagNETHEAD load = Head(503, {kMediaFileVideo});
    SetText(load, a);
    CommandReply r = Send(load);
    EXPECT_EQ(r.Int(4), 1);
    EXPECT_EQ(r.body.size(), sizeof(MediaInfoRecord));
    SetText(load, folder + "/none.mp4");
    EXPECT_EQ(Send(load).Int(4), 0);

    CommandReply list = Send(Head(521));
    EXPECT_EQ(std::string(list.body.begin(), list.body.end()), "0:" + a + "\r\n");
}

TEST_F(MediaCommands, ClearAllRemovesEveryMedia) {
    MakeFile("a.mp4");
    MakeFile("p.jpg");
    AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 5);
    AddTimeline(kMediaPicture, "x/p.jpg", 0, 5);
    Send(Head(531));
    EXPECT_EQ(ListSize(), 0u);
    EXPECT_EQ(Count(media.journal, "destroy " + folder + "/a.mp4"), 1u);
}

// ---- timeline clock and media time check ----

TEST_F(MediaCommands, TimeCheckPlaysInsideTheOpenWindowAndPausesAfterIt) {
    MakeFile("a.mp4");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 5.0, 10.0);
    Fake(a)->Common().state = kMediaPaused;
    PlayTimelineFromZero();
    struct Step {
        uint32_t tick;
        int32_t state;
    } steps[] = {{5000, kMediaPaused}, {5010, kMediaPlaying}, {10000, kMediaPlaying}, {10010, kMediaPaused}};
    for (const Step& s : steps) {
        ticks.Set(1000 + s.tick);
        core->MediaTimeCheckStep();
        EXPECT_EQ(Fake(a)->Common().state, s.state) << s.tick;
    }
    EXPECT_DOUBLE_EQ(core->m_dTimelineTime, 10.01);
}

TEST_F(MediaCommands, TimeCheckLeavesVideosThatAreClosedOrNotReady) {
    MakeFile("a.mp4");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 0.0, 10.0);
    Fake(a)->Common().state = kMediaPaused;
    Fake(a)->graphState = 1;
    PlayTimelineFromZero();
    ticks.Advance(2000);
    core->MediaTimeCheckStep();
    EXPECT_EQ(Fake(a)->Common().state, kMediaPaused);
}

TEST_F(MediaCommands, PauseThenPlayGoesOnFromThePausePoint) {
    PlayTimelineFromZero();
    ticks.Advance(4000);
    core->MediaTimeCheckStep();
    EXPECT_DOUBLE_EQ(core->m_dTimelineTime, 4.0);
    Send(Head(536));
    ticks.Advance(3000);
    core->MediaTimeCheckStep();  // held: nothing computed
    EXPECT_DOUBLE_EQ(core->m_dTimelineTime, 4.0);
    Send(Head(534));
    ticks.Advance(1000);
    core->MediaTimeCheckStep();
    EXPECT_DOUBLE_EQ(core->m_dTimelineTime, 5.0);
}

TEST_F(MediaCommands, TheTimelineClockRunsAtThePlayRate) {
    // (rate before play, advance, rate while playing, advance, pause, advance after pause, expected time)
    struct Case {
        double before;
        uint32_t first;
        double during;
        uint32_t second;
        double expected;
    };
    const Case cases[] = {
        {1.0, 4000, 1.0, 2000, 6.0},
        {1.5, 4000, 1.5, 2000, 9.0},
        {1.5, 4000, 2.0, 2000, 10.0},  // the time already played keeps its rate
        {2.0, 60000, 1.0, 1000, 121.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        Send(Head(536));
        tagNETHEAD rate = Head(541, {0});
        rate.realParam[0] = c.before;
        Send(rate);
        PlayTimelineFromZero();
        ticks.Advance(c.first);
        rate.realParam[0] = c.during;
        Send(rate);
        ticks.Advance(c.second);
        core->MediaTimeCheckStep();
        EXPECT_NEAR(core->m_dTimelineTime, c.expected, 1e-9);
        // A pause holds the time it reached.
        Send(Head(536));
        ticks.Advance(5000);
        Send(Head(534));
        core->MediaTimeCheckStep();
        EXPECT_NEAR(core->m_dTimelineTime, c.expected, 1e-9);
    }
}

TEST_F(MediaCommands, TimelineStopPausesAndStopsWhatIsNotStopped) {
    MakeFile("a.mp4");
    MakeFile("b.mp4");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 5);
    const uint32_t b = AddTimeline(kMediaFileVideo, "x/b.mp4", 0, 5);
    Fake(b)->Common().state = kMediaStopped;
    Send(Head(535));
    const auto calls = Fake(a)->Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "pause");
    EXPECT_EQ(calls.back(), "stop");
    EXPECT_EQ(Count(Fake(b)->Calls(), "stop"), 0u);
    EXPECT_EQ(core->m_nTimelineState.load(), 3);
}

TEST_F(MediaCommands, WithSyncOnASlaveNeverStartsATimelineVideo) {
    MakeFile("a.mp4");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 0.0, 10.0);
    Fake(a)->Common().state = kMediaPaused;
    core->SetTimelineState(1);
    core->SetTimelineTime(1.0);
    core->m_nTimelineHold = 0;
    core->m_nSyncMediaEnable = 1;
    core->m_nMainServer = 0;
    ticks.Advance(500);
    core->MediaTimeCheckStep();
    EXPECT_EQ(Fake(a)->Common().state, kMediaPaused);
    EXPECT_EQ(Count(Fake(a)->Calls(), "play"), 0u);
}

TEST_F(MediaCommands, DynamicReloadClosesVideosOffEveryOutputAndReopensThem) {
    MakeFile("a.mp4");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 5, {5000, 0, 5100, 100}, {}, 3);
    ASSERT_NE(a, 0u);
    EXPECT_EQ(Fake(a)->GraphState(), 0);
    EXPECT_EQ(Fake(a)->Common().onOutput, 0);
    EXPECT_EQ(core->m_render.dynamicReloadDone, 1);

    tagNETHEAD up = Head(530, {static_cast<int32_t>(a), 0, 0, 0, 100, 100, 200, 200});
    up.realParam[0] = 0;
    up.realParam[1] = 5;
    Send(up);
    EXPECT_EQ(Fake(a)->GraphState(), 2);
    EXPECT_EQ(Fake(a)->Common().onOutput, 1);
    EXPECT_EQ(Fake(a)->Common().layer, 3);  // the reload's index 0 does not replace it
    EXPECT_EQ(Fake(a)->Calls().back(), "load " + folder + "/a.mp4 0 0 -1");
}

TEST_F(MediaCommands, DynamicReloadLeavesFullScreenVideosAlone) {
    MakeFile("a.mp4");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 5, {100, 100, 200, 200}, {}, 3);
    ASSERT_EQ(Fake(a)->GraphState(), 2);
    // A start-up or switched video fills the output and has no stage rectangle.
    Fake(a)->Common().placementMode = 0;
    Fake(a)->Common().stageRect = {};
    core->ReloadDynamicMedia();
    EXPECT_EQ(Fake(a)->GraphState(), 2);
    EXPECT_EQ(Count(Fake(a)->Calls(), "close"), 0u);
}

TEST_F(MediaCommands, DynamicReloadFollowsTheMotionPath) {
    MakeFile("a.mp4");
    // Starts off the outputs and moves onto them after 2 s.
    const uint32_t a =
        AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 5, {5000, 0, 5100, 100}, "1:{2.0,100/100/0/0}", 0);
    EXPECT_EQ(Fake(a)->Common().onOutput, 1);
    EXPECT_EQ(Fake(a)->GraphState(), 2);
    EXPECT_EQ(Fake(a)->Common().stageRect.left, 5000);  // sampled on a copy
    // A window far too long to sample whole still ends.
    const uint32_t b = AddTimeline(kMediaFileVideo, "x/a.mp4", 0, 1e12, {5000, 0, 5100, 100}, "1:{0.0,5000/0/0/0}");
    EXPECT_EQ(Fake(b)->Common().onOutput, 0);
}

TEST_F(MediaCommands, TimeCheckThreadStartsAndStops) {
    MakeFile("a.mp4");
    const uint32_t a = AddTimeline(kMediaFileVideo, "x/a.mp4", 0.0, 10.0);
    Fake(a)->Common().state = kMediaPaused;
    core->StartTimelinePlayThread();
    PlayTimelineFromZero();
    ticks.Advance(1000);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return Fake(a)->Common().state == kMediaPlaying; }));
    core->StopTimelinePlayThread();
    core->StopTimelinePlayThread();
}
