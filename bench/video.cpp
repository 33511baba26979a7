// Video frames decoded and uploaded to textures per second: H.264 clips of
// 1080p30 and 2160p30, and four 1080p30 clips at once, played by FileVideo
// (decode, colour conversion, the copy into the media frame) and uploaded by
// the renderer's texture upload on one GL thread, as fast as the path goes;
// beside them the ffmpeg tool decoding the same files to nothing with the
// same number of decode threads, in the same run. Frames handed over but
// replaced before the GL thread took them count as dropped.
//
// The clips are made once with the ffmpeg tool in the build folder
// (bench-media/). Run under X:
//   tools/xvfb-test build/bin/bench_video
#include <GL/glew.h>

#undef __GLEW_H__
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QWindow>
#define __GLEW_H__

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "media/FileVideo.h"
#include "render/OutputRenderer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFps = 30;
constexpr int kRounds = 2;

struct Clip {
    std::string path;
    int frames = 0;
};

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

int DecodeThreads() { return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 4); }

fs::path MediaFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    const fs::path base = ec ? fs::current_path() : exe.parent_path().parent_path();
    return base / "bench-media";
}

// A clip made by the ffmpeg tool (kept between runs); empty path on failure.
Clip MakeClip(const std::string& name, int width, int height, int seconds, const std::string& source) {
    Clip clip;
    clip.frames = seconds * kFps;
    const fs::path path = MediaFolder() / name;
    if (!fs::exists(path)) {
        fs::create_directories(path.parent_path());
        const std::string tmp = path.string() + ".part.mp4";
        const std::string cmd = "ffmpeg -nostdin -loglevel error -y -f lavfi -i " + source + "=size=" +
                                std::to_string(width) + "x" + std::to_string(height) + ":rate=" +
                                std::to_string(kFps) + " -t " + std::to_string(seconds) +
                                " -pix_fmt yuv420p -c:v libx264 -preset veryfast '" + tmp + "'";
        std::printf("making %s ...\n", path.c_str());
        std::fflush(stdout);
        if (std::system(cmd.c_str()) != 0) return {};
        fs::rename(tmp, path);
    }
    clip.path = path.string();
    return clip;
}

