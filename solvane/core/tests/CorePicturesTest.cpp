#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "core/Resources.h"
#include "support/support.h"
#include "util/LogCapture.h"

using testsupport::TempDir;

namespace {

// A factory that cannot make anything.
class EmptyMediaFactory : public IMediaFactory {
public:
    std::unique_ptr<IMedia> CreateMedia(int32_t) override { return nullptr; }
};

class CorePictures : public ::testing::Test {
protected:
    void SetUp() override { core.SetServices({&output, &factory, &displays, &system}); }
    void SetPrimary(int32_t width, int32_t height, bool primaryFirst = true) {
        MY_MONITORINFO other;
        other.number = 1;
        other.monitor = {0, 0, 800, 600};
        MY_MONITORINFO primary;
        primary.number = 2;
        primary.primary = 1;
        primary.monitor = {800, 0, 800 + width, height};
        displays.monitors = primaryFirst ? std::vector{primary, other} : std::vector{other, primary};
    }
    static std::vector<uint8_t> Resource(int id, const char* type) {
        ResourceView view;
        EXPECT_TRUE(FindResource(id, type, view)) << id;
        return {view.data, view.data + view.size};
    }
    FakeMedia& Fake(IMedia* media) { return *static_cast<FakeMedia*>(media); }

    TempDir dir;
    FakeOutputWindow output;
    FakeMediaFactory factory;
    FakeDisplayList displays;
    FakeSystemServices system;
    CMediaManager core{dir.str()};
};

}  // namespace

TEST(CorePictureResources, DefaultBackgroundByScreenSize) {
    struct Case {
        int32_t width, height;
        int id;
    } cases[] = {
        {1920, 1080, 143}, {1024, 768, 142}, {1280, 720, 144}, {1366, 768, 141},
        {1080, 1920, 141}, {768, 1024, 141}, {0, 0, 141},     {3840, 2160, 141},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CMediaManager::DefaultBackgroundResourceId(c.width, c.height), c.id) << c.width << "x" << c.height;
}

TEST(CorePictureResources, ProgramPicturesAreEmbedded) {
    ResourceView jpg, png;
    for (int id : {141, 142, 143, 144}) {
        ASSERT_TRUE(FindResource(id, "JPG", jpg)) << id;
        ASSERT_GT(jpg.size, 4u);
        EXPECT_EQ(jpg.data[0], 0xFF);
        EXPECT_EQ(jpg.data[1], 0xD8);
    }
    ASSERT_TRUE(FindResource(148, "PNG", png));
    ASSERT_GT(png.size, 8u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(png.data) + 1, 3), "PNG");
}

TEST_F(CorePictures, DefaultBackgroundTakesThePictureOfThePrimaryScreen) {
    struct Case {
        int32_t width, height;
        bool primaryFirst;
        int id;
    } cases[] = {{1920, 1080, true, 143}, {1280, 720, false, 144}, {1366, 768, true, 141}};
    core.CreateEmbeddedPictures();
    ASSERT_NE(core.m_pDefaultBackground, nullptr);
    for (const auto& c : cases) {
        SetPrimary(c.width, c.height, c.primaryFirst);
        factory.journal.clear();
        EXPECT_EQ(core.LoadDefaultBackground(), 1);
        EXPECT_EQ(Fake(core.m_pDefaultBackground).pictureData, Resource(c.id, "JPG")) << c.id;
        ASSERT_EQ(factory.journal.size(), 2u);
        EXPECT_EQ(factory.journal[0], "close");
        EXPECT_EQ(core.m_pDefaultBackground->Common().state, kMediaPlaying);
    }
}

TEST_F(CorePictures, InitializeMakesAndLoadsTheCorePictures) {
    SetPrimary(1024, 768);
    util::LogCapture log;
    core.Initialize();
    EXPECT_EQ(factory.created.load(), 3);
    ASSERT_NE(core.m_pBackground, nullptr);
    ASSERT_NE(core.m_pDefaultBackground, nullptr);
    ASSERT_NE(core.m_pMatting, nullptr);
    EXPECT_EQ(core.m_pMatting->Common().type, kMediaMattingPicture);
    EXPECT_EQ(Fake(core.m_pDefaultBackground).pictureData, Resource(142, "JPG"));
    EXPECT_EQ(Fake(core.m_pMatting).pictureData, Resource(148, "PNG"));
    // Loaded, but a show's picture carries nothing the show did not put there.
    EXPECT_EQ(core.m_render.mattingEnabled, 0);
    EXPECT_TRUE(core.m_mediaList.empty());
    EXPECT_FALSE(log.Contains(LOGTEXT::Level::Error, "matting"));
}

TEST(CorePicturesSetting, TheBadgeShowsOnlyWhenTheSettingsFileAsksForIt) {
    struct Case {
        const char* lines;  // of mediacfg.ini
        int enabled;
    } cases[] = {
        {"", 0},
        {"[Setting]\nShowMatting=0\n", 0},
        {"[Setting]\nShowMatting=1\n", 1},
        {"[setting]\nshowmatting=2\n", 1},
        {"[Setting]\nShowMatting=yes\n", 0},
        {"[Other]\nShowMatting=1\n", 0},
    };
    for (const auto& c : cases) {
        TempDir dir;
        testsupport::WriteFile(dir / "mediacfg.ini", c.lines);
        FakeOutputWindow output;
        FakeMediaFactory factory;
        FakeDisplayList displays;
        FakeSystemServices system;
        CMediaManager core{dir.str()};
        core.SetServices({&output, &factory, &displays, &system});
        core.Initialize();
        EXPECT_EQ(core.m_render.mattingEnabled, c.enabled) << c.lines;
    }
}

TEST_F(CorePictures, RefusedPicturesAreLoggedAndMattingStaysOff) {
    factory.loadSucceeds = false;
    core.CreateEmbeddedPictures();
    util::LogCapture log;
    EXPECT_EQ(core.LoadDefaultBackground(), 1);
    core.LoadMattingImage();
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "default background: picture 141 not taken."));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "matting picture: picture 148 not taken."));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "going on without matting"));
    EXPECT_EQ(core.m_render.mattingEnabled, 0);
    EXPECT_EQ(core.m_pMatting->Common().state, kMediaNotLoaded);
}

TEST_F(CorePictures, WithoutPictureObjectsNothingIsLoadedAndTheServerGoesOn) {
    EmptyMediaFactory empty;
    core.SetServices({&output, &empty, &displays, &system});
    util::LogCapture log;
    core.CreateEmbeddedPictures();
    EXPECT_EQ(core.m_pMatting, nullptr);
    EXPECT_EQ(core.LoadDefaultBackground(), 1);
    core.LoadMattingImage();
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "default background: no picture object."));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "matting picture: no picture object."));
    EXPECT_EQ(core.m_render.mattingEnabled, 0);
}
