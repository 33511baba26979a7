// A video item over the real media library, on a clip made by ffmpeg.
#include "kestrane/videoitem.h"
#include "stagefixture.h"
#include "velmar/kestrane.h"

namespace {

class VideoItemTest : public StageTest {
protected:
    void TearDown() override {
        GConfig::instance().setStageHooks(nullptr);
        StageTest::TearDown();
        Kestrane_RemoveMedia(nullptr);
    }
};

TEST_F(VideoItemTest, ARealPreviewShowsTheClipsFrame) {
    const std::string clip = (dir / "red.mp4").string();
    int status = -1;
    const std::string out = testsupport::RunShell(
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i color=c=0xff0000:s=64x48:rate=25 -t 1 -pix_fmt yuv420p '" +
            clip + "' 2>&1",
        &status);
    ASSERT_EQ(status, 0) << out;
    GConfig& g = GConfig::instance();
    g.setPreview(nullptr);  // the media library's own preview
    MediaSource m;
    m.kind = 0;
    m.path = QString::fromStdString(clip);
    m.x = 0;
    m.y = 0;
    m.width = 640;
    m.height = 480;
    m.start = 0;
    m.duration = 1000;
    m.layer = 0;
    g.setMediaRecord(m, 1);
    hooks->addMediaItem(1);
    auto* video = dynamic_cast<VideoItem*>(scene()->stageItem(1, stage::kMediaType));
    ASSERT_NE(video, nullptr);
    ASSERT_FALSE(video->loadFailed());
    EXPECT_NE(g.mediaSource(1)->previewHandle, nullptr);
    video->show();
    scene()->advance();
    ASSERT_TRUE(spinUntil([&] { return !video->frame().isNull(); }, 10000));
    EXPECT_EQ(video->frame().size(), QSize(64, 48));
    EXPECT_TRUE(near(video->frame().pixel(32, 24), QColor(Qt::red), 40));
    const QImage image = render(200, 100);
    save(image, "stage_video_frame");
    // 640 x 480 stage units at 0.125: 80 x 60 from (8, 8).
    EXPECT_TRUE(near(image.pixel(40, 30), QColor(Qt::red), 40));
    EXPECT_FALSE(near(image.pixel(120, 30), QColor(Qt::red), 60));

    // Removing the media takes the item off first; late frames find nothing.
    g.removeMedia(1);
    EXPECT_EQ(scene()->stageItem(1, stage::kMediaType), nullptr);
    QCoreApplication::processEvents();
}

}  // namespace
