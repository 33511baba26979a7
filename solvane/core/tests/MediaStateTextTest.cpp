#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "core/MediaStateText.h"
#include "support/support.h"

namespace {

class PositionedMedia : public FakeMedia {
public:
    PositionedMedia(int32_t type, const std::string& name, int64_t position, int32_t state) : FakeMedia(type) {
        common_.name = name;
        common_.state = state;
        position_ = position;
    }
    bool GetSeekPosition(int64_t& position) override {
        position = position_;
        return true;
    }
    bool SeekTo(int64_t position) override {
        position_ = position;
        return true;
    }

private:
    int64_t position_ = 0;
};

}  // namespace

TEST(MediaStateText, ListsOnlyVideoFilesInListOrder) {
    testsupport::TempDir dir;
    CMediaManager core(dir.str());
    auto* a = new PositionedMedia(kMediaFileVideo, "/m/a.mp4", 12345678901LL, kMediaPlaying);
    auto* pic = new PositionedMedia(kMediaPicture, "/m/p.jpg", 5, kMediaPlaying);
    auto* b = new PositionedMedia(kMediaFileVideo, "D:\\m\\b.mov", -3, kMediaPaused);
    core.m_mediaList = {a, pic, b};
    std::map<IMedia*, int32_t> states;
    EXPECT_EQ(BuildMediaStateText(core, &states), "/m/a.mp4<12345678901,1>|D:\\m\\b.mov<-3,2>");
    EXPECT_EQ(states, (std::map<IMedia*, int32_t>{{a, kMediaPlaying}, {b, kMediaPaused}}));

    const auto entries = ParseMediaStateText(BuildMediaStateText(core));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "/m/a.mp4");
    EXPECT_EQ(entries[0].position, 12345678901LL);
    EXPECT_EQ(entries[0].state, 1);
    EXPECT_EQ(entries[1].name, "D:\\m\\b.mov");
    EXPECT_EQ(entries[1].position, -3);
    EXPECT_EQ(entries[1].state, 2);
}

TEST(MediaStateText, NoVideoFileGivesAnEmptyText) {
    testsupport::TempDir dir;
    CMediaManager core(dir.str());
    core.m_mediaList = {new PositionedMedia(kMediaPicture, "/m/p.jpg", 0, kMediaPlaying)};
    EXPECT_EQ(BuildMediaStateText(core), "");
}

TEST(MediaStateText, ParseSkipsItemsWithoutNameOrState) {
    const struct {
        const char* text;
        size_t count;
        const char* firstName;
        int64_t firstPosition;
        int32_t firstState;
    } cases[] = {
        {"", 0, "", 0, 0},
        {"<1,2>", 0, "", 0, 0},               // no name before "<"
        {"a.mp4<100>", 0, "", 0, 0},          // no state
        {"a.mp4", 0, "", 0, 0},               // no "<"
        {"a.mp4<100,3>", 1, "a.mp4", 100, 3},
        {"a.mp4<<100>,>1>", 1, "a.mp4", 100, 1},  // every "<" and ">" is removed from the rest
        {"x<1>|b.mp4<-7,2>||", 1, "b.mp4", -7, 2},
        {"c.mp4<junk,2>", 1, "c.mp4", 0, 2},
    };
    for (const auto& c : cases) {
        const auto entries = ParseMediaStateText(c.text);
        ASSERT_EQ(entries.size(), c.count) << c.text;
        if (c.count == 0) continue;
        EXPECT_EQ(entries[0].name, c.firstName) << c.text;
        EXPECT_EQ(entries[0].position, c.firstPosition) << c.text;
        EXPECT_EQ(entries[0].state, c.firstState) << c.text;
    }
}
