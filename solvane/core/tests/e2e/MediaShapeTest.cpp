// The record a display server answers a media load with carries the clip's
// frame shape at once, not only a later media-information query.
#include <cstring>
#include <string>

#include "support/ProgramHarness.h"
#include "core/MediaInfoRecord.h"

namespace {

using namespace e2e;

class MediaShapeTest : public SolvaneProgramFixture {};

TEST_F(MediaShapeTest, LoadAnswersWithTheClipsSize) {
    const std::string clip = (dir / "clip.mp4").string();
    int status = -1;
    const std::string text = testsupport::RunShell(
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=640x360:rate=25 -t 2 -pix_fmt yuv420p '" + clip +
            "' 2>&1",
        &status);
    ASSERT_EQ(status, 0) << text;
    ASSERT_TRUE(StartServer());

    const int fd = Connect(30100);
    ASSERT_GE(fd, 0);
    tagNETHEAD head{};
    head.command = 503;
    head.intParam[0] = 0;  // a video file
    ASSERT_LT(clip.size(), sizeof head.textParam);
    std::memcpy(head.textParam, clip.c_str(), clip.size() + 1);
    ASSERT_EQ(send(fd, &head, sizeof head, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof head));
    tagNETHEAD reply{};
    ASSERT_TRUE(ReadExactly(fd, &reply, sizeof reply));
    const int32_t result = reply.intParam[0];
    const uint32_t length = reply.bodyLength;
    ASSERT_EQ(result, 1) << "load refused";
    ASSERT_EQ(length, sizeof(MediaInfoRecord));
    MediaInfoRecord record{};
    ASSERT_TRUE(ReadExactly(fd, &record, sizeof record));
    close(fd);
    const int32_t width = record.width, height = record.height;
    const float aspect = record.aspect;
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 360);
    EXPECT_NEAR(aspect, 640.0 / 360.0, 1e-4);
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
