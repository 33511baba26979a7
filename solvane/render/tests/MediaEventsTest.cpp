#include <gtest/gtest.h>

#include <deque>

#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "render/MediaEvents.h"
#include "support/support.h"
#include "util/LogCapture.h"

namespace {

// A video source with a player event queue.
class PlayerMedia : public FakeMedia, public IMediaPlayerEvents {
public:
    explicit PlayerMedia(std::vector<std::string>* journal) : FakeMedia(kMediaFileVideo, journal), journal_(journal) {}
    bool NextPlayerEvent(int32_t& code) override {
        if (events.empty()) return false;
        code = events.front();
        events.pop_front();
        return true;
    }
    bool SeekTo(int64_t position) override {
        journal_->push_back("seek " + std::to_string(position));
        return true;
    }
    void SignalStop() override { journal_->push_back("signal stop"); }
    std::deque<int32_t> events;

private:
    std::vector<std::string>* journal_;
};

struct CompleteCase {
    const char* name;
    int sync;
    int mainServer;
    int loop;
    int placement;
    std::vector<std::string> journal;
    std::vector<const char*> logs;
};

void PrintTo(const CompleteCase& c, std::ostream* os) { *os << c.name; }

class MediaEventsTest : public ::testing::TestWithParam<CompleteCase> {};

TEST_P(MediaEventsTest, EndOfStreamFollowsTheSettings) {
    const CompleteCase& c = GetParam();
    std::vector<std::string> journal;  // outlives the core, which destroys the media
    testsupport::TempDir dir;
    CMediaManager core(dir.str());
    core.m_nSyncMediaEnable = c.sync;
    core.m_nMainServer = c.mainServer;
    core.m_nLoopMedia = c.loop;
    auto* media = new PlayerMedia(&journal);
    media->Common().placementMode = c.placement;
    media->events = {3, kPlayerEventComplete, 14};
    core.m_mediaList.push_back(media);

    util::LogCapture log;
    HandleMediaPlayerEvents(core, media, [&](uint32_t ms) { journal.push_back("wait " + std::to_string(ms)); });
    EXPECT_EQ(journal, c.journal);
    EXPECT_TRUE(media->events.empty()) << "every queued event is drained";
    for (const char* text : c.logs) EXPECT_TRUE(log.Contains(text)) << text;
    if (c.logs.empty()) {
        EXPECT_TRUE(log.Lines().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Branches, MediaEventsTest,
    ::testing::Values(
        CompleteCase{"alone_looping", 0, 0, 1, 0, {"seek 0", "pause", "play", "signal stop"}, {"播放完成通知处理完毕"}},
        CompleteCase{"alone_not_looping", 0, 0, 0, 0, {"seek 0", "pause", "signal stop"}, {"播放完成通知处理完毕"}},
        CompleteCase{"alone_looping_layer_media", 0, 0, 1, 3, {"seek 0", "pause", "signal stop"}, {"播放完成通知处理完毕"}},
        CompleteCase{"main_looping",
                     1,
                     1,
                     1,
                     0,
                     {"seek 0", "pause", "wait 1000", "play"},
                     {"停止命令-同步", "重播命令-服务器广播同步命令"}},
        CompleteCase{"main_not_looping", 1, 1, 0, 0, {"stop"}, {"停止命令-同步", "停止命令-服务器广播同步命令"}},
        CompleteCase{"slave", 1, 0, 1, 0, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MediaEvents, NoticeForMediaNoLongerListedChangesNothing) {
    testsupport::TempDir dir;
    CMediaManager core(dir.str());
    core.m_nLoopMedia = 1;
    std::vector<std::string> journal;
    PlayerMedia removed(&journal);
    removed.events = {kPlayerEventComplete};
    HandleMediaPlayerEvents(core, &removed, {});
    HandleMediaPlayerEvents(core, nullptr, {});
    EXPECT_TRUE(journal.empty());
    EXPECT_EQ(removed.events.size(), 1u);
}

}  // namespace