// The ffmpeg tool decoding all clips at once (one process each) to nothing:
// frames per second over all of them.
double ToolFps(const std::vector<Clip>& clips) {
    const auto start = Clock::now();
    std::vector<pid_t> children;
    int frames = 0;
    for (const Clip& c : clips) {
        const pid_t pid = fork();
        if (pid == 0) {
            const std::string threads = std::to_string(DecodeThreads());
            execlp("ffmpeg", "ffmpeg", "-nostdin", "-loglevel", "error", "-threads", threads.c_str(), "-i",
                   c.path.c_str(), "-f", "null", "-", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid > 0) children.push_back(pid);
        frames += c.frames;
    }
    bool ok = !children.empty();
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    const double s = Seconds(start);
    return ok && s > 0 ? frames / s : 0.0;
}

// A reference clock that moves one frame on every frame the decoder gives,
// half a frame ahead: each decoded frame is due as soon as it is there, and
// none is ever late.
class DecoderPacedClock : public av::ReferenceClock {
public:
    DecoderPacedClock(const av::Player* player, double frameTime)
        : m_player(player), m_units(static_cast<int64_t>(std::ceil(frameTime * av::kUnitsPerSecond))) {}
    int64_t Now() override { return static_cast<int64_t>(m_player->DecodedFrames()) * m_units + m_units / 2; }

private:
    const av::Player* m_player;
    int64_t m_units;
};

struct PathFigures {
    double uploadedFps = 0.0;
    double deliveredFps = 0.0;
    int uploaded = 0;
    int delivered = 0;
    int expected = 0;
};

// Takes a ready frame of a video into its texture, as the renderer does.
bool UploadReady(FileVideo& v) {
    auto lock = v.LockMedia();
    if (!v.m_bFrameReady || !v.m_pFrame) return false;
    v.m_bFrameReady = false;
    MediaTexture& tex = v.m_texture;
    if (!tex.created || tex.width != v.m_nWidth || tex.height != v.m_nHeight) {
        ReleaseFrameTexture(tex);
        CreateFrameTexture(tex, v.m_nWidth, v.m_nHeight, v.FramePixelFormat(), v.m_pFrame, v.m_nStride, true);
    } else {
        UploadFrameTexture(tex, v.m_pFrame, v.m_nStride);
    }
    return true;
}

PathFigures PlayToTextures(const std::vector<Clip>& clips) {
    PathFigures out;
    std::vector<std::unique_ptr<FileVideo>> videos;
    for (const Clip& c : clips) {
        auto v = std::make_unique<FileVideo>();
        if (!v->LoadResource(c.path, 0, 0, 0)) {
            std::fprintf(stderr, "cannot load %s\n", c.path.c_str());
            return out;
        }
        v->Player().SetClock(std::make_shared<DecoderPacedClock>(&v->Player(), v->GetFrameTime()));
        out.expected += c.frames - 1;  // the first frame is the paused one, before the start
        videos.push_back(std::move(v));
    }
    // The cued first frames, before the clock starts.
    const auto cueDeadline = Clock::now() + std::chrono::seconds(60);
    for (auto& v : videos) {
        while (!UploadReady(*v) && Clock::now() < cueDeadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::atomic_ref<int32_t>(v->m_nDelivered[1]).store(0);
    }
    glFinish();

    const auto start = Clock::now();
    for (auto& v : videos) v->Play();
    auto lastProgress = Clock::now();
    int delivered = 0;
    for (;;) {
        bool any = false;
        for (auto& v : videos) {
            if (UploadReady(*v)) {
                ++out.uploaded;
                any = true;
            }
        }
        if (any) glFlush();
        int now = 0;
        for (auto& v : videos) now += std::atomic_ref<int32_t>(v->m_nDelivered[1]).load();
        if (now != delivered || any) {
            delivered = now;
            lastProgress = Clock::now();
        }
        if (delivered >= out.expected && !any) break;
        // A path that stopped short (a refused frame, a stuck decoder) ends the run.
        if (Seconds(lastProgress) > 10.0) break;
        if (!any) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    glFinish();
    const double s = Seconds(start);
    out.delivered = delivered;
    out.uploadedFps = s > 0 ? out.uploaded / s : 0.0;
    out.deliveredFps = s > 0 ? delivered / s : 0.0;
    for (auto& v : videos) {
        v->Close();
        auto lock = v->LockMedia();
        ReleaseFrameTexture(v->m_texture);
    }
    return out;
}

void Report(const char* what, const std::vector<Clip>& clips) {
    for (const Clip& c : clips) {
        if (c.path.empty()) {
            std::printf("%s: no clip\n", what);
            return;
        }
    }
    // The machine is shared and its load moves: the tool and the path take
    // turns, and each keeps its best round.
    double tool = 0.0;
    PathFigures path;
    for (int round = 0; round < kRounds; ++round) {
        tool = std::max(tool, ToolFps(clips));
        const PathFigures p = PlayToTextures(clips);
        if (p.uploadedFps > path.uploadedFps) path = p;
    }
    std::printf("%s\n", what);
    std::printf("  ffmpeg -threads %d -f null (decode only)        %8.1f frames/s\n", DecodeThreads(), tool);
    std::printf("  FileVideo decoded and handed over                %8.1f frames/s\n", path.deliveredFps);
    std::printf("  FileVideo decoded and uploaded to textures       %8.1f frames/s\n", path.uploadedFps);
    std::printf("  frames: %d expected, %d handed over, %d uploaded, %d dropped\n", path.expected, path.delivered,
                path.uploaded, std::max(0, path.delivered - path.uploaded));
    std::printf("  ratio uploaded / ffmpeg: %.3f\n", tool > 0 ? path.uploadedFps / tool : 0.0);
    std::fflush(stdout);
}

}  // namespace

// Arguments: none runs every case; "1080", "2160" or "4x1080" runs one.
int main(int argc, char** argv) {
    setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 0);
    const std::string only = argc > 1 ? argv[1] : "";
    QGuiApplication app(argc, argv);
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    QWindow window;
    window.setSurfaceType(QSurface::OpenGLSurface);
    window.setFormat(format);
    window.setGeometry(0, 0, 64, 64);
    window.show();
    QOpenGLContext context;
    context.setFormat(format);
    if (!context.create() || !context.makeCurrent(&window)) {
        std::fprintf(stderr, "no GL context\n");
        return 1;
    }
    glewExperimental = GL_TRUE;
    if (glewInit() != GLEW_OK) return 1;
    std::printf("renderer: %s, %u processors\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                std::thread::hardware_concurrency());

    if (only.empty() || only == "1080")
        Report("one 1080p30 H.264 clip, 10 s", {MakeClip("clip1080a.mp4", 1920, 1080, 10, "testsrc2")});
    if (only.empty() || only == "2160")
        Report("one 2160p30 H.264 clip, 5 s", {MakeClip("clip2160.mp4", 3840, 2160, 5, "testsrc2")});
    if (only.empty() || only == "4x1080") {
        Report("four 1080p30 H.264 clips at once, 10 s each",
               {MakeClip("clip1080a.mp4", 1920, 1080, 10, "testsrc2"), MakeClip("clip1080b.mp4", 1920, 1080, 10, "smptehdbars"),
                MakeClip("clip1080c.mp4", 1920, 1080, 10, "mandelbrot"), MakeClip("clip1080d.mp4", 1920, 1080, 10, "rgbtestsrc")});
    }
    context.doneCurrent();
    return 0;
}
